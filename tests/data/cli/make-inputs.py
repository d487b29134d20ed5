#!/usr/bin/env python3
"""Writes the input/ exports and recipes of the rcpconv golden cases (see README.md)."""
import os

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = r"HKEY_LOCAL_MACHINE\SOFTWARE\Quorix\Layrscan\Settings"
V5 = "Windows Registry Editor Version 5.00"


def write(case, name, text, encoding="cp1252"):
    path = os.path.join(HERE, case, "input", name)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    data = text.replace("\n", "\r\n")
    raw = b"\xff\xfe" + data.encode("utf-16-le") if encoding == "utf-16" else data.encode(encoding)
    with open(path, "wb") as f:
        f.write(raw)


def export(header, sets, encoding="cp1252"):
    """A regedit-style export: sets is a list of (name, [value lines])."""
    lines = [header, "", "[" + ROOT + "]"]
    for name, values in sets:
        lines += ["", "[" + ROOT + "\\" + name + "]"] + values
    return "\n".join(lines + ["", ""])


GOOD = ['"Electrolyte"="KOH"', '"AmpCar"="0.5"', '"Model"=dword:00000002']

# Names Windows cannot use as file names, and names outside the code page (UTF-16 export).
write("unconvertible_names", "names.reg", export(V5, [
    ("CON", GOOD), ("a:b", GOOD), ("../x", GOOD), ("LPT1.log", GOOD), ("Com9", GOOD),
    ("what?", GOOD), ("ok", GOOD), ("nul.txt", GOOD), ("\u03a9-cell", GOOD),
    ("\u65e5\u672c", GOOD), ("COM\u00b9.x", GOOD), ("lpt\u00b2", GOOD), ("LPT\u00b3", GOOD),
    ("CONIN$", GOOD), ("conout$.txt", GOOD),
]), encoding="utf-16")

# In Windows-1250 the byte of superscript one is a Polish letter: a port name with it is none.
write("device_names_codepage", "names.reg", export(V5, [
    ("COM\u0105", GOOD), ("lpt\u0105.x", GOOD), ("CONIN$", GOOD),
]), encoding="utf-16")

# Names outside the code page list in look-alike letters: "Omega" for the Greek-lettered
# "\u03a9mega" beside a real "Omega", and "Ohm" for "\u03a9hm", which is no set's own name.
for case in ("look_alike_names", "look_alike_names_selected"):
    write(case, "names.reg", export(V5, [
        ("Omega", GOOD), ("\u03a9mega", ['"Electrolyte"="HCl"']), ("\u03a9hm", GOOD),
        ("ok", GOOD),
    ]), encoding="utf-16")

# With -o of 241 characters, a name of 13 characters makes a path of exactly 259.
write("long_path", "long.reg", export("REGEDIT4", [
    ("thirteen-char", GOOD), ("fourteen-chars", GOOD), ("\u00e9leven-chars", GOOD),
]))

write("bad_header", "bad-header.reg", export("REGEDIT5", [("GaAs", GOOD)]))

write("malformed_lines", "malformed.reg", export(V5, [
    ("GaAs", [
        '"Electrolyte"="KOH"',
        '"AmpCar"=dword:123456789',
        '"Mat1"="GaAs',
        '"V-Step"="0.05"',
        '"CalTable"=hex:zz,01',
        'Model=dword:00000002',
        '"Model"=dword:00000003',
    ]),
    ("InP", ['"Electrolyte"="HCl"', '"FreqCar"=hex(b):01,02,03,04,05,06,07,08,09']),
]))

write("no_root", "no-root.reg", "\n".join([
    V5, "", r"[HKEY_LOCAL_MACHINE\SOFTWARE\Quorix\Layrscan]", '"Version"="4.2.1"',
    "", r"[HKEY_LOCAL_MACHINE\SOFTWARE\Quorix\Layrscan\Instrument]", '"ComPort"=dword:00000002',
    "", "",
]))

write("empty_set", "empty.reg", export(V5, [
    ("Blank", ['"Comment"="nothing the recipe needs"']),
    ("Overlong", ['"Electrolyte"="' + "K" * 32 + '"', '"Mat1"="GaAs"']),
    ("Si", ['"Electrolyte"="NH4F"']),
]))

# A recipe from an earlier run, edited by hand since: kept, with the converted keys updated.
write("update_in_place", "Recipes/GaAs p Zn.rcp", "\n".join([
    "; tuned on the new tool, keep",
    "[general]",
    "Material=GaAs",
    "Electrolyte = old",
    "Operator=JB",
    "",
    "[ETCH]",
    "N-range=1 2",
    "V-Etch=9",
    "[NOTES]",
    "Text=hand written",
    "",
]))
