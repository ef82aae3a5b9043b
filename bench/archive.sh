#!/usr/bin/env bash
# Extraction throughput of the embedded archive: one 256 MiB entry (text-like,
# compressible data) extracted by the chainer under Wine, against Debian's
# `7zz x -mmt1` on the same archive, and the chainer's peak memory during it.
# BUILD_DIR picks another build folder of the route (no build then).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
. "$root/scripts/wine-env.sh"
chainer_choose_route
build="${BUILD_DIR:-$CHAINER_BUILD}"
size_mib="${SIZE_MIB:-256}"
if [ -z "${BUILD_DIR:-}" ]; then
  "$root/scripts/build.sh" chainer run_measure bundle_native >/dev/null
fi
prefix="$build/wine/bench-64"
chainer_ensure_display
chainer_ensure_prefix "$prefix" win64
export WINEPREFIX="$prefix"
dir="$prefix/drive_c/bench-archive"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
rm -rf "$dir" && mkdir -p "$dir"

python3 - "$scratch/big.bin" "$size_mib" <<'PY'
import random, sys
random.seed(7)
words = ["".join(random.choice("abcdefghijklmnopqrstuvwxyz") for _ in range(random.randint(2, 9)))
         for _ in range(4000)]
target = int(sys.argv[2]) << 20
with open(sys.argv[1], "wb") as out:
    written = 0
    while written < target:
        chunk = b"".join((" ".join(random.choices(words, k=12)) + " %d\n" %
                          random.getrandbits(24)).encode() for _ in range(4096))
        out.write(chunk[:target - written])
        written += min(len(chunk), target - written)
PY

# 7zz decodes the very archive the bundle carries, cut out of it.
"$build/bundle" --chainer "$build/chainer.exe" --out "$dir/setup.exe" "$scratch/big.bin"
python3 - "$dir/setup.exe" "$(stat -c %s "$build/chainer.exe")" "$scratch/big.7z" <<'PY'
import struct, sys
data = open(sys.argv[1], "rb").read()
start = int(sys.argv[2])  # the bundle follows the chainer's image
assert data[start:start + 8] == b"CVBUNDL1", "no bundle after the image"
offset, size = struct.unpack_from("<QQ", data, start + 24)  # the first (only) archive
open(sys.argv[3], "wb").write(data[start + offset:start + offset + size])
PY
start=$(date +%s.%N)
7zz x -mmt1 -bso0 -bsp0 -y -o"$scratch/out" "$scratch/big.7z"
end=$(date +%s.%N)
seven_s=$(awk -v a="$start" -v b="$end" 'BEGIN { print b - a }')
cmp -s "$scratch/out/big.bin" "$scratch/big.bin" || { echo "7zz gave other bytes" >&2; exit 1; }

python3 - "$dir/setup.ini" <<'PY'
import sys
text = "\n".join(["[GeneralOptions]", "Options=q", "ExtractionFolder=C:\\bench-archive\\x",
                  "[PREREQUISITES]", "App1=Big", "[Big]", "SetupFile=big.bin",
                  "NoUiCommandLine=/S", "SearchType1=5",
                  "SearchString1=HKLM\\Software\\Corvane Bench\\Absent", "[PREREQ_CHAINER]",
                  "LogFile=C:\\bench-archive\\run.log"]) + "\n"
open(sys.argv[1], "wb").write(b"\xff\xfe" + text.replace("\n", "\r\n").encode("utf-16-le"))
PY
read -r ms ws priv < <(wine "$build/bench/run_measure.exe" 1 'C:\bench-archive\setup.exe' | tr -d '\r')
if ! python3 -c 'import sys; sys.exit("File extracted:" not in open(sys.argv[1], "rb").read().decode("utf-16-le"))' "$dir/run.log"; then
  echo "the chainer did not extract the entry; see $dir/run.log" >&2
  exit 1
fi
awk -v mib="$size_mib" -v c="$ms" -v s="$seven_s" -v ws="$ws" -v pv="$priv" 'BEGIN {
  cm = mib * 1.048576 / (c / 1000); sm = mib * 1.048576 / s;
  printf "%-40s %10.1f MB/s\n", "7zz x -mmt1 (native, 64-bit)", sm;
  printf "%-40s %10.1f MB/s  (whole run, %d ms)\n", "chainer under Wine (32-bit)", cm, c;
  printf "%-40s %10.2f  (target >= 0.7)\n", "ratio chainer / 7zz", cm / sm;
  printf "%-40s %10s KiB working set, %s KiB private (0: Wine did not say)\n",
         "chainer peak memory", ws, pv }'
