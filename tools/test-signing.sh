#!/usr/bin/env bash
# Checks the signing of the release files of one architecture:
#   tools/test-signing.sh x64|x86
# Makes a throwaway authority and code-signing certificate (build/signing-ARCH),
# runs tools/dist.sh with them as an organisation would (into
# build/signing-ARCH/dist), then checks that osslsigncode accepts the signed
# DLL, the DLL inside the package and the package against that authority and
# refuses a changed or unsigned file, and that Windows' WinVerifyTrust (under
# Wine) does the same (tests/signing).
# Exits non-zero when any check fails.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/tools/wine-common.sh"
cd "$root"
arch=${1:-x64}
work=build/signing-$arch
failed=0

ok() { echo "signing $arch: ok - $*"; }
not_ok() { echo "signing $arch: not ok - $*"; failed=$((failed + 1)); }
check() { # check "what" command...
  local what=$1; shift
  if "$@" >"$work/check.log" 2>&1; then ok "$what"; else not_ok "$what"; tail -5 "$work/check.log"; fi
}
refused() { ! "$@"; }
verifies() { osslsigncode verify -CAfile "$work/cert/authority.pem" -in "$1"; }

rm -rf "$work"
mkdir -p "$work"
tools/test-cert.sh "$work/cert" || { echo "signing $arch: could not make the test certificate"; exit 1; }

# The signed files go in a folder of the test's own, never in dist/.
if ! KS_DIST_DIR=$work/dist SIGN_PFX=$work/cert/signer.pfx SIGN_PASSWORD_FILE=$work/cert/password tools/dist.sh "$arch" >"$work/dist.log" 2>&1; then
  tail -20 "$work/dist.log"; echo "signing $arch: make dist with a certificate failed"; exit 1
fi
dll=$work/dist/$arch/KestrinSelect.dll
msi=$work/dist/KestrinSelect-$arch.msi
cp "$dll" "$work/signed.dll"
cp "$msi" "$work/signed.msi"
# One byte of code changed after signing.
cp "$work/signed.dll" "$work/tampered.dll"
printf '\xcc' | dd of="$work/tampered.dll" bs=1 seek=4096 conv=notrunc 2>/dev/null
"$(case $arch in x86) echo i686 ;; x64) echo x86_64 ;; esac)-w64-mingw32-strip" \
  -o "$work/unsigned.dll" "build/$arch/bin/KestrinSelect.dll"
(cd "$work" && msiextract -C extracted signed.msi >/dev/null)
packaged=$(find "$work/extracted" -name KestrinSelect.dll | head -1)

check "osslsigncode accepts the signed DLL" verifies "$work/signed.dll"
check "osslsigncode accepts the DLL inside the package" verifies "${packaged:-$work/missing.dll}"
check "osslsigncode accepts the signed package" verifies "$work/signed.msi"
check "the signature is SHA-256" grep -q "Message digest algorithm *: SHA256" <(osslsigncode verify -CAfile "$work/cert/authority.pem" -in "$work/signed.dll" 2>&1)
check "osslsigncode refuses the DLL with one byte changed" refused verifies "$work/tampered.dll"
check "osslsigncode refuses the unsigned DLL" refused verifies "$work/unsigned.dll"

if [ "$arch" = x86 ] && ! ks_can_run_x86; then
  not_ok "WinVerifyTrust: this machine cannot run 32-bit Windows programs"
else
  if tools/build.sh "$arch" verify_trust >"$work/build.log" 2>&1; then
    "$root/tools/winerun.sh" "$arch" "build/$arch/bin/verify_trust.exe" "$work/cert/authority.cer" \
      "$work/signed.dll" "$work/tampered.dll" "$work/unsigned.dll" "$work/signed.msi" 2>/dev/null |
      tr -d '\r' | tee "$work/verify_trust.log" | sed "s/^/signing $arch: WinVerifyTrust: /"
    [ "${PIPESTATUS[0]}" -eq 0 ] || not_ok "WinVerifyTrust checks"
  else
    tail -20 "$work/build.log"; not_ok "verify_trust builds"
  fi
fi

if [ "$failed" -eq 0 ]; then echo "signing $arch: passed"; else echo "signing $arch: $failed failed"; fi
[ "$failed" -eq 0 ]
