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


def write_raw(case, name, data):
    """Writes bytes as they are: line ends and all."""
    path = os.path.join(HERE, case, "input", name)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


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

# 130 letters é, which Windows takes in a file name: 260 bytes in UTF-8, more than the 255 a
# Linux file system takes; the set beside it is converted.
for case in ("name_too_long", "name_too_long_dry_run"):
    write(case, "long-name.reg", export(V5, [("\u00e9" * 130, GOOD), ("ok", GOOD)]),
          encoding="utf-16")

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

# Recipes of the sample's sets as their users left them, for the preview: "GaAs p Zn" edited by
# hand with LF line ends and no final line break; "InP S-doped \u00d850mm" (a name the diff
# quotes) with one value changed; "GaAs n+ 1e18" with lone CR line ends, which patch sees as one
# line; "AlGaAs HEMT" as the conversion writes it, so left unchanged; the other sets have none.
SAMPLE_RECIPES = os.path.join(HERE, "sample", "after", "Recipes")


def sample_recipe(name):
    with open(os.path.join(SAMPLE_RECIPES, name), "rb") as f:
        return f.read()


for case in ("dry_run_diff", "diff_real_run"):
    write_raw(case, "Recipes/GaAs p Zn.rcp", b"\n".join([
        b"; tuned on the new tool, keep",
        b"[general]",
        b"Material=GaAs",
        b"Electrolyte = old",
        b"",
        b"[ETCH]",
        b"N-range=1 2",
        b"V-Etch=9",
        b"[NOTES]",
        b"Text=hand written",
    ]))
    write_raw(case, "Recipes/InP S-doped \u00d850mm.rcp",
              sample_recipe("InP S-doped \u00d850mm.rcp").replace(b"V-Etch=", b"V-Etch=9", 1))
    write_raw(case, "Recipes/GaAs n+ 1e18.rcp",
              b"[GENERAL]\rMaterial=old\r[NOTES]\rText=lone CR\r")
    write_raw(case, "Recipes/AlGaAs HEMT.rcp", sample_recipe("AlGaAs HEMT.rcp"))

# An output directory under a plain file: the dry run finds it cannot be made.
write_raw("dry_run_blocked_directory", "plain", b"")

# Every reason a rule can have to write nothing, over a recipe that holds some of those entries.
write("explain", "explain.reg", export(V5, [
    ("Reasons", [
        '"Mat1"="GaAs"',
        '"%Mat2"=dword:0000001e',
        '"Electrolyte"="' + "K" * 40 + '"',
        '"AmpCar"="1e20"',
        '"FreqCar"="3.7"',
        '"ImLimDark"=hex:' + ",".join(["31"] * 32),
        '"Model"=hex(b):01,00,00,00,00,00,00,00',
        '"AutoSave"=hex:',
        '"CycVetch1"=hex(1):30,2e,38,0d,0a,00',
        '"AIe"=dword:00000003',
        '"CV-Show"="1"',
    ]),
    ("Blank", ['"Comment"="nothing the recipe needs"']),
]))
write("explain", "Recipes/Reasons.rcp", "\n".join([
    "[GENERAL]",
    "Material=InP",
    "Model=7",
    "[ETCH]",
    "Etch Control Mode=4",
    "",
]))

# The view: an export from 32-bit Windows (no SOFTWARE\WOW6432Node) holding the second root, with
# the Classes\Wow6432Node that every 64-bit user hive has, which must not make it a 64-bit one.
write("plain_view", "xp.reg", "\n".join([
    "REGEDIT4", "",
    r"[HKEY_LOCAL_MACHINE\SOFTWARE\Zentyl\Layrscan\Settings\InP]",
    '"Electrolyte"="HCl"', '"AmpCar"="0.2"', "",
    r"[HKEY_CURRENT_USER\Software\Classes\Wow6432Node\CLSID]", "", "",
]))

# The machine's settings and a user's virtual store, as two exports of 64-bit Windows: the store
# holds a set of its own and changes one value of a machine's set.
WOW_ROOT = r"HKEY_LOCAL_MACHINE\SOFTWARE\WOW6432Node\Quorix\Layrscan\Settings"
STORE_ROOT = (r"HKEY_CURRENT_USER\Software\Classes\VirtualStore\MACHINE\SOFTWARE\WOW6432Node"
              r"\Quorix\Layrscan\Settings")


def keys(header, keyed):
    """An export of the keys in keyed: a list of (path, [value lines])."""
    lines = [header]
    for path, values in keyed:
        lines += ["", "[" + path + "]"] + values
    return "\n".join(lines + ["", ""])


MACHINE = keys(V5, [
    (WOW_ROOT, []),
    (WOW_ROOT + r"\GaAs", ['"Mat1"="GaAs"', '"Electrolyte"="KOH"', '"AmpCar"="0.5"']),
    (WOW_ROOT + r"\InP", ['"Mat1"="InP"', '"Electrolyte"="HCl"']),
])
STORE = keys(V5, [
    (STORE_ROOT + r"\gaas", ['"Electrolyte"="Tiron"']),
    (STORE_ROOT + r"\Si", ['"Mat1"="Si"', '"Electrolyte"="NH4F"']),
])
for case in ("virtual_store_merge", "virtual_store_list_verbose", "two_machines"):
    write(case, "machine.reg", MACHINE, encoding="utf-16")
for case in ("virtual_store_merge", "virtual_store_list_verbose"):
    write(case, "store.reg", STORE, encoding="utf-16")

# Settings the run cannot read beside those it reads: a virtual store exported without
# SOFTWARE\WOW6432Node beside a machine of 64-bit Windows (the machine's value stays where the
# store's would win), and the machine's settings without it beside such a store. And the
# machine's export given twice, once through another spelling of its path.
write("unused_plain_store", "machine.reg", MACHINE, encoding="utf-16")
write("unused_plain_store", "store.reg", STORE.replace("\\WOW6432Node", ""), encoding="utf-16")
write("unused_plain_machine", "machine.reg", MACHINE.replace("\\WOW6432Node", ""),
      encoding="utf-16")
write("unused_plain_machine", "store.reg", STORE, encoding="utf-16")
write("same_file_twice", "machine.reg", MACHINE, encoding="utf-16")

# Skipped lines are reported before the error that ends the run.
write("malformed_no_root", "broken.reg", "\n".join([
    V5, "", r"[HKEY_LOCAL_MACHINE\SOFTWARE\Quorix\Layrscan]", '"Version"=dword:123456789', "", "",
]))

# Hive files: cli_test makes the hive NAME from each NAME.hive.reg (see README.md), a SOFTWARE
# hive from the keys under HKEY_LOCAL_MACHINE\SOFTWARE, a UsrClass.dat from the user's classes.
with open(os.path.join(HERE, "..", "..", "..", "examples", "qz7165-settings.reg"), "rb") as f:
    SAMPLE = f.read()
write_raw("hive_list", "SOFTWARE.hive.reg", SAMPLE)
for case in ("hive_merge", "hive_list_verbose"):
    write(case, "SOFTWARE.hive.reg", MACHINE, encoding="utf-16")
    write(case, "UsrClass.dat.hive.reg", STORE, encoding="utf-16")

# A SOFTWARE hive of 64-bit Windows without the settings, beside the virtual store's export:
# named as adding nothing.
write("hive_store_export", "SOFTWARE.hive.reg", keys(V5, [
    (r"HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows", ['"Version"="6.1"']),
    (r"HKEY_LOCAL_MACHINE\SOFTWARE\WOW6432Node\Microsoft\Windows", ['"Version"="6.1"']),
]), encoding="utf-16")
write("hive_store_export", "store.reg", STORE, encoding="utf-16")

# A user's NTUSER.DAT given by mistake: its top key holds Software and Control Panel. Alone it
# holds no settings; beside the machine's SOFTWARE hive, where the user's UsrClass.dat belongs,
# it adds nothing.
NTUSER = keys(V5, [
    (r"HKEY_LOCAL_MACHINE\SOFTWARE\Control Panel\Desktop", ['"Wallpaper"=""']),
    (r"HKEY_LOCAL_MACHINE\SOFTWARE\Software\Quorix\Layrscan", ['"LastUser"="lab"']),
])
write("hive_no_settings", "NTUSER.DAT.hive.reg", NTUSER, encoding="utf-16")
write("hive_unused_ntuser", "SOFTWARE.hive.reg", MACHINE, encoding="utf-16")
write("hive_unused_ntuser", "NTUSER.DAT.hive.reg", NTUSER, encoding="utf-16")

# A file with the hive signature but nothing of a hive after it.
write_raw("hive_damaged", "SOFTWARE", b"regf" + bytes(range(256)) * 4)

# Hives not closed cleanly, with their transaction logs: cli_test makes the hive NAME and its
# logs from the plan NAME.logs (see tests/hive_writer.h), its states from NAME.hive.reg and each
# key of NAME.steps.reg in turn: five sets added one by one (libhivex grows the hive by a bin for
# each).
STEPS = keys(V5, [
    (WOW_ROOT + "\\Step %d" % step, ['"Mat1"="GaAs"', '"Electrolyte"="KOH %d"' % step])
    for step in range(1, 6)
])
NEW_LOG = "new SOFTWARE.LOG1 287 1@287 2@288 3@289 4@290 5@291\n"
STALE_LOG2 = "new SOFTWARE.LOG2 250\n"
WINDOWS10 = "hive 0 256 255\n"
WINDOWS7 = "hive 0 8 7 length 5 timestamp 1000\n"
HIVE_LOGS = {
    "hive_logs_new": WINDOWS10 + NEW_LOG + STALE_LOG2,
    "hive_logs_split": WINDOWS10 + "new SOFTWARE.LOG2 287 1@287 2@288\n"
                       "new SOFTWARE.LOG1 289 3@289 4@290 5@291\n",
    "hive_logs_applied_before": "hive 2 256 255\n"
                                "new SOFTWARE.LOG1 289 1@287 2@288 3@289 4@290 5@291\n" + STALE_LOG2,
    "hive_logs_bad_hash": WINDOWS10 + NEW_LOG + "damage SOFTWARE.LOG1 entry 3\n" + STALE_LOG2,
    "hive_logs_gap": WINDOWS10 + "new SOFTWARE.LOG1 287 1@287 2@288 3@290 4@291\n" + STALE_LOG2,
    "hive_logs_stale_entry": "hive 2 256 255\nnew SOFTWARE.LOG2 270 1@270\n"
                             "new SOFTWARE.LOG1 287 3@287 4@288 5@289\n",
    "hive_logs_grown": WINDOWS10 + "new SOFTWARE.LOG1 287 1@287 2@288 3@289\n" + STALE_LOG2,
    "hive_logs_cut_short": WINDOWS10 + NEW_LOG + "cut SOFTWARE.LOG1 entry 4\n" + STALE_LOG2,
    "hive_logs_bad_base_block": "hive 2 256 255 damaged\nnew SOFTWARE.LOG1 287 1@287 2@288\n"
                                "new SOFTWARE.LOG2 289 3@289 4@290 5@291\n",
    "hive_logs_other_hive": WINDOWS10 + "new SOFTWARE.LOG1 5 1@5 2@6\nnew SOFTWARE.LOG2 7 3@7\n",
    "hive_logs_clean": "hive 0 256 256\n" + NEW_LOG,
    "hive_logs_missing": WINDOWS10,
    "hive_logs_lower_case": WINDOWS10 + "new software.log1 287 1@287 2@288\n"
                            "new software.log2 289 3@289\n",
    "hive_logs_old": WINDOWS7 + "old SOFTWARE.LOG1 0 5\nold SOFTWARE.LOG2 0 5 timestamp 999\n",
    "hive_logs_old_timestamps": WINDOWS7 + "old SOFTWARE.LOG1 0 5 timestamp 999\n"
                                "old SOFTWARE.LOG2 0 5\n",
    "hive_logs_old_bad_base_block": "hive 0 8 7 length 5 timestamp 1000 damaged\n"
                                    "old SOFTWARE.LOG1 0 5\n",
    "hive_logs_old_bad_bin": "hive 0 8 7 timestamp 1000\nold SOFTWARE.LOG1 0 5\n"
                             "damage SOFTWARE.LOG1 bin 3\nold SOFTWARE.LOG2 0 5 timestamp 999\n",
    "hive_logs_xp": WINDOWS7 + "old SOFTWARE.LOG 0 5\n",
    "hive_logs_as_sources": WINDOWS10 + NEW_LOG + STALE_LOG2,
    "hive_log_alone": WINDOWS10 + NEW_LOG + STALE_LOG2,
}
for case, plan in HIVE_LOGS.items():
    write(case, "SOFTWARE.hive.reg", MACHINE, encoding="utf-16")
    write(case, "SOFTWARE.steps.reg", STEPS)
    write_raw(case, "SOFTWARE.logs", plan.encode("ascii"))
# The user's hive beside the machine's, its logs named too, as SOFTWARE* UsrClass.dat* gives them.
write("hive_logs_as_sources", "UsrClass.dat.hive.reg", STORE, encoding="utf-16")
write_raw("hive_logs_as_sources", "UsrClass.dat.logs",
          b"hive 0 40 40\nnew UsrClass.dat.LOG1 41\nnew UsrClass.dat.LOG2 38\n")
# Beside a user's hive Windows keeps the files of its transactional registry, which the glob
# UsrClass.dat* names too; they hold no settings.
TXR = "UsrClass.dat{016888bd-6c6f-11de-8d1d-001e0bcde3ec}"
write_raw("hive_logs_as_sources", TXR + ".TM.blf", bytes(range(256)) * 2)
write_raw("hive_logs_as_sources", TXR + ".TMContainer00000000000000000001.regtrans-ms", b"")
