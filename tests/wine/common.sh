# Sourced by every Wine test: the private prefix, the display and a few helpers.
: "${RC_WINE_STATE:?run through ctest}"
export WINEPREFIX="$RC_WINE_STATE/prefix"
export WINEDEBUG=-all
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

# A fresh scratch directory for one test, removed when the script ends.
make_scratch() {
    SCRATCH=$(mktemp -d "${TMPDIR:-/tmp}/rc-wine-XXXXXX")
    trap 'rm -rf "$SCRATCH"' EXIT
}

fail() { echo "FAIL: $*" >&2; exit 1; }

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
