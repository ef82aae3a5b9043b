#!/usr/bin/env bash
# Configures and builds both programs from the same sources: the 32-bit one
# into build/ and the 64-bit one into build/x64/. The build under test
# (CHAINER_BUILD, chosen by chainer_choose_route; build/ when unset) gets the
# targets given, or everything; the other gets its chainer.exe only.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
tested="${CHAINER_BUILD:-$root/build}"
[ "${1:-}" = --target ] && shift
for dir in "$root/build" "$root/build/x64"; do
  toolchain="$root/cmake/mingw-i686.cmake"
  [ "$dir" = "$root/build/x64" ] && toolchain="$root/cmake/mingw-x86_64.cmake"
  cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" >/dev/null
done
if [ $# -gt 0 ]; then
  cmake --build "$tested" -j "$(nproc)" --target "$@"
else
  cmake --build "$tested" -j "$(nproc)"
fi
for dir in "$root/build" "$root/build/x64"; do
  [ "$dir" = "$tested" ] || cmake --build "$dir" -j "$(nproc)" --target chainer
done
