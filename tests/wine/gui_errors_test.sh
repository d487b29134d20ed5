#!/usr/bin/env bash
# The message boxes: no settings root at start, a directory that cannot be created (and why),
# a root gone before Convert, the report of sets not converted (a set without values among
# them) kept within the screen, a default directory too long or outside the code page, and a
# chosen folder outside the code page.
set -uo pipefail
source "$(dirname "$0")/gui_common.sh"

# Where Wine keeps the desktop's place, which one case below changes and puts back, also when
# the test fails.
SHELL_FOLDERS='HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer'
restore_desktop() {
    local folders
    for folders in 'User Shell Folders' 'Shell Folders'; do
        [ ! -f "$SCRATCH/$folders.reg" ] || wine_run regedit /S "$(win_path "$SCRATCH/$folders.reg")"
        rm -f "$SCRATCH/$folders.reg"
    done
}
errors_end() {
    restore_desktop
    gui_end "$1"
}
make_scratch errors_end

all_selected=$'1\tCON\n1\tGaAs-AlGaAs HEMT\n1\tInP laser 1550nm\n1\tSi wafer reference with a long set name'

# The system's text for a failed call is Wine's own; the rest is compared exactly.
SYSTEM_ERROR='s/error [0-9]+: [^\"]*/error N: TEXT/g'

# convert_refused TEXT NOT_CREATED [FILTER]: Select All and Convert bring "Invalid Recipes
# directory" with TEXT (as the probe prints it, after FILTER), nothing is converted, the
# selection stays and the path NOT_CREATED does not appear; then Escape ends the program with 0.
convert_refused() {
    select_all_and_convert "$all_selected"
    expect_message "Invalid Recipes directory" "owner=\"$APP_CAPTION\"
button=\"OK\"
text=\"$1\"" "${3:-}"
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
# CreateDirectoryA cannot make it and says why, nothing is converted, the selection stays.
registry_import quorix.reg
app_start "$SCRATCH/moved/app"
app_wait_window
directory=$(recipes_path "$SCRATCH/moved/app")
mv "$SCRATCH/moved/app" "$SCRATCH/moved/elsewhere"
convert_refused "${directory//'\'/'\\'}\\n\\nerror N: TEXT" "$SCRATCH/moved/app" "$SYSTEM_ERROR"

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
# LPT³ (devices), one without a value to convert, and, with a plain file where the directory
# should be, every set whose writes failed. The probe prints the names in Windows-1252.
registry_import quorix.reg
wine_run reg add 'HKLM\SOFTWARE\WOW6432Node\Quorix\Layrscan\Settings\LPT³' /f >/dev/null ||
    fail "reg add"
wine_run reg add 'HKLM\SOFTWARE\WOW6432Node\Quorix\Layrscan\Settings\Nothing here' \
    /v Unrelated /t REG_SZ /d x /f >/dev/null || fail "reg add"
lpt3=$'LPT\xb3'
report_selected=$'1\tCON\n1\tGaAs-AlGaAs HEMT\n1\tInP laser 1550nm\n1\t'$lpt3
report_selected+=$'\n1\tNothing here\n1\tSi wafer reference with a long set name'
mkdir -p "$SCRATCH/report"
touch "$SCRATCH/report/Recipes"
app_start "$SCRATCH/report"
app_wait_window
wine_run reg delete 'HKLM\SOFTWARE\WOW6432Node\Quorix\Layrscan\Settings\InP laser 1550nm' /f \
    >/dev/null || fail "reg delete"
select_all_and_convert "$report_selected"
file=$(win_path "$SCRATCH/report/Recipes")
file=${file//'\'/'\\'}
expect_message "Recipes not converted" "owner=\"$APP_CAPTION\"
button=\"OK\"
text=\"These settings were not converted:\\n\\nCON: Windows takes its name for the device CON\\nGaAs-AlGaAs HEMT: cannot write [GENERAL] Material to $file\\\\GaAs-AlGaAs HEMT.rcp: error N: TEXT\\nInP laser 1550nm: the set cannot be opened\\n$lpt3: Windows takes its name for the device $lpt3\\nNothing here: the set holds no value to convert; no recipe written\\nSi wafer reference with a long set name: cannot write [GENERAL] Material to $file\\\\Si wafer reference with a long set name.rcp: error N: TEXT\"" \
    "$SYSTEM_ERROR"
wait_for "selection cleared" list_is "${report_selected//1$'\t'/0$'\t'}"
[ -f "$SCRATCH/report/Recipes" ] || fail "the plain file was replaced"
app_focus "$APP_CAPTION"
press_key Escape
app_wait_exit 0

# A report of many sets with long reasons stays on the screen: the sets that fit, then how many
# more. Forty sets, each failing with its path of some 250 characters in the reason.
many="$SCRATCH/many.reg"
{
    printf 'REGEDIT4\n\n'
    for i in $(seq -w 1 40); do
        printf '[HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Quorix\\Layrscan\\Settings\\Set %s]\n' "$i"
        printf '"Electrolyte"="KOH"\n\n'
    done
} >"$many"
registry_load "$many"
dir=$(app_dir_for 240)
mkdir -p "$dir"
touch "$dir/Recipes"
app_start "$dir" r.exe
app_wait_window
select_all_and_convert "$(for i in $(seq -w 1 40); do printf '1\tSet %s\n' "$i"; done | head -c -1)"
probe wait "Recipes not converted" >/dev/null || fail "no report of forty sets"
wait_for "the whole report on the screen" window_on_screen "Recipes not converted"
report=$(probe message "Recipes not converted" | sed -n 's/^text="\(.*\)"$/\1/p')
listed=$(grep -o '\\nSet [0-9]*: cannot write ' <<<"$report" | wc -l)
[[ "$report" =~ \\n\.\.\.\ and\ ([0-9]+)\ more\.$ ]] || fail "the report does not end in how many more:
$report"
((listed >= 1 && listed + BASH_REMATCH[1] == 40)) ||
    fail "the report lists $listed sets and ${BASH_REMATCH[1]} more, not 40"
app_focus "Recipes not converted"
press_key Return
probe gone "Recipes not converted" >/dev/null || fail "the report stayed"
app_focus "$APP_CAPTION"
press_key Escape
app_wait_exit 0

# A default directory of 255 characters is used; one of 256 is not cut into another path:
# the box stays empty and Convert says why.
registry_import quorix.reg
dir=$(app_dir_for 255)
app_start "$dir" r.exe
app_wait_window
wait_for "255 characters shown" directory_is "$(recipes_path "$dir" | sed 's/\\/\\\\/g')"
press_key Escape
app_wait_exit 0
dir=$(app_dir_for 256)
app_start "$dir" r.exe
app_wait_window
wait_for "256 characters: nothing shown" directory_is ""
convert_refused "The \"Recipes\" folder beside the program would have a path longer than 255 characters.\\nChoose a directory with Select Dir ..." "$dir/Recipes"

# The program in a folder whose name Windows-1252 lacks a letter of: its ANSI path would name
# the look-alike folder "Omega", which exists and must not get the recipes. The box stays
# empty and Convert says why.
mkdir -p "$SCRATCH/Omega"
app_start "$SCRATCH/Ωmega"
app_wait_window
wait_for "a folder outside the code page: nothing shown" directory_is ""
convert_refused "The \"Recipes\" folder beside the program has a path with characters outside this PC's code page (1252).\\nChoose a directory with Select Dir ..." "$SCRATCH/Omega/Recipes"

# A chosen folder whose name the code page lacks a letter of: the browser starts on the
# desktop, made such a folder here, and Enter chooses it. The box says so and the directory
# stays. The desktop's place is put back afterwards.
for folders in 'User Shell Folders' 'Shell Folders'; do
    wine_run reg export "$SHELL_FOLDERS\\$folders" "$(win_path "$SCRATCH/$folders.reg")" /y \
        >/dev/null || fail "reg export $folders"
done
mkdir -p "$SCRATCH/desktop/Ωmega"
for folders in 'User Shell Folders' 'Shell Folders'; do
    wine_run reg add "$SHELL_FOLDERS\\$folders" /v Desktop /t REG_SZ \
        /d "$(win_path "$SCRATCH/desktop/Ωmega")" /f >/dev/null || fail "reg add $folders"
done
app_start "$SCRATCH/chosen"
app_wait_window
directory=$(recipes_path "$SCRATCH/chosen")
browser_open
browser_close Return
PROBE_UTF8=1
desktop=$(win_path "$SCRATCH/desktop/Ωmega")
expect_message "Directory not changed" "owner=\"$APP_CAPTION\"
button=\"OK\"
text=\"The path of this folder has characters outside this PC's code page (1252), which the program cannot write to:\\n\\n${desktop//'\'/'\\'}\\n\\nThe Recipes directory stays as it was.\""
PROBE_UTF8=
restore_desktop
wait_for "the directory kept" directory_is "${directory//'\'/'\\'}"
app_focus "$APP_CAPTION"
press_key Escape
app_wait_exit 0
echo "PASS"
