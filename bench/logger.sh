#!/usr/bin/env bash
# What the log's durability costs under Wine: lines per second of Logger::Write
# (every piece written and flushed on its own) beside plain WriteFile calls
# without flush, and their ratio. LINES sets the number of lines (default
# 1000); BUILD_DIR another build folder of the route (default the route's, built first).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
. "$root/scripts/wine-env.sh"
chainer_choose_route
lines="${LINES:-1000}"
build="${BUILD_DIR:-$CHAINER_BUILD}"
if [ -z "${BUILD_DIR:-}" ]; then
  "$root/scripts/build.sh" logger_bench >/dev/null
else
  cmake --build "$build" --target logger_bench >/dev/null
fi
prefix="$build/wine/bench-64"
chainer_ensure_display
chainer_ensure_prefix "$prefix" win64
export WINEPREFIX="$prefix"
# The prefix's own drive, so that the flushes reach the disk the log would use.
mkdir -p "$prefix/drive_c/bench"
wine "$build/bench/logger_bench.exe" "$lines" 'C:\bench' | tr -d '\r'
