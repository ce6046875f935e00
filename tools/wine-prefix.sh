#!/usr/bin/env bash
# Creates the private Wine prefix of one architecture under build/, once, and
# sets its display mode.
#   tools/wine-prefix.sh x86|x64 [null|x11]
# "null" (the default) makes message boxes and dialogs block as on Windows
# without any X server, so a hook can read them; "x11" is for screenshots
# under Xvfb.
set -euo pipefail
. "$(dirname "$0")/wine-common.sh"
arch=$1
display=${2:-null}
prefix=$(ks_prefix "$arch")
loader=$(ks_wine_loader "$arch")
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=

case $arch in
  x86) winearch=win32 ;;
  x64) winearch=win64 ;;
  *) echo "wine-prefix: unknown architecture $arch" >&2; exit 2 ;;
esac

if [ ! -f "$prefix/system.reg" ]; then
  echo "wine-prefix: creating $prefix ($winearch)"
  mkdir -p "$(dirname "$prefix")"
  WINEARCH=$winearch "$loader" wineboot -i >/dev/null 2>&1 || true
  timeout 60 wineserver -w || true
  [ -f "$prefix/system.reg" ] || { echo "wine-prefix: wineboot failed for $prefix" >&2; exit 1; }
fi

if [ "$display" = null ]; then
  "$loader" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
else
  "$loader" reg delete 'HKCU\Software\Wine\Drivers' /v Graphics /f >/dev/null 2>&1 || true
  "$loader" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
fi
# A registered mail client would receive the MAPI calls meant for the stand-in.
"$loader" reg delete 'HKLM\Software\Clients\Mail' /f >/dev/null 2>&1 || true
# Flushes the registry; bounded, since a persistent server may outlive this script.
timeout 30 wineserver -w || true
