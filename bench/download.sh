#!/usr/bin/env bash
# What a download costs under Wine beside the tools of the host: one file of
# SIZE_MIB MiB (default 256) served by nginx on 127.0.0.1, fetched and checked
# the way the chainer does it, against `curl -o` followed by `md5sum` on the
# same file in the same run, with a plain synchronous WinINet loop (51,200-byte
# buffer, bench/download_bench.cpp) as a second baseline. Prints the median
# wall time of RUNS runs (default 5) per route, the peak memory (largest
# resident size of the process), and the throughput of the chainer's route as
# a share of curl+md5sum's. Target: at least 1.0.
#
# Windows always has its desktop; under Wine the first program that needs it
# starts it (about a fifth of a second on these machines) and it ends again
# soon after the last one. So that every timed run meets the desktop the way
# it would on Windows, a Wine program holds it for the whole script (set
# COLD_DESKTOP=1 to time the routes without it).
#
# Each timed run starts once the files of the runs before it are written out:
# the kernel writing back a route's 256 MiB in the background, on a 2-core
# machine, took CPU from whichever route came next.
#
# The chainer does its work in a private copy of itself, a process that
# /usr/bin/time does not see: its peak memory is taken from one run kept in
# place, as Windows reports it (peak working set, and private bytes).
#
# The chainer's route: when the chainer itself downloads a prerequisite named
# in its configuration (checked with one run of chainer.exe on a configuration
# whose one prerequisite is the file), that run is what is timed. Otherwise
# it is download_bench.exe, which calls the transfer engine, hashing as the
# download job does, and takes the MD5 its check compares; fetch_url.exe, the engine
# alone, is timed as well. BUILD_DIR another build folder of the route
# (default the route's, built first).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
. "$root/scripts/wine-env.sh"
chainer_choose_route
size_mib="${SIZE_MIB:-256}"
runs="${RUNS:-5}"
build="${BUILD_DIR:-$CHAINER_BUILD}"
targets=(chainer fetch_url download_bench run_measure)
if [ -z "${BUILD_DIR:-}" ]; then
  "$root/scripts/build.sh" "${targets[@]}" >/dev/null
else
  cmake "$build" >/dev/null # picks up bench programs added since the last configure
  cmake --build "$build" --target "${targets[@]}" >/dev/null
fi
command -v nginx >/dev/null || { echo "nginx is missing (Debian package nginx-light)" >&2; exit 1; }

prefix="$build/wine/bench-64"
chainer_ensure_display
chainer_ensure_prefix "$prefix" win64
export WINEPREFIX="$prefix"
bench="$prefix/drive_c/bench/download"
rm -rf "$bench" && mkdir -p "$bench/chainer" "$bench/out"

# nginx runs from a folder of its own on a free loopback port and is stopped
# however the script ends.
work="$(mktemp -d)"
nginx_pid=""
stop() {
  [ -z "${COLD_DESKTOP:-}" ] && wineserver -k 2>/dev/null || true
  if [ -n "$nginx_pid" ]; then
    kill "$nginx_pid" 2>/dev/null || true
    wait "$nginx_pid" 2>/dev/null || true
  fi
  rm -rf "$work" "$bench"
}
trap stop EXIT
mkdir -p "$work/www" "$work/temp"
# Workers may run as another user when the script runs as root.
chmod 755 "$work" "$work/www"
head -c "$((size_mib * 1048576))" /dev/urandom >"$work/www/big.bin"
chmod 644 "$work/www/big.bin"
md5="$(md5sum "$work/www/big.bin" | cut -d' ' -f1)"
size="$(stat -c %s "$work/www/big.bin")"
port="$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')"
cat >"$work/nginx.conf" <<EOF
worker_processes 1;
daemon off;
pid $work/nginx.pid;
error_log $work/error.log;
events { worker_connections 64; }
http {
  access_log off;
  client_body_temp_path $work/temp;
  proxy_temp_path $work/temp;
  fastcgi_temp_path $work/temp;
  uwsgi_temp_path $work/temp;
  scgi_temp_path $work/temp;
  sendfile on;
  server { listen 127.0.0.1:$port; root $work/www; }
}
EOF
nginx -e "$work/error.log" -p "$work" -c "$work/nginx.conf" &
nginx_pid=$!
url="http://127.0.0.1:$port/big.bin"
for _ in $(seq 1 100); do
  curl -sf -o /dev/null -r 0-0 "$url" && break
  kill -0 "$nginx_pid" 2>/dev/null || { cat "$work/error.log" >&2; exit 1; }
  sleep 0.05
done

# Runs a command and prints "<seconds> <peak KiB>"; its output goes to $work/out.
timed() {
  /usr/bin/time -f '%e %M' -o "$work/time" "$@" >"$work/out" 2>&1 ||
    { echo "failed: $*" >&2; cat "$work/out" >&2; exit 1; }
  cat "$work/time"
}
win_target='C:\bench\download\out\big.bin'
linux_target="$bench/out/big.bin"

curl_md5() {
  rm -f "$linux_target" && sync
  timed bash -c "curl -sf -o '$linux_target' '$url' && md5sum '$linux_target' >'$work/md5'"
  [ "$(cut -d' ' -f1 "$work/md5")" = "$md5" ] || { echo "curl: wrong MD5" >&2; exit 1; }
}
engine_md5() {
  rm -f "$linux_target" && sync
  timed "$CHAINER_WINE" "$build/bench/download_bench.exe" engine "$url" "$win_target" "$size"
  grep -q "^md5 $md5 " <(tr -d '\r' <"$work/out") || { echo "engine: wrong MD5" >&2; exit 1; }
  tr -d '\r' <"$work/out" >>"$work/phases"
}
fetch_url() {
  rm -f "$linux_target" && sync
  timed "$CHAINER_WINE" "$build/tools/fetch_url.exe" "$url" "$win_target"
  grep -q '^result 0' <(tr -d '\r' <"$work/out") || { echo "fetch_url failed" >&2; exit 1; }
}
wininet() {
  rm -f "$linux_target" && sync
  timed "$CHAINER_WINE" "$build/bench/download_bench.exe" wininet "$url" "$win_target"
}

# The chainer: silent, one prerequisite that is never found, fetched into a
# download folder that keeps it. The setup it would then start is not a
# program and fails at once, which costs little beside the transfer.
cp "$build/chainer.exe" "$bench/chainer/setup.exe"
python3 - "$bench/chainer/setup.ini" "$url" "$size" "$md5" <<'PY'
import sys
path, url, size, md5 = sys.argv[1:]
lines = ["[GeneralOptions]", "Options=q", r"DownloadFolder=C:\bench\download\chainer\dl",
         "KeepFiles=complete", "[PREREQUISITES]", "App1=Payload", "[Payload]",
         f"Url={url}", f"ExactSize={size}", f"MD5={md5}", "NoUiCommandLine=",
         "SearchType1=5", r"SearchString1=HKCU\Software\ChainerBench\Download\Missing"]
open(path, "wb").write(b"\xff\xfe" + ("\r\n".join(lines) + "\r\n").encode("utf-16-le"))
PY
chainer_file="$bench/chainer/dl/big.bin"
chainer() {
  rm -rf "$bench/chainer/dl" && sync
  # Its exit code tells about the setup that cannot start; the file decides.
  /usr/bin/time -f '%e %M' -o "$work/time" timeout 600 "$CHAINER_WINE" \
    "$bench/chainer/setup.exe" >"$work/out" 2>&1 || true
  [ -f "$chainer_file" ] && [ "$(md5sum "$chainer_file" | cut -d' ' -f1)" = "$md5" ] || return 1
  cat "$work/time"
}
if [ -z "${COLD_DESKTOP:-}" ]; then
  "$CHAINER_WINE" notepad >/dev/null 2>&1 &
  for _ in $(seq 1 100); do
    pgrep -f 'explorer.exe /desktop' >/dev/null && break
    sleep 0.05
  done
  desktop="held by a Wine program, as Windows always has one"
else
  desktop="started by the routes that need it"
fi
if chainer >/dev/null; then
  main_name="chainer.exe, silent run with the download job"
  main=chainer
else
  main_name="engine + MD5 check (download_bench.exe)"
  main=engine_md5
fi

declare -A results
for run in $(seq 1 "$runs"); do
  for route in curl_md5 "$main" fetch_url wininet; do
    row="$($route)" || { echo "$route failed" >&2; exit 1; }
    results[$route]+="$row"$'\n'
  done
done

touch "$work/phases"
memory=""
if [ "$main" = chainer ]; then
  rm -rf "$bench/chainer/dl"
  memory="$("$CHAINER_WINE" "$build/bench/run_measure.exe" 1 'C:\bench\download\chainer\setup.exe' \
    '/CleanRoomOriginal="C:\bench\download\chainer\setup.exe"' | tr -d '\r')"
  [ -f "$chainer_file" ] || { echo "the chainer's in-place run failed" >&2; exit 1; }
fi
python3 - "$size_mib" "$runs" "$main_name" "$CHAINER_WINE" "${results[curl_md5]}" "${results[$main]}" \
  "${results[fetch_url]}" "${results[wininet]}" "$(cat "$work/phases")" "$memory" "$desktop" <<'PY'
import statistics, sys
size_mib, runs, main_name, loader = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4]
def parse(text):
    rows = [tuple(map(float, line.split())) for line in text.splitlines() if line.strip()]
    return statistics.median(r[0] for r in rows), max(r[1] for r in rows) / 1024, [r[0] for r in rows]
routes = [("curl -o + md5sum (host)", parse(sys.argv[5])), (main_name, parse(sys.argv[6])),
          ("fetch_url.exe, the engine alone", parse(sys.argv[7])),
          ("plain synchronous WinINet loop, 51,200 B", parse(sys.argv[8]))]
print(f"{size_mib} MiB from nginx on 127.0.0.1, median of {runs} runs; Windows programs under {loader}")
print(f"Wine's desktop: {sys.argv[11]}")
memory = sys.argv[10].split()
if memory:  # the chainer's own process, not the one /usr/bin/time sees
    main = routes[1]
    routes[1] = (main[0], (main[1][0], int(memory[1]) / 1024, main[1][2]))
print(f"{'route':<50}{'wall s':>8}{'MiB/s':>9}{'peak MiB':>10}  runs")
for name, (median, peak, each) in routes:
    print(f"{name:<50}{median:>8.2f}{size_mib / median:>9.1f}{peak:>10.1f}  "
          + " ".join(f"{t:.2f}" for t in each))
phases = [line.split() for line in sys.argv[9].splitlines() if line.startswith("md5 ")]
if phases:
    transfer = statistics.median(float(p[3]) for p in phases)
    digest = statistics.median(float(p[5]) for p in phases)
    print(f"inside download_bench.exe: transfer {transfer:.2f} s, MD5 check {digest:.2f} s (medians)")
if memory:
    peak = max(int(memory[1]), int(memory[2])) / 1024
    print(f"chainer's working process, one run in place: peak working set {int(memory[1]) / 1024:.1f} MiB, "
          f"peak private bytes {int(memory[2]) / 1024:.1f} MiB (target under 32: {'met' if peak < 32 else 'NOT met'})")
ratio = routes[0][1][0] / routes[1][1][0]
print(f"ratio: {main_name} reaches {ratio:.2f} of curl+md5sum's throughput "
      f"(target 1.00: {'met' if ratio >= 1.0 else 'NOT met'})")
PY
