#!/usr/bin/env bash
# Runs a Windows program in the project's private Wine prefix of one architecture.
#   tools/winerun.sh x86|x64 program.exe [args...]
set -euo pipefail
. "$(dirname "$0")/wine-common.sh"
arch=$1; shift
export WINEPREFIX=$(ks_prefix "$arch")
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  "$ks_root/tools/wine-prefix.sh" "$arch" >&2
fi
exec "$(ks_wine_loader "$arch")" "$@"
