#!/usr/bin/env bash
# rcpconv.exe under Wine with no export reads the live registry (32-bit view): after importing
# an export with regedit it must print, return and write exactly what the native rcpconv does
# with that export; with an export it reads the export and leaves the registry alone.
set -uo pipefail
source "$(dirname "$0")/rcpconv_common.sh"
make_scratch registry_clear
cd "$SCRATCH" || fail "no scratch directory"

GUI_DATA="$RC_SOURCE_DIR/tests/data/gui"
NO_ROOT_MESSAGE='rcpconv: no settings found: neither HKEY_LOCAL_MACHINE\SOFTWARE\Quorix\Layrscan\Settings nor HKEY_LOCAL_MACHINE\SOFTWARE\Zentyl\Layrscan\Settings exists'

# without_reasons TAG NAME...: in both sides' stderr of TAG, the reason given for each set NAME
# not converted made one placeholder.
without_reasons() {
    local tag=$1 name side
    shift
    for side in native win; do
        for name in "$@"; do
            sed -i "s/^rcpconv: \"$name\" not converted: .*/rcpconv: \"$name\" not converted: REASON/" \
                "$SCRATCH/$tag.$side.err"
        done
    done
}

# live_matches_export TAG EXPORT [NAME...]: converts and lists the imported registry with
# rcpconv.exe and the export with rcpconv; the recipes, messages and exit codes must agree,
# except the reasons given for the sets NAME not converted.
live_matches_export() {
    local tag=$1 export=$2
    shift 2
    no_leading_blanks "$export"
    run_side win "$tag" -o "$(win_path "$SCRATCH/$tag.win.rcp")"
    run_side native "$tag" "$export" -o "$SCRATCH/$tag.native.rcp"
    without_reasons "$tag" "$@"
    same_outcome "$tag"
    same_recipes "$SCRATCH/$tag.win.rcp" "$SCRATCH/$tag.native.rcp"
    run_side win "$tag-list" --list
    run_side native "$tag-list" --list "$export"
    same_outcome "$tag-list"
    echo "$tag: the live registry gives what the export gives"
}

# The sample (UTF-16LE, WOW6432Node): a name outside ASCII, which both sides must write as the
# same UTF-8 file name (Wine maps the ANSI name rcpconv.exe passes), and one Windows refuses.
registry_load "$RC_SOURCE_DIR/examples/qz7165-settings.reg"
live_matches_export sample "$RC_SOURCE_DIR/examples/qz7165-settings.reg"
[ -f "$SCRATCH/sample.win.rcp/InP S-doped Ø50mm.rcp" ] || fail "sample: no UTF-8 file name"

registry_load "$GUI_DATA/quorix.reg"
live_matches_export quorix "$GUI_DATA/quorix.reg"

# The second root, with the first one present only in the 64-bit view: rcpconv.exe must not
# see it. One export holding both (plain Quorix, WOW6432Node Zentyl) comes from 64-bit Windows,
# so the reader too takes only the WOW6432Node roots and finds the second one.
registry_load "$GUI_DATA/wrong_view.reg" "$GUI_DATA/zentyl.reg"
{
    printf '\xff\xfe'
    { reg_text "$GUI_DATA/wrong_view.reg"; reg_text "$GUI_DATA/zentyl.reg" | tail -n +2; } |
        iconv -f UTF-8 -t UTF-16LE
} >"$SCRATCH/both_views.reg"
live_matches_export zentyl "$SCRATCH/both_views.reg"

# Names Windows cannot use as file names, and names outside the code page: listed in their
# best-fit or '?' form, which the registry then cannot open. Imported into the 32-bit view.
# The export keeps the names in UTF-16, and rcpconv.exe reads the live registry's names in
# UTF-16 besides their ANSI forms: both know "O-cell" and "??" are not the sets' own names and
# say so alike.
names="$RC_SOURCE_DIR/tests/data/cli/unconvertible_names/input/names.reg"
{
    printf '\xff\xfe'
    reg_text "$names" | sed 's/\\SOFTWARE\\Quorix/\\SOFTWARE\\WOW6432Node\\Quorix/' |
        iconv -f UTF-8 -t UTF-16LE
} >"$SCRATCH/names32.reg"
registry_load "$SCRATCH/names32.reg"
live_matches_export names "$names"

# A code page of up to four bytes a character: rcpconv.exe lists the export's names whole, as
# WideCharToMultiByte writes them (compared as sets; the order is the registry's). Wine knows
# UTF-8 (65001) but not GB18030 (54936), the other such code page.
{
    printf '\xff\xfe'
    printf 'Windows Registry Editor Version 5.00\r\n\r\n[%s\\%s]\r\n\r\n[%s\\%s]\r\n' \
        'HKEY_LOCAL_MACHINE\SOFTWARE\Quorix\Layrscan\Settings' '日本語' \
        'HKEY_LOCAL_MACHINE\SOFTWARE\Quorix\Layrscan\Settings' '¹²³' | iconv -f UTF-8 -t UTF-16LE
} >"$SCRATCH/wide.reg"
wine_run "$RCPCONV_EXE" --list --codepage 65001 "$(win_path "$SCRATCH/wide.reg")" \
    >"$SCRATCH/wide.out" 2>"$SCRATCH/wide.err" ||
    fail "code page 65001: rcpconv.exe --list failed: $(cat "$SCRATCH/wide.err")"
diff <(tr -d '\r' <"$SCRATCH/wide.out" | sort) <(printf '%s\n' '日本語' '¹²³' | sort) >&2 ||
    fail "code page 65001: names not listed whole"

# Settings of another code page than this PC's: a name with letters Windows-1252 lacks is not
# written under look-alike letters but refused; one whose letters both have keeps them.
{
    printf '\xff\xfe'
    printf 'Windows Registry Editor Version 5.00\r\n\r\n[%s]\r\n\r\n[%s\\%s]\r\n%s\r\n\r\n[%s\\%s]\r\n%s\r\n' \
        'HKEY_LOCAL_MACHINE\SOFTWARE\Quorix\Layrscan\Settings' \
        'HKEY_LOCAL_MACHINE\SOFTWARE\Quorix\Layrscan\Settings' 'Łódź próbka' '"Electrolyte"="KOH"' \
        'HKEY_LOCAL_MACHINE\SOFTWARE\Quorix\Layrscan\Settings' 'próbka' '"Electrolyte"="HCl"' |
        iconv -f UTF-8 -t UTF-16LE
} >"$SCRATCH/polish.reg"
run_side win polish --codepage 1250 -o "$(win_path "$SCRATCH/polish.win.rcp")" "$(win_path "$SCRATCH/polish.reg")"
run_side native polish --codepage 1250 -o "$SCRATCH/polish.native.rcp" "$SCRATCH/polish.reg"
[ "$(cat "$SCRATCH/polish.win.exit")" = 1 ] || fail "code page 1250: exit code $(cat "$SCRATCH/polish.win.exit")"
grep -q " not converted: its name has characters outside this PC's code page (1252)\$" \
    "$SCRATCH/polish.win.err" || fail "code page 1250: no reason given:
$(cat "$SCRATCH/polish.win.err")"
[ "$(ls "$SCRATCH/polish.win.rcp")" = "próbka.rcp" ] ||
    fail "code page 1250: rcpconv.exe wrote $(ls "$SCRATCH/polish.win.rcp")"
cmp "$SCRATCH/polish.win.rcp/próbka.rcp" "$SCRATCH/polish.native.rcp/próbka.rcp" ||
    fail "code page 1250: the recipe differs from rcpconv's"

# An export given to rcpconv.exe is read instead of the registry, which holds another root.
registry_load "$GUI_DATA/quorix.reg"
cp "$GUI_DATA/zentyl.reg" "$RC_SOURCE_DIR/tests/data/cli/no_root/input/no-root.reg" .
run_side win export -o "$(win_path "$SCRATCH/export.win.rcp")" zentyl.reg
run_side native export -o "$SCRATCH/export.native.rcp" zentyl.reg
same_outcome export
same_recipes "$SCRATCH/export.win.rcp" "$SCRATCH/export.native.rcp"

# The same export given twice, the second time by its full path: read once, and said so.
run_side win twice --list zentyl.reg "$(win_path "$SCRATCH/zentyl.reg")"
run_side native twice --list zentyl.reg "$SCRATCH/zentyl.reg"
expect_outcome twice win 1 "rcpconv: $(win_path "$SCRATCH/zentyl.reg"): the same file as zentyl.reg, given before it: read once"
expect_outcome twice native 1 "rcpconv: $SCRATCH/zentyl.reg: the same file as zentyl.reg, given before it: read once"
diff -u "$SCRATCH/twice.native.out" "$SCRATCH/twice.win.out" >&2 || fail "twice: the lists differ"

# No settings root: exit 2 with the message, and no directory made. With an export without
# one, the message names the export, not the registry.
registry_clear
mkdir empty && cd empty || fail "cannot make a working directory"
run_side win no-root
expect_outcome no-root win 2 "$NO_ROOT_MESSAGE"
run_side win no-root-list --list
expect_outcome no-root-list win 2 "$NO_ROOT_MESSAGE"
[ -z "$(ls -A)" ] || fail "no root: rcpconv.exe wrote $(ls -A)"
cd .. || fail "no scratch directory"
run_side win root-export -o "$(win_path "$SCRATCH/unused")" no-root.reg
run_side native root-export -o "$SCRATCH/unused" no-root.reg
same_outcome root-export
expect_outcome root-export win 2 "$(head -n 1 "$RC_SOURCE_DIR/tests/data/cli/no_root/expected-stderr")"
[ ! -e "$SCRATCH/unused" ] || fail "no root in the export: a directory was made"

# A hive file (told by its content, not its name): the Windows build reads none and says so.
cp "$RC_SOURCE_DIR/tests/data/cli/hive_damaged/input/SOFTWARE" settings.dat
run_side win hive -o "$(win_path "$SCRATCH/unused")" settings.dat
expect_outcome hive win 2 "rcpconv: settings.dat: is a registry hive file, which the Linux build of this program reads; on Windows, load it with regedit (File, Load Hive) and export the settings as a .reg file"
[ ! -e "$SCRATCH/unused" ] || fail "hive given to rcpconv.exe: a directory was made"
echo "PASS"
