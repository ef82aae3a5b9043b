#!/usr/bin/env bash
# Start-up cost of the chainer under Wine: wall time and peak memory of a run on
# an empty configuration and on 1,000 prerequisites with 5 searches each (read
# and loaded; nothing is found that needs installing), against the start of a
# trivial Windows program (bench/trivial.cpp) under the same Wine. A quiet
# empty configuration is run twice: from the program's own folder (the switch
# that names the original makes it stay there) and, as users get it, through
# the copy in a private folder; the ratio of the two is the copy's cost.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
. "$root/scripts/wine-env.sh"
chainer_choose_route
runs="${RUNS:-15}"
"$root/scripts/build.sh" chainer run_measure trivial >/dev/null
prefix="$CHAINER_BUILD/wine/bench-64"
chainer_ensure_display
chainer_ensure_prefix "$prefix" win64
export WINEPREFIX="$prefix"
dir="$prefix/drive_c/bench"
rm -rf "$dir" && mkdir -p "$dir/empty" "$dir/large" "$dir/quiet"
cp "$CHAINER_BUILD/bench/trivial.exe" "$dir/trivial.exe"
cp "$CHAINER_BUILD/chainer.exe" "$dir/empty/setup.exe"
cp "$CHAINER_BUILD/chainer.exe" "$dir/large/setup.exe"
cp "$CHAINER_BUILD/chainer.exe" "$dir/quiet/setup.exe"
python3 - "$dir" <<'PY'
import sys
d = sys.argv[1]
def write(path, text):
    open(path, "wb").write(b"\xff\xfe" + text.replace("\n", "\r\n").encode("utf-16-le"))
write(f"{d}/empty/setup.ini", "")
write(f"{d}/quiet/setup.ini", "[GeneralOptions]\nOptions=q\n")
lines = ["[GeneralOptions]", "Options=q", "[PREREQUISITES]"]
lines += [f"App{n}=Prerequisite {n}" for n in range(1, 1001)]
for n in range(1, 1001):
    lines += [f"[Prerequisite {n}]", f"Url=http://127.0.0.1/p{n}.exe", "Options=i"]
    for k in range(1, 6):
        lines += [f"SearchType{k}=2", f"SearchString{k}=HKLM\\Software\\Bench\\P{n}\\V{k}",
                  f"VerMin{k}=1.0", f"VerMax{k}=9.9"]
write(f"{d}/large/setup.ini", "\n".join(lines) + "\n")
PY
measure() { wine "$CHAINER_BUILD/bench/run_measure.exe" "$runs" "$@" | tr -d '\r'; }
read -r t0 w0 p0 < <(measure 'C:\bench\trivial.exe')
# run_measure sees the memory of the process it starts only: these rows run
# in place, so that they measure the program's own work.
read -r t1 w1 p1 < <(measure 'C:\bench\empty\setup.exe' '/CleanRoomOriginal="C:\bench\empty\setup.exe"')
read -r t2 w2 p2 < <(measure 'C:\bench\large\setup.exe' '/CleanRoomOriginal="C:\bench\large\setup.exe"')
read -r t3 w3 p3 < <(measure 'C:\bench\quiet\setup.exe' '/CleanRoomOriginal="C:\bench\quiet\setup.exe"')
read -r t4 w4 p4 < <(measure 'C:\bench\quiet\setup.exe')
printf '%-34s %10s %14s %14s\n' "run (median of $runs)" "wall ms" "peak WS KiB" "peak priv KiB"
printf '%-34s %10s %14s %14s\n' "baseline: trivial program" "$t0" "$w0" "$p0"
printf '%-34s %10s %14s %14s\n' "chainer, empty configuration" "$t1" "$w1" "$p1"
printf '%-34s %10s %14s %14s\n' "chainer, 1000 prerequisites" "$t2" "$w2" "$p2"
printf '%-34s %10s %14s %14s\n' "quiet, in place (baseline)" "$t3" "$w3" "$p3"
printf '%-34s %10s %14s %14s\n' "quiet, through the private copy" "$t4" "$w4" "$p4"
python3 -c "import sys; t0,t1,t2=map(float,sys.argv[1:4]); print(f'ratio to baseline: empty {t1/t0:.2f}x, 1000 prerequisites {t2/t0:.2f}x')" "$t0" "$t1" "$t2"
python3 -c "import sys; t3,t4=map(float,sys.argv[1:]); print(f'private copy: +{t4-t3:.1f} ms a start, {t4/t3:.2f}x the start in place')" "$t3" "$t4"
