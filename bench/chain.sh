#!/usr/bin/env bash
# What the chain itself adds per prerequisite under Wine: the wall time of a
# silent run of the chainer on 20 prerequisites whose setups exit at once
# (copies of tools/exit_with.exe, started from the executable's folder), minus
# the setups' own run time (20 bare starts of the same program), per
# prerequisite; also without the chainer's own start (a run on an empty
# configuration). Baselines: one bare start of the setup program, and a plain
# launcher that starts the same setups one after the other and waits for each
# (bench/plain_launcher.cpp), the way the chainer must (ShellExecuteExW) and
# with a bare CreateProcessW: the chain may cost at most 25 ms per setup more
# than the first. SETUPS sets
# the number of setups (default 20), RUNS the repetitions (median, default 9),
# BUILD_DIR another build folder of the route (default the route's, built first).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
. "$root/scripts/wine-env.sh"
chainer_choose_route
setups="${SETUPS:-20}"
runs="${RUNS:-9}"
build="${BUILD_DIR:-$CHAINER_BUILD}"
targets=(chainer run_measure plain_launcher exit_with)
if [ -z "${BUILD_DIR:-}" ]; then
  "$root/scripts/build.sh" "${targets[@]}" >/dev/null
else
  cmake --build "$build" --target "${targets[@]}" >/dev/null
fi
prefix="$build/wine/bench-64"
chainer_ensure_display
chainer_ensure_prefix "$prefix" win64
export WINEPREFIX="$prefix"
dir="$prefix/drive_c/bench/chain"
rm -rf "$dir" && mkdir -p "$dir/chain" "$dir/empty"
cp "$build/chainer.exe" "$dir/chain/setup.exe"
cp "$build/chainer.exe" "$dir/empty/setup.exe"
cp "$build/tools/exit_with.exe" "$dir/bare.exe"
for n in $(seq 1 "$setups"); do cp "$build/tools/exit_with.exe" "$dir/chain/setup$n.exe"; done
python3 - "$dir" "$setups" <<'PY'
import sys
d, count = sys.argv[1], int(sys.argv[2])
def write(path, text):
    open(path, "wb").write(b"\xff\xfe" + text.replace("\n", "\r\n").encode("utf-16-le"))
# Silent as the chain is: the start without any setup to run.
write(f"{d}/empty/setup.ini", "[GeneralOptions]\nOptions=q\n")
lines = ["[GeneralOptions]", "Options=q", "ExtractionFolder=[SETUPEXEDIR]", "[PREREQUISITES]"]
lines += [f"App{n}=Setup {n}" for n in range(1, count + 1)]
for n in range(1, count + 1):
    # Never found, so every setup runs; "0" makes exit_with end at once with 0.
    # "/q" is what makes the chainer start a setup hidden, as the launcher
    # does: shown, each console setup costs Wine some 40 ms more, which is
    # the setup's window, not the chain.
    lines += [f"[Setup {n}]", f"SetupFile=setup{n}.exe", "NoUiCommandLine=0 /q",
              "SearchType1=5", f"SearchString1=HKCU\\Software\\ChainerBench\\Chain\\Missing{n}"]
write(f"{d}/chain/setup.ini", "\n".join(lines) + "\n")
PY
measure() { wine "$build/bench/run_measure.exe" "$runs" "$@" | tr -d '\r' | cut -d' ' -f1; }
cp "$build/bench/plain_launcher.exe" "$dir/launcher.exe"
bare="$(measure 'C:\bench\chain\bare.exe')"
launcher="$(measure 'C:\bench\chain\launcher.exe' "shell C:\\bench\\chain\\chain $setups 0")"
created="$(measure 'C:\bench\chain\launcher.exe' "process C:\\bench\\chain\\chain $setups 0")"
empty="$(measure 'C:\bench\chain\empty\setup.exe')"
chain="$(measure 'C:\bench\chain\chain\setup.exe')"
python3 - "$setups" "$runs" "$bare" "$empty" "$chain" "$launcher" "$created" <<'PY'
import sys
n, runs = int(sys.argv[1]), sys.argv[2]
bare, empty, chain, launcher, created = map(float, sys.argv[3:])
per = (chain - n * bare) / n
per_no_start = (chain - empty - n * bare) / n
print(f"silent chain of {n} setups that exit at once, median of {runs} runs, under Wine")
print(f"{'run':<44}{'wall ms':>10}")
print(f"{'baseline: one bare start of the setup':<44}{bare:>10.1f}")
print(f"{'chainer, silent, nothing to install':<44}{empty:>10.1f}")
print(f"{f'plain launcher, CreateProcessW, {n} setups':<44}{created:>10.1f}")
print(f"{f'baseline: plain launcher, shell, {n} setups':<44}{launcher:>10.1f}")
print(f"{f'chainer, {n} setups':<44}{chain:>10.1f}")
print(f"chain minus the setups' own run time: {per:.1f} ms per prerequisite "
      f"({per / bare:.2f}x a bare start)")
print(f"without the chainer's own start as well: {per_no_start:.1f} ms per prerequisite "
      f"({per_no_start / bare:.2f}x a bare start)")
beyond = (chain - launcher) / n
print(f"beyond the plain launcher (shell): {beyond:.1f} ms per setup, {chain / launcher:.2f}x its time "
      f"(target at most 25 ms: {'met' if beyond <= 25 else 'NOT met'})")
PY
