#!/usr/bin/env bash
# Sets up what is missing, builds, and runs every test: the unit tests and the
# end-to-end tests, each under Wine in a prefix of its own made for this run.
# Which builds run how is the route (chainer_choose_route in wine-env.sh):
# - native 32-bit: the 32-bit build's whole suite, then the 64-bit build's;
# - 32-bit under emulation: the 64-bit build's whole suite, then the 32-bit
#   program under qemu-i386: every unit program and the end-to-end files
#   below (emulation makes each program start about ten times slower);
# - 64-bit: the 64-bit build's suite alone, and a line saying that the 32-bit
#   program was not tested.
# CHAINER_ROUTE=64 tests the 64-bit build alone.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
emulated_e2e="test_entry.py test_log.py test_chain.py test_archive.py test_download.py test_crash.py test_dll_planting.py test_signed_download.py"
"$root/scripts/setup.sh"
. "$root/scripts/wine-env.sh"
chainer_choose_route
kind="$CHAINER_ROUTE_KIND"
start=$SECONDS
if [ "$kind" = native ] || [ "$kind" = emulated ]; then
  CHAINER_BUILD="$root/build" "$root/scripts/build.sh"
  CHAINER_BUILD="$root/build/x64" "$root/scripts/build.sh"
else
  "$root/scripts/build.sh"
fi
echo "time: build $((SECONDS - start)) s" >&2
chainer_ensure_display
status=0
# The program users get is checked as an image even where it cannot run.
python3 "$root/tests/image/check_image.py" "$root/build/chainer.exe" i386 || status=$?
python3 "$root/tests/image/check_image.py" "$root/build/x64/chainer.exe" x86-64 || status=$?
# Every parser of outside input under the fuzzers for a short while (natively,
# with ASan and UBSan): any crash fails the run. FUZZ_SECONDS per target.
bash "$root/bench/fuzz.sh" "${FUZZ_SECONDS:-20}" || status=$?

# Runs one build's CTest suite in fresh prefixes, stops their servers, prints
# its time. $1: 32 or 64, $2: a name for the time line; CTest options follow.
run_suite() {
  local bits=$1 name=$2 begun=$SECONDS code=0 prefix
  shift 2
  (
    chainer_use_build "$bits"
    rm -rf "$CHAINER_BUILD/wine"
    cd "$CHAINER_BUILD"
    ctest --output-on-failure -j "$(nproc)" "$@"
  ) || code=$?
  for prefix in "$root/build"/wine/*/ "$root/build/x64"/wine/*/; do
    [ -d "$prefix" ] && WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true
  done
  echo "time: $name $((SECONDS - begun)) s" >&2
  return $code
}

case "$kind" in
native)
  run_suite 32 "32-bit build, whole suite" || status=$?
  run_suite 64 "64-bit build, whole suite" || status=$?
  ;;
emulated)
  run_suite 64 "64-bit build, whole suite" || status=$?
  begun=$SECONDS
  echo "route: now the 32-bit program under qemu-i386: unit programs, e2e $emulated_e2e" >&2
  CHAINER_E2E_FILES="$emulated_e2e" "$root/scripts/run32.sh" bash -c '
    . "$1/scripts/wine-env.sh"
    chainer_use_build 32
    rm -rf "$CHAINER_BUILD/wine"
    cd "$CHAINER_BUILD"
    ctest --output-on-failure -j "$(nproc)"' sh "$root" || status=$?
  for prefix in "$root/build"/wine/*/; do
    [ -d "$prefix" ] && WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true
  done
  echo "time: 32-bit build under qemu-i386 $((SECONDS - begun)) s" >&2
  ;;
*)
  run_suite "$CHAINER_ROUTE" "$CHAINER_ROUTE-bit build, whole suite" || status=$?
  ;;
esac
[ "$CHAINER_ROUTE_KIND" = 64 ] && echo "route: $CHAINER_ROUTE_WHY" >&2
echo "time: total $((SECONDS - start)) s (after set-up)" >&2
exit $status
