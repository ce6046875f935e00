#!/usr/bin/env python3
"""Writes the add-in's contract with its host from the tables in addin/host_abi/:
addin/host_interfaces.h for the add-in and the stand-in, and the IDL of the
host's type libraries that the stand-in registers.

  interfaces.csv  each interface with its IID, base and first own slot;
  slots.csv       every slot as the host's type libraries publish it (the
                  interface that declares it, slot, member, kind, DISPID,
                  IDL signature);
  events.csv      the event interfaces the add-in connects to, with the
                  DISPIDs of the events it handles or the host raises;
  libraries.csv   the type libraries: LIBID, version, and which interfaces
                  the stand-in's copy of each holds;
  enums.csv       the enumerations those libraries define.

    tools/gen_host_interfaces.py [addin/host_abi] [-o addin/host_interfaces.h]
    tools/gen_host_interfaces.py addin/host_abi -o OUT --check addin/host_interfaces.h
    tools/gen_host_interfaces.py addin/host_abi --idl Office -o OfficeRibbon.idl

Each interface is declared with every slot from its own first slot up to the
last one listed, so the slot of each member follows from its position. With
--check the run writes nothing and fails when the header would differ from
the one named, so that the build notices a header edited by hand or a table
changed without regenerating. tests/test_host_abi.cpp checks the slots again,
by raw vtable index against the stand-in host, from rows that
tools/gen_host_abi_rows.py reads out of the same tables on its own.
"""
import argparse
import csv
import difflib
import os
import re
import sys

# Interfaces the add-in and the stand-in know by their own declaration
# (filled from interfaces.csv); any other interface is passed as IDispatch.
DECLARED = set()

# IDL types and the C++ types the header declares them with.
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


def method_name(member, kind):
    member = member.replace("*", "")
    if kind == "get":
        return "get_" + member
    if kind == "put":
        return "put_" + member
    if kind == "putref":
        return "putref_" + member
    return member


def read_table(path):
    with open(path, encoding="utf-8", newline="") as f:
        return list(csv.DictReader(f))


def read_abi(folder):
    """The interfaces in header order, each with its own slots in slot order."""
    interfaces = read_table(os.path.join(folder, "interfaces.csv"))
    slots = read_table(os.path.join(folder, "slots.csv"))
    DECLARED.update(entry["name"] for entry in interfaces)
    result = []
    for entry in interfaces:
        name, first = entry["name"], int(entry["first_slot"])
        rows = sorted((int(row["slot"]), row) for row in slots if row["interface"] == name and int(row["slot"]) >= first)
        members = [(slot, row["member"], row["kind"], parse_params(row["signature"]), row) for slot, row in rows]
        result.append((name, entry["iid"], entry["base"], first, members))
    return result


def read_contract(folder):
    """Everything but the interfaces: events, libraries, enumerations."""
    events, libraries, enums = {}, [], {}
    for row in read_table(os.path.join(folder, "events.csv")):
        entry = events.setdefault(row["interface"], (row["iid"], []))
        if entry[0] != row["iid"]:
            raise SystemExit(f"{row['interface']}: two IIDs")
        if row["member"]:
            entry[1].append((row["member"], row["dispid"]))
    libraries = read_table(os.path.join(folder, "libraries.csv"))
    for row in read_table(os.path.join(folder, "enums.csv")):
        entry = enums.setdefault(row["enum"], (row["library"], row["uuid"], []))
        entry[2].append((row["member"], int(row["value"])))
    return events, libraries, enums


def guid_initializer(text):
    p = text.split("-")
    d4 = p[3] + p[4]
    bytes_ = ", ".join("0x" + d4[i:i + 2] for i in range(0, 16, 2))
    return f"{{0x{p[0]}, 0x{p[1]}, 0x{p[2]}, {{{bytes_}}}}}"


def event_name(interface):
    # The add-in and the stand-in name an event interface without the
    # leading underscore of the library's dispinterface.
    return interface.lstrip("_")


def header_text(interfaces, contract):
    events, libraries, enums = contract
    out = []
    w = out.append
    w("// Generated by tools/gen_host_interfaces.py from the host's tables in")
    w("// addin/host_abi/. Do not edit by hand: regenerate, so that a slot cannot drift.")
    w("//")
    w("// The Outlook, Office and add-in designer interfaces that the add-in calls")
    w("// or implements, with every vtable slot up to the last one used; the event")
    w("// interfaces it connects to; the type libraries and their enumerations.")
    w("// Shared by the add-in and the stand-in host.")
    w("#pragma once")
    w("")
    w("#include <windows.h>")
    w("#include <oaidl.h>")
    w("#include <oleacc.h>")
    w("")
    w("namespace ks {")
    for name, iid, *_ in interfaces:
        w(f"inline constexpr IID IID_{name} = {guid_initializer(iid)};")
    w("")
    w("// Event interfaces (dispinterfaces: events arrive through IDispatch::Invoke).")
    for name, (iid, members) in events.items():
        w(f"inline constexpr IID IID_{event_name(name)} = {guid_initializer(iid)};")
        for member, dispid in members:
            w(f"inline constexpr DISPID DISPID_{event_name(name)}_{member} = {dispid};")
    w("")
    w("// Type libraries, and the enumerations they define.")
    for library in libraries:
        name = library["name"]
        major, minor = library["version"].split(".")
        w(f"inline constexpr GUID LIBID_{name} = {guid_initializer(library['libid'])};")
        w(f"inline constexpr WORD k{name}LibraryMajor = {major};")
        w(f"inline constexpr WORD k{name}LibraryMinor = {minor};")
    for enum, (_, _, members) in enums.items():
        values = ", ".join(f"{member} = {value}" for member, value in members)
        w(f"enum {enum} : long {{ {values} }};")
    w("}  // namespace ks")
    w("")
    for name, *_ in interfaces:
        w(f"struct {name};")
    w("")
    for name, iid, base, first, members in interfaces:
        expected = first
        w(f"// {{{iid}}}")
        w(f"struct {name} : public {base} {{")
        for slot, member, kind, params, _ in members:
            if slot != expected:
                raise SystemExit(f"{name}: slot {slot} follows {expected - 1}")
            expected += 1
            args = ", ".join(f"{t} {n}" for t, n in params)
            w(f"    /* {slot:3d} */ virtual HRESULT STDMETHODCALLTYPE {method_name(member, kind)}({args}) = 0;")
        w("};")
        w("")
    return "\n".join(out) + "\n"


IDL_KIND = {"get": "propget", "put": "propput", "putref": "propputref", "method": None}


def idl_params(signature, enums):
    """The IDL parameter list of a slot, every parameter named."""
    inner = signature.strip()[1:-1].strip()
    params = []
    for i, part in enumerate(p.strip() for p in split_top(inner)):
        part = re.sub(r"\benum (\w+)", lambda m: m.group(1) if m.group(1) in enums else m.group(0), part)
        if "(→" in part:
            raise SystemExit(f"no IDL for the annotated type in {signature!r}")
        if part.endswith("*") or part.endswith("]") or not re.search(r"\s\w+$", part):
            part += f" p{i + 1}"
        params.append(part)
    return ", ".join(params)


def idl_text(interfaces, contract, library_name):
    _, libraries, enums = contract
    library = next((row for row in libraries if row["name"] == library_name), None)
    if library is None:
        raise SystemExit(f"no library {library_name!r} in libraries.csv")
    by_name = {name: (iid, base, members) for name, iid, base, _, members in interfaces}
    out = []
    w = out.append
    w("// Generated by tools/gen_host_interfaces.py from addin/host_abi/. Do not edit.")
    w("//")
    w(f"// The part of the {library_name} library ({library['version']}) that an Office machine")
    w("// has registered and the add-in's dual interfaces answer IDispatch from.")
    w('import "oaidl.idl";')
    w("")
    w("[")
    w(f"    uuid({library['libid']}),")
    w(f"    version({library['version']}),")
    w(f"    helpstring(\"{library['helpstring']}\")")
    w("]")
    w(f"library {library_name}")
    w("{")
    w('    importlib("stdole2.tlb");')
    for enum, (owner, uuid, members) in enums.items():
        if owner != library_name:
            continue
        w("")
        w(f"    typedef [uuid({uuid})] enum {enum} {{")
        w(",\n".join(f"        {member} = {value}" for member, value in members))
        w(f"    }} {enum};")
    for name in library["stand_in_interfaces"].split():
        iid, base, members = by_name[name]
        w("")
        w("    [")
        w("        object,")
        w(f"        uuid({iid}),")
        w("        dual,")
        w("        oleautomation")
        w("    ]")
        w(f"    interface {name} : {base}")
        w("    {")
        for _, member, kind, _, row in members:
            attributes = f"id({int(row['dispid'], 0)})"
            if IDL_KIND[kind]:
                attributes += f", {IDL_KIND[kind]}"
            w(f"        [{attributes}] HRESULT {member}({idl_params(row['signature'], enums)});")
        w("    };")
    w("}")
    return "\n".join(out) + "\n"


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    parser = argparse.ArgumentParser(description="Writes the host contract from addin/host_abi/.")
    parser.add_argument("abi", nargs="?", default=os.path.join(root, "addin", "host_abi"), help="the tables' folder")
    parser.add_argument("-o", "--output", help="the file to write (default: standard output)")
    parser.add_argument("--check", metavar="HEADER", help="fail when the header written differs from HEADER")
    parser.add_argument("--idl", metavar="LIBRARY", help="write the stand-in's IDL of this type library instead")
    args = parser.parse_args()

    interfaces = read_abi(args.abi)
    contract = read_contract(args.abi)
    text = idl_text(interfaces, contract, args.idl) if args.idl else header_text(interfaces, contract)
    if args.check:
        with open(args.check, encoding="utf-8", newline="") as f:
            committed = f.read()
        if committed != text:
            # Nothing is written, so the next build checks again.
            sys.stderr.writelines(difflib.unified_diff(committed.splitlines(True), text.splitlines(True),
                                                       args.check, "generated from " + args.abi))
            sys.stderr.write(f"{args.check} does not match {args.abi}; regenerate it with "
                             f"tools/gen_host_interfaces.py -o {args.check}\n")
            return 1
    if args.output:
        with open(args.output, "w", encoding="utf-8", newline="\n") as f:
            f.write(text)
    else:
        sys.stdout.write(text)
    return 0


if __name__ == "__main__":
    sys.exit(main())
