#!/usr/bin/env python3
"""End-to-end run of the real add-in DLL in the stand-in Outlook under Wine.

    tests/e2e/e2e_outlook.py ARCH

Registers the built DLL with regsvr32 in a prefix of its own, beside a
second COM add-in of the stand-in's own (which puts a group on the same
compose tab), writes the add-in list entries as an installer would, and for
each combination of the two switches starts a new stand-in Outlook session
(Outlook asks for the compose ribbon once a session), which loads the
add-ins from the list, opens a compose window and builds the ribbon. A
longer session opens two compose windows, sends one message with each
button, presses the other add-in's button, opens About from the main
window's Add-ins tab and unloads KestrinSelect as the COM Add-ins dialog
does. The everyday path has a session of its own: a send that Outlook
refuses for want of a recipient, the recipient typed in, the message sent
unencrypted, a second one encrypted, and a third refused for a name that
does not resolve. The messages are read back with Python's own e-mail
parser, independent of the C++ code that wrote them. Prints one line
per check and closes with "e2e ARCH: N passed, N failed".
"""
import re
import email
import email.policy
import os
import pathlib
import shutil
import subprocess
import sys

ROOT = pathlib.Path(__file__).resolve().parents[2]
ARCH = sys.argv[1] if len(sys.argv) > 1 else "x64"
BIN = ROOT / "build" / ARCH / "bin"
WORK = ROOT / "build" / f"e2e-{ARCH}"
PREFIX = ROOT / "build" / f"wine-{ARCH}-e2e"
ENV = dict(os.environ, KS_WINEPREFIX=str(PREFIX))

passed = 0
failed = 0


def check(condition, what, detail=""):
    global passed, failed
    if condition:
        passed += 1
        print(f"  ok    {what}")
    else:
        failed += 1
        print(f"  FAIL  {what}" + (f": {detail}" if detail else ""))


def wine(*args, check_rc=False):
    result = subprocess.run([str(ROOT / "tools" / "winerun.sh"), ARCH, *args], env=ENV,
                            capture_output=True, text=True, errors="replace", timeout=240)
    if check_rc and result.returncode != 0:
        print(result.stdout, result.stderr)
    return result


def windows_path(path):
    return "Z:" + str(path).replace("/", "\\")


def set_switch(name, value):
    key = r"HKLM\Software\KestrinCorp\KestrinSelectATL"
    if value is None:
        wine("reg", "delete", key, "/v", name, "/f")
    else:
        wine("reg", "add", key, "/v", name, "/d", value, "/f")


def run_outlook(*actions, outbox, options=()):
    return wine(str(BIN / "outlook_standin.exe"), "--outbox", windows_path(outbox),
                "--ribbon-png", windows_path(outbox / "ribbon.png"), *options, *actions)


def lines(out, prefix):
    return [line for line in out.splitlines() if line.startswith(prefix)]


def kestrin_buttons(out):
    """The buttons of the KestrinSelect group, as the ribbon lines show them."""
    shown = []
    for line in lines(out, "[ribbon] tab"):
        if 'group "KestrinSelect"' in line:
            shown += [part.split(" + ")[0].split(",")[0].rstrip("]") for part in line.split("[")[2:]]
    return shown


def pictures(out):
    """{(image id, form): pixels} of the loadImage requests of a session."""
    found = {}
    for line in lines(out, "[image]"):
        m = re.match(r'\[image\] getImage\("(\w+)"\) with the id as (\S+): 32 x 32 picture, pixels (\w+)', line)
        if m:
            found[(m.group(1), m.group(2))] = m.group(3)
    return found


sys.path.insert(0, str(ROOT / "tools"))
import gateway_view  # noqa: E402

# The footer's text as a reader sees it.
FOOTER_TEXT = ("This message was secured by KestrinCorp\u00a9. To reach KestrinCorp, go to: "
               "https://www.kestrincorp.com/info/kestrinmail")

BODY = ("<html><body><p>Figures attached: \u6570\u5b57 \U0001F4CA \u05e9\u05dc\u05d5\u05dd "
        "caf\u00e9.</p></body></HTML>\r\n<!-- kept after the tag -->")


def main():
    shutil.rmtree(WORK, ignore_errors=True)
    WORK.mkdir(parents=True)
    # A prefix made afresh and served for the whole run.
    subprocess.run([str(ROOT / "tools" / "wine-prefix.sh"), ARCH, "null", "--fresh", "--serve"], env=ENV,
                   check=True, capture_output=True)
    print(f"e2e {ARCH}: the add-in in the stand-in Outlook")
    rc = wine("regsvr32", "/s", str(BIN / "KestrinSelect.dll")).returncode
    check(rc == 0, "regsvr32 registers the DLL", f"exit {rc}")
    rc = wine("regsvr32", "/s", str(BIN / "standin_companion.dll")).returncode
    check(rc == 0, "regsvr32 registers the other add-in", f"exit {rc}")
    # KestrinSelect for the machine, as the installer writes it; the other
    # add-in for this user.
    machine = r"HKLM\Software\Microsoft\Office\Outlook\Addins\KestrinSelectATL.Connect"
    user = r"HKCU\Software\Microsoft\Office\Outlook\Addins\KestrinSelectATL.Connect"
    wine("reg", "add", machine, "/v", "LoadBehavior", "/t", "REG_DWORD", "/d", "3", "/f")
    wine("reg", "add", machine, "/v", "FriendlyName", "/d", "KestrinSelect", "/f")
    companion = r"HKCU\Software\Microsoft\Office\Outlook\Addins\StandInCompanion.Connect"
    wine("reg", "add", companion, "/v", "LoadBehavior", "/t", "REG_DWORD", "/d", "3", "/f")
    wine("reg", "add", companion, "/v", "FriendlyName", "/d", "Call Log", "/f")

    # The user turned it off: the user's entry holds LoadBehavior alone, and
    # overrides that value only.
    wine("reg", "add", user, "/v", "LoadBehavior", "/t", "REG_DWORD", "/d", "2", "/f")
    outbox = WORK / "turned-off"
    outbox.mkdir()
    out = run_outlook("close", outbox=outbox).stdout
    check('KestrinSelectATL.Connect  LoadBehavior 2  (HKCU)  "KestrinSelect"' in out,
          "a user's LoadBehavior alone overrides the machine's, the name stays the machine's", out)
    check("[load] KestrinSelectATL.Connect" not in out and "[load] StandInCompanion.Connect: OnConnection S_OK" in out,
          "turned off for the user: not loaded, the other add-in is", out)
    wine("reg", "add", user, "/v", "LoadBehavior", "/t", "REG_DWORD", "/d", "3", "/f")

    combinations = [
        (None, None, [], ()),
        ("true", "false", ["Encrypt & Send"], ("--notify-shutdown", "--menu-bar")),
        ("FALSE", "True", ["Send Unencrypted"], ()),
        ("true", "true", ["Encrypt & Send", "Send Unencrypted"], ("--byref-image-first",)),
    ]
    swapped = {}
    for select, unselect, expected, options in combinations:
        set_switch("selectEnabled", select)
        set_switch("unselectEnabled", unselect)
        outbox = WORK / f"ribbon-{select}-{unselect}"
        outbox.mkdir()
        result = run_outlook("compose", "<html><body>x</body></html>", "close", outbox=outbox, options=options)
        out = result.stdout
        what = f"switches {select}/{unselect}"
        shown = kestrin_buttons(out)
        check(shown == expected, f"{what}: ribbon shows {expected or 'no KestrinSelect group'}",
              f"shown {shown}; output:\n{out}")
        check('group "Call Log": [Log Call]' in out, f"{what}: the other add-in's group is on the same tab", out)
        if expected:
            check(all(f"[{label} + picture]" in out for label in expected),
                  f"{what}: every button has its picture")
            check((outbox / "ribbon.png").stat().st_size > 0 if (outbox / "ribbon.png").exists() else False,
                  f"{what}: ribbon drawn to a PNG")
        if "--notify-shutdown" in options:
            check(out.count("OnBeginShutdown S_OK, OnDisconnection S_OK, released; DllCanUnloadNow: S_OK") == 2,
                  f"{what}, notifying shut-down: both add-ins told, released, and their DLLs can unload", out)
        else:
            check("[shutdown] the main window closes: Close went to 1 sink(s)" in out
                  and "fast shut-down: 2 add-in(s) released without OnBeginShutdown or OnDisconnection" in out,
                  f"{what}: fast shut-down, the main window's Close reaches the add-in's sink", out)
        if "--byref-image-first" in options:
            swapped = pictures(out)
        if "--menu-bar" in options:
            bar = lines(out, "[menu] main window menu bar:")
            check(bar and bar[0].split(":", 1)[1].split() == ["&File", "&Edit", "&View", "&Go", "&Tools",
                                                              "&Actions", "&KestrinSelect", "&Help"]
                  and "[addins]" not in out,
                  f"{what}, as Outlook 2007: &KestrinSelect on the menu bar, before &Help", out)

    outbox = WORK / "outbox"
    outbox.mkdir()
    result = run_outlook("compose", BODY, "finance@example.com", "subject=Figures", "press", "Encrypt & Send",
                         "compose", BODY, "team@example.com", "subject=Lunch", "press", "Log Call",
                         "press", "Send Unencrypted", "menu", "&About KestrinSelect",
                         "disconnect", "KestrinSelectATL.Connect", "close", outbox=outbox,
                         options=("--addins-png", windows_path(outbox / "addins.png")))
    out = result.stdout
    (WORK / "transcript.txt").write_text(out)
    check(result.returncode == 0, "the stand-in Outlook run succeeds", f"exit {result.returncode}\n{out}")
    check("[load] KestrinSelectATL.Connect: OnConnection S_OK" in out, "the add-in connects from the add-in list")
    order = out.splitlines()
    first_startup = next((i for i, line in enumerate(order) if line.startswith("[startup]")), -1)
    last_load = max((i for i, line in enumerate(order) if line.startswith("[load]")), default=len(order))
    check(0 <= last_load < first_startup, "OnStartupComplete once every listed add-in is connected")
    explorer = [i for i, line in enumerate(order) if 'GetCustomUI("Microsoft.Outlook.Explorer") asked of' in line]
    composes = [i for i, line in enumerate(order) if line.startswith("[compose]")]
    check(len(explorer) == 2 and composes and max(explorer) < composes[0],
          "the explorer's markup is asked of each add-in once, at start-up", "\n".join(order[i] for i in explorer))
    asked = [i for i, line in enumerate(order)
             if 'GetCustomUI("Microsoft.Outlook.Mail.Compose") asked of KestrinSelectATL.Connect' in line]
    check(len(composes) == 2 and len(asked) == 1 and composes[0] < asked[0] < composes[1],
          "two compose windows, the compose markup asked for once, at the first", out)
    check(len(lines(out, "[image] getImage(")) == 2, "each picture loaded once for the session")
    check('[companion] "Log Call" pressed' in out, "the other add-in's button reaches its own callback by name")
    check('[addins] main window, no menu bar; tab "Add-ins", group "Menu Commands": '
          '[KestrinSelect: Help | About KestrinSelect]' in out and "[menu]" not in out,
          "no menu bar: the KestrinSelect menu is on the Add-ins tab, alone, with Help and About", out)
    check((outbox / "addins.png").exists() and (outbox / "addins.png").read_bytes()[:8] == b"\x89PNG\r\n\x1a\n",
          "the Add-ins tab drawn to a PNG")
    about = [i for i, line in enumerate(order) if line.startswith('[dialog] "About KestrinSelect" open')]
    click = [i for i, line in enumerate(order)
             if line == '[addins] click "KestrinSelect" > "About KestrinSelect" on the Add-ins tab']
    check(len(about) == 1 and len(click) == 1 and click[0] < about[0],
          "About, clicked on the Add-ins tab, opens the About box", out)
    check("[box]" not in out, "no error box during the run")
    check("[disconnect] KestrinSelectATL.Connect, from the COM Add-ins dialog: OnDisconnection(ext_dm_UserClosed) S_OK, "
          "released; DllCanUnloadNow: S_OK (nothing left alive)" in out,
          "unloaded from the COM Add-ins dialog: told, released, nothing left alive", out)
    check("[companion] OnAddInsUpdate" in out, "the other add-in hears that the set of add-ins changed")
    check("Close went to 0 sink(s)" in out, "once disconnected, the add-in no longer listens to the main window")

    # Both forms of the image id give the same picture, and the two pictures differ.
    plain = pictures(out)
    forms = {image: {form for (i, form) in list(plain) + list(swapped) if i == image}
             for image in ("KestrinSelectImage", "KestrinUnselectImage")}
    check(all(f == {"VT_BSTR", "VT_BYREF|VT_BSTR"} for f in forms.values()),
          "each image asked for once with the id as VT_BSTR and once as VT_BYREF|VT_BSTR", str(forms))
    by_image = {}
    for (image, form), pixels in list(plain.items()) + list(swapped.items()):
        by_image.setdefault(image, set()).add(pixels)
    check(len(by_image) == 2 and all(len(p) == 1 for p in by_image.values())
          and by_image["KestrinSelectImage"] != by_image["KestrinUnselectImage"],
          "both forms of the id give the right picture", f"{plain} {swapped}")

    files = sorted(outbox.glob("*.eml"))
    check(len(files) == 2, "two messages reach the outbox", f"{len(files)} files")
    if len(files) != 2:
        return
    messages = [email.message_from_binary_file(open(f, "rb"), policy=email.policy.default) for f in files]
    encrypted, clear = messages
    check(encrypted.get_all("x-rdz-select") == ["select"], "encrypted message: x-rdz-select: select")
    check(encrypted.get_all("x-rdz-unselect") is None, "encrypted message: no x-rdz-unselect")
    check(clear.get_all("x-rdz-unselect") == ["unselect"], "clear message: x-rdz-unselect: unselect")
    check(clear.get_all("x-rdz-select") is None, "clear message: no x-rdz-select")
    check(encrypted["To"] == "finance@example.com" and str(encrypted["Subject"]) == "Figures",
          "encrypted message: recipient and subject")

    # MIME text travels with CRLF line ends and the parser hands back LF, and
    # the transport ends the body part with a line break: compare by lines.
    def html(message):
        text = next(p.get_content() for p in message.walk() if p.get_content_type() == "text/html")
        return text[:-1] if text.endswith("\n") else text

    # The compose windows keep their bodies in Word's form, as Outlook's
    # editor does: the text a reader sees is compared, not the bytes.
    sent = gateway_view.visible_text(BODY)
    branded = html(encrypted)
    check("Microsoft Word 15 (filtered medium)" in branded and "<o:p></o:p></p>" in branded,
          "encrypted body: in the form Outlook's editor writes", branded[:300])
    check(gateway_view.visible_text(branded) == sent + " " + FOOTER_TEXT,
          "encrypted body: the sender's text intact, then the footer", gateway_view.visible_text(branded))
    check(gateway_view.visible_text(html(clear)) == sent, "clear body: every character the sender wrote kept",
          gateway_view.visible_text(html(clear)))

    view = subprocess.run([sys.executable, str(ROOT / "tools" / "gateway_view.py"), *map(str, files)],
                          capture_output=True, text=True)
    check("gateway decision: encrypt" in view.stdout and "gateway decision: send in the clear" in view.stdout,
          "the gateway view decides encrypt, then send in the clear")

    everyday_path()


NO_RECIPIENT_BOX = ("[box] Microsoft Outlook: "
                    "There must be at least one name or contact group in the To, Cc, or Bcc box.")


def everyday_path():
    """Encrypt && Send on a message without a recipient: Outlook refuses with
    its box and the message stays open, header and footer in; the sender types
    the recipient and sends it unencrypted. A second message goes encrypted; a
    third, to a name Outlook cannot resolve, meets the Check Names dialog."""
    outbox = WORK / "everyday"
    outbox.mkdir()
    result = run_outlook("compose", BODY, "to=", "subject=Figures", "press", "Encrypt & Send",
                         "to", "finance@example.com", "press", "Send Unencrypted",
                         "compose", BODY, "team@example.com", "subject=Lunch", "press", "Encrypt & Send",
                         "compose", BODY, "to=Finance Team", "subject=Budget", "press", "Send Unencrypted",
                         "close", outbox=outbox)
    out = result.stdout
    (WORK / "everyday.txt").write_text(out)
    order = out.splitlines()

    def at(text, start=0):
        return next((i for i in range(start, len(order)) if order[i].startswith(text)), -1)

    check(result.returncode == 0, "everyday path: the stand-in Outlook run succeeds",
          f"exit {result.returncode}\n{out}")
    press = at('[press] "Encrypt & Send" -> onClickSelect: S_OK')
    box = at(NO_RECIPIENT_BOX, max(press, 0))
    refused = at("[send] Outlook refused to send (no recipient): the message stays open in its window", max(box, 0))
    typed = at('[to] the sender types "finance@example.com" into the To box')
    check(0 <= press < box < refused < typed and at("[outbox]") > typed,
          "no recipient: the add-in's send is refused with Outlook's box, nothing goes out until the recipient "
          "is typed", out)
    open_line = order[refused + 1] if 0 <= refused < len(order) - 1 else ""
    check(open_line.startswith('[open] To box ""; Internet headers: x-rdz-select: select;'),
          "the refused message stays open with the select header", open_line)
    grown = re.search(r"HTML body of (\d+) characters \(composed: (\d+)\)", open_line)
    check(grown is not None and int(grown.group(1)) > int(grown.group(2)),
          "the refused message stays open with its body branded", open_line)
    check(out.count(NO_RECIPIENT_BOX) == 1 and all(not line.startswith("[box]") or line == NO_RECIPIENT_BOX
                                                   for line in order),
          "Outlook's box once, and no error box of the add-in", out)
    checked = at('[dialog] "Check Names" open')
    check(checked > 0 and 'Microsoft Outlook does not recognize "Finance Team".' in order[checked]
          and order[checked].endswith("pressing Cancel")
          and at("[send] Outlook refused to send (a name that does not resolve): the message stays open",
                 checked) > checked,
          "a name that does not resolve: Check Names opens, the send is refused, the message stays open", out)

    files = sorted(outbox.glob("*.eml"))
    check(len(files) == 2, "everyday path: two messages reach the outbox, the third stays open", f"{len(files)} files")
    if len(files) != 2:
        return
    clear, encrypted = [email.message_from_binary_file(open(f, "rb"), policy=email.policy.default) for f in files]

    def html(message):
        return next((p.get_content() for p in message.walk() if p.get_content_type() == "text/html"), "")

    check(clear["To"] == "finance@example.com" and str(clear["Subject"]) == "Figures",
          "the refused message goes to the recipient typed in afterwards")
    check(clear.get_all("x-rdz-unselect") == ["unselect"] and clear.get_all("x-rdz-select") is None,
          "sent unencrypted after the refusal: x-rdz-unselect, and no x-rdz-select left behind",
          str(clear.items()))
    check("This message was secured by" not in html(clear),
          "sent unencrypted after the refusal: no claim that it was secured")
    check(encrypted.get_all("x-rdz-select") == ["select"] and encrypted.get_all("x-rdz-unselect") is None
          and "This message was secured by" in html(encrypted),
          "the second message, encrypted: x-rdz-select and the footer")
    view = subprocess.run([sys.executable, str(ROOT / "tools" / "gateway_view.py"), *map(str, files)],
                          capture_output=True, text=True)
    decisions = [line.strip() for line in view.stdout.splitlines() if "gateway decision:" in line]
    check(decisions == ["gateway decision: send in the clear", "gateway decision: encrypt"],
          "the gateway view: the first in the clear, the second encrypted", view.stdout)


if __name__ == "__main__":
    try:
        main()
    finally:
        subprocess.run(["wineserver", "-k"], env=dict(os.environ, WINEPREFIX=str(PREFIX)), capture_output=True)
    print(f"e2e {ARCH}: {passed} passed, {failed} failed")
    sys.exit(1 if failed else 0)
