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

# Chooses the route, once, and prints one line saying which and why:
# - native: the kernel runs 32-bit code; the 32-bit program (what users get)
#   is the build under test, and the test command runs the 64-bit build's
#   suite as well;
# - emulated: the kernel refuses 32-bit code but qemu-i386 can run it in a
#   private user namespace (scripts/run32.sh); the 64-bit build is the build
#   under test here, and the test command adds the 32-bit program under
#   emulation;
# - 64: the 32-bit program cannot run at all (set-up left the reason in
#   build/i386-unavailable.txt); it is not tested, and the line says so.
# Inside run32.sh 32-bit code runs, emulated, so the route is the 32-bit one.
# CHAINER_ROUTE=64 (or 32) forces the build under test. Sets CHAINER_ROUTE
# (32 or 64), CHAINER_ROUTE_KIND, CHAINER_ROUTE_WHY, CHAINER_BUILD,
# CHAINER_WINE and, for the 64-bit build, WINELOADER.
chainer_choose_route() {
  local root note
  root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
  . "$root/scripts/machine.sh"
  note="$root/build/i386-unavailable.txt"
  if [ -n "${CHAINER_ROUTE:-}" ]; then
    CHAINER_ROUTE_KIND=forced
    CHAINER_ROUTE_WHY="forced by CHAINER_ROUTE=$CHAINER_ROUTE"
  elif [ -n "${CHAINER_EMULATED:-}" ]; then
    CHAINER_ROUTE=32 CHAINER_ROUTE_KIND=emulated
    CHAINER_ROUTE_WHY="32-bit programs run under $CHAINER_EMULATED user-mode emulation"
  elif [ -f "$note" ]; then
    CHAINER_ROUTE=64 CHAINER_ROUTE_KIND=64
    CHAINER_ROUTE_WHY="the 32-bit program is NOT tested on this run: $(head -n 1 "$note")"
  elif chainer_runs_i386; then
    CHAINER_ROUTE=32 CHAINER_ROUTE_KIND=native
    CHAINER_ROUTE_WHY="this machine runs 32-bit code"
  elif chainer_can_emulate_i386 && [ -x /var/cache/chainer/qemu-i386 ]; then
    CHAINER_ROUTE=64 CHAINER_ROUTE_KIND=emulated
    CHAINER_ROUTE_WHY="this machine refuses 32-bit code; qemu-i386 runs the 32-bit program"
  else
    CHAINER_ROUTE=64 CHAINER_ROUTE_KIND=64
    CHAINER_ROUTE_WHY="the 32-bit program is NOT tested on this run: this machine refuses 32-bit code and cannot emulate it"
  fi
  export CHAINER_ROUTE CHAINER_ROUTE_KIND CHAINER_ROUTE_WHY
  chainer_use_build "$CHAINER_ROUTE"
  local name
  case "$CHAINER_ROUTE_KIND" in
  native) name="native 32-bit" ;;
  emulated) name="32-bit under emulation" ;;
  *) name="$CHAINER_ROUTE-bit" ;;
  esac
  echo "route: $name ($CHAINER_ROUTE_WHY); build under test: ${CHAINER_BUILD#"$root"/}/chainer.exe" >&2
}

# Points CHAINER_BUILD, CHAINER_WINE and WINELOADER at the 32-bit or the
# 64-bit build ($1: 32 or 64).
chainer_use_build() {
  local root
  root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
  if [ "$1" = 64 ]; then
    export CHAINER_BUILD="$root/build/x64" CHAINER_WINE=/usr/lib/wine/wine64
    export WINELOADER="$CHAINER_WINE"
  else
    export CHAINER_BUILD="$root/build" CHAINER_WINE=wine
    unset WINELOADER
  fi
}
