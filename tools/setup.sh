#!/usr/bin/env bash
# Installs what the build and the tests need, and nothing that is already there.
# Safe to run again: on a machine that has everything it prints one line and exits.
#
# Mirrors go stale or half-synced: an index that fails to download is named
# and left out, and the install goes on with the others. When the two
# architectures would then get different versions of a Multi-Arch "same"
# library (the amd64 one from the security suite, its i386 twin only in the
# release suite), it installs from the release suite instead. A time-out, a
# refused connection or a 5xx is tried again after a pause; an error that
# cannot mend itself ("404", no such package) stops at once, in one line.
#
# Environment: KS_SETUP_TRIES (default 4) attempts of each apt-get call that
# meets a transient network error, KS_SETUP_PAUSE (default 15) seconds
# between them.
set -euo pipefail

packages=(
  wine wine32:i386 wine64 libwine-dev
  mingw-w64 mingw-w64-tools g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
  cmake make googletest xvfb x11-apps imagemagick fonts-liberation fonts-wine
  msitools python3 clang libclang-rt-14-dev
  wixl osslsigncode openssl python3-olefile python3-html5lib python3-lxml
  qemu-system-x86 busybox-static
)
# Programs the build cannot do without, checked after an install.
programs=(i686-w64-mingw32-g++-posix x86_64-w64-mingw32-g++-posix i686-w64-mingw32-widl x86_64-w64-mingw32-widl cmake wine)

tries=${KS_SETUP_TRIES:-4}
pause=${KS_SETUP_PAUSE:-15}

say() { echo "setup: $*"; }
die() { echo "setup: $*" >&2; exit 1; }

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# Where the kernel refuses 32-bit programs, x86 runs in a throwaway VM
# (tools/x86-vm.sh) that boots Debian's kernel package, unpacked under build/.
vm_kernel() {
  /usr/lib/wine/wine --version >/dev/null 2>&1 || "$(dirname "$0")/x86-vm.sh" --fetch-kernel
}

installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}

missing_packages() {
  local p
  for p in "${packages[@]}"; do installed "$p" || echo "$p"; done
}

log=$(mktemp)
trap 'rm -f "$log"' EXIT

# Errors that may be gone in a minute: the network, the mirror's server, the
# package database held by another apt.
transient() {
  grep -Eq 'Temporary failure resolving|Could not resolve|[Tt]imed out|Connection refused|Could not connect|Connection failed|Network is unreachable|No route to host|Connection reset|(^|[^0-9])5[0-9][0-9]  *[A-Z][A-Za-z]|Could not get lock' "$log"
}

# The first line of apt's that says what went wrong.
first_error() {
  { grep -m1 '^E:' "$log" || grep -m1 '^Err:' "$log" || true; } | cut -c1-200
}

# apt COMMAND...: runs apt-get as root with its output shown and kept in $log;
# a transient failure is run again, at most $tries times in all.
apt() {
  local attempt=1 status
  while :; do
    set +e
    as_root env DEBIAN_FRONTEND=noninteractive apt-get "$@" 2>&1 | tee "$log"
    status=${PIPESTATUS[0]}
    set -e
    [ "$status" -eq 0 ] && return 0
    if ! transient || [ "$attempt" -ge "$tries" ]; then return "$status"; fi
    say "apt-get $1: a transient network error ($(first_error)); trying again in ${pause} s (attempt $((attempt + 1)) of $tries)"
    sleep "$pause"
    attempt=$((attempt + 1))
  done
}

# Indexes that fail to download are left out: the packages may still be in
# the others, which the install then finds out.
update_indexes() {
  apt update -q && return 0
  local url reason
  while read -r url reason; do
    say "package index failed to download: $url (${reason:-no reason given}); going on without it"
  done < <(sed -nE 's/^E: Failed to fetch ([^ ]+)  *(.*)$/\1 \2/p' "$log")
  grep -q '^E: Failed to fetch' "$log" || say "apt-get update failed ($(first_error)); going on with the indexes there are"
}

# Whatever apt said, what counts is what dpkg has.
check_installed() {
  local still p
  still=$(missing_packages | tr '\n' ' ')
  [ -z "$still" ] || die "still missing after the install: $still(apt-get said it succeeded)"
  for p in "${programs[@]}"; do
    command -v "$p" >/dev/null || die "$p is missing although its package is installed"
  done
}

install_packages() {
  local codename unfound
  apt install -y -q --no-install-recommends "$@" && return 0
  unfound=$(sed -nE "s/^E: Unable to locate package (.*)$/\1/p; s/^E: Package '?([^' ]+)'? has no installation candidate$/\1/p" "$log" | tr '\n' ' ')
  [ -z "$unfound" ] || die "cannot install ${unfound}: no package index offers it ($(first_error))"
  if grep -Eq 'held broken packages|unmet dependencies' "$log"; then
    codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
    [ -n "$codename" ] || die "cannot install: $(first_error), and /etc/os-release names no release to install from"
    say "the two architectures would get different versions of a library ($(first_error)); installing from the release suite instead: apt-get install -t $codename"
    apt install -y -q --no-install-recommends -t "$codename" "$@" ||
      die "cannot install $*, not even from the release suite $codename: $(first_error)"
    return 0
  fi
  die "cannot install $*: $(first_error)"
}

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  say "adding the i386 architecture (32-bit Wine needs it)"
  as_root dpkg --add-architecture i386
  need_update=1
fi

mapfile -t missing < <(missing_packages)

if [ ${#missing[@]} -eq 0 ] && [ -z "${need_update:-}" ]; then
  vm_kernel
  say "all packages present"
  exit 0
fi

if [ ${#missing[@]} -gt 0 ]; then
  say "installing: ${missing[*]}"
  update_indexes
  install_packages "${missing[@]}"
  check_installed
fi
vm_kernel
say "done"
