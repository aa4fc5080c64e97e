# Sourced by wine-session.sh and wine32-session.sh: helpers around the kernel's
# binfmt_misc entry that runs 32-bit x86 Linux programs (32-bit Wine) under qemu-i386.
#
# While that entry is enabled, every new 64-bit Wine prefix also sets up its 32-bit half
# under emulation, which takes minutes instead of seconds. So a prefix is created with
# the entry switched off for that moment: i386_binfmt_off_while runs one command so.
# The switch is global to the machine; a lock file serialises it, and every 32-bit
# program of the 32-bit session runs under a shared hold of the same lock
# (i386_binfmt_hold), so the entry is never switched off beneath a running program.
#
#   i386_binfmt_entries        prints the paths of the entries whose interpreter is qemu-i386
#   i386_binfmt_off_while CMD  runs CMD with those entries off, then restores their state
#   i386_binfmt_hold CMD       runs CMD while no other session has them off; re-enables
#                              an entry that is off
#   i386_binfmt_switch_off E.. switches the given entries off once no 32-bit program
#                              runs (gives up after a short wait)

I386_BINFMT_DIR=/proc/sys/fs/binfmt_misc
I386_BINFMT_LOCK=${I386_BINFMT_LOCK:-/tmp/.d3d9filters-binfmt-i386.lock}

i386_binfmt_entries() {
  local e
  [ -d "$I386_BINFMT_DIR" ] || return 0
  for e in "$I386_BINFMT_DIR"/*; do
    case ${e##*/} in register|status) continue ;; esac
    [ -f "$e" ] && grep -q '^interpreter .*qemu-i386' "$e" 2>/dev/null && echo "$e"
  done
  return 0
}

i386_binfmt_off_while() {
  if [ -z "$(i386_binfmt_entries)" ]; then
    "$@"
    return
  fi
  (
    # Wait for running 32-bit programs (shared holders) to end; if that takes too long,
    # go on with the entry as it is: slower, but correct.
    if ! flock -x -w "${I386_BINFMT_LOCK_WAIT:-600}" 9; then
      echo "binfmt-i386: lock busy; creating the prefix with qemu-i386 on (slow)" >&2
      "$@" 9>&-
      exit
    fi
    was_on=()
    for e in $(i386_binfmt_entries); do
      if [ "$(head -n1 "$e" 2>/dev/null)" = enabled ] && echo 0 >"$e" 2>/dev/null; then
        was_on+=("$e")
      fi
    done
    restore() { for e in "${was_on[@]}"; do echo 1 >"$e" 2>/dev/null; done; was_on=(); }
    trap 'restore' EXIT
    trap 'restore; exit 130' INT TERM
    "$@" 9>&-
  ) 9>>"$I386_BINFMT_LOCK"
}

i386_binfmt_hold() {
  (
    flock -s -w "${I386_BINFMT_LOCK_WAIT:-600}" 9 || exit 125
    # Holding the lock shared, nobody is in an off window: an entry that is off was
    # switched off by a finished 32-bit session, or left so by one that was killed.
    for e in $(i386_binfmt_entries); do
      [ "$(head -n1 "$e" 2>/dev/null)" = enabled ] || echo 1 >"$e" 2>/dev/null
    done
    "$@" 9>&-
  ) 9>>"$I386_BINFMT_LOCK"
}

i386_binfmt_switch_off() {
  [ $# -gt 0 ] || return 0
  (
    flock -x -w "${I386_BINFMT_OFF_WAIT:-60}" 9 || exit 0
    for e in "$@"; do [ -f "$e" ] && echo 0 >"$e" 2>/dev/null; done
    exit 0
  ) 9>>"$I386_BINFMT_LOCK"
}
