#!/usr/bin/env bash
# Opens the About box as a person would (the stand-in Outlook clicks the
# "&About KestrinSelect" item) on a virtual X screen, photographs it and
# checks the photograph: the picture at the top left, the three white text
# lines at y = 80, 94 and 108, the OK button at the lower right.
#   tools/about_screenshot.sh [x64|x86] [--docs]
# --docs also writes the box's photograph to docs/about_box.png.
# Uses its own Wine prefix in X11 mode (build/wine-<arch>-x11), so the
# null-driver prefix of the tests is left as it is.
set -euo pipefail
. "$(dirname "$0")/wine-common.sh"

arch=x64
docs=
for a in "$@"; do
  case $a in
    x64|x86) arch=$a ;;
    --docs) docs=1 ;;
    *) echo "about_screenshot: unknown argument $a" >&2; exit 2 ;;
  esac
done

# Wine sees the Unix root as drive Z:.
winepath_of() { local p=$1; echo "Z:${p//\//\\}"; }

bin=$ks_root/build/$arch/bin
work=$ks_root/build/$arch/about_screenshot
if [ ! -f "$bin/show_about_box.exe" ] || [ ! -f "$bin/KestrinSelect.dll" ]; then
  "$ks_root/tools/build.sh" "$arch" KestrinSelect show_about_box
fi
rm -rf "$work"
mkdir -p "$work"

# A display number nobody uses.
display=
for n in $(seq 91 130); do
  if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then display=$n; break; fi
done
[ -n "$display" ] || { echo "about_screenshot: no free X display" >&2; exit 1; }

export KS_WINEPREFIX=${KS_WINEPREFIX_X11:-$ks_root/build/wine-$arch-x11}
export WINEPREFIX=$KS_WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=${WINEDLLOVERRIDES:+;$WINEDLLOVERRIDES}"
xvfb_pid=
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; wait "$xvfb_pid" 2>/dev/null || true; fi
}
trap cleanup EXIT

Xvfb ":$display" -screen 0 800x600x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 1 100); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done
[ -e "/tmp/.X11-unix/X$display" ] || { echo "about_screenshot: Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$display"

"$ks_root/tools/wine-prefix.sh" "$arch" x11
# Fonts as on a Windows desktop: Wine's Tahoma (the dialog font) and Marlett
# (the caption buttons) from fonts-wine, and Times New Roman drawn with its
# metric twin Liberation Serif.
for f in tahoma.ttf tahomabd.ttf marlett.ttf; do
  [ -f "$WINEPREFIX/drive_c/windows/Fonts/$f" ] || cp "/usr/share/wine/fonts/$f" "$WINEPREFIX/drive_c/windows/Fonts/"
done
"$(ks_wine_loader "$arch")" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "Times New Roman" \
  /d "Liberation Serif" /f >/dev/null 2>&1

# The program writes the box's geometry to ready.txt once the box is painted
# and closes it with OK when done.txt appears (or after 60 s).
"$ks_root/tools/winerun.sh" "$arch" "$bin/show_about_box.exe" "$(winepath_of "$work/ready.txt")" \
  "$(winepath_of "$work/done.txt")" >"$work/program.log" 2>&1 &
program_pid=$!
for _ in $(seq 1 600); do [ -s "$work/ready.txt" ] && break; kill -0 "$program_pid" 2>/dev/null || break; sleep 0.1; done
if [ ! -s "$work/ready.txt" ]; then
  cat "$work/program.log" >&2
  echo "about_screenshot: the About box did not open" >&2
  exit 1
fi
sleep 0.3
import -display ":$display" -window root "$work/screen.png"
touch "$work/done.txt"
status=0
wait "$program_pid" || status=$?
cat "$work/program.log"
[ "$status" -eq 0 ] || { echo "about_screenshot: show_about_box exited with $status" >&2; exit 1; }

convert "$work/screen.png" "$work/screen.ppm"
read -r _ wx wy ww wh < <(grep '^window ' "$work/ready.txt")
convert "$work/screen.png" -crop "${ww}x${wh}+${wx}+${wy}" +repage "$work/about_box.png"
python3 "$ks_root/tools/check_about_screenshot.py" "$work/screen.ppm" "$work/ready.txt" \
  "$ks_root/resources/about_box.bmp"

if [ -n "$docs" ]; then
  mkdir -p "$ks_root/docs"
  cp "$work/about_box.png" "$ks_root/docs/about_box.png"
  echo "about_screenshot: wrote docs/about_box.png"
fi
