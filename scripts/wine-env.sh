# Sourced by the scripts that run Windows programs: a quiet Wine that never
# offers to install Mono or Gecko, and a virtual display for windows.
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH="${WINEARCH:-win64}"

# The Wine loader for the build under test: Debian's `wine` wrapper always
# takes the 32-bit loader when wine32 is installed, which cannot start at all
# on a machine that refuses 32-bit programs, so the 64-bit build names
# /usr/lib/wine/wine64 here (CHAINER_WINE comes from CTest or route.sh).
export CHAINER_WINE="${CHAINER_WINE:-wine}"
if [ "$CHAINER_WINE" != wine ]; then
  # Programs that Wine itself starts (cmd, msiexec, services) take this loader too.
  export WINELOADER="$CHAINER_WINE"
fi
# `command`: with CHAINER_WINE=wine a plain call would be this function again.
wine() { command "$CHAINER_WINE" "$@"; }

# Starts Xvfb on :99 for the windows the programs open (once per machine).
# A socket left behind by a server that has died counts as no server: Wine
# would otherwise find no display and every window would silently fail.
chainer_ensure_display() {
  export DISPLAY=:99
  (
    flock 8
    local pid=""
    [ -r /tmp/.X99-lock ] && pid="$(tr -dc '0-9' </tmp/.X99-lock)"
    if [ -n "$pid" ] && [ -e /tmp/.X11-unix/X99 ] &&
      ! grep -qs '^State:[[:space:]]*[ZX]' "/proc/$pid/status" && [ -e "/proc/$pid" ]; then
      exit 0
    fi
    rm -f /tmp/.X99-lock /tmp/.X11-unix/X99
    (setsid Xvfb :99 -screen 0 1024x768x24 -nolisten tcp </dev/null >/dev/null 2>&1 8>&- &)
    for _ in $(seq 1 100); do
      [ -e /tmp/.X11-unix/X99 ] && exit 0
      sleep 0.1
    done
    echo "Xvfb did not start on :99; windows will not open" >&2
  ) 8>/tmp/.chainer-display.lock
}

# Makes sure the prefix in WINEPREFIX exists (created once, also when several
# callers ask at the same time) and that its server is running, so that the
# services Wine starts on first use do not hold anybody's output pipe open.
chainer_ensure_prefix() {
  local prefix="$1" arch="${2:-win64}"
  mkdir -p "$(dirname "$prefix")"
  (
    flock 9
    # Made aside and moved into place when complete: a prefix whose first
    # wineboot was cut short under load once held system.reg but no kernel32
    # ("could not load kernel32.dll, status c0000135").
    local attempt
    for attempt in 1 2 3; do
      [ -f "$prefix/drive_c/windows/system32/kernel32.dll" ] && break
      rm -rf "$prefix" "$prefix.new"
      WINEPREFIX="$prefix.new" WINEARCH="$arch" wine wineboot -i >/dev/null 2>&1 </dev/null
      WINEPREFIX="$prefix.new" wineserver -w
      [ -f "$prefix.new/drive_c/windows/system32/kernel32.dll" ] && mv "$prefix.new" "$prefix"
    done
  ) 9>"$prefix.lock"
  # A persistent server, and Wine's own services started with no pipe of ours.
  WINEPREFIX="$prefix" wineserver -p >/dev/null 2>&1 </dev/null || true
  WINEPREFIX="$prefix" wine wineboot >/dev/null 2>&1 </dev/null || true
}

# Chooses which build the tests, the demo and the benchmarks run, once, and
# prints why: the 32-bit program (what users get) where this machine can run
# 32-bit Windows code, the 64-bit one under wine64 where it cannot. The probe
# runs a tiny 32-bit Windows program: the kernel may refuse the 32-bit loader
# outright, or a Wine without 32-bit support may start and then fail.
# CHAINER_ROUTE=64 (or 32) forces a route. Sets CHAINER_ROUTE, CHAINER_BUILD,
# CHAINER_WINE and, for the 64-bit route, WINELOADER.
chainer_choose_route() {
  local root reason
  root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
  if [ -n "${CHAINER_ROUTE:-}" ]; then
    reason="forced by CHAINER_ROUTE=$CHAINER_ROUTE"
  elif reason="$(chainer_probe_32bit "$root")"; then
    CHAINER_ROUTE=32
  else
    CHAINER_ROUTE=64
  fi
  export CHAINER_ROUTE
  if [ "$CHAINER_ROUTE" = 64 ]; then
    export CHAINER_BUILD="$root/build/x64" CHAINER_WINE=/usr/lib/wine/wine64
    export WINELOADER="$CHAINER_WINE"
    echo "route: testing the 64-bit build (build/x64/chainer.exe) under wine64: $reason" >&2
  else
    export CHAINER_BUILD="$root/build" CHAINER_WINE=wine
    unset WINELOADER
    echo "route: testing the 32-bit build (build/chainer.exe) under wine: $reason" >&2
  fi
}

# Prints why this machine can or cannot run 32-bit Windows programs; status 0
# when it can.
chainer_probe_32bit() {
  local root="$1" dir out code
  if ! out="$(/usr/lib/wine/wine --version 2>&1)"; then
    echo "this machine cannot run 32-bit programs (the 32-bit Wine loader: ${out##*: })"
    return 1
  fi
  dir="$(mktemp -d)"
  printf 'int main(void) { return 42; }\n' >"$dir/probe.c"
  if ! i686-w64-mingw32-gcc -o "$dir/probe.exe" "$dir/probe.c" 2>/dev/null; then
    rm -rf "$dir"
    echo "the 32-bit cross-compiler is missing; cannot probe"
    return 1
  fi
  code=0
  WINEPREFIX="$dir/prefix" WINEARCH=win64 timeout 120 /usr/lib/wine/wine "$dir/probe.exe" \
    </dev/null >/dev/null 2>&1 || code=$?
  WINEPREFIX="$dir/prefix" /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
  rm -rf "$dir"
  if [ "$code" = 42 ]; then
    echo "this machine runs 32-bit Windows programs"
    return 0
  fi
  echo "a 32-bit Windows program did not run here (exit status $code)"
  return 1
}
