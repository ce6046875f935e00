#!/usr/bin/env bash
# The demo: builds the add-in, registers it in a private Wine prefix and
# shows it at work.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/tools/wine-common.sh"
cd "$root"
arch=x64
echo "== building ($arch)"
"$root/tools/build.sh" "$arch" KestrinSelect addin_probe > "$root/build/demo-build.log" 2>&1 || {
  echo "demo: the build failed:"; grep -E 'error' "$root/build/demo-build.log" | head -20; exit 1; }
export KS_WINEPREFIX=$root/build/wine-demo-$arch
"$root/tools/wine-prefix.sh" "$arch" null
dll=$root/build/$arch/bin/KestrinSelect.dll
echo "== regsvr32 $dll"
"$root/tools/winerun.sh" "$arch" regsvr32 /s "$dll"
echo "== the add-in as COM sees it"
"$root/tools/winerun.sh" "$arch" "$root/build/$arch/bin/addin_probe.exe"
