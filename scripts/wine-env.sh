# Sourced by the scripts that run Windows programs: a quiet Wine that never
# offers to install Mono or Gecko, and a virtual display for windows.
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH="${WINEARCH:-win64}"

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
    if [ ! -f "$prefix/system.reg" ]; then
      WINEPREFIX="$prefix" WINEARCH="$arch" wineboot -i >/dev/null 2>&1 </dev/null
      WINEPREFIX="$prefix" wineserver -w
    fi
  ) 9>"$prefix.lock"
  # A persistent server, and Wine's own services started with no pipe of ours.
  WINEPREFIX="$prefix" wineserver -p >/dev/null 2>&1 </dev/null || true
  WINEPREFIX="$prefix" wine wineboot >/dev/null 2>&1 </dev/null || true
}
