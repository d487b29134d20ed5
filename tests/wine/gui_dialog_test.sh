#!/usr/bin/env bash
# The live dialog against its template, the pictures for the user guide, and the keyboard and
# mouse: Enter straight after start, clicks on single list entries, the report of a set not
# converted, Escape to close. The program sits in an ordinary folder, as a user would put it.
set -uo pipefail
source "$(dirname "$0")/gui_common.sh"
gui_begin

registry_import quorix.reg
rm -rf "$LAB_DIR"
app_start "$LAB_DIR"
app_wait_window
recipes="$LAB_DIR/Recipes"

# Class, id, style, place in dialog units and text of every control in tab order. The styles
# are the template's as the running window holds them: see tests/data/gui/README.md.
directory=$LAB_RECIPES
expected=$(<"$GUI_DATA/dialog_controls.txt")
expected=${expected//'%RECIPE_DIR%'/"${directory//'\'/'\\'}"}
wait_for "the dialog as its template" controls_are "$APP_CAPTION" "$expected"

all_unselected=$'0\tCON\n0\tGaAs-AlGaAs HEMT\n0\tInP laser 1550nm\n0\tSi wafer reference with a long set name'
wait_for "the set list" list_is "$all_unselected"
screenshot "$APP_CAPTION" window

# Enter straight after start: Convert with nothing selected creates the directory, writes
# nothing and says nothing.
press_key Return
wait_for "Recipes created" test -d "$recipes"
no_other_dialog
[ -z "$(ls -A "$recipes")" ] || fail "files written with nothing selected"

# A click toggles one entry; Enter with the focus on the list runs Convert.
click_entry 1
click_entry 3
wait_for "two entries selected" list_is $'0\tCON\n1\tGaAs-AlGaAs HEMT\n0\tInP laser 1550nm\n1\tSi wafer reference with a long set name'
screenshot "$APP_CAPTION" window-sets-selected
click_entry 3
click_entry 2
wait_for "entry 3 deselected, 2 selected" list_is $'0\tCON\n1\tGaAs-AlGaAs HEMT\n1\tInP laser 1550nm\n0\tSi wafer reference with a long set name'
press_key Return
wait_for "selection cleared after Convert" list_is "$all_unselected"
no_other_dialog
wait_for "two recipes" files_are "$recipes" $'GaAs-AlGaAs HEMT.rcp\nInP laser 1550nm.rcp'

# Select Dir, then cancel: the directory shown and used stays the default.
browser_open
browser_close Escape
wait_for "the default directory" directory_is "${directory//'\'/'\\'}"
app_focus "$APP_CAPTION"
click_entry 3
wait_for "entry 3 selected" list_is $'0\tCON\n0\tGaAs-AlGaAs HEMT\n0\tInP laser 1550nm\n1\tSi wafer reference with a long set name'
press_key Return
wait_for "recipe of entry 3" test -f "$recipes/Si wafer reference with a long set name.rcp"
wait_for "selection cleared after Convert" list_is "$all_unselected"

# Select All and Convert: every set converted but CON, which the report names with its reason.
select_all_and_convert "${all_unselected//0$'\t'/1$'\t'}"
report="owner=\"$APP_CAPTION\"
button=\"OK\"
text=\"These settings were not converted:\\n\\nCON: Windows takes its name for the device CON\""
wait_for "the report of CON" message_is "Recipes not converted" "$report"
screenshot "Recipes not converted" not-converted
expect_message "Recipes not converted" "$report"
wait_for "selection cleared after Convert" list_is "$all_unselected"
wait_for "three recipes" files_are "$recipes" $'GaAs-AlGaAs HEMT.rcp\nInP laser 1550nm.rcp\nSi wafer reference with a long set name.rcp'
app_focus "$APP_CAPTION"

# Select Dir, then OK on the folder the browser starts with (the desktop, a file-system
# folder): the browser shows the title, and the directory becomes that folder's path. Nothing
# is converted there: it may be the user's own desktop.
browser_open
browser_close Return
wait_for "the desktop as the directory" directory_matches '^C:\\\\users\\\\[^\\]+\\\\Desktop$'
app_focus "$APP_CAPTION"
press_key Escape
app_wait_exit 0
echo "PASS"
