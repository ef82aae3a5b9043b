#!/usr/bin/env bash
# Sets up what is missing, builds the chainer, and runs it under Wine on the
# demo configuration in examples/; prints its exit code and its log.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
[ -n "${CHAINER_EMULATED:-}" ] || "$root/scripts/setup.sh"
. "$root/scripts/wine-env.sh"
chainer_choose_route
# The demo shows the program users get: where the kernel refuses 32-bit
# code, the 32-bit program under qemu-i386.
if [ "$CHAINER_ROUTE_KIND" = emulated ] && [ -z "${CHAINER_EMULATED:-}" ]; then
  exec env -u CHAINER_ROUTE "$root/scripts/run32.sh" bash "$0" "$@"
fi
"$root/scripts/build.sh" chainer exitcode chainer_test_installers >/dev/null
build="$CHAINER_BUILD"
prefix="$build/wine/demo-64"
chainer_ensure_display
chainer_ensure_prefix "$prefix" win64
export WINEPREFIX="$prefix"

demo="$prefix/drive_c/Demo"
rm -rf "$demo"
mkdir -p "$demo"
cp "$build/chainer.exe" "$demo/setup.exe"
python3 "$root/scripts/ini-to-utf16.py" "$root/examples/demo.ini" "$demo/setup.ini"
# The demo prerequisite: a small setup built with the tests' installers
# (NSIS for the 32-bit build, a 64-bit stand-in for the 64-bit one).
cp "$build/test-data/demo-runtime.exe" "$demo/"
# Start from a machine without it, so that every demo run installs it.
wine reg delete 'HKLM\Software\Corvane Test\Demo Runtime' /f /reg:32 >/dev/null 2>&1 || true

code=$(wine "$build/tools/exitcode.exe" 'C:\Demo\setup.exe' | tr -d '\r')
echo "chainer exit code: $code"
if [ -f "$demo/setup-demo.log" ]; then
  echo "---- C:\\Demo\\setup-demo.log ----"
  python3 -c 'import sys; sys.stdout.write(open(sys.argv[1], "rb").read().decode("utf-16"))' \
    "$demo/setup-demo.log"
fi
