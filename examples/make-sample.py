#!/usr/bin/env python3
"""Writes qz7165-settings.reg: a registry export of QZ7165 setups, byte for byte as regedit
writes one (UTF-16LE with byte-order mark, CR LF, a blank line before each key, parent keys
included, subkeys in the registry's order, hex data wrapped after the comma reaching column 77).

It is what 64-bit regedit writes for HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Quorix on a PC
where the 32-bit instrument software saved its setups. Run it from anywhere; it writes the file
beside itself.
"""
import os
import struct

HEADER = "Windows Registry Editor Version 5.00"
TOP = r"HKEY_LOCAL_MACHINE\SOFTWARE\WOW6432Node\Quorix"
SETTINGS = TOP + r"\Layrscan\Settings"
MAX_HEX_CHARS = 77  # regedit breaks hex data after the comma that reaches this column


def text(value):
    return ("sz", value)


def dword(value):
    return ("dword", value & 0xFFFFFFFF)


def binary(*data):
    return ("hex", bytes(data))


def setup(name, values):
    return (name, values)


SETS = [
    setup("AlGaAs HEMT", [
        ("Mat1", text("GaAs")), ("%Mat2", dword(30)), ("Mat2", text("AlAs")),
        ("Electrolyte", text("0.1M Tiron")), ("AmpCar", text("0.05")), ("FreqCar", text("3.7")),
        ("ImLimDark", text("5e-7")), ("V-Step", text("0.05")), ("Model", dword(1)),
        ("AutoSave", binary(0x0F)),
        ("IV-Imin", text("-1e-6")), ("IV-Imax", text("1e-3")),
        ("IV-Vmin", text("-5")), ("IV-Vmax", text("1")),
        ("CV-Vmin", text("-3")), ("CV-Vmax", text("0.5")), ("CV-Cmax", text("2e-8")),
        ("CV-Show", dword(1)),
        ("DP-Vmin", text("-2")), ("DP-Vmax", text("0")), ("DP-Nmin", dword(15)),
        ("DP-Nmax", dword(19)), ("DP-Xmax", text("2")), ("DP-Reverse", binary(0)),
        ("EP-Nmin", dword(15)), ("EP-Nmax", dword(19)), ("EP-Xend", text("0.8")),
        ("EP-Vmeas", text("-0.6")), ("End@Wr", binary(1)), ("ExAreaComp", binary(1)),
        ("Settle-Auto", binary(1)), ("Settle-Delay", dword(300)),
        ("Settle-Delta", text("0.002")), ("Resolution", text("0.005")),
        ("CycLamp1", dword(45)), ("CycVetch1", text("0.4")), ("AIe", dword(1)),
        ("AIeVlim", text("1.2")), ("CycIeLim1", text("1e-4")),
        ("CalTable", binary(*range(0x10, 0x40))),
    ]),
    setup("GaAs n+ 1e18", [
        ("Mat1", text("GaAs")), ("%Mat2", dword(0)),
        ("Electrolyte", text("0.2M EDTA")), ("AmpCar", text("0.1")), ("FreqCar", text("3")),
        ("ImLimDark", text("1e-6")), ("V-Step", text("0.1")), ("Model", dword(0)),
        ("AutoSave", dword(5)),
        ("IV-Imin", text("-1e-5")), ("IV-Imax", text("1e-2")),
        ("IV-Vmin", text("-4")), ("IV-Vmax", text("0.8")),
        ("CV-Vmin", text("-2.5")), ("CV-Vmax", text("0.3")), ("CV-Cmax", text("5e-8")),
        ("CV-Show", dword(0)),
        ("DP-Vmin", text("-1.5")), ("DP-Vmax", text("0")), ("DP-Nmin", dword(16)),
        ("DP-Nmax", dword(20)), ("DP-Xmax", text("5")), ("DP-Reverse", dword(1)),
        ("EP-Nmin", dword(16)), ("EP-Nmax", dword(20)), ("EP-Xend", text("3.5")),
        ("EP-Vmeas", text("-0.8")), ("End@Wr", dword(0)), ("ExAreaComp", dword(0)),
        ("Settle-Auto", dword(1)), ("Settle-Delay", dword(500)),
        ("Settle-Delta", text("0.005")), ("Resolution", text("0.01")),
        ("CycLamp1", dword(0)), ("CycVetch1", text("0.6")), ("AIe", dword(0)),
        ("AIeVlim", text("1.5")), ("CycIeLim1", text("2e-4")),
    ]),
    setup("GaAs p Zn", [
        ("Mat1", text("GaAs")), ("%Mat2", dword(0)), ("Mat2", text("AlAs")),
        ("Electrolyte", text("0.1M Tiron")), ("AmpCar", text("0.025")), ("FreqCar", text("1")),
        ("ImLimDark", text("2e-7")), ("V-Step", text("0.02")), ("Model", dword(0)),
        ("AutoSave", binary(0x03)),
        ("IV-Vmin", text("-1")), ("IV-Vmax", text("2")),
        ("CV-Vmin", text("-0.5")), ("CV-Vmax", text("1.5")), ("CV-Cmax", text("1e-8")),
        ("DP-Vmin", text("0")), ("DP-Vmax", text("1.2")), ("DP-Nmin", dword(17)),
        ("DP-Nmax", dword(20)), ("DP-Xmax", text("1")), ("DP-Reverse", binary(1)),
        ("EP-Nmin", dword(17)), ("EP-Nmax", dword(20)), ("EP-Xend", text("1.2")),
        ("EP-Vmeas", text("0.4")), ("End@Wr", binary(1)), ("ExAreaComp", binary(0)),
        ("Settle-Auto", binary(0)), ("Settle-Delay", dword(1000)),
        ("Settle-Delta", text("0.001")), ("Resolution", text("0.002")),
        ("CycLamp1", dword(80)), ("CycVetch1", text("1.1")), ("AIe", dword(2)),
        ("AIeVlim", text("2")), ("CycIeLim1", text("5e-4")),
    ]),
    setup("InGaAs on InP", [
        ("Mat1", text("InP")), ("%Mat2", dword(53)), ("Mat2", text("GaAs")),
        ("Electrolyte", text("0.5M HCl")), ("AmpCar", text("0.05")), ("FreqCar", text("15")),
        ("ImLimDark", text("1e-6")), ("V-Step", text("0.05")), ("Model", dword(1)),
        ("AutoSave", binary(0x0A)),
        ("IV-Imin", text("-5e-6")), ("IV-Imax", text("5e-3")),
        ("IV-Vmin", text("-3")), ("IV-Vmax", text("0.5")),
        ("CV-Vmin", text("-2")), ("CV-Vmax", text("0.4")), ("CV-Cmax", text("3e-8")),
        ("CV-Show", dword(1)),
        ("DP-Vmin", text("-1")), ("DP-Vmax", text("0.2")), ("DP-Nmin", dword(15)),
        ("DP-Nmax", dword(19)), ("DP-Xmax", text("3")), ("DP-Reverse", binary(0)),
        ("EP-Nmin", dword(15)), ("EP-Nmax", dword(19)), ("EP-Xend", text("2.5")),
        ("EP-Vmeas", text("-0.5")), ("End@Wr", binary(0)), ("ExAreaComp", binary(1)),
        ("Settle-Auto", binary(1)), ("Settle-Delay", dword(250)),
        ("Settle-Delta", text("0.003")), ("Resolution", text("0.004")),
        ("CycLamp1", dword(30)), ("CycVetch1", text("0.3")), ("AIe", dword(3)),
        ("AIeVlim", text("1")), ("CycIeLim1", text("1e-4")),
    ]),
    setup("InP S-doped \u00d850mm", [
        ("Mat1", text("InP")), ("%Mat2", dword(0)),
        ("Electrolyte", text("0.5M HCl")), ("AmpCar", text("0.075")), ("FreqCar", text("30")),
        ("ImLimDark", text("2e-6")), ("V-Step", text("0.1")), ("Model", dword(2)),
        ("AutoSave", binary(0x0F)),
        ("IV-Imin", text("-1e-5")), ("IV-Imax", text("1e-2")),
        ("IV-Vmin", text("-2")), ("IV-Vmax", text("0.5")),
        ("CV-Vmin", text("-1.5")), ("CV-Vmax", text("0.3")), ("CV-Cmax", text("8e-8")),
        ("CV-Show", dword(1)),
        ("DP-Vmin", text("-1")), ("DP-Vmax", text("0")), ("DP-Nmin", dword(17)),
        ("DP-Nmax", dword(19)), ("DP-Xmax", text("10")), ("DP-Reverse", binary(0)),
        ("EP-Nmin", dword(17)), ("EP-Nmax", dword(19)), ("EP-Xend", text("8")),
        ("EP-Vmeas", text("-0.7")), ("End@Wr", binary(1)), ("ExAreaComp", binary(1)),
        ("Settle-Auto", binary(1)), ("Settle-Delay", dword(400)),
        ("Settle-Delta", text("0.004")), ("Resolution", text("0.05")),
        ("CycLamp1", dword(0)), ("CycVetch1", text("0.8")), ("AIe", dword(0)),
        ("AIeVlim", text("1.5")), ("CycIeLim1", text("3e-4")),
    ]),
    setup("Si (100) boron", [
        ("Mat1", text("Si")), ("%Mat2", dword(0)),
        ("Electrolyte", text("0.1M NH4F")), ("AmpCar", text("0.2")), ("FreqCar", text("0.5")),
        ("ImLimDark", text("5e-6")), ("V-Step", text("0.05")), ("Model", dword(0)),
        ("AutoSave", binary(0x00)),
        ("IV-Imin", text("-1e-4")), ("IV-Imax", text("1e-2")),
        ("IV-Vmin", text("-1")), ("IV-Vmax", text("2")),
        ("CV-Vmin", text("-0.5")), ("CV-Vmax", text("1.5")), ("CV-Cmax", text("1e-7")),
        ("CV-Show", dword(0)),
        ("DP-Vmin", text("0.2")), ("DP-Vmax", text("1")), ("DP-Nmin", dword(14)),
        ("DP-Nmax", dword(18)), ("DP-Xmax", text("20")), ("DP-Reverse", binary(1)),
        ("EP-Nmin", dword(14)), ("EP-Nmax", dword(18)), ("EP-Xend", text("15")),
        ("EP-Vmeas", text("0.5")), ("End@Wr", binary(0)), ("ExAreaComp", binary(0)),
        ("Settle-Auto", binary(1)), ("Settle-Delay", dword(2000)),
        ("Settle-Delta", text("0.01")), ("Resolution", text("0.1")),
        ("CycLamp1", dword(100)), ("CycVetch1", text("1.5")), ("AIe", dword(-1)),
        ("AIeVlim", text("3")), ("CycIeLim1", text("1e-3")),
    ]),
    # Windows cannot name a file after this set (the colon): it is never converted.
    setup("Si 1:2", [
        ("Mat1", text("Si")), ("%Mat2", dword(0)),
        ("Electrolyte", text("0.1M NH4F")), ("AmpCar", text("0.2")), ("FreqCar", text("1")),
        ("V-Step", text("0.05")), ("Model", dword(0)),
    ]),
    # An old setup from an earlier software version: fewer values, some stored differently.
    setup("old GaAs test", [
        ("Mat1", text("GaAs")), ("%Mat2", dword(5)), ("Mat2", text("InAs")),
        ("Electrolyte", text("Tiron")), ("AmpCar", text("0.1")), ("FreqCar", text("10")),
        ("Model", dword(0)),
        ("IV-Vmin", text("-3")), ("IV-Vmax", text("0")),
        ("DP-Vmin", text("-2")), ("DP-Nmin", dword(16)),
        ("EP-Xend", text("1")), ("End@Wr", text("0")),
        ("Settle-Delay", dword(500)), ("Resolution", text("0.0125")),
    ]),
]

LAYRSCAN_VALUES = [
    ("InstallDir", text("C:\\Program Files (x86)\\Quorix\\Layrscan")),
    ("Version", text("4.2.1")),
]
INSTRUMENT_VALUES = [
    ("ComPort", dword(2)),
    ("SerialNo", text("QZ7165-0417")),
    ("LastCalibration", binary(0xE5, 0x07, 0x0B, 0x00, 0x10, 0x00)),
]


def quote(s):
    return '"' + s.replace("\\", "\\\\").replace('"', '\\"') + '"'


def value_line(name, value):
    kind, data = value
    prefix = quote(name) + "="
    if kind == "sz":
        return prefix + quote(data)
    if kind == "dword":
        return prefix + "dword:%08x" % data
    line = prefix + "hex:"
    line_len = len(line)
    out = line
    for i, byte in enumerate(data):
        out += "%02x" % byte
        if i == len(data) - 1:
            break
        out += ","
        line_len += 3
        if line_len >= MAX_HEX_CHARS:
            out += "\\\r\n  "
            line_len = 2
    return out


def registry_order(name):
    # Windows keeps subkeys sorted by their upper-cased names.
    return name.upper()


def key_block(path, values):
    lines = ["", "[" + path + "]"]
    lines += [value_line(n, v) for n, v in values]
    return lines


def main():
    lines = [HEADER]
    lines += key_block(TOP, [])
    lines += key_block(TOP + r"\Layrscan", LAYRSCAN_VALUES)
    lines += key_block(TOP + r"\Layrscan\Instrument", INSTRUMENT_VALUES)
    lines += key_block(SETTINGS, [])
    for name, values in sorted(SETS, key=lambda s: registry_order(s[0])):
        lines += key_block(SETTINGS + "\\" + name, values)
    lines += ["", ""]
    text_out = "\r\n".join(lines)
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "qz7165-settings.reg")
    with open(path, "wb") as f:
        f.write(b"\xff\xfe" + text_out.encode("utf-16-le"))


if __name__ == "__main__":
    main()
