#!/usr/bin/env python3
"""Writes addin/host_interfaces.h from the slot tables of the host's binary
interface notes (a Markdown file with one table per interface).

    tools/gen_host_interfaces.py HOST_ABI.md > addin/host_interfaces.h

Each interface is declared with every slot from its own first slot up to the
last one listed, so the slot of each member follows from its position. A test
checks the slots again through raw vtable indexing against the stand-in host.
"""
import re
import sys

# Interface name -> (section heading fragment, IID, C++ base, first own slot).
INTERFACES = [
    ("_Application", "1. Outlook `_Application`", "00063001-0000-0000-C000-000000000046", "IDispatch", 7),
    ("_Explorer", "2. Outlook `_Explorer`", "00063003-0000-0000-C000-000000000046", "IDispatch", 7),
    ("_Inspector", "3. Outlook `_Inspector`", "00063005-0000-0000-C000-000000000046", "IDispatch", 7),
    ("_MailItem", "4. Outlook `_MailItem`", "00063034-0000-0000-C000-000000000046", "IDispatch", 7),
    ("_IMsoDispObj", None, "000C0300-0000-0000-C000-000000000046", "IDispatch", 7),
    ("_CommandBars", "5. Office `_CommandBars`", "000C0302-0000-0000-C000-000000000046", "_IMsoDispObj", 9),
    ("_IMsoOleAccDispObj", None, "000C0301-0000-0000-C000-000000000046", "IAccessible", 28),
    ("CommandBar", "6. Office `CommandBar`", "000C0304-0000-0000-C000-000000000046", "_IMsoOleAccDispObj", 30),
    ("CommandBarControls", "7. Office `CommandBarControls`", "000C0306-0000-0000-C000-000000000046", "_IMsoDispObj", 9),
    ("CommandBarControl", "8. Office `CommandBarControl`", "000C0308-0000-0000-C000-000000000046", "_IMsoOleAccDispObj", 30),
    ("CommandBarPopup", "9. Office `CommandBarPopup`", "000C030A-0000-0000-C000-000000000046", "CommandBarControl", 83),
    ("_CommandBarButton", "10. Office `_CommandBarButton`", "000C030E-0000-0000-C000-000000000046", "CommandBarControl", 83),
    ("IRibbonExtensibility", "13a.", "000C0396-0000-0000-C000-000000000046", "IDispatch", 7),
    ("IRibbonControl", "13b.", "000C0395-0000-0000-C000-000000000046", "IDispatch", 7),
    ("_IDTExtensibility2", "14. `_IDTExtensibility2`", "B65AD801-ABAF-11D0-BB8B-00A0C90F2744", "IDispatch", 7),
]

# Members of the two small base interfaces, which the notes give in prose.
BASE_MEMBERS = {
    "_IMsoDispObj": [(7, "Application", "get", "IDispatch**"), (8, "Creator", "get", "long*")],
    "_IMsoOleAccDispObj": [(28, "Application", "get", "IDispatch**"), (29, "Creator", "get", "long*")],
}

# Interfaces the add-in and the stand-in know by their own declaration.
DECLARED = {name for name, *_ in INTERFACES}

# Members that CommandBarPopup shares with CommandBarControl and that are
# declared there; only slots from 83 on are its own.
CXX_TYPE = {
    "BSTR": "BSTR", "BSTR*": "BSTR*", "VARIANT": "VARIANT", "VARIANT*": "VARIANT*",
    "VARIANT_BOOL": "VARIANT_BOOL", "VARIANT_BOOL*": "VARIANT_BOOL*",
    "long": "long", "long*": "long*", "int": "int", "int*": "int*",
    "DATE": "DATE", "DATE*": "DATE*", "IDispatch*": "IDispatch*", "IDispatch**": "IDispatch**",
    "IUnknown**": "IUnknown**", "IPictureDisp*": "IDispatch*", "IPictureDisp**": "IDispatch**",
    "SAFEARRAY(VARIANT)*": "SAFEARRAY**",
}


def cxx_type(raw):
    raw = raw.strip()
    m = re.match(r"(\w+)\*\* \(→ (\w+)\)", raw)
    if m:
        raw = m.group(2) + "**"
    if raw.startswith("enum "):
        return "long*" if raw.endswith("*") else "long"
    if raw in CXX_TYPE:
        return CXX_TYPE[raw]
    m = re.match(r"(\w+)(\*+)$", raw)
    if m:
        base, stars = m.group(1), m.group(2)
        if base in DECLARED:
            return base + stars
        return "IDispatch" + stars  # an interface this project does not declare
    raise SystemExit(f"unknown type {raw!r}")


def parse_params(signature):
    inner = signature.split("`")[1] if "`" in signature else signature
    assert inner.startswith("(") and inner.endswith(")"), signature
    inner = inner[1:-1].strip()
    if not inner:
        return []
    params = []
    for i, part in enumerate(p.strip() for p in split_top(inner)):
        part = re.sub(r"^\[[^\]]*\]\s*", "", part)
        m = re.match(r"(.*?)(\w+)$", part)
        typ, name = part, None
        if m and not part.endswith("*") and not part.endswith(")") and " " in part:
            typ, name = m.group(1).strip(), m.group(2)
        if part.endswith(")"):
            typ = part
        params.append((cxx_type(typ), name or f"p{i + 1}"))
    return params


def split_top(text):
    depth, cur, out = 0, "", []
    for ch in text:
        if ch in "([":
            depth += 1
        elif ch in ")]":
            depth -= 1
        if ch == "," and depth == 0:
            out.append(cur)
            cur = ""
        else:
            cur += ch
    if cur.strip():
        out.append(cur)
    return out


def section_rows(text, heading):
    start = text.index("## " + heading) if not heading.endswith(".") else text.index("### " + heading)
    rest = text[start:]
    table = re.search(r"(\| Slot \|.*?)\n\|[-:| ]+\|\n((?:\|.*\|\n)+)", rest)
    header = [c.strip() for c in table.group(1).strip().strip("|").split("|")]
    rows = []
    for line in table.group(2).splitlines():
        cells = [c.strip() for c in line.strip().strip("|").split("|")]
        row = dict(zip(header, cells))
        row.setdefault("Declared in", None)
        rows.append(row)
    return rows


def method_name(member, kind):
    member = member.replace("*", "")
    if kind == "get":
        return "get_" + member
    if kind == "put":
        return "put_" + member
    if kind == "putref":
        return "putref_" + member
    return member


def main():
    text = open(sys.argv[1], encoding="utf-8").read()
    out = []
    w = out.append
    w("// Generated by tools/gen_host_interfaces.py from the host's published slot")
    w("// tables. Do not edit by hand: regenerate, so that a slot cannot drift.")
    w("//")
    w("// The Outlook, Office and add-in designer interfaces that the add-in calls")
    w("// or implements, with every vtable slot up to the last one used. Shared by")
    w("// the add-in and the stand-in host.")
    w("#pragma once")
    w("")
    w("#include <windows.h>")
    w("#include <oaidl.h>")
    w("#include <oleacc.h>")
    w("")
    w("namespace ks {")
    for name, _, iid, _, _ in INTERFACES:
        p = iid.split("-")
        d4 = p[3] + p[4]
        bytes_ = ", ".join("0x" + d4[i:i + 2] for i in range(0, 16, 2))
        w(f"inline constexpr IID IID_{name} = {{0x{p[0]}, 0x{p[1]}, 0x{p[2]}, {{{bytes_}}}}};")
    w("}  // namespace ks")
    w("")
    for name, *_ in INTERFACES:
        w(f"struct {name};")
    w("")
    for name, heading, iid, base, first in INTERFACES:
        if heading is None:
            members = [(s, m, k, [(cxx_type(t), "p1")]) for s, m, k, t in BASE_MEMBERS[name]]
        else:
            members = []
            for row in section_rows(text, heading):
                slot = int(row["Slot"])
                if slot < first:
                    continue
                member = row["Member"].replace("**", "")
                signature = row[next(k for k in row if k.startswith("Signature"))]
                members.append((slot, member, row["Kind"], parse_params(signature)))
        members = [m for m in members if m[0] >= first]
        members.sort()
        expected = first
        w(f"// {{{iid}}}")
        w(f"struct {name} : public {base} {{")
        for slot, member, kind, params in members:
            if slot != expected:
                raise SystemExit(f"{name}: slot {slot} follows {expected - 1}")
            expected += 1
            args = ", ".join(f"{t} {n}" for t, n in params)
            w(f"    /* {slot:3d} */ virtual HRESULT STDMETHODCALLTYPE {method_name(member, kind)}({args}) = 0;")
        w("};")
        w("")
    print("\n".join(out))


if __name__ == "__main__":
    main()
