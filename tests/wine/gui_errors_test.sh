#!/usr/bin/env bash
# The message boxes: no settings root at start, a directory that cannot be created, a root
# gone before Convert, the report of sets not converted, and a default directory too long.
set -uo pipefail
source "$(dirname "$0")/gui_common.sh"
gui_begin

all_selected=$'1\tCON\n1\tGaAs-AlGaAs HEMT\n1\tInP laser 1550nm\n1\tSi wafer reference with a long set name'

# convert_refused TEXT NOT_CREATED: Select All and Convert bring "Invalid Recipes directory"
# with TEXT (as the probe prints it), nothing is converted, the selection stays and the path
# NOT_CREATED does not appear; then Escape ends the program with 0.
convert_refused() {
    select_all_and_convert "$all_selected"
    expect_message "Invalid Recipes directory" "owner=\"$APP_CAPTION\"
button=\"OK\"
text=\"$1\""
    wait_for "the selection kept" list_is "$all_selected"
    [ ! -e "$2" ] || fail "$2 was created"
    app_focus "$APP_CAPTION"
    press_key Escape
    app_wait_exit 0
}

# No root: one box at start, an empty list, and every command still works without a word.
registry_clear
app_start "$SCRATCH/noroot"
no_entries="owner=\"$APP_CAPTION\"
button=\"OK\"
text=\"No Registry entries found\""
wait_for "the box of no settings" message_is "Error" "$no_entries"
screenshot "Error" no-registry-entries
expect_message "Error" "$no_entries"
app_wait_window
wait_for "an empty list" list_is ""
click_control "$APP_CAPTION" "$ID_SELECT_ALL"
click_control "$APP_CAPTION" "$ID_CONVERT"
wait_for "Recipes created" test -d "$SCRATCH/noroot/Recipes"
browser_open
browser_close Escape
no_other_dialog
[ -z "$(ls -A "$SCRATCH/noroot/Recipes")" ] || fail "files written without a root"
app_focus "$APP_CAPTION"
press_key Escape
app_wait_exit 0

# The directory's parent is gone (the program's own directory moved away after start):
# CreateDirectoryA cannot make it, nothing is converted, the selection stays.
registry_import quorix.reg
app_start "$SCRATCH/moved/app"
app_wait_window
directory=$(recipes_path "$SCRATCH/moved/app")
mv "$SCRATCH/moved/app" "$SCRATCH/moved/elsewhere"
convert_refused "${directory//'\'/'\\'}" "$SCRATCH/moved/app"

# The root is deleted while the program runs: "Can't Open Registry Key" with the root path.
app_start "$SCRATCH/rootgone"
app_wait_window
wine_run reg delete 'HKLM\SOFTWARE\WOW6432Node\Quorix\Layrscan\Settings' /f >/dev/null ||
    fail "reg delete"
select_all_and_convert "$all_selected"
expect_message "Can't Open Registry Key" "owner=\"$APP_CAPTION\"
button=\"OK\"
text=\"SOFTWARE\\\\Quorix\\\\Layrscan\\\\Settings\""
wait_for "the selection kept" list_is "$all_selected"
[ -z "$(ls -A "$SCRATCH/rootgone/Recipes")" ] || fail "files written without a root"
app_focus "$APP_CAPTION"
press_key Escape
app_wait_exit 0

# The report lists every set not converted with its reason: one deleted after start, CON and
# LPT³ (devices), and, with a plain file where the directory should be, every set whose writes
# failed. The probe prints the names in Windows-1252.
registry_import quorix.reg
wine_run reg add 'HKLM\SOFTWARE\WOW6432Node\Quorix\Layrscan\Settings\LPT³' /f >/dev/null ||
    fail "reg add"
lpt3=$'LPT\xb3'
report_selected=$'1\tCON\n1\tGaAs-AlGaAs HEMT\n1\tInP laser 1550nm\n1\t'$lpt3
report_selected+=$'\n1\tSi wafer reference with a long set name'
mkdir -p "$SCRATCH/report"
touch "$SCRATCH/report/Recipes"
app_start "$SCRATCH/report"
app_wait_window
wine_run reg delete 'HKLM\SOFTWARE\WOW6432Node\Quorix\Layrscan\Settings\InP laser 1550nm' /f \
    >/dev/null || fail "reg delete"
select_all_and_convert "$report_selected"
file=$(win_path "$SCRATCH/report/Recipes")
file=${file//'\'/'\\'}
# The system's text for a failed write is Wine's own; the rest is compared exactly.
expect_message "Recipes not converted" "owner=\"$APP_CAPTION\"
button=\"OK\"
text=\"These settings were not converted:\\n\\nCON: Windows takes its name for the device CON\\nGaAs-AlGaAs HEMT: cannot write [GENERAL] Material to $file\\\\GaAs-AlGaAs HEMT.rcp: error N: TEXT\\nInP laser 1550nm: the set cannot be opened\\n$lpt3: Windows takes its name for the device $lpt3\\nSi wafer reference with a long set name: cannot write [GENERAL] Material to $file\\\\Si wafer reference with a long set name.rcp: error N: TEXT\"" \
    's/error [0-9]+: [^\\"]*/error N: TEXT/g'
wait_for "selection cleared" list_is "${report_selected//1$'\t'/0$'\t'}"
[ -f "$SCRATCH/report/Recipes" ] || fail "the plain file was replaced"
app_focus "$APP_CAPTION"
press_key Escape
app_wait_exit 0

# A default directory of 255 characters is used; one of 256 is not cut into another path:
# the box stays empty and Convert says why.
WIN_DRIVE="Z:"
RECIPES_LEAF='\Recipes'
# long_dir CHARS: a directory whose "Recipes" beside a program in it has CHARS characters.
long_dir() {
    local base="$SCRATCH/long/" padding
    padding=$(($1 - ${#base} - ${#WIN_DRIVE} - ${#RECIPES_LEAF}))
    printf '%s%s' "$base" "$(head -c "$padding" /dev/zero | tr '\0' d)"
}
registry_import quorix.reg
dir=$(long_dir 255)
app_start "$dir" r.exe
app_wait_window
wait_for "255 characters shown" directory_is "$(recipes_path "$dir" | sed 's/\\/\\\\/g')"
press_key Escape
app_wait_exit 0
dir=$(long_dir 256)
app_start "$dir" r.exe
app_wait_window
wait_for "256 characters: nothing shown" directory_is ""
convert_refused "The \"Recipes\" folder beside the program would have a path longer than 255 characters.\\nChoose a directory with Select Dir ..." "$dir/Recipes"
echo "PASS"
