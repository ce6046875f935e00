#!/usr/bin/env bash
# Makes the private Wine prefix of one architecture under build/ and sets its
# display mode.
#   tools/wine-prefix.sh x86|x64 [null|x11] [--fresh] [--serve]
#   tools/wine-prefix.sh x86|x64 --template-only
#   tools/wine-prefix.sh x86|x64 --stop     (stops the prefix's wineserver)
# Every prefix is a copy of one template per architecture
# (build/wine-template-ARCH), booted once: Wine's own DLLs and programs, which
# are most of a prefix and never change, are hard links into the template
# (made read-only there, so that no prefix can write through them); the
# registry and everything else is the copy's own.
# "null" (the default) makes message boxes and dialogs block as on Windows
# without any X server, so a hook can read them; "x11" is for screenshots
# under Xvfb. --fresh copies the prefix afresh even if it exists. --serve
# leaves a persistent wineserver running for it (stop it with wineserver -k).
set -euo pipefail
. "$(dirname "$0")/wine-common.sh"
arch=$1; shift
display=null fresh= serve= template_only=
for a in "$@"; do
  case $a in
    null|x11) display=$a ;;
    --fresh) fresh=1 ;;
    --serve) serve=1 ;;
    --template-only) template_only=1 ;;
    --stop) WINEPREFIX=$(ks_prefix "$arch") wineserver -k >/dev/null 2>&1 || true; exit 0 ;;
    *) echo "wine-prefix: unknown argument $a" >&2; exit 2 ;;
  esac
done
prefix=$(ks_prefix "$arch")
template=$(ks_template "$arch")
loader=$(ks_wine_loader "$arch")
stamp=$(ks_wine_stamp)
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=${WINEDLLOVERRIDES:+;$WINEDLLOVERRIDES}"

case $arch in
  x86) winearch=win32 ;;
  x64) winearch=win64 ;;
  *) echo "wine-prefix: unknown architecture $arch" >&2; exit 2 ;;
esac

# The template is sound when this Wine booted it and nothing has changed a
# file in it since (a program running as root writes through read-only
# files, and with them through every hard link).
template_sound() {
  [ -f "$template/system.reg" ] && [ "$(head -1 "$template/.ks-wine" 2>/dev/null)" = "$stamp" ] &&
    [ -z "$(find "$template" -newer "$template/.ks-wine" -type f -print -quit)" ]
}
# A copy is current when it was copied from the template as it is now.
copy_current() { [ -f "$prefix/system.reg" ] && cmp -s "$prefix/.ks-wine" "$template/.ks-wine"; }

# Files of Wine's own that no test writes: the bulk of a prefix.
immutable_files() {
  find "$1/drive_c/windows" -type f \( -iname '*.dll' -o -iname '*.exe' -o -iname '*.drv' -o -iname '*.sys' \
    -o -iname '*.ocx' -o -iname '*.acm' -o -iname '*.cpl' -o -iname '*.vxd' -o -iname '*.ax' -o -iname '*.ds' \
    -o -iname '*.tlb' -o -iname '*.nls' -o -iname '*.com' -o -iname '*.msstyles' \) -print0
}

# The display mode, and no registered mail client: one would receive the
# MAPI calls meant for the stand-in.
settings() {
  if [ "$1" = null ]; then
    "$loader" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
  else
    "$loader" reg delete 'HKCU\Software\Wine\Drivers' /v Graphics /f >/dev/null 2>&1 || true
    "$loader" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
  fi
  "$loader" reg delete 'HKLM\Software\Clients\Mail' /f >/dev/null 2>&1 || true
}

make_template() {
  local work=$template.new started=$SECONDS
  echo "wine-prefix: booting the $winearch template $template"
  rm -rf "$work" "$template"
  mkdir -p "$(dirname "$template")"
  (
    export WINEPREFIX=$work
    WINEARCH=$winearch "$loader" wineboot -i >/dev/null 2>&1 || true
    # Null display from the start, so that a copy's first program sees it.
    settings null
    timeout 60 wineserver -w || true
  )
  [ -f "$work/system.reg" ] || { echo "wine-prefix: wineboot failed for $work" >&2; exit 1; }
  immutable_files "$work" | xargs -0 -r chmod a-w
  printf '%s\nbooted %s\n' "$stamp" "$(date +%s)" >"$work/.ks-wine"
  mv "$work" "$template"
  echo "wine-prefix: template booted in $((SECONDS - started)) s"
}

# A copy of its own of each writable file, and hard links to the rest.
copy_template() {
  local work=$prefix.new
  rm -rf "$work" "$prefix"
  mkdir -p "$work"
  (cd "$template" && find . -type f -perm -u+w -print0 | xargs -0 -r cp -a --parents -t "$work")
  cp -al --no-clobber "$template/." "$work"
  mv "$work" "$prefix"
}

if ! template_sound; then
  # One template at a time, however many checks ask for it at once.
  exec 9>"$template.lock"
  flock 9
  template_sound || make_template
  flock -u 9
fi
[ -n "$template_only" ] && exit 0

copied=
if [ -n "$fresh" ] || ! copy_current; then
  copy_template
  copied=1
fi

export WINEPREFIX=$prefix
if [ -n "$serve" ]; then
  # Kept alive between the checks' programs, which then start in a fraction
  # of a second; output closed so that no caller waits on it.
  wineserver -p 30 </dev/null >/dev/null 2>&1
  "$loader" cmd /c exit 0 </dev/null >/dev/null 2>&1 || true
fi
# A fresh copy has the template's settings: null display, no mail client.
if [ -z "$copied" ] || [ "$display" != null ]; then
  settings "$display"
  # Flushes the registry; bounded, since a persistent server may outlive this script.
  [ -n "$serve" ] || timeout 30 wineserver -w || true
fi
