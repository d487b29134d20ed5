#!/usr/bin/env bash
# Select All then Convert on the live registry (32-bit view): the report of the set Windows
# cannot write (CON), and recipes byte-identical to rcpconv's from exports of the same keys.
# Names outside the ANSI code page; Japanese names under a Japanese locale (code page 932);
# a long run, through which the window keeps answering and ignores input.
set -uo pipefail
source "$(dirname "$0")/gui_common.sh"
gui_begin
[ -x "$RCPCONV" ] || fail "no $RCPCONV: build the native preset"

# rcpconv_recipes EXPORT DIR EXIT_CODE [OPTION...]: converts every set of an export into DIR.
rcpconv_recipes() {
    local code=0 export=$1 dir=$2 expected=$3
    shift 3
    "$RCPCONV" "$export" -o "$dir" "$@" >"$SCRATCH/rcpconv.out" 2>&1 || code=$?
    [ "$code" = "$expected" ] || fail "rcpconv $export: exit code $code, expected $expected:
$(cat "$SCRATCH/rcpconv.out")"
}

SETTINGS_KEY='HKEY_LOCAL_MACHINE\SOFTWARE\WOW6432Node\Quorix\Layrscan\Settings'

# utf16_export FILE NAME VALUE_LINE...: a regedit export (UTF-16LE) of the settings root with
# one set per NAME, each holding the value line that follows its name.
utf16_export() {
    local file=$1
    shift
    {
        printf '\xff\xfe'
        {
            printf 'Windows Registry Editor Version 5.00\r\n\r\n[%s]\r\n' "$SETTINGS_KEY"
            while (($# >= 2)); do
                printf '\r\n[%s\\%s]\r\n%s\r\n' "$SETTINGS_KEY" "$1" "$2"
                shift 2
            done
        } | iconv -f UTF-8 -t UTF-16LE
    } >"$file"
}

# The Quorix root: four sets, one of them named CON.
fixture_has_no_leading_blanks quorix.reg
registry_import quorix.reg
app_start "$SCRATCH/quorix"
app_wait_window
select_all_and_convert $'1\tCON\n1\tGaAs-AlGaAs HEMT\n1\tInP laser 1550nm\n1\tSi wafer reference with a long set name'
expect_message "Recipes not converted" "owner=\"$APP_CAPTION\"
button=\"OK\"
text=\"These settings were not converted:\\n\\nCON: Windows takes its name for the device CON\""
wait_for "selection cleared" list_is $'0\tCON\n0\tGaAs-AlGaAs HEMT\n0\tInP laser 1550nm\n0\tSi wafer reference with a long set name'
wait_for "three recipes" files_are "$SCRATCH/quorix/Recipes" $'GaAs-AlGaAs HEMT.rcp\nInP laser 1550nm.rcp\nSi wafer reference with a long set name.rcp'
app_focus "$APP_CAPTION"
press_key Escape
app_wait_exit 0

# The same keys as the fixture says them, and as Wine's regedit exports them (UTF-16LE).
rcpconv_recipes "$GUI_DATA/quorix.reg" "$SCRATCH/from-fixture" 1
same_recipes "$SCRATCH/quorix/Recipes" "$SCRATCH/from-fixture"
wine_run regedit /E "$(win_path "$SCRATCH/exported.reg")" \
    'HKEY_LOCAL_MACHINE\SOFTWARE\WOW6432Node\Quorix\Layrscan\Settings' || fail "regedit /E"
rcpconv_recipes "$SCRATCH/exported.reg" "$SCRATCH/from-export" 1
same_recipes "$SCRATCH/quorix/Recipes" "$SCRATCH/from-export"

# The Zentyl root, with a Quorix root present only in the 64-bit view, which the program
# must not see: it reads the 32-bit view, as the instrument software wrote it.
fixture_has_no_leading_blanks zentyl.reg
registry_import wrong_view.reg zentyl.reg
app_start "$SCRATCH/zentyl"
app_wait_window
wait_for "the Zentyl set list" list_is $'0\tGaN on sapphire\n0\tSiGe HBT'
select_all_and_convert $'1\tGaN on sapphire\n1\tSiGe HBT'
wait_for "selection cleared after Convert" list_is $'0\tGaN on sapphire\n0\tSiGe HBT'
no_other_dialog
press_key Escape
app_wait_exit 0
rcpconv_recipes "$GUI_DATA/zentyl.reg" "$SCRATCH/zentyl-rcpconv" 0
same_recipes "$SCRATCH/zentyl/Recipes" "$SCRATCH/zentyl-rcpconv"

# Names Windows-1252 lacks letters of: "Ab" and "Āb" (which RegEnumKeyA lists as "Ab" too),
# "Ωmega" ("Omega") and a Japanese name ("??"). The list shows each as it is; converting them all
# writes the one recipe of "Ab", from its own values, and reports the others.
utf16_export "$SCRATCH/outside.reg" Ab '"Electrolyte"="KOH"' Āb '"Electrolyte"="HCl"' \
    Ωmega '"Electrolyte"="NaOH"' 日本 '"Electrolyte"="HF"'
registry_load "$SCRATCH/outside.reg"
app_start "$SCRATCH/outside"
app_wait_window
PROBE_UTF8=1
wait_for "the names as they are" list_is $'0\tAb\n0\tĀb\n0\tΩmega\n0\t日本'
select_all_and_convert $'1\tAb\n1\tĀb\n1\tΩmega\n1\t日本'
outside="its name has characters outside this PC's code page (1252)"
expect_message "Recipes not converted" "owner=\"$APP_CAPTION\"
button=\"OK\"
text=\"These settings were not converted:\\n\\nĀb: $outside\\nΩmega: $outside\\n日本: $outside\""
PROBE_UTF8=
app_focus "$APP_CAPTION"
press_key Escape
app_wait_exit 0
rcpconv_recipes "$SCRATCH/outside.reg" "$SCRATCH/outside-rcpconv" 1
same_recipes "$SCRATCH/outside/Recipes" "$SCRATCH/outside-rcpconv"

# Under a Japanese locale (code page 932): names whose characters end in the bytes of '\' or
# '|' are characters, not those bytes, and a path of 241 characters in 271 bytes is within the
# limit of 259 characters. The locale is generated privately; without it Wine stays on 1252.
surface=表面
long_name=$(for _ in $(seq 15); do printf '%s' "$surface"; done)
mkdir -p "$SCRATCH/locale"
if ! localedef -i ja_JP -f UTF-8 "$SCRATCH/locale/ja_JP.UTF-8" >"$SCRATCH/localedef.log" 2>&1; then
    echo "SKIP (code page 932): cannot generate the ja_JP.UTF-8 locale: $(tail -n 1 "$SCRATCH/localedef.log")"
else
    utf16_export "$SCRATCH/japanese.reg" ポリシリコン '"Electrolyte"="KOH"' "$surface" \
        '"Electrolyte"="HCl"' "$long_name" '"Electrolyte"="HF"'
    registry_load "$SCRATCH/japanese.reg"
    # The recipe of the long name: 206 characters of directory, a backslash, 30 of name, ".rcp".
    dir=$(app_dir_for 206)
    LOCPATH="$SCRATCH/locale" LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8 app_start "$dir" r.exe
    app_wait_window
    PROBE_UTF8=1
    wait_for "the Japanese names" list_is $'0\tポリシリコン\n0\t'"$surface"$'\n0\t'"$long_name"
    select_all_and_convert $'1\tポリシリコン\n1\t'"$surface"$'\n1\t'"$long_name"
    wait_for "selection cleared" list_is $'0\tポリシリコン\n0\t'"$surface"$'\n0\t'"$long_name"
    PROBE_UTF8=
    no_other_dialog
    app_focus "$APP_CAPTION"
    press_key Escape
    app_wait_exit 0
    rcpconv_recipes "$SCRATCH/japanese.reg" "$SCRATCH/japanese-rcpconv" 0 --codepage 932
    same_recipes "$dir/Recipes" "$SCRATCH/japanese-rcpconv"
    # rcpconv.exe on that PC, into a folder whose name ends in 表 (95 5C): the path's last byte
    # is that of '\', and is neither cut off nor taken for the separator before the file name.
    code=0
    LOCPATH="$SCRATCH/locale" LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8 wine_run "$RC_WIN64_DIR/cli/rcpconv.exe" \
        "$(win_path "$SCRATCH/japanese.reg")" --codepage 932 \
        -o "$(win_path "$SCRATCH/japanese-exe/表")" >"$SCRATCH/japanese-exe.out" 2>&1 ||
        code=$?
    [ "$code" = 0 ] || fail "rcpconv.exe into a folder ending in 表: exit code $code:
$(cat "$SCRATCH/japanese-exe.out")"
    same_recipes "$SCRATCH/japanese-exe/表" "$SCRATCH/japanese-rcpconv"
fi

# A long run: the window answers other programs between sets, ignores the keys and clicks it
# gets meanwhile (Escape would close it, Select All select everything again), and converts
# every set as rcpconv does.
SETS=2000
{
    printf 'REGEDIT4\n\n'
    for i in $(seq -w 1 "$SETS"); do
        printf '[HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Quorix\\Layrscan\\Settings\\Set %s]\n' "$i"
        printf '"Mat1"="GaAs"\n"Electrolyte"="KOH %s"\n"Model"=dword:00000003\n\n' "$i"
    done
} >"$SCRATCH/many.reg"
registry_load "$SCRATCH/many.reg"
app_start "$SCRATCH/many"
app_wait_window
unselected=$(for i in $(seq -w 1 "$SETS"); do printf '0\tSet %s\n' "$i"; done)
wait_for "the long list" list_is "$unselected"
read -r select_x select_y < <(probe center "$APP_CAPTION" "$ID_SELECT_ALL") || fail "no Select All"
select_all_and_convert "${unselected//0$'\t'/1$'\t'}"
recipes="$SCRATCH/many/Recipes"
# recipes_over COUNT: more than COUNT recipes are written; else prints how many.
recipes_over() {
    local written
    written=$(find "$recipes" -name '*.rcp' 2>/dev/null | wc -l)
    ((written > $1)) && return 0
    echo "$written recipes"
    return 1
}
wait_for "the run under way" recipes_over 0
# The input comes at once, with nearly all of the run still to go.
press_key Escape
click_at "$select_x" "$select_y"
probe answers "$APP_CAPTION" || fail "the window did not answer during the run"
recipes_over $((SETS - 1)) >/dev/null && fail "the window answered only once the run was over"
WAIT_SECONDS=900 wait_for "every recipe" recipes_over $((SETS - 1))
wait_for "the end of the run" list_is "$unselected"
# The first input after the run is the next thing the program does: earlier input is gone.
click_entry 0
wait_for "a click after the run" list_is "1${unselected:1}"
app_ended && fail "Escape pressed during the run closed the program"
no_other_dialog
app_focus "$APP_CAPTION"
press_key Escape
app_wait_exit 0
rcpconv_recipes "$SCRATCH/many.reg" "$SCRATCH/many-rcpconv" 0
same_recipes "$recipes" "$SCRATCH/many-rcpconv"
echo "PASS"
