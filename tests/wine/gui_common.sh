# Sourced by the GUI tests: registry fixtures, and starting, reading and driving
# RecipeConverter.exe (the mingw64 build) on the Xvfb display with real input.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

APP_CAPTION="Recipe converter from QZ7165 registry settings"
APP_EXE="$RC_WIN64_DIR/app/RecipeConverter.exe"
GUI_DATA="$RC_SOURCE_DIR/tests/data/gui"
RCPCONV="$RC_NATIVE_DIR/cli/rcpconv"
DIALOG_PROBE="$PROBES/dialog_probe.exe"
# How long a poll waits for the window to show a state (a hang, not a speed limit).
POLL_TRIES=300
APP_PID=
# Control ids of the dialog, as app/resource.h (and IDOK for Convert) define them.
ID_CONVERT=1
ID_SELECT_ALL=1002
ID_SELECT_DIR=1004
ID_RECIPE_DIR=1005

[ -f "$APP_EXE" ] || fail "no $APP_EXE: build the mingw64 preset"
[ -f "$DIALOG_PROBE" ] || fail "no dialog_probe.exe: build the mingw64 preset"

# dialog_probe COMMAND CAPTION [ARG], with Windows line ends removed.
probe() {
    local out status
    out=$(wine_run "$DIALOG_PROBE" "$@")
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

# Sets up the scratch directory and the clean-up: the program, if still running, and the
# registry keys of the fixtures.
gui_begin() {
    SCRATCH=$(mktemp -d "${TMPDIR:-/tmp}/rc-gui-XXXXXX")
    trap gui_end EXIT
}

gui_end() {
    if [ -n "$APP_PID" ] && kill -0 "$APP_PID" 2>/dev/null; then
        kill "$APP_PID" 2>/dev/null
        wait "$APP_PID" 2>/dev/null
    fi
    registry_clear
    rm -rf "$SCRATCH"
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

# app_focus CAPTION: gives the X window of a top-level window with that title the keyboard.
app_focus() {
    local window
    window=$(xdotool search --sync --onlyvisible --name "^$1\$" | head -n 1)
    [ -n "$window" ] || fail "no X window \"$1\""
    xdotool windowfocus --sync "$window" || fail "cannot focus \"$1\""
}

# app_wait_exit EXPECTED_CODE: waits for the program to end and checks its exit code.
app_wait_exit() {
    local tries=0
    while kill -0 "$APP_PID" 2>/dev/null; do
        ((++tries < POLL_TRIES)) || fail "the program did not end"
        sleep 0.1
    done
    local code=0
    wait "$APP_PID" || code=$?
    APP_PID=
    [ "$code" = "$1" ] || fail "exit code $code, expected $1"
}

# click_control CAPTION ID: a real mouse click in the middle of a control.
click_control() {
    local x y
    read -r x y < <(probe center "$1" "$2") || fail "no control $2 in \"$1\""
    xdotool mousemove --sync "$x" "$y" click 1
}

# click_entry INDEX: a real mouse click on one entry of the set list.
click_entry() {
    local x y
    read -r x y < <(probe item "$APP_CAPTION" "$1") || fail "no list entry $1"
    xdotool mousemove --sync "$x" "$y" click 1
}

press_key() { xdotool key "$1"; }

# wait_for DESCRIPTION COMMAND...: polls until COMMAND succeeds, since input reaches the
# program through the X server and is handled there in its own time.
wait_for() {
    local what=$1 tries=0
    shift
    until "$@" >/dev/null 2>&1; do
        ((++tries < POLL_TRIES)) || fail "never happened: $what"
        sleep 0.1
    done
}

# The list as "SELECTED<TAB>NAME" lines.
list_state() { probe list "$APP_CAPTION"; }
list_is() { [ "$(list_state)" = "$1" ]; }

# The text shown in the directory box.
shown_directory() {
    probe controls "$APP_CAPTION" | sed -n "s/^Edit id=$ID_RECIPE_DIR .* text=\"\(.*\)\"\$/\1/p"
}

# expect_message CAPTION EXPECTED: checks a message box (owner, text, buttons) and presses
# Enter on it.
expect_message() {
    local got
    got=$(probe message "$1") || fail "no message box \"$1\""
    [ "$got" = "$2" ] || fail "message box \"$1\":
$got
expected:
$2"
    app_focus "$1"
    press_key Return
    probe gone "$1" >/dev/null || fail "message box \"$1\" stayed"
}

# No message box (or other dialog) of the program is open besides the main window.
no_other_dialog() {
    local windows
    windows=$(xdotool search --onlyvisible --name '.' 2>/dev/null | while read -r w; do
        xdotool getwindowname "$w"
    done | grep -vx "$APP_CAPTION" | grep -v '^$')
    [ -z "$windows" ] || fail "unexpected windows: $windows"
}

# The Windows form of the default Recipes directory beside a program started in DIR.
recipes_path() { win_path "$1/Recipes"; }

fixture_has_no_leading_blanks() { no_leading_blanks "$GUI_DATA/$1"; }
