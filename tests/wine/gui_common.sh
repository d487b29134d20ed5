# Sourced by the GUI tests: registry fixtures, and starting, reading and driving
# RecipeConverter.exe (the mingw64 build) on the Xvfb display with real input. Input reaches
# the program through the X server and is handled there in its own time, and a window shows
# before it is filled in: every step waits (wait_for) for the state it expects.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

APP_CAPTION="Recipe converter from QZ7165 registry settings"
BROWSER_CAPTION="Browse for Folder"
APP_EXE="$RC_WIN64_DIR/app/RecipeConverter.exe"
GUI_DATA="$RC_SOURCE_DIR/tests/data/gui"
RCPCONV="$RC_NATIVE_DIR/cli/rcpconv"
DIALOG_PROBE="$PROBES/dialog_probe.exe"
APP_PID=
# Control ids of the dialog, as app/resource.h (and IDOK for Convert) define them.
ID_CONVERT=1
ID_SELECT_ALL=1002
ID_SELECT_DIR=1004
ID_RECIPE_DIR=1005
# Two clicks on one spot in quick succession make a double click, which a list box does not
# take as a second click: a click on the spot of the one before lands this many pixels aside
# (more than the double-click area).
CLICK_SHIFT=8
LAST_CLICK=

[ -f "$APP_EXE" ] || fail "no $APP_EXE: build the mingw64 preset"
[ -f "$DIALOG_PROBE" ] || fail "no dialog_probe.exe: build the mingw64 preset"

# dialog_probe COMMAND CAPTION [ARG], with Windows line ends removed; texts in the ANSI code
# page, or in UTF-8 while PROBE_UTF8 is set.
PROBE_UTF8=
probe() {
    local out status
    out=$(wine_run "$DIALOG_PROBE" ${PROBE_UTF8:+--utf8} "$@")
    status=$?
    printf '%s\n' "${out//$'\r'/}"
    return $status
}

# registry_import FIXTURE...: regedit /S of files in tests/data/gui, after clearing the settings.
registry_import() {
    local file paths=()
    for file in "$@"; do
        paths+=("$GUI_DATA/$file")
    done
    registry_load "${paths[@]}"
}

# Sets up the scratch directory and the clean-up (gui_end).
gui_begin() { make_scratch gui_end; }

# gui_end STATUS: after a failure keeps a picture of the screen and shows what the program
# printed; then ends the program, if still running, and removes the fixtures' registry keys.
gui_end() {
    if [ "$1" -ne 0 ]; then
        import -window root "$SCRATCH/failure.png" 2>/dev/null
        if [ -s "$SCRATCH/app.log" ]; then
            echo "RecipeConverter.exe printed:" >&2
            cat "$SCRATCH/app.log" >&2
        fi
    fi
    if [ -n "$APP_PID" ] && kill -0 "$APP_PID" 2>/dev/null; then
        kill "$APP_PID" 2>/dev/null
        wait "$APP_PID" 2>/dev/null
    fi
    registry_clear
}

# app_start DIR [NAME]: copies the program into DIR (so its default Recipes directory is
# DIR/Recipes) and starts it there in the background; APP_PID is its process.
app_start() {
    local dir=$1 name=${2:-RecipeConverter.exe}
    mkdir -p "$dir"
    cp "$APP_EXE" "$dir/$name"
    "$WINE" "$dir/$name" </dev/null >>"$SCRATCH/app.log" 2>&1 &
    APP_PID=$!
}

# Waits for the main dialog to show and gives it the keyboard.
app_wait_window() {
    probe wait "$APP_CAPTION" >/dev/null || fail "the dialog did not show"
    app_focus "$APP_CAPTION"
}

# x_window TITLE: the X window of a visible top-level window with that title, once there is one.
x_window_shown() { xdotool search --onlyvisible --name "^$1\$" >/dev/null; }
x_window() {
    wait_for "an X window \"$1\"" x_window_shown "$1"
    xdotool search --onlyvisible --name "^$1\$" | head -n 1
}

# app_focus TITLE: gives the X window of a top-level window with that title the keyboard.
has_focus() {
    xdotool windowfocus "$1" && [ "$(xdotool getwindowfocus -f)" = "$1" ]
}
app_focus() {
    local window
    window=$(x_window "$1") || exit 1
    wait_for "the keyboard on \"$1\"" has_focus "$window"
}

# app_wait_exit EXPECTED_CODE: waits for the program to end and checks its exit code.
app_ended() { ! kill -0 "$APP_PID" 2>/dev/null; }
app_wait_exit() {
    wait_for "the program ends" app_ended
    local code=0
    wait "$APP_PID" || code=$?
    APP_PID=
    [ "$code" = "$1" ] || fail "exit code $code, expected $1"
}

# click_at X Y: a real mouse click on a screen point.
click_at() {
    local x=$1 y=$2
    [ "$LAST_CLICK" != "$x $y" ] || x=$((x + CLICK_SHIFT))
    xdotool mousemove --sync "$x" "$y" click 1 || fail "cannot click at $x $y"
    LAST_CLICK="$x $y"
}

# click_control CAPTION ID: a real mouse click in the middle of a control.
click_control() {
    local x y
    read -r x y < <(probe center "$1" "$2") || fail "no control $2 in \"$1\""
    click_at "$x" "$y"
}

# select_all_and_convert STATE: real clicks on Select All, then, once the list shows STATE (as
# list_is takes it), on Convert.
select_all_and_convert() {
    click_control "$APP_CAPTION" "$ID_SELECT_ALL"
    wait_for "Select All" list_is "$1"
    click_control "$APP_CAPTION" "$ID_CONVERT"
}

# click_entry INDEX: a real mouse click on one entry of the set list.
click_entry() {
    local x y
    read -r x y < <(probe item "$APP_CAPTION" "$1") || fail "no list entry $1"
    click_at "$x" "$y"
}

press_key() { xdotool key "$1" || fail "cannot press $1"; }

# The list as "SELECTED<TAB>NAME" lines.
list_state() { probe list "$APP_CAPTION"; }
# list_is STATE: the list is in that state; else prints the state it is in.
list_is() {
    local state
    state=$(list_state) && [ "$state" = "$1" ] && return 0
    printf 'the list is:\n%s\n' "$state"
    return 1
}

# The text shown in the directory box.
shown_directory() {
    probe controls "$APP_CAPTION" | sed -n "s/^Edit id=$ID_RECIPE_DIR .* text=\"\(.*\)\"\$/\1/p"
}
# directory_is TEXT / directory_matches REGEX: the directory box shows that text; else prints
# what it shows.
directory_is() {
    local shown
    shown=$(shown_directory) && [ "$shown" = "$1" ] && return 0
    echo "the directory box shows \"$shown\""
    return 1
}
directory_matches() {
    local shown
    shown=$(shown_directory) && [[ "$shown" =~ $1 ]] && return 0
    echo "the directory box shows \"$shown\""
    return 1
}

# controls_are CAPTION EXPECTED: every control of the window as the probe lists them; else
# prints how they differ.
controls_are() {
    local got
    got=$(probe controls "$1") && [ "$got" = "$2" ] && return 0
    diff <(echo "$2") <(echo "$got")
    return 1
}
# controls_include CAPTION LINE: one control of the window as the probe lists it.
controls_include() {
    local got
    got=$(probe controls "$1") && grep -qxF "$2" <<<"$got" && return 0
    printf 'the controls are:\n%s\n' "$got"
    return 1
}

# message_is CAPTION EXPECTED [FILTER]: a message box (owner, text, buttons) as the probe prints
# it, after the sed -E expression FILTER if given; else prints what it shows.
message_is() {
    local got
    got=$(probe message "$1" | sed -E "${3:-}") && [ "$got" = "$2" ] && return 0
    printf 'the box shows:\n%s\n' "$got"
    return 1
}

# expect_message CAPTION EXPECTED [FILTER]: waits for a message box as message_is expects it,
# then presses Enter on it and waits for it to go.
expect_message() {
    wait_for "message box \"$1\" as expected:
$2
" message_is "$@"
    app_focus "$1"
    press_key Return
    probe gone "$1" >/dev/null || fail "message box \"$1\" stayed"
}

# browser_open: Select Dir, then waits for the folder browser to show its title, and gives it
# the keyboard. browser_close KEY: Escape or Enter, then waits for the browser to go.
BROWSER_TITLE='Static id=14146 style=0x50020000 rect=9,5,299,31 text="Highlight the folder to receive Recipes"'
browser_open() {
    click_control "$APP_CAPTION" "$ID_SELECT_DIR"
    wait_for "the folder browser with its title" \
        controls_include "$BROWSER_CAPTION" "$BROWSER_TITLE"
    app_focus "$BROWSER_CAPTION"
}
browser_close() {
    press_key "$1"
    probe gone "$BROWSER_CAPTION" >/dev/null || fail "the folder browser stayed"
}

# only_main_window: no message box (or other dialog) of the program is open besides the main
# window; else prints the titles of the others.
only_main_window() {
    local windows
    windows=$(xdotool search --onlyvisible --name '.' 2>/dev/null | while read -r w; do
        xdotool getwindowname "$w"
    done | grep -vx "$APP_CAPTION" | grep -v '^$')
    [ -z "$windows" ] && return 0
    echo "other windows: $windows"
    return 1
}
no_other_dialog() { wait_for "no window besides the dialog" only_main_window; }

# window_on_screen CAPTION: the whole window lies on the screen (caption and OK button
# included); else prints where it is.
window_on_screen() {
    local left top right bottom width height
    read -r left top right bottom < <(probe rect "$1") || return 1
    read -r width height < <(xdpyinfo | sed -n 's/^ *dimensions: *\([0-9]*\)x\([0-9]*\) .*/\1 \2/p')
    ((left >= 0 && top >= 0 && right <= width && bottom <= height)) && return 0
    echo "\"$1\" lies at $left,$top-$right,$bottom on a screen of ${width}x$height"
    return 1
}

# app_dir_for CHARS: a directory under SCRATCH whose "Recipes" beside a program in it has a
# Windows path (Z:...) of CHARS characters, its name words of a few letters as people write.
app_dir_for() {
    local base="$SCRATCH/long/" padding
    padding=$(($1 - ${#base} - ${#WIN_DRIVE} - ${#RECIPES_LEAF}))
    # Windows drops a blank that ends a folder's name: the last character is a letter.
    printf '%s%sx' "$base" "$(yes 'lab data' | tr '\n' ' ' | head -c "$((padding - 1))")"
}
WIN_DRIVE="Z:"
RECIPES_LEAF='\Recipes'

# files_are DIR NAMES: the names in DIR, one a line, sorted; else prints them.
files_are() {
    local names
    names=$(cd "$1" && ls) && [ "$names" = "$2" ] && return 0
    printf '%s holds:\n%s\n' "$1" "$names"
    return 1
}

# The Windows form of the default Recipes directory beside a program started in DIR.
recipes_path() { win_path "$1/Recipes"; }

fixture_has_no_leading_blanks() { no_leading_blanks "$GUI_DATA/$1"; }

# The pictures of the user guide, made fresh on every run (docs/ holds copies, refreshed by
# scripts/refresh-screenshots.sh).
SCREENSHOTS="$RC_NATIVE_DIR/screenshots"
# An ordinary folder a lab engineer would put the program in, so that the pictures show the
# default directory as a user sees it: C:\Lab\Recipe Converter\Recipes.
LAB_DIR="$WINEPREFIX/drive_c/Lab/Recipe Converter"
LAB_RECIPES='C:\Lab\Recipe Converter\Recipes'

# picture_is_still WINDOW FILE: a capture of the window equals the one before it, kept in FILE:
# the window has been drawn and no longer changes.
picture_is_still() {
    import -window "$1" "ppm:$2.next" 2>/dev/null || return 1
    if [ -f "$2" ] && cmp -s "$2" "$2.next"; then
        return 0
    fi
    mv "$2.next" "$2"
    return 1
}

# screenshot TITLE NAME: a picture of the window with that title, once it is still, as
# $SCREENSHOTS/NAME.png (without time stamps, so that an unchanged window gives the same file).
screenshot() {
    local window
    window=$(x_window "$1") || exit 1
    rm -f "$SCRATCH/$2.ppm"
    wait_for "a still picture of \"$1\"" picture_is_still "$window" "$SCRATCH/$2.ppm"
    mkdir -p "$SCREENSHOTS"
    convert "$SCRATCH/$2.ppm" -strip "$SCREENSHOTS/$2.png" || fail "cannot save the picture $2"
}
