# Sourced by the test and demo commands: starts a virtual X display and a fresh 64-bit
# Wine prefix of our own, and stops both again on exit. Nothing is taken over from an
# earlier run.
#   wine_start DIR   creates DIR/prefix, exports DISPLAY, WINEPREFIX, WINEDLLOVERRIDES
#   wine_stop        kills the wineserver and the X server

. "$(dirname "${BASH_SOURCE[0]}")/binfmt-i386.sh"

WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver
_xvfb_pid=""

_free_display() {
  local n
  for n in $(seq 90 199); do
    if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then
      echo "$n"; return 0
    fi
  done
  return 1
}

# Creates the prefix and waits until every process of its set-up has ended (wineboot
# returns before all of them have). No Mono or Gecko installers: nothing here needs them.
_wine_boot() {
  WINEDLLOVERRIDES="mscoree,mshtml=" "$WINE" wineboot -i >/dev/null 2>&1
  "$WINESERVER" -w
}

wine_start() {
  local dir=$1 n
  n=$(_free_display) || { echo "no free X display number" >&2; return 1; }
  Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  _xvfb_pid=$!
  trap wine_stop EXIT  # from here on, whatever happens, the X server goes again
  for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
  [ -e "/tmp/.X11-unix/X$n" ] || { echo "Xvfb did not start" >&2; return 1; }
  export DISPLAY=":$n"
  export WINEPREFIX="$dir/prefix" WINEARCH=win64 WINEDEBUG=-all
  rm -rf "$WINEPREFIX"
  mkdir -p "$dir"
  # The qemu-i386 binfmt entry of the 32-bit smoke run is held off meanwhile, or the
  # prefix's 32-bit half would be set up under emulation (minutes instead of seconds).
  i386_binfmt_off_while _wine_boot
  # A crashing program must not wait in Wine's debugger dialog.
  "$WINE" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
  # Keep the server up between programs. (Debian's wineserver wrapper answers a second
  # -p with a non-zero status while the server still runs: not a failure.)
  "$WINESERVER" -w
  "$WINESERVER" -p </dev/null >/dev/null 2>&1 || true
  # Start the prefix's background services now, with no pipe of ours: started by the
  # first test program instead, they would inherit its output pipe and keep whoever
  # reads it (ctest) waiting until its time-out.
  "$WINE" cmd /c exit </dev/null >/dev/null 2>&1
  # Every program of the session, and every program it starts, takes a d3d9.dll that
  # lies beside it (or is loaded by path) before Wine's own.
  export WINEDLLOVERRIDES="d3d9=n,b"
}

wine_stop() {
  [ -n "${WINEPREFIX:-}" ] && "$WINESERVER" -k >/dev/null 2>&1 || true
  [ -n "$_xvfb_pid" ] && kill "$_xvfb_pid" >/dev/null 2>&1 || true
  _xvfb_pid=""
}
