#!/usr/bin/env bash
# Builds what an administrator deploys:
#   dist/x86/KestrinSelect.dll, dist/x64/KestrinSelect.dll   (stripped)
#   dist/KestrinSelect-x86.msi, dist/KestrinSelect-x64.msi
#   tools/dist.sh [x86|x64]...   (both when none is named)
# Fails when a DLL exports anything but the four COM server entry points or
# imports anything but Windows' own DLLs: such a DLL would not load on a
# desktop that has only Windows and Office.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

say() { echo "dist: $*"; }
fail() { echo "dist: $*" >&2; exit 1; }

# DLLs every supported Windows has in its system folder.
system_dlls='^(kernel32|user32|gdi32|advapi32|ole32|oleaut32|shell32|shlwapi|gdiplus|msvcrt|mapi32|comctl32|uuid|rpcrt4|version)\.dll$'
expected_exports='DllCanUnloadNow DllGetClassObject DllRegisterServer DllUnregisterServer'

triple_of() {
  case $1 in
    x86) echo i686-w64-mingw32 ;;
    x64) echo x86_64-w64-mingw32 ;;
  esac
}

# The exported names, sorted, one line.
exports_of() {
  "$(triple_of "$1")-objdump" -p "$2" |
    sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
    sed -n 's/^[[:space:]]*\[ *[0-9]*\] //p' | sort | tr '\n' ' ' | sed 's/ $//'
}

imports_of() {
  "$(triple_of "$1")-objdump" -p "$2" | sed -n 's/^[[:space:]]*DLL Name: //p'
}

check_dll() {
  local arch=$1 dll=$2
  local exports
  exports=$(exports_of "$arch" "$dll")
  [ "$exports" = "$expected_exports" ] ||
    fail "$dll exports \"$exports\", expected exactly \"$expected_exports\""
  local bad
  bad=$(imports_of "$arch" "$dll" | tr 'A-Z' 'a-z' | grep -v -E "$system_dlls" || true)
  [ -z "$bad" ] || fail "$dll imports non-system DLLs: $(echo $bad)"
  say "$dll: exports $exports; imports $(imports_of "$arch" "$dll" | tr '\n' ' ')"
}

# The product version comes from the version block of the DLL's resources.
version=$(sed -n 's/^#define KS_VERSION_TEXT "\(.*\)"/\1/p' resources/version.h)
[[ $version =~ ^([0-9]+)\.([0-9]+)\.([0-9]+)\.[0-9]+$ ]] || fail "no version in resources/version.h"
# Windows Installer compares the first three fields only: everything below
# the next build number counts as this version or older.
upgrade_below="${BASH_REMATCH[1]}.${BASH_REMATCH[2]}.$((BASH_REMATCH[3] + 1)).0"

archs=("$@")
[ ${#archs[@]} -gt 0 ] || archs=(x86 x64)
for arch in "${archs[@]}"; do
  case $arch in x86|x64) ;; *) fail "unknown architecture $arch" ;; esac
done

mkdir -p dist
for arch in "${archs[@]}"; do
  say "building $arch"
  mkdir -p build
  if ! tools/build.sh "$arch" KestrinSelect >"build/dist-$arch.log" 2>&1; then
    tail -30 "build/dist-$arch.log" >&2
    fail "build of $arch failed"
  fi
  mkdir -p "dist/$arch"
  "$(triple_of "$arch")-strip" -o "dist/$arch/KestrinSelect.dll" "build/$arch/bin/KestrinSelect.dll"
  check_dll "$arch" "dist/$arch/KestrinSelect.dll"

  msi=dist/KestrinSelect-$arch.msi
  rm -f "$msi"
  wixl -a "$arch" -D Arch="$arch" -D Version="$version" -D UpgradeBelow="$upgrade_below" \
       -D DllSource="dist/$arch/KestrinSelect.dll" -o "$msi" installer/KestrinSelect.wxs
  # wixl has no Secure attribute: the switches must pass from the client to
  # the elevated install (managed and per-machine installs drop others).
  secure=$(msiinfo export "$msi" Property | tr -d '\r' | sed -n 's/^SecureCustomProperties\t//p')
  msibuild "$msi" -q "UPDATE Property SET Value = '${secure:+$secure;}SELECTENABLED;UNSELECTENABLED' WHERE Property = 'SecureCustomProperties'"
  say "$msi: version $version"
done
