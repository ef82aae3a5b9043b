# Sourced by the scripts that run Windows programs: a quiet Wine that never
# offers to install Mono or Gecko, and a virtual display for windows.
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH="${WINEARCH:-win64}"

# Starts Xvfb on :99 for the windows the programs open (once per machine).
chainer_ensure_display() {
  export DISPLAY=:99
  if [ ! -e /tmp/.X11-unix/X99 ]; then
    (setsid Xvfb :99 -screen 0 1024x768x24 -nolisten tcp </dev/null >/dev/null 2>&1 &)
    for _ in $(seq 1 50); do
      [ -e /tmp/.X11-unix/X99 ] && break
      sleep 0.1
    done
  fi
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
