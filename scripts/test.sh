#!/usr/bin/env bash
# Sets up what is missing, builds, and runs every test: the unit tests and the
# end-to-end tests, each under Wine in a prefix of its own made for this run.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/setup.sh"
"$root/scripts/build.sh"
rm -rf "$root/build/wine"
. "$root/scripts/wine-env.sh"
chainer_ensure_display
cd "$root/build"
status=0
ctest --output-on-failure -j "$(nproc)" || status=$?
# Stop the prefixes' servers so that nothing keeps running after the tests.
for prefix in "$root"/build/wine/*/; do
  WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true
done
exit $status
