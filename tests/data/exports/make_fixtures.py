#!/usr/bin/env python3
"""Writes the registry export fixtures of this directory (see README.md); run it from here."""

import codecs

ROOT1 = r"HKEY_LOCAL_MACHINE\SOFTWARE\WOW6432Node\Quorix\Layrscan\Settings"
ROOT1_PLAIN = r"HKEY_LOCAL_MACHINE\SOFTWARE\Quorix\Layrscan\Settings"
ROOT2 = r"HKEY_LOCAL_MACHINE\SOFTWARE\WOW6432Node\Zentyl\Layrscan\Settings"
V5 = "Windows Registry Editor Version 5.00"


def hex_wrapped(prefix, data):
    """Hex data wrapped as Windows' regedit wraps it: after the comma reaching column 77."""
    line = prefix
    lines = []
    items = ["%02x" % b for b in data]
    for i, item in enumerate(items):
        line += item
        if i + 1 < len(items):
            line += ","
            if len(line) >= 77:
                lines.append(line + "\\")
                line = "  "
    lines.append(line)
    return "\r\n".join(lines)


def utf16_hex(text):
    return text.encode("utf-16-le")


def windows_1252(text):
    """Python's cp1252 lacks the five bytes Windows maps to C1 controls; characters the code
    page lacks become '?' (as a text editor saving in that code page writes them)."""
    data = b""
    for char in text:
        if ord(char) in (0x81, 0x8D, 0x8F, 0x90, 0x9D):
            data += bytes([ord(char)])
        else:
            data += char.encode("cp1252", errors="replace")
    return data


def write(name, text, encoding):
    if encoding == "utf-16":
        data = codecs.BOM_UTF16_LE + text.encode("utf-16-le")
    elif encoding == "utf-8-bom":
        data = codecs.BOM_UTF8 + text.encode("utf-8")
    else:
        data = windows_1252(text)
    with open(name, "wb") as out:
        out.write(data)


def windows_export():
    """UTF-16LE with a byte-order mark and CR LF, parents included, as regedit /E writes."""
    keys = [
        (r"HKEY_LOCAL_MACHINE\SOFTWARE\WOW6432Node\Quorix", []),
        (r"HKEY_LOCAL_MACHINE\SOFTWARE\WOW6432Node\Quorix\Layrscan", []),
        (ROOT1, []),
        (ROOT1 + r"\GaAs-AlGaAs HEMT", [
            '"Mat1"="GaAs"',
            '"%Mat2"=dword:0000001e',
            '"Mat2"="AlGaAs"',
            '"Electrolyte"="0.1M Tiron"',
            '"AmpCar"="0.025"',
            '"FreqCar"="3000"',
            '"Model"=dword:00000002',
            '"AutoSave"=hex:0b',
            '"IV-Imin"="-1.0E-6"',
            '"Text31"="1234567890123456789012345678901"',
            '"Text32"="12345678901234567890123456789012"',
            '"Latin"="Lösung 5‰ €"',
            '"Outside"="Łódź Ω"',
            '"Emoji"="a😀b"',
            '"C1"="x\u0081y"',
            '"Qword"=hex(b):01,00,00,00,00,00,00,00',
            '"Path"=' + hex_wrapped("hex(2):", utf16_hex("%SystemRoot%\\x\0")),
            '"List"=' + hex_wrapped("hex(7):", utf16_hex("InP\0GaAs\0\0")),
            '"Blob"=' + hex_wrapped("hex:", bytes(range(40))),
            '"Short"=hex(4):01,02,03',
            '"Empty"=hex:',
            '"EmptyText"=""',
            '@="default text"',
        ]),
        (ROOT1 + r"\InP Laser 1550nm", [
            '"Mat1"="InP"',
            '"FreqCar"="30000"',
            '"DP-Nmin"=dword:ffffffff',
            '"Escaped"="a \\"quoted\\" back\\\\slash"',
            '"Name \\"with\\" quotes"="1"',
        ]),
        (ROOT1 + r"\Si Reference Wafer Batch 2019 Q3 Line A", [
            '"Mat1"="Si"',
        ]),
        (ROOT1 + r"\Łódź sample", [
            '"Mat1"="GaN"',
        ]),
        (ROOT1 + r"\Ωmega", [
            '"Mat1"="Ge"',
        ]),
        (ROOT1 + r"\café", [
            '"Mat1"="SiC"',
        ]),
        (ROOT1 + r"\1234567890123456789012345678901", [
            '"Mat1"="31 characters"',
        ]),
        (ROOT1 + r"\12345678901234567890123456789012", [
            '"Mat1"="32 characters"',
        ]),
        (ROOT1 + r"\GaAs-AlGaAs HEMT\History", [
            '"Mat1"="not a set"',
        ]),
    ]
    text = V5 + "\r\n"
    for key, values in keys:
        text += "\r\n[" + key + "]\r\n"
        for value in values:
            text += value + "\r\n"
    return text + "\r\n"


def sort_order_export():
    names = ["b", "A", "_under", "[bracket", "^caret", "`grave", "Zeta", "zz", "a_b", "aB",
             "É-accent", "e", "~tilde", "{brace", "0digit", "-dash"]
    text = V5 + "\r\n\r\n[" + ROOT1 + "]\r\n"
    for name in names:
        text += "\r\n[" + ROOT1 + "\\" + name + ']\r\n"Mat1"="' + name + '"\r\n'
    return text + "\r\n"


def ansi_export():
    """8-bit text in Windows-1252 under the plain path: what reg export /reg:32 and a text
    editor make of it."""
    return "\r\n".join([
        V5,
        "",
        "[" + ROOT1_PLAIN + "\\Résumé GaAs]",
        '"Mat1"="GaAs"',
        '"Electrolyte"="Lösung №"',  # № is not in Windows-1252: the file holds '?'
        '"Currency"="€ 5‰ ™"',
        '"C1"="\u0081\u008d\u008f\u0090\u009d"',
        '"Expand"=hex(2):25,54,45,4d,50,25,5c,e9',
        '"Multi"=hex(7):e9,00,e8,00,00',
        '"Sz"=hex(1):41,42',
        "",
        "[" + ROOT1_PLAIN + "\\Standard]",
        '"Mat1"="InP"',
        '"FreqCar"="1000"',
        "",
    ])


def regedit4_export():
    return "\r\n".join([
        "REGEDIT4",
        "",
        "[" + ROOT2 + "\\Old Setup]",
        '"Mat1"="Si"',
        '"Model"=dword:7fffffff',
        '"Expand"=hex(2):25,41,25,00',
        '"Name"="Grüße"',
        "",
        "[" + ROOT2 + "\\Zweite]",
        '"Mat1"="Ge"',
        "",
    ])


def utf8_export():
    return "\r\n".join([
        V5,
        "",
        "[" + ROOT1 + "\\UTF-8 é€Ł]",
        '"Mat1"="Grüße €"',
        '"Outside"="Ω"',
        '"Path"=hex(2):25,00,41,00,25,00,00,00',
        "",
    ])


def odd_forms_export():
    """Forms regedit accepts but does not write, and lines it skips."""
    return "\n".join([
        "  " + V5,
        "; a comment before the first key",
        "[" + ROOT1 + "\\Odd]",
        '"Mat1" = "first"',
        '  "Electrolyte"="kept" ; a comment after the text',
        '"Mat1"="second wins"',
        "# another comment",
        '"Long"=hex:01,02,\\',
        "        03,04,\\",
        "",
        "; a comment inside the continuation",
        "05",
        '"Dropped"=hex:01,\\',
        '"NotHex"="this line is swallowed"',
        '"BadDword"=dword:123456789',
        '"Prefixed"=dword:0x10',
        '"Dword"=dword:ABCdef',
        '"ThreeDigits"=hex:123',
        '"NoQuote"="open',
        '"Trailing"="text" junk',
        "stray text on its own line",
        '"Gone"="soon"',
        '"Gone"=-',
        "[" + ROOT1 + "\\Odd]",
        '"Added"=dword:00000001',
        "[" + ROOT1.lower() + "\\ODD]",
        '"Lower"="same key"',
        "[" + ROOT1 + "\\\\Double\\\\Slash\\]",
        '"Mat1"="double"',
        "[ " + ROOT1 + "\\Blank]",
        '"AfterBadKey"="lands in Double Slash"',
        "[HKLM\\SOFTWARE\\Quorix\\Other]",
        '"Unknown"="dropped"',
        "[" + ROOT1 + "\\Deleted]",
        '"Mat1"="x"',
        "[-" + ROOT1 + "\\Deleted]",
        '"NoKey"="dropped"',
        "[" + ROOT1 + "\\Nested\\Deep]",
        '"Mat1"="deep"',
        "[" + ROOT1 + "\\Types]",
        '"Expand"=hex(2):41,00,42,00',
        '"Multi"=hex(7):41,00,00,00',
        '"None"=hex(0):01',
        '"BigType"=hex(ffff0010):aa,bb',
        '@=dword:00000005',
        '"Tail"=hex:0a,0b,\\',
    ]) + "\n"


if __name__ == "__main__":
    write("windows_utf16.reg", windows_export(), "utf-16")
    write("sort_order.reg", sort_order_export(), "utf-16")
    write("ansi_cp1252.reg", ansi_export(), "windows-1252")
    write("regedit4.reg", regedit4_export(), "windows-1252")
    write("utf8_bom.reg", utf8_export(), "utf-8-bom")
    write("odd_forms.reg", odd_forms_export(), "windows-1252")
