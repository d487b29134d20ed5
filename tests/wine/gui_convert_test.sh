#!/usr/bin/env bash
# Select All then Convert on the live registry (32-bit view): the report of the set Windows
# cannot write (CON), and recipes byte-identical to rcpconv's from exports of the same keys.
set -uo pipefail
source "$(dirname "$0")/gui_common.sh"
gui_begin
[ -x "$RCPCONV" ] || fail "no $RCPCONV: build the native preset"

# rcpconv_recipes EXPORT DIR EXIT_CODE: converts every set of an export into DIR.
rcpconv_recipes() {
    local code=0
    "$RCPCONV" "$1" -o "$2" >"$SCRATCH/rcpconv.out" 2>&1 || code=$?
    [ "$code" = "$3" ] || fail "rcpconv $1: exit code $code, expected $3:
$(cat "$SCRATCH/rcpconv.out")"
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
echo "PASS"
