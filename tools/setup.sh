#!/usr/bin/env bash
# Installs what the build and the tests need, and nothing that is already there.
# Safe to run again: on a machine that has everything it prints one line and exits.
set -euo pipefail

packages=(
  wine wine32:i386 wine64 libwine-dev
  mingw-w64 mingw-w64-tools g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
  cmake make googletest xvfb x11-apps imagemagick fonts-liberation fonts-wine
  msitools python3 clang libclang-rt-14-dev
  wixl osslsigncode openssl python3-olefile
  qemu-system-x86 busybox-static
)

say() { echo "setup: $*"; }

# Where the kernel refuses 32-bit programs, x86 runs in a throwaway VM
# (tools/x86-vm.sh) that boots Debian's kernel package, unpacked under build/.
vm_kernel() {
  /usr/lib/wine/wine --version >/dev/null 2>&1 || "$(dirname "$0")/x86-vm.sh" --fetch-kernel
}

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  say "adding the i386 architecture (32-bit Wine needs it)"
  as_root dpkg --add-architecture i386
  need_update=1
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ] && [ -z "${need_update:-}" ]; then
  vm_kernel
  say "all packages present"
  exit 0
fi

if [ ${#missing[@]} -gt 0 ]; then
  say "installing: ${missing[*]}"
  as_root apt-get update -q
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
vm_kernel
say "done"
