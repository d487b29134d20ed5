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
