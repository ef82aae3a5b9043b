#!/usr/bin/env bash
# CTest's emulator for the cross-built tests: runs a Windows program under Wine
# in the prefix named by WINEPREFIX (default: the 64-bit test prefix).
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
. "$here/../scripts/wine-env.sh"
: "${WINEPREFIX:=$here/../build/wine/prefix64}"
export WINEPREFIX
case "$WINEPREFIX" in *32) arch=win32 ;; *) arch=win64 ;; esac
export WINEARCH=$arch
chainer_ensure_display
chainer_ensure_prefix "$WINEPREFIX" "$arch"
exec "$CHAINER_WINE" "$@"
