#!/usr/bin/env bash
# Sets up what is missing, builds, and runs every test: the unit tests and the
# end-to-end tests, each under Wine in a prefix of its own made for this run.
# The build under test is the one this machine can run (see chainer_choose_route
# in wine-env.sh; CHAINER_ROUTE=64 forces the 64-bit build).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/setup.sh"
. "$root/scripts/wine-env.sh"
chainer_choose_route
"$root/scripts/build.sh"
rm -rf "$CHAINER_BUILD/wine"
chainer_ensure_display
status=0
# The program users get is checked as an image even where it cannot run.
python3 "$root/tests/image/check_image.py" "$root/build/chainer.exe" i386 || status=$?
python3 "$root/tests/image/check_image.py" "$root/build/x64/chainer.exe" x86-64 || status=$?
# Every parser of outside input under the fuzzers for a short while (natively,
# with ASan and UBSan): any crash fails the run. FUZZ_SECONDS per target.
bash "$root/bench/fuzz.sh" "${FUZZ_SECONDS:-20}" || status=$?
cd "$CHAINER_BUILD"
ctest --output-on-failure -j "$(nproc)" || status=$?
# Stop the prefixes' servers so that nothing keeps running after the tests.
for prefix in "$CHAINER_BUILD"/wine/*/; do
  WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true
done
exit $status
