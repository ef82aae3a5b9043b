#!/usr/bin/env bash
# What detection costs under Wine beside the system calls it is made of: 500
# prerequisites with 4 searches each (a key, a registry value with a version
# range, two file versions; everything present, so every search runs), timed
# around DetectAll inside a process linked with chainer_core, against the same
# number of bare RegOpenKeyExW / FindFirstFileW calls (bench/raw_lookups.cpp).
# Target: detection under 2x the bare calls. COUNT sets the prerequisites
# (default 500), RUNS the repetitions (median, default 9); BUILD_DIR another
# build folder (default build/, built first with scripts/build.sh).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
. "$root/scripts/wine-env.sh"
chainer_choose_route
count="${COUNT:-500}"
runs="${RUNS:-9}"
build="${BUILD_DIR:-$CHAINER_BUILD}"
targets=(detection_bench raw_lookups versioned)
if [ -z "${BUILD_DIR:-}" ]; then
  "$root/scripts/build.sh" "${targets[@]}" >/dev/null
else
  cmake "$build" >/dev/null  # picks up bench programs added since the last configure
  cmake --build "$build" --target "${targets[@]}" >/dev/null
fi
prefix="$build/wine/bench-64"
chainer_ensure_display
chainer_ensure_prefix "$prefix" win64
export WINEPREFIX="$prefix"
dir="$prefix/drive_c/bench/detection"
mkdir -p "$dir"
cp "$build/tools/versioned.exe" "$dir/versioned.exe"

detect="$(wine "$build/bench/detection_bench.exe" "$count" 'C:\bench\detection\files' \
  'C:\bench\detection\versioned.exe' "$runs" | tr -d '\r')"
raw="$(wine "$build/bench/raw_lookups.exe" "$count" 'C:\bench\detection\files' "$runs" | tr -d '\r')"

python3 - "$count" "$runs" "$detect" "$raw" <<'PY'
import sys
count, runs, detect, raw = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4]
parse = lambda text: {f[0]: (int(f[1]), float(f[2]), float(f[3]))
                      for f in (line.split() for line in text.splitlines()) if len(f) == 4}
d, r = parse(detect), parse(raw)
print(f"detection of {count} prerequisites, median of {runs} runs, under Wine")
print(f"{'searches':<34}{'count':>8}{'ms':>10}{'us/search':>11}{'baseline us':>13}{'ratio':>8}")
labels = {"mixed": "2 registry + 2 file each",
          "registry": "4 registry each (key, value)",
          "file": "4 file versions each"}
for kind in ("mixed", "registry", "file"):
    n, ms, us = d[kind]
    base = r[kind][2]
    print(f"{labels[kind]:<34}{n:>8}{ms:>10.1f}{us:>11.2f}{base:>13.2f}{us / base:>7.2f}x")
# The same searches against the calls they cannot do without: a file version
# search must also read the version resource.
fair = (r["registry"][2] + r["version"][2]) / 2
print(f"file searches against find + version read ({r['version'][2]:.2f} us per file): "
      f"{d['file'][2] / r['version'][2]:.2f}x; mixed against that: {d['mixed'][2] / fair:.2f}x")
ratio = d["mixed"][2] / r["mixed"][2]
print(f"baseline: bare RegOpenKeyExW / FindFirstFileW on the same keys and files "
      f"({r['registry'][2]:.2f} / {r['file'][2]:.2f} us per call)")
print(f"detection overhead: {ratio:.2f}x the bare calls (target under 2x: "
      f"{'met' if ratio < 2 else 'NOT met'})")
PY
