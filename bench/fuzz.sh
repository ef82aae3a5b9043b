#!/bin/bash
# bench/fuzz.sh [SECONDS [RUNS]]: builds the native fuzz targets (tests/fuzz,
# clang with libFuzzer, ASan and UBSan) into build/fuzz and runs each for
# SECONDS (default 20) on a copy of its seed corpus, or until RUNS executions
# when that comes first (the long run: `bench/fuzz.sh 7200 10000000`). Prints
# per target the executions, their rate, the seconds taken, coverage
# (libFuzzer's cov: edges and ft: features) and crashes; exits 1 when
# any target crashed, leaking, timing out or running out of memory included.
# The inputs that did it are kept in build/fuzz/findings/<target>/.
# FUZZ_TARGETS="ini seven_zip" runs only those, so that a long run can be
# split over two processes that share nothing but the built targets.
set -u
seconds=${1:-20}
runs_goal=${2:-}
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/fuzz
CC=clang-14 CXX=clang++-14 cmake -S "$root/tests/fuzz" -B "$build" >/dev/null || exit 1
# FUZZ_JOBS=1 keeps a shared machine usable for other builds.
cmake --build "$build" -j "${FUZZ_JOBS:-$(nproc)}" >"$build/build.log" 2>&1 || { tail -20 "$build/build.log"; exit 1; }

failed=0
printf '%-22s %12s %9s %7s %8s %8s %8s\n' target executions exec/s seconds cov ft crashes
for corpus in "$root"/tests/fuzz/corpus/*/; do
  name=$(basename "$corpus")
  case " ${FUZZ_TARGETS:-$name} " in *" $name "*) ;; *) continue ;; esac
  work=$build/run/$name findings=$build/findings/$name
  rm -rf "$work" && mkdir -p "$work" "$findings"
  cp "$corpus"* "$work"/
  log=$build/run/$name.log
  # A slow input is a finding too: one input may take at most 10 s.
  started=$(date +%s)
  "$build/fuzz_$name" -max_total_time="$seconds" ${runs_goal:+-runs="$runs_goal"} -timeout=10 -print_final_stats=1 \
    -artifact_prefix="$findings/" "$work" >"$log" 2>&1
  status=$?
  took=$(( $(date +%s) - started ))
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
  ft=$(grep -o 'ft: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
  # libFuzzer also keeps inputs that merely ran slowly (slow-unit-*). On a
  # shared machine a niced fuzzer can be held for seconds, so only a crash,
  # leak, out-of-memory or a timeout (over -timeout) counts; re-run a slow
  # unit alone (build/fuzz/fuzz_<target> FILE) to see whether it is slow.
  crashes=$(find "$findings" -type f ! -name 'slow-unit-*' | wc -l)
  if [ "$status" -ne 0 ] || [ "$crashes" -ne 0 ]; then
    failed=1
    [ "$crashes" -eq 0 ] && crashes="exit $status"
  fi
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
  printf '%-22s %12s %9s %7s %8s %8s %8s\n' "$name" "${runs:-?}" "${rate:-?}" "$took" "${cov:-?}" "${ft:-?}" "$crashes"
done
[ "$failed" -eq 0 ] || echo "crashes: see build/fuzz/run/<target>.log and build/fuzz/findings/" >&2
exit $failed
