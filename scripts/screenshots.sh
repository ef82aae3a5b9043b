#!/usr/bin/env bash
# Makes the pictures of the documents under Xvfb: docs/images/progress-dialog.png,
# the basic-mode progress dialog while a (stand-in) setup runs. Needs a built
# tree: scripts/build.sh chainer slow_setup screenshot exitcode.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
. "$root/scripts/wine-env.sh"
chainer_choose_route
build="$CHAINER_BUILD"
prefix="$build/wine/screenshots-64"
chainer_ensure_display
chainer_ensure_prefix "$prefix" win64
export WINEPREFIX="$prefix" WINEDEBUG=-all
# Xvfb has no window manager: let Wine draw the caption bar itself.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null

package="$prefix/drive_c/Shots"
rm -rf "$package"
mkdir -p "$package"
cp "$build/chainer.exe" "$package/setup.exe"
cp "$build/tools/slow_setup.exe" "$package/example-runtime.exe"
cat > "$package/setup.txt" <<'INI'
[GeneralOptions]
Options=b
ExtractionFolder=[SETUPEXEDIR]

[PREREQUISITES]
App1=Example Runtime

[Example Runtime]
SetupFile=example-runtime.exe
SearchType1=5
SearchString1=HKLM\Software\Corvane Screenshots\Never
INI
"$build/bundle" ini "$package/setup.txt" "$package/setup.ini"

mkdir -p "$root/docs/images"
wine "$build/tools/exitcode.exe" 'C:\Shots\setup.exe' >/dev/null &
run=$!
shot="$package/progress-dialog.bmp"
code=0
wine "$build/tools/screenshot.exe" "Corvane Prerequisite Chainer Setup" 'C:\Shots\progress-dialog.bmp' 60 \
  >/dev/null || code=$?
touch "$package/release"  # the stand-in setup ends
wait "$run" || true
if [ "$code" != 0 ]; then
  echo "no progress dialog to photograph (screenshot exit code $code)" >&2
  exit 1
fi
python3 "$root/scripts/bmp-to-png.py" "$shot" "$root/docs/images/progress-dialog.png"
echo "wrote docs/images/progress-dialog.png"
