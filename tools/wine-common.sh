# Shared by the Wine helper scripts: which loader runs which architecture.
# Debian's `wine` wrapper starts the 32-bit loader first, which needs a kernel
# that runs 32-bit Linux programs; the 64-bit loader is called directly.
ks_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

ks_wine_loader() {
  case $1 in
    x64) echo /usr/lib/wine/wine64 ;;
    x86) echo /usr/lib/wine/wine ;;
  esac
}

# True when this machine can run 32-bit Wine (a kernel with IA-32 support).
ks_can_run_x86() {
  /usr/lib/wine/wine --version >/dev/null 2>&1
}

ks_prefix() {
  echo "${KS_WINEPREFIX:-$ks_root/build/wine-$1}"
}

# The prefix that every prefix of one architecture is copied from.
ks_template() {
  echo "$ks_root/build/wine-template-$1"
}

# Which Wine a prefix was made by: a prefix made by another Wine is made again.
ks_wine_stamp() {
  echo "$(/usr/lib/wine/wine64 --version) $(stat -c %Y /usr/share/wine/wine.inf 2>/dev/null)"
}
