#!/usr/bin/env bash
# Registers and unregisters the built DLL with the system's own regsvr32 and
# reads the registry back with `reg query`. Prints "regsvr32 <arch>: passed"
# or the differences; exit status non-zero on a difference.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/tools/wine-common.sh"
arch=$1
dll=$root/build/$arch/bin/KestrinSelect.dll
export KS_WINEPREFIX=$root/build/wine-$arch-regsvr32
# Made afresh, so that nothing registered before is taken for this run's work.
"$root/tools/wine-prefix.sh" "$arch" null --fresh --serve
run() { "$root/tools/winerun.sh" "$arch" "$@" 2>/dev/null | tr -d '\r'; }
fail=0
expect() {  # expect <description> <command...> ; the command's output must contain the text in $want
  local what=$1; shift
  local out; out=$(run "$@")
  if ! grep -qF -- "$want" <<<"$out"; then echo "regsvr32 $arch: $what: expected '$want'"; fail=1; fi
}
absent() {
  if run reg query "$1" >/dev/null 2>&1 && run reg query "$1" | grep -q .; then
    echo "regsvr32 $arch: $1 still present"; fail=1
  fi
}
cls='HKCR\CLSID\{2B934FC2-7687-425C-8342-00EDCAA83BCB}'
run regsvr32 /s "$dll"
want="Connect Class"; expect "ProgID" reg query 'HKCR\KestrinSelectATL.Connect' /ve
want="KestrinSelectATL.Connect.1"; expect "CurVer" reg query 'HKCR\KestrinSelectATL.Connect\CurVer' /ve
want="Apartment"; expect "ThreadingModel" reg query "$cls\\InprocServer32" /v ThreadingModel
want="KestrinSelect.dll"; expect "InprocServer32" reg query "$cls\\InprocServer32" /ve
want="{FECAE1F1-387C-4BCF-B306-B5FB0DBA52B6}"; expect "TypeLib" reg query "$cls\\TypeLib" /ve
want="1.0"; expect "type library" reg query 'HKCR\TypeLib\{FECAE1F1-387C-4BCF-B306-B5FB0DBA52B6}'
run regsvr32 /s /u "$dll"
absent 'HKCR\KestrinSelectATL.Connect'
absent 'HKCR\KestrinSelectATL.Connect.1'
absent "$cls"
absent 'HKCR\TypeLib\{FECAE1F1-387C-4BCF-B306-B5FB0DBA52B6}'
WINEPREFIX=$(ks_prefix "$arch") wineserver -k 2>/dev/null || true
[ $fail -eq 0 ] && echo "regsvr32 $arch: passed"
exit $fail
