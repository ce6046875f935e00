#!/usr/bin/env python3
"""End-to-end run of the real add-in DLL in the stand-in Outlook under Wine.

    tests/e2e/e2e_outlook.py ARCH

Registers the built DLL with regsvr32 in a prefix of its own, writes the
add-in list entry as an installer would, and for each combination of the
two switches starts the stand-in Outlook, which loads the add-in from the
list, opens a compose window and builds the ribbon. With both switches on it
sends one message with each button and the messages are read back with
Python's own e-mail parser, independent of the C++ code that wrote them.
Prints one line per check and closes with "e2e ARCH: N passed, N failed".
"""
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


def run_outlook(*actions, outbox):
    return wine(str(BIN / "outlook_standin.exe"), "--outbox", windows_path(outbox),
                "--ribbon-png", windows_path(outbox / "ribbon.png"), *actions)


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
    addins = r"HKCU\Software\Microsoft\Office\Outlook\Addins\KestrinSelectATL.Connect"
    wine("reg", "add", addins, "/v", "LoadBehavior", "/t", "REG_DWORD", "/d", "3", "/f")
    wine("reg", "add", addins, "/v", "FriendlyName", "/d", "KestrinSelect", "/f")

    combinations = [
        (None, None, []),
        ("true", "false", ["Encrypt & Send"]),
        ("FALSE", "True", ["Send Unencrypted"]),
        ("true", "true", ["Encrypt & Send", "Send Unencrypted"]),
    ]
    for select, unselect, expected in combinations:
        set_switch("selectEnabled", select)
        set_switch("unselectEnabled", unselect)
        outbox = WORK / f"ribbon-{select}-{unselect}"
        outbox.mkdir()
        result = run_outlook("compose", "<html><body>x</body></html>", "close", outbox=outbox)
        out = result.stdout
        ribbon_lines = [line for line in out.splitlines() if line.startswith("[ribbon] tab")]
        shown = []
        for line in ribbon_lines:
            shown += [part.split(" + ")[0].split(",")[0] for part in line.split("[")[2:]]
        check(shown == expected, f"switches {select}/{unselect}: ribbon shows {expected or 'no group'}",
              f"shown {shown}; output:\n{out}")
        if expected:
            check("+ picture" in out and "no picture" not in out,
                  f"switches {select}/{unselect}: every button has its picture")
            check((outbox / "ribbon.png").stat().st_size > 0 if (outbox / "ribbon.png").exists() else False,
                  f"switches {select}/{unselect}: ribbon drawn to a PNG")
        check("DllCanUnloadNow: S_OK" in out, f"switches {select}/{unselect}: the DLL can unload at the end")

    outbox = WORK / "outbox"
    outbox.mkdir()
    result = run_outlook("compose", BODY, "finance@example.com", "subject=Figures", "press", "Encrypt & Send",
                         "compose", BODY, "team@example.com", "subject=Lunch", "press", "Send Unencrypted",
                         "about", "close", outbox=outbox)
    out = result.stdout
    (WORK / "transcript.txt").write_text(out)
    check(result.returncode == 0, "the stand-in Outlook run succeeds", f"exit {result.returncode}\n{out}")
    check("OnConnection S_OK" in out, "the add-in connects from the add-in list")
    check("&KestrinSelect" in out.split("[menu] main window menu bar:")[1].splitlines()[0]
          if "[menu] main window menu bar:" in out else False, "the main window's menu bar has &KestrinSelect")
    check("[dialog] \"About KestrinSelect\" open" in out, "About opens the About box")
    check("[box]" not in out, "no error box during the run")
    check("DllCanUnloadNow: S_OK" in out, "nothing is left alive after shut-down")

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

    sent = BODY.replace("\r\n", "\n")

    branded = html(encrypted)
    tag = sent.lower().find("</html>")
    check(branded.startswith(sent[:tag]), "encrypted body: the sender's text before the tag is intact")
    check("This message was secured by " in branded and "#0038A8'>Kestrin</span>" in branded,
          "encrypted body: the footer is there")
    check(branded.endswith("</html>" + sent[tag + 7:]),
          "encrypted body: footer stands before </html>, text after the tag kept",
          repr(branded[-80:]))
    check(html(clear) == sent, "clear body: unchanged, every character kept", repr(html(clear)[:80]))

    view = subprocess.run([sys.executable, str(ROOT / "tools" / "gateway_view.py"), *map(str, files)],
                          capture_output=True, text=True)
    check("gateway decision: encrypt" in view.stdout and "gateway decision: send in the clear" in view.stdout,
          "the gateway view decides encrypt, then send in the clear")


if __name__ == "__main__":
    try:
        main()
    finally:
        subprocess.run(["wineserver", "-k"], env=dict(os.environ, WINEPREFIX=str(PREFIX)), capture_output=True)
    print(f"e2e {ARCH}: {passed} passed, {failed} failed")
    sys.exit(1 if failed else 0)
