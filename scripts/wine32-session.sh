# Sourced by the 32-bit smoke run (scripts/smoke32): a session of emulated 32-bit Wine,
# in which the i686 product runs as on a user's machine, for machines whose kernel does
# not run 32-bit x86 Linux programs (scripts/test finds out, with i386.sh). 32-bit Wine
# then runs under qemu-i386 user-mode emulation: slow (about 10 to 20 s to start a
# 32-bit program), good for a short smoke run only.
#
#   wine32_start DIR   installs what is missing (i386 packages, qemu-user-static),
#                      registers the qemu-i386 binfmt entry, creates a fresh prefix
#                      DIR/prefix with an X display and a wineserver of its own.
#                      Returns 0 when the session is up, 3 when the machine refuses a
#                      step (it then prints a line "skipped: REASON"), 2 on misuse.
#   wine32_run EXE ARGS...
#                      runs a 32-bit Windows program in the current directory, with a
#                      d3d9.dll beside it taking precedence over Wine's own; returns the
#                      program's exit status (124: time-out, WINE32_RUN_TIMEOUT seconds,
#                      default 300)
#   wine32_stop        stops the wineserver and the X server, and switches the qemu-i386
#                      entry off again if wine32_start switched it on (also run on exit)
#
# The session does not touch WINEPREFIX or DISPLAY of the caller's shell (the 64-bit
# session of wine-session.sh may be up beside it); it exports WINE32_PREFIX,
# WINE32_DISPLAY and WINE32_LOADER instead, and wine32_run passes them on.

. "$(dirname "${BASH_SOURCE[0]}")/i386.sh"

WINE32_LOADER=$I386_WINE_LOADER
_w32_wine64=/usr/lib/wine/wine64
_w32_server=/usr/lib/wine/wineserver
_w32_xvfb_pid=""
_w32_binfmt_turned_on=()   # binfmt entries this session switched on, off again at the end
_w32_packages=(wine64 xvfb qemu-user-static "${I386_WINE_PACKAGES[@]}")
# qemu's reserved guest address space. Without a preloader, 32-bit Wine reserves all the
# address space above 2 GiB in 64 KiB steps at every process start, which under qemu's
# default 4 GiB takes about a minute; with 2 GiB + 64 MiB it takes seconds (device
# creation on Mesa works). Set WINE32_QEMU_RESERVED_VA= (empty) for qemu's default.
WINE32_QEMU_RESERVED_VA=${WINE32_QEMU_RESERVED_VA-0x84000000}

_w32_skip() {
  echo "skipped: 32-bit Wine smoke run: $*"
  return 3
}

_w32_note() {
  echo "wine32: $*"
}

_w32_packages_ready() {
  i386_packages_ready "${_w32_packages[@]}" || _w32_skip "$I386_REASON"
}

_w32_binfmt_ready() {
  local d=$I386_BINFMT_DIR entries
  if ! grep -q " $d binfmt_misc " /proc/mounts 2>/dev/null; then
    mount -t binfmt_misc binfmt_misc "$d" >/dev/null 2>&1 ||
      { _w32_skip "binfmt_misc is not mounted and cannot be mounted"; return; }
  fi
  [ -w "$d/register" ] || { _w32_skip "binfmt_misc is not writable ($d/register)"; return; }
  if [ "$(cat "$d/status" 2>/dev/null)" != enabled ]; then
    echo 1 >"$d/status" 2>/dev/null || { _w32_skip "binfmt_misc is switched off"; return; }
  fi
  entries=$(i386_binfmt_entries)
  local e
  for e in $entries; do
    [ "$(head -n1 "$e")" = enabled ] || _w32_binfmt_turned_on+=("$e")
  done
  if [ -z "$entries" ]; then
    printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' \
      >"$d/register" 2>/dev/null || { _w32_skip "the kernel refuses the qemu-i386 binfmt entry"; return; }
    _w32_note "registered the qemu-i386 binfmt entry"
    _w32_binfmt_turned_on+=("$d/qemu-i386")
  fi
  # A 32-bit program must now run (under the shared hold, which also re-enables an
  # entry that a killed session left off).
  local version
  version=$(i386_binfmt_hold timeout 120 "$WINE32_LOADER" --version 2>&1)
  case $version in
    wine-*) ;;
    *) _w32_skip "32-bit programs do not run under qemu-i386: $(echo "$version" | tail -n1)"; return ;;
  esac
}

_w32_free_display() {
  local n
  for n in $(seq "${1:-90}" 199); do
    if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then
      echo "$n"; return 0
    fi
  done
  return 1
}

_w32_start_x() {
  local n=89 try
  for try in 1 2 3 4 5; do
    n=$(_w32_free_display $((n + 1))) || return 1
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    _w32_xvfb_pid=$!
    for _ in $(seq 50); do
      [ -e "/tmp/.X11-unix/X$n" ] && break
      kill -0 "$_w32_xvfb_pid" 2>/dev/null || break
      sleep 0.1
    done
    # The socket must be ours: another server may have taken the number meanwhile.
    if [ -e "/tmp/.X11-unix/X$n" ] && kill -0 "$_w32_xvfb_pid" 2>/dev/null; then
      export WINE32_DISPLAY=":$n"
      return 0
    fi
    kill "$_w32_xvfb_pid" >/dev/null 2>&1
    _w32_xvfb_pid=""
  done
  return 1
}

# Runs a command in the session's environment.
_w32_env() {
  env WINEPREFIX="$WINE32_PREFIX" DISPLAY="$WINE32_DISPLAY" WINEARCH=win64 \
    WINEDEBUG="${WINE32_WINEDEBUG:--all}" "$@"
}

# Creates the prefix and waits until every process of its set-up has ended (wineboot
# returns before all of them have). No Mono or Gecko installers: nothing needs them.
_w32_boot() {
  _w32_env WINEDLLOVERRIDES="mscoree,mshtml=" \
    timeout --kill-after=10 600 "$_w32_wine64" wineboot -i || return
  _w32_env timeout 300 "$_w32_server" -w
}

wine32_start() {
  local dir=${1:-} prev rc
  [ -n "$dir" ] || { echo "usage: wine32_start DIR" >&2; return 2; }
  mkdir -p "$dir" && dir=$(cd "$dir" && pwd) || { echo "wine32: cannot use $1" >&2; return 2; }
  # Stop on exit, after whatever the caller's EXIT trap did (wine_stop, say). A later
  # wine_start in the same shell would replace this trap: start that session first.
  eval "set -- $(trap -p EXIT)"
  prev=${3:-}
  case $prev in *_w32_on_exit*) ;; *) _w32_prev_exit_trap=$prev ;; esac
  trap '_w32_on_exit' EXIT
  _w32_start "$dir"
  rc=$?
  # A refused step leaves nothing running.
  [ $rc -eq 0 ] || wine32_stop
  return $rc
}

_w32_start() {
  local dir=$1 t0 rc
  t0=$(date +%s)
  _w32_packages_ready || return
  _w32_note "packages ready ($(( $(date +%s) - t0 )) s)"
  [ -x "$WINE32_LOADER" ] || { _w32_skip "no 32-bit Wine loader at $WINE32_LOADER"; return; }

  t0=$(date +%s)
  _w32_binfmt_ready || return
  _w32_note "qemu-i386 runs 32-bit programs ($(( $(date +%s) - t0 )) s)"

  _w32_start_x || { _w32_skip "no X display could be started (Xvfb)"; return; }

  # A fresh prefix. It is created with the qemu-i386 entry held off: its 32-bit half
  # then comes out the same as one set up under emulation (the same files in syswow64,
  # the same registry), in seconds instead of minutes.
  t0=$(date +%s)
  export WINE32_PREFIX="$dir/prefix"
  _w32_env "$_w32_server" -k >/dev/null 2>&1
  rm -rf "$WINE32_PREFIX"
  i386_binfmt_off_while _w32_boot >"$dir/wineboot.log" 2>&1
  rc=$?
  if [ $rc -ne 0 ] || [ ! -f "$WINE32_PREFIX/system.reg" ] ||
     [ ! -f "$WINE32_PREFIX/drive_c/windows/syswow64/kernel32.dll" ]; then
    _w32_skip "the 32-bit prefix could not be created (wineboot status $rc, see $dir/wineboot.log)"
    return
  fi
  # A crashing program must not wait in Wine's debugger dialog.
  _w32_env "$_w32_wine64" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog \
    /t REG_DWORD /d 0 /f >/dev/null 2>&1 ||
    { _w32_skip "the crash dialog could not be switched off in the prefix"; return; }
  # A server of its own that stays up between the programs (once reg's has gone).
  _w32_env timeout 300 "$_w32_server" -w
  _w32_env "$_w32_server" -p </dev/null >/dev/null 2>&1 || { _w32_skip "the wineserver did not start"; return; }
  _w32_note "prefix $WINE32_PREFIX on display $WINE32_DISPLAY ($(( $(date +%s) - t0 )) s)"
  return 0
}

wine32_run() {
  [ -n "${WINE32_PREFIX:-}" ] && [ -n "${WINE32_DISPLAY:-}" ] ||
    { echo "wine32_run: no 32-bit session; call wine32_start first" >&2; return 2; }
  # Mesa's llvmpipe crashes under the emulation; softpipe works.
  i386_binfmt_hold _w32_env GALLIUM_DRIVER=softpipe WINEDLLOVERRIDES="d3d9=n,b" \
    ${WINE32_QEMU_RESERVED_VA:+QEMU_RESERVED_VA=$WINE32_QEMU_RESERVED_VA} \
    timeout --kill-after=10 "${WINE32_RUN_TIMEOUT:-300}" "$WINE32_LOADER" "$@"
}

wine32_stop() {
  [ -n "${WINE32_PREFIX:-}" ] && [ -d "$WINE32_PREFIX" ] && _w32_env "$_w32_server" -k >/dev/null 2>&1
  [ -n "$_w32_xvfb_pid" ] && kill "$_w32_xvfb_pid" >/dev/null 2>&1
  _w32_xvfb_pid=""
  # Leave the qemu-i386 entry as this session found it: while it is on, every new
  # 64-bit prefix made elsewhere on the machine would set up a 32-bit half, slowly.
  i386_binfmt_switch_off "${_w32_binfmt_turned_on[@]}"
  _w32_binfmt_turned_on=()
  return 0
}

_w32_prev_exit_trap=""
_w32_on_exit() {
  wine32_stop
  [ -n "$_w32_prev_exit_trap" ] && eval "$_w32_prev_exit_trap"
}
