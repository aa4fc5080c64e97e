# Sourced by the test, demo and bench commands and by wine32-session.sh: how this
# machine runs 32-bit Wine, which is what the i686 product (the d3d9.dll users install)
# needs.
#
#   i386_packages_ready PKG...  installs the missing packages (adding dpkg's i386
#                               architecture first); 0 when all are there, otherwise 1
#                               with the reason in I386_REASON
#   i386_wine_mode              finds out, without assuming, how 32-bit programs run:
#                               sets I386_MODE to "native" (the kernel runs them itself),
#                               "emulated" (they do not; the qemu-i386 route of
#                               wine32-session.sh is left) or "unavailable" (the 32-bit
#                               Wine packages cannot be had), and I386_REASON to why
#
# The native probe runs the 32-bit Wine loader with every qemu-i386 binfmt entry held
# off (an entry with the F flag would otherwise take the program even where the kernel
# could run it, and make it slow); the entries are back as they were afterwards. Run
# the 32-bit programs of a native session the same way: i386_binfmt_off_while CMD.

. "$(dirname "${BASH_SOURCE[0]}")/binfmt-i386.sh"

I386_WINE_LOADER=/usr/lib/wine/wine   # the 32-bit loader, package wine32:i386
# What 32-bit Wine needs to create devices on Mesa, natively or emulated.
I386_WINE_PACKAGES=(wine32:i386 libgl1-mesa-dri:i386 libgl1:i386 libglx-mesa0:i386)
I386_MODE=""
I386_REASON=""

_i386_installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}

i386_packages_ready() {
  local p missing=() out
  for p in "$@"; do _i386_installed "$p" || missing+=("$p"); done
  [ ${#missing[@]} -eq 0 ] && return 0
  [ "$(id -u)" = 0 ] || { I386_REASON="packages missing (${missing[*]}) and not root"; return 1; }
  echo "i386: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386 || { I386_REASON="dpkg refuses the i386 architecture"; return 1; }
  fi
  if ! out=$(apt-get -o DPkg::Lock::Timeout=300 update -q 2>&1); then
    I386_REASON="apt-get update failed: $(echo "$out" | tail -n1)"; return 1
  fi
  if ! out=$(apt-get -o DPkg::Lock::Timeout=300 install -y -q --no-install-recommends \
               "${missing[@]}" 2>&1); then
    I386_REASON="packages not installable (${missing[*]}): $(echo "$out" | grep -m1 '^E:' || echo "$out" | tail -n1)"
    return 1
  fi
  for p in "${missing[@]}"; do
    _i386_installed "$p" || { I386_REASON="package $p did not install"; return 1; }
  done
}

i386_wine_mode() {
  local version entries
  if ! i386_packages_ready "${I386_WINE_PACKAGES[@]}"; then
    I386_MODE=unavailable
    return 0
  fi
  entries=$(i386_binfmt_entries)
  version=$(i386_binfmt_off_while timeout 60 "$I386_WINE_LOADER" --version 2>&1)
  case $version in
    wine-*)
      I386_MODE=native
      if [ -n "$entries" ]; then
        I386_REASON="32-bit programs run natively ($version) once the qemu-i386 binfmt entry is held off; it is held off while they run"
      else
        I386_REASON="32-bit programs run natively ($version)"
      fi ;;
    *)
      I386_MODE=emulated
      I386_REASON="32-bit programs do not run natively: $(echo "${version:-no output}" | tail -n1)" ;;
  esac
}
