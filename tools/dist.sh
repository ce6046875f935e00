#!/usr/bin/env bash
# Builds what an administrator deploys:
#   dist/x86/KestrinSelect.dll, dist/x64/KestrinSelect.dll   (stripped)
#   dist/KestrinSelect-x86.msi, dist/KestrinSelect-x64.msi
#   tools/dist.sh [x86|x64]...   (both when none is named)
# KS_DIST_DIR names another folder than dist/ (relative to the checkout), so
# that the tests' packages, signed with throwaway certificates, never take
# the place of the organisation's.
# Fails when a DLL exports anything but the four COM server entry points or
# imports anything but Windows' own DLLs: such a DLL would not load on a
# desktop that has only Windows and Office.
#
# Signing (Authenticode, SHA-256), when the environment names a certificate:
#   SIGN_PFX             the organisation's code-signing certificate and key (PKCS#12)
#   SIGN_PASSWORD_FILE   a file holding its password
#   SIGN_TIMESTAMP_URL   an RFC 3161 time-stamp server (optional)
# The DLLs are signed before they go into the packages, then the packages.
#
# Unsigned, two builds of one commit give the same bytes wherever they are
# built: the package's codes and times are derived from the commit
# (KS_SOURCE_COMMIT and SOURCE_DATE_EPOCH name them where there is no git
# history). Each file's SHA-256 is printed at the end.
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
  [ -n "$(triple_of "$arch")" ] || fail "unknown architecture $arch"
done

# What the packages are built from: the commit and its time.
commit=${KS_SOURCE_COMMIT:-$(git rev-parse HEAD 2>/dev/null || true)}
[ -n "$commit" ] || fail "no git history here: name the source with KS_SOURCE_COMMIT and SOURCE_DATE_EPOCH"
epoch=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || true)}
[[ $epoch =~ ^[0-9]+$ ]] || fail "no commit time: set SOURCE_DATE_EPOCH"
# strip writes this time into the PE header (the current time otherwise).
export SOURCE_DATE_EPOCH=$epoch
# Debian's own Python: the one that has python3-olefile.
debian_python=/usr/bin/python3
upgrade_code=2DF11BA0-D31E-4D92-B45F-4C7641F4C60F

# A GUID of its own for each kind of code, architecture, version and commit.
derived_guid() { # derived_guid KIND ARCH
  "$debian_python" -c 'import sys, uuid; print(str(uuid.uuid5(uuid.UUID(sys.argv[1]), "/".join(sys.argv[2:]))).upper())' \
    "$upgrade_code" "$1" "$2" "$version" "$commit"
}

signing=
if [ -n "${SIGN_PFX:-}" ]; then
  [ -f "$SIGN_PFX" ] || fail "SIGN_PFX: no file $SIGN_PFX"
  [ -n "${SIGN_PASSWORD_FILE:-}" ] && [ -f "$SIGN_PASSWORD_FILE" ] ||
    fail "SIGN_PASSWORD_FILE must name the file that holds the password of $SIGN_PFX"
  signing=1
else
  say "no SIGN_PFX given: the DLLs and packages are left unsigned"
fi

# Authenticode-signs a DLL or package in place with the organisation's certificate.
sign() {
  local file=$1 signed=$1.signed
  local timestamp=()
  [ -z "${SIGN_TIMESTAMP_URL:-}" ] || timestamp=(-ts "$SIGN_TIMESTAMP_URL")
  rm -f "$signed"
  osslsigncode sign -pkcs12 "$SIGN_PFX" -readpass "$SIGN_PASSWORD_FILE" -h sha256 \
    -n "KestrinSelect" "${timestamp[@]}" -in "$file" -out "$signed" >"$signed.log" 2>&1 ||
    { cat "$signed.log" >&2; rm -f "$signed" "$signed.log"; fail "signing $file failed"; }
  rm -f "$signed.log"
  mv "$signed" "$file"
  say "$file: signed"
}

out=${KS_DIST_DIR:-dist}
mkdir -p "$out"
for arch in "${archs[@]}"; do
  say "building $arch"
  if ! build_log=$(tools/build.sh "$arch" KestrinSelect 2>&1); then
    tail -30 <<<"$build_log" >&2
    fail "build of $arch failed"
  fi
  mkdir -p "$out/$arch"
  "$(triple_of "$arch")-strip" -o "$out/$arch/KestrinSelect.dll" "build/$arch/bin/KestrinSelect.dll"
  check_dll "$arch" "$out/$arch/KestrinSelect.dll"
  [ -z "$signing" ] || sign "$out/$arch/KestrinSelect.dll"
  # The cabinet keeps the file's time.
  touch -d "@$epoch" "$out/$arch/KestrinSelect.dll"

  msi=$out/KestrinSelect-$arch.msi
  rm -f "$msi"
  wixl -a "$arch" -D Arch="$arch" -D Version="$version" -D UpgradeBelow="$upgrade_below" \
       -D ProductCode="$(derived_guid product "$arch")" \
       -D DllSource="$out/$arch/KestrinSelect.dll" -o "$msi" installer/KestrinSelect.wxs
  # wixl has no Secure attribute: the switches must pass from the client to
  # the elevated install (managed and per-machine installs drop others).
  secure=$(msiinfo export "$msi" Property | tr -d '\r' | sed -n 's/^SecureCustomProperties\t//p')
  msibuild "$msi" -q "UPDATE Property SET Value = '${secure:+$secure;}SELECTENABLED;UNSELECTENABLED' WHERE Property = 'SecureCustomProperties'"
  # wixl writes a random package code and the time of the build.
  "$debian_python" tools/msi_summary.py "$msi" "$(derived_guid package "$arch")" "$epoch"
  [ -z "$signing" ] || sign "$msi"
  say "$msi: version $version, commit $commit"
done

for arch in "${archs[@]}"; do
  (cd "$out" && sha256sum "$arch/KestrinSelect.dll" "KestrinSelect-$arch.msi") | sed 's/^/dist: sha256 /'
done
