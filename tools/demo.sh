#!/usr/bin/env bash
# The demo: the add-in at work in the stand-in Outlook, under Wine.
# Builds the DLL and the stand-in, registers the DLL in a private prefix,
# writes the add-in list entry and both switches as the installer would, then
# runs the everyday path: "Encrypt && Send" on a message without a recipient,
# which Outlook refuses with its box (the message stays open); the sender
# types the recipient and sends it with "Send Unencrypted"; a second message
# goes with "Encrypt && Send". It opens About from the main window's Add-ins
# tab (Outlook 2010 and later have no menu bar) and shows what the mail
# gateway receives.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/tools/wine-common.sh"
cd "$root"
arch=x64
out=$root/build/demo
mkdir -p "$out"
started=$(date +%s)

echo "== building ($arch)"
if ! "$root/tools/build.sh" "$arch" KestrinSelect outlook_standin addin_probe > "$out/build.log" 2>&1; then
  echo "demo: the build failed:"; grep -E 'error' "$out/build.log" | head -20; exit 1
fi

export KS_WINEPREFIX=$root/build/wine-demo-$arch
"$root/tools/wine-prefix.sh" "$arch" null
wine() { "$root/tools/winerun.sh" "$arch" "$@"; }
dll=$root/build/$arch/bin/KestrinSelect.dll

echo "== registering $dll"
wine regsvr32 /s "$dll"
echo "== the add-in list entry and the switches, as the installer writes them"
wine reg add 'HKCU\Software\Microsoft\Office\Outlook\Addins\KestrinSelectATL.Connect' /v LoadBehavior /t REG_DWORD /d 3 /f >/dev/null
wine reg add 'HKCU\Software\Microsoft\Office\Outlook\Addins\KestrinSelectATL.Connect' /v FriendlyName /d KestrinSelect /f >/dev/null
wine reg add 'HKCU\Software\Microsoft\Office\Outlook\Addins\KestrinSelectATL.Connect' /v Description /d 'Choose at send time whether the gateway encrypts' /f >/dev/null
wine reg add 'HKLM\Software\KestrinCorp\KestrinSelectATL' /v selectEnabled /d true /f >/dev/null
wine reg add 'HKLM\Software\KestrinCorp\KestrinSelectATL' /v unselectEnabled /d true /f >/dev/null
rm -rf "$out/outbox"; mkdir -p "$out/outbox"
outbox_win="Z:$(echo "$out/outbox" | tr / '\\')"
png_win="Z:$(echo "$out/ribbon.png" | tr / '\\')"
addins_win="Z:$(echo "$out/addins_tab.png" | tr / '\\')"

echo "== the stand-in Outlook"
echo "   (as Outlook 2010 and later: the KestrinSelect menu, with Help and About, is on the main window's"
echo "   Add-ins tab, group Menu Commands; Outlook 2007 showed it on the menu bar: outlook_standin --menu-bar)"
status=0
wine "$root/build/$arch/bin/outlook_standin.exe" --outbox "$outbox_win" --ribbon-png "$png_win" \
  --addins-png "$addins_win" \
  compose '<html><body><p>Lunch at noon?</p></body></html>' to= 'subject=Lunch' \
  press 'Encrypt & Send' \
  to team@example.com \
  press 'Send Unencrypted' \
  compose '<html><body><p>The quarterly figures are attached.</p></body></html>' finance@example.com 'subject=Quarterly figures' \
  press 'Encrypt & Send' \
  menu '&About KestrinSelect' \
  close || status=$?

echo "== what the gateway receives"
shopt -s nullglob
files=("$out"/outbox/*.eml)
if [ ${#files[@]} -eq 0 ]; then
  echo "demo: no message reached the outbox"; status=1
else
  python3 "$root/tools/gateway_view.py" "${files[@]}"
  echo "  footer of the encrypted message, as the reader sees it (the body is in Word's form):"
  python3 - "${files[${#files[@]}-1]}" "$root/tools" <<'EOF'
import email, email.policy, sys
sys.path.insert(0, sys.argv[2])
from gateway_view import visible_text
msg = email.message_from_binary_file(open(sys.argv[1], "rb"), policy=email.policy.default)
text = visible_text(next((p.get_content() for p in msg.walk() if p.get_content_type() == "text/html"), ""))
start = text.find("This message was secured by")
print("   ", text[start:] if start >= 0 else text[-200:])
EOF
fi
echo "== files"
echo "  ribbon picture: $out/ribbon.png"
echo "  Add-ins tab:    $out/addins_tab.png"
echo "  outbox:         $out/outbox"
echo "== done in $(( $(date +%s) - started )) s"
if [ $status -ne 0 ]; then echo "demo: something failed (see above)"; fi
exit $status
