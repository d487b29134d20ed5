# Sourced by every Wine test: the private prefix, the display and a few helpers.
: "${RC_WINE_STATE:?run through ctest}"

# Wine maps the page of data Windows shares with every process at the fixed address 0x7ffe0000.
# Its loader (Debian's build has no preloader) is linked at 0x7d000000, and recent kernels
# (6.18 here) start a program's heap anywhere in the GiB above the program's end, where older
# ones kept it within 32 MiB: about one Wine process in five thousand then finds its heap on
# that page, says "failed to map the shared user data" and exits 1 before the program runs.
# The tests run without address-space randomisation, which every child inherits, so each Wine
# process has its heap right after the loader.
if (((0x$(cat /proc/$$/personality) & 0x0040000) == 0)); then
    exec setarch "$(uname -m)" --addr-no-randomize "$0" "$@"
fi
export WINEPREFIX="$RC_WINE_STATE/prefix"
# Wine's own messages stay out of what the programs print, but for the two channels that tell
# why a process could not start or load its libraries: a test that fails for that says why.
export WINEDEBUG=-all,err+virtual,err+module
export LANG=C.UTF-8 LC_ALL=C.UTF-8
WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver64
if [ -f "$RC_WINE_STATE/display" ]; then
    DISPLAY=$(cat "$RC_WINE_STATE/display")
    export DISPLAY
fi
PROBES="$RC_WIN64_DIR/tests/probes"

# Runs a Windows program with no input, so Wine never waits on the test runner.
wine_run() { "$WINE" "$@" </dev/null; }

# The Windows form of a Linux path (drive Z: is the root of the file system).
win_path() { printf 'Z:%s' "${1//\//\\}"; }

# make_scratch [CLEANUP]: SCRATCH, a fresh directory for this test under the build tree. When
# the script ends, CLEANUP (a function given the exit status) runs; then the directory is
# removed if the test passed, and kept and named if it failed, so that one failure is enough
# to see what the programs wrote.
make_scratch() {
    local parent="$RC_NATIVE_DIR/wine-scratch"
    mkdir -p "$parent" || fail "cannot make $parent"
    SCRATCH=$(mktemp -d "$parent/$(basename "$0" .sh)-XXXX") || fail "no scratch directory"
    SCRATCH_CLEANUP=${1:-}
    trap scratch_end EXIT
}

scratch_end() {
    local status=$?
    [ -z "$SCRATCH_CLEANUP" ] || "$SCRATCH_CLEANUP" "$status"
    if [ "$status" -eq 0 ]; then
        rm -rf "$SCRATCH"
    else
        echo "scratch directory kept: $SCRATCH" >&2
    fi
}

fail() { echo "FAIL: $*" >&2; exit 1; }

# How long a wait for a condition may take before the test fails: a hang, not a speed limit,
# since a busy two-core machine can take seconds for a step that usually takes milliseconds.
WAIT_SECONDS=60
# The pause between two checks of a condition.
WAIT_PAUSE=0.1

# wait_for DESCRIPTION COMMAND...: re-runs COMMAND until it succeeds; after WAIT_SECONDS the
# test fails with what the last try printed.
wait_for() {
    local what=$1 deadline=$((SECONDS + WAIT_SECONDS)) said
    shift
    until said=$("$@" 2>&1); do
        ((SECONDS < deadline)) || fail "never happened: $what${said:+
last try: $said}"
        sleep "$WAIT_PAUSE"
    done
}

# Stops what the setup started (the Wine server of the prefix, then the Xvfb display), if
# they still run: the display only through its recorded process id, and only if that process
# is still an Xvfb, since the number may belong to another program by now. The server's
# socket directory goes too (Debian's Wine makes one in TMPDIR per prefix and names it in
# the prefix's file "wineserver").
stop_fixture_processes() {
    if [ -d "$WINEPREFIX" ]; then
        "$WINESERVER" -k 2>/dev/null || true
        local server_dir
        server_dir=$(cat "$WINEPREFIX/wineserver" 2>/dev/null) || server_dir=
        if [[ "$server_dir" =~ ^wine-[A-Za-z0-9]{6}$ ]]; then
            rm -rf "${TMPDIR:-/tmp}/$server_dir"
        fi
    fi
    local pid_file="$RC_WINE_STATE/xvfb.pid" pid
    [ -f "$pid_file" ] || return 0
    pid=$(cat "$pid_file")
    if [ "$(ps -o comm= -p "$pid" 2>/dev/null)" = Xvfb ]; then
        kill "$pid" 2>/dev/null || true
    fi
    rm -f "$pid_file"
}

# Every place the fixtures may have put settings, in both registry views.
SETTINGS_KEYS=('HKLM\SOFTWARE\WOW6432Node\Quorix' 'HKLM\SOFTWARE\WOW6432Node\Zentyl'
    'HKLM\SOFTWARE\Quorix' 'HKLM\SOFTWARE\Zentyl')

registry_clear() {
    local key
    for key in "${SETTINGS_KEYS[@]}"; do
        wine_run reg delete "$key" /f >/dev/null 2>&1 || true
    done
}

# registry_load EXPORT...: regedit /S of each file, after clearing the settings.
registry_load() {
    registry_clear
    local file
    for file in "$@"; do
        wine_run regedit /S "$(win_path "$file")" || fail "regedit /S $file"
    done
}

# A .reg file as UTF-8 text for grep and sed, whatever its encoding.
reg_text() {
    if [ "$(head -c 2 "$1" | od -An -tx1 | tr -d ' ')" = "fffe" ]; then
        iconv -f UTF-16 -t UTF-8 "$1"
    else
        cat "$1"
    fi
}

# Wine's WritePrivateProfileStringA drops leading blanks of a value (Windows keeps them), so
# an export compared through it must hold no text value that starts with a blank: then the
# recipes Wine writes are what Windows writes, and compare byte for byte with rcpconv's.
no_leading_blanks() {
    ! reg_text "$1" | grep -nE '^"[^"]*"="[[:blank:]]' || fail "$1 has a value with leading blanks"
}

# same_recipes DIR_A DIR_B: the same names, each a directory in both or a file with the same
# bytes in both.
same_recipes() {
    diff <(cd "$1" && ls -A) <(cd "$2" && ls -A) || fail "recipe names differ: $1 $2"
    local file other
    for file in "$1"/*; do
        other="$2/$(basename "$file")"
        [ -d "$file" ] && [ -d "$other" ] && continue
        cmp "$file" "$other" || fail "recipe differs: $(basename "$file")"
    done
}
