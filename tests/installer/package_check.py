#!/usr/bin/env python3
"""Static checks of the Windows Installer packages and the Group Policy
template, run by tools/test-installer.sh.

  package_check.py package MSI ARCH VERSION     the package's tables
  package_check.py com-tree MSI TREE [win32]    its COM registration against
                                                the tree the DLL registered
  package_check.py policy ADMX ADML DLL...      the template against the add-in

Each check prints "ok - ..." or "not ok - ..."; the exit status is the
number of failures (at most 100).
"""
import re
import subprocess
import sys
import xml.etree.ElementTree as ET

CLASS_ID = "{2B934FC2-7687-425C-8342-00EDCAA83BCB}"
LIB_ID = "{FECAE1F1-387C-4BCF-B306-B5FB0DBA52B6}"
CALLBACK_IID = "{B199C953-A6A4-4231-B08C-DF5AA5794316}"
UPGRADE_CODE = "{2DF11BA0-D31E-4D92-B45F-4C7641F4C60F}"
ADDIN_ENTRY = r"Software\Microsoft\Office\Outlook\Addins\KestrinSelectATL.Connect"
SWITCHES_KEY = r"Software\KestrinCorp\KestrinSelectATL"
SWITCHES = ("selectEnabled", "unselectEnabled")
COM_ROOTS = ("KestrinSelectATL.Connect", "KestrinSelectATL.Connect.1", "CLSID\\" + CLASS_ID,
             "TypeLib\\" + LIB_ID, "Interface\\" + CALLBACK_IID)
ROOT_NAMES = {"0": "HKCR", "1": "HKCU", "2": "HKLM", "3": "HKU", "-1": "HKMU"}

failures = 0


def check(condition, what, detail=""):
    global failures
    if condition:
        print("ok - " + what)
    else:
        failures += 1
        print("not ok - " + what + (": " + detail if detail else ""))


def table(msi, name):
    """Rows of one table as dicts, from msiinfo's export (an .idt text)."""
    text = subprocess.run(["msiinfo", "export", msi, name], check=True, capture_output=True,
                          text=True).stdout
    lines = text.split("\r\n") if "\r\n" in text else text.split("\n")
    columns = lines[0].split("\t")
    return [dict(zip(columns, line.split("\t"))) for line in lines[3:] if line]


def tables(msi):
    return subprocess.run(["msiinfo", "tables", msi], check=True, capture_output=True,
                          text=True).stdout.split()


def properties(msi):
    return {row["Property"]: row["Value"] for row in table(msi, "Property")}


def summary(msi):
    text = subprocess.run(["msiinfo", "suminfo", msi], check=True, capture_output=True,
                          text=True).stdout
    return dict(line.split(": ", 1) for line in text.splitlines() if ": " in line)


def folder_of(msi):
    """Install folder as the checker program shows it: <pf>\\Name."""
    dirs = {row["Directory"]: row for row in table(msi, "Directory")}
    folder = dirs["InstallFolder"]
    return folder["Directory_Parent"], "<pf>\\" + folder["DefaultDir"].split("|")[-1]


def resolve(msi, value):
    """Formatted registry data of the package, as it is written at install."""
    parent, folder = folder_of(msi)
    files = {row["File"]: row["FileName"].split("|")[-1] for row in table(msi, "File")}
    value = re.sub(r"\[#([^\]]+)\]", lambda m: folder + "\\" + files[m.group(1)], value)
    value = value.replace("[InstallFolder]", folder + "\\")
    value = value.replace("[%s]" % parent, "<pf>\\")
    if value.startswith("#") and not value.startswith("##"):
        return "dword|" + str(int(value[1:]))
    return "sz|" + value


def registry_lines(msi, root_name, roots):
    """Keys and values that the Registry table writes below the given roots,
    in the checker program's line format."""
    lines = set()
    for row in table(msi, "Registry"):
        if ROOT_NAMES.get(row["Root"]) != root_name:
            continue
        key = row["Key"]
        top = next((r for r in roots if key == r or key.startswith(r + "\\")), None)
        if top is None:
            continue
        parts = key[len(top):].split("\\")[1:]
        for i in range(len(parts) + 1):
            lines.add(root_name + "\\" + "\\".join([top] + parts[:i]))
        name = row["Name"]
        if name in ("+", "-", "*") and not row["Value"]:
            continue  # the key alone
        lines.add("%s\\%s|%s|%s" % (root_name, key, name, resolve(msi, row["Value"])))
    return lines


def check_package(msi, arch, version):
    info = summary(msi)
    check(info.get("Template") == ("x64;1033" if arch == "x64" else "Intel;1033"),
          "%s targets %s" % (msi, arch), info.get("Template", ""))
    props = properties(msi)
    check(props.get("ProductVersion") == version, "version is " + version, props.get("ProductVersion", ""))
    check(props.get("UpgradeCode") == UPGRADE_CODE, "stable upgrade code")
    check(props.get("ALLUSERS") == "1", "per-machine install")
    # Not given, a switch keeps the value on the machine, else becomes "true".
    actions = {row["Action"]: row for row in table(msi, "CustomAction")}
    locators = {row["Signature_"]: row for row in table(msi, "RegLocator")}
    searches = {row["Property"]: locators.get(row["Signature_"]) for row in table(msi, "AppSearch")}
    for prop, saved, value in (("SELECTENABLED", "KS_SAVED_SELECT", "selectEnabled"),
                               ("UNSELECTENABLED", "KS_SAVED_UNSELECT", "unselectEnabled")):
        check(prop not in props, "%s has no fixed value in the package" % prop)
        defaults = [a for a, row in actions.items() if row["Source"] == prop and row["Target"] == "true"]
        keeps = [a for a, row in actions.items() if row["Source"] == prop and row["Target"] == "[%s]" % saved]
        found = searches.get(saved)
        check(found is not None and found["Key"] == SWITCHES_KEY and found["Name"] == value
              and ROOT_NAMES.get(found["Root"]) == "HKLM"
              and bool(int(found["Type"]) & 16) == (arch == "x64"),
              "%s is read back from where the package writes it" % value, str(found))
        for sequence_name in ("InstallUISequence", "InstallExecuteSequence"):
            steps = {row["Action"]: (int(row["Sequence"]), row["Condition"]) for row in table(msi, sequence_name)}
            ok = (len(defaults) == 1 and len(keeps) == 1 and defaults[0] in steps and keeps[0] in steps
                  and steps["AppSearch"][0] < steps[keeps[0]][0] < steps[defaults[0]][0] < steps["LaunchConditions"][0]
                  and steps[defaults[0]][1] == "NOT " + prop)
            check(ok, "%s: %s keeps the saved value, else becomes true" % (sequence_name, prop))
    secure = props.get("SecureCustomProperties", "").split(";")
    check("SELECTENABLED" in secure and "UNSELECTENABLED" in secure,
          "switch properties reach the elevated install", ";".join(secure))

    upgrades = table(msi, "Upgrade")
    removes = [u for u in upgrades if not int(u["Attributes"]) & 2]
    as_tuple = lambda text: tuple(int(x) for x in text.split("."))
    check(len(removes) == 1 and as_tuple(removes[0]["VersionMax"])[:3] > as_tuple(version)[:3],
          "major upgrade removes earlier builds up to this version", str(upgrades))
    sequence = {row["Action"]: int(row["Sequence"]) for row in table(msi, "InstallExecuteSequence")}
    check("RemoveExistingProducts" in sequence and "FindRelatedProducts" in sequence,
          "the upgrade actions are sequenced")

    parent, _ = folder_of(msi)
    check(parent == ("ProgramFiles64Folder" if arch == "x64" else "ProgramFilesFolder"),
          "installs into the %s Program Files" % ("64-bit" if arch == "x64" else "32-bit"), parent)
    bitness = {row["Component"]: int(row["Attributes"]) & 256 for row in table(msi, "Component")}
    check(all(bool(b) == (arch == "x64") for b in bitness.values()),
          "every component is %s" % ("64-bit" if arch == "x64" else "32-bit"), str(bitness))

    # Registration is data in the package, never code run at install.
    check("SelfReg" not in tables(msi) or not table(msi, "SelfReg"), "no self-registration")
    check(all(int(row["Type"]) & 0x3F == 51 for row in table(msi, "CustomAction")),
          "no custom action runs code")

    hklm = registry_lines(msi, "HKLM", (ADDIN_ENTRY, SWITCHES_KEY))
    expected = {
        "HKLM\\" + ADDIN_ENTRY,
        "HKLM\\%s|LoadBehavior|dword|3" % ADDIN_ENTRY,
        "HKLM\\%s|FriendlyName|sz|KestrinSelect" % ADDIN_ENTRY,
        "HKLM\\" + SWITCHES_KEY,
        "HKLM\\%s|selectEnabled|sz|[SELECTENABLED]" % SWITCHES_KEY,
        "HKLM\\%s|unselectEnabled|sz|[UNSELECTENABLED]" % SWITCHES_KEY,
    }
    description = [l for l in hklm if "|Description|sz|" in l and l.split("|")[3]]
    check(hklm - set(description) == expected and len(description) == 1,
          "add-in entry and switches under HKLM", str(sorted(hklm ^ expected)))
    others = [r for r in table(msi, "Registry")
              if not (ROOT_NAMES.get(r["Root"]) == "HKLM" and r["Key"] in (ADDIN_ENTRY, SWITCHES_KEY))
              and not (ROOT_NAMES.get(r["Root"]) == "HKCR"
                       and any(r["Key"] == c or r["Key"].startswith(c + "\\") for c in COM_ROOTS))]
    check(not others, "nothing else in the registry", str(others))


def check_com_tree(msi, tree_file, platform):
    with open(tree_file, encoding="utf-8") as f:
        registered = {line.rstrip("\r\n") for line in f if line.strip()}
    if platform == "win32":
        registered = {line.replace("\\0\\win64", "\\0\\win32") for line in registered}
    packaged = registry_lines(msi, "HKCR", COM_ROOTS)
    check(len(registered) > 20, "the DLL's registration was read back", str(len(registered)))
    check(packaged == registered, "%s writes the tree the DLL registers" % msi,
          "only in package: %s; only from DLL: %s" % (sorted(packaged - registered),
                                                      sorted(registered - packaged)))


def check_policy(admx, adml, dlls):
    ns = {"p": "http://schemas.microsoft.com/GroupPolicy/2006/07/PolicyDefinitions"}
    try:
        definitions = ET.parse(admx).getroot()
        resources = ET.parse(adml).getroot()
    except ET.ParseError as error:
        check(False, "template is well-formed XML", str(error))
        return
    check(True, "template is well-formed XML")
    check(definitions.tag == "{%s}policyDefinitions" % ns["p"], "ADMX root is policyDefinitions")
    check(resources.tag == "{%s}policyDefinitionResources" % ns["p"], "ADML root is policyDefinitionResources")

    strings = {s.get("id"): s.text or "" for s in resources.iterfind(".//p:stringTable/p:string", ns)}
    presentations = {p.get("id") for p in resources.iterfind(".//p:presentationTable/p:presentation", ns)}
    admx_text = open(admx, encoding="utf-8").read()
    missing = sorted(set(re.findall(r"\$\(string\.([^)]+)\)", admx_text)) - set(strings))
    check(not missing, "every string the ADMX names is in the ADML", str(missing))
    missing = sorted(set(re.findall(r"\$\(presentation\.([^)]+)\)", admx_text)) - presentations)
    check(not missing, "every presentation the ADMX names is in the ADML", str(missing))

    texts = " ".join(strings.values())
    check('"Encrypt && Send"' in texts and '"Send Unencrypted"' in texts,
          "the policies name the buttons as the compose window shows them")

    policies = {p.get("valueName"): p for p in definitions.iterfind(".//p:policies/p:policy", ns)}
    check(sorted(policies) == sorted(SWITCHES), "one policy per switch", str(sorted(policies)))
    for name, policy in policies.items():
        check(policy.get("class") == "Machine" and policy.get("key") == SWITCHES_KEY,
              "%s is written to HKLM\\%s" % (name, SWITCHES_KEY), "%s %s" % (policy.get("class"), policy.get("key")))
        on = policy.find("p:enabledValue/p:string", ns)
        off = policy.find("p:disabledValue/p:string", ns)
        check(on is not None and on.text == "true" and off is not None and off.text == "false",
              "%s is \"true\" when enabled and \"false\" when disabled" % name)
        # 32-bit Outlook on 64-bit Windows reads the 32-bit view of the key.
        mirrored = {(i.get("key"), i.get("valueName"), (i.find("p:value/p:string", ns).text
                     if i.find("p:value/p:string", ns) is not None else None), which)
                    for which in ("enabledList", "disabledList")
                    for i in policy.iterfind("p:%s/p:item" % which, ns)}
        wow = SWITCHES_KEY.replace("Software\\", "Software\\WOW6432Node\\", 1)
        check(mirrored == {(wow, name, "true", "enabledList"), (wow, name, "false", "disabledList")},
              "%s is mirrored to the 32-bit view" % name, str(sorted(mirrored)))

    for dll in dlls:
        data = open(dll, "rb").read()
        for text in (SWITCHES_KEY,) + SWITCHES:
            check(text.encode("ascii") + b"\0" in data, "%s reads %s" % (dll, text))


def main(argv):
    if len(argv) >= 4 and argv[0] == "package":
        check_package(argv[1], argv[2], argv[3])
    elif len(argv) >= 3 and argv[0] == "com-tree":
        check_com_tree(argv[1], argv[2], argv[3] if len(argv) > 3 else "win64")
    elif len(argv) >= 3 and argv[0] == "policy":
        check_policy(argv[1], argv[2], argv[3:])
    else:
        print(__doc__)
        return 100
    return min(failures, 100)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
