#!/usr/bin/env bash
# Times the Windows writer (rcpconv.exe under Wine: one WritePrivateProfileStringA per entry)
# against the Linux writer (native rcpconv) on the same sets, into an empty directory and over
# recipes that change, and prints the ratios. Run by hand once the native and mingw64 presets
# are built; it makes a Wine prefix of its own and removes it afterwards.
#
#   bench/wine_writer_bench.sh [SETS]        (default 1000)
set -euo pipefail
# Without address-space randomisation, as the Wine tests run (see tests/wine/common.sh): now
# and then a Wine process would otherwise fail to start.
if (((0x$(cat /proc/$$/personality) & 0x0040000) == 0)); then
    exec setarch "$(uname -m)" --addr-no-randomize "$0" "$@"
fi
ROOT=$(cd "$(dirname "$0")/.." && pwd)
SETS=${1:-1000}
NATIVE="$ROOT/build/native/cli/rcpconv"
WINDOWS="$ROOT/build/mingw64/cli/rcpconv.exe"
EXPORTER="$ROOT/build/native/bench/recipe_writer_bench"
WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver64
for program in "$NATIVE" "$WINDOWS" "$EXPORTER"; do
    [ -x "$program" ] || { echo "missing $program: build the native and mingw64 presets" >&2; exit 1; }
done

WORK=$(mktemp -d "${TMPDIR:-/tmp}/wine-writer-bench-XXXXXX")
export WINEPREFIX="$WORK/prefix" WINEDEBUG=-all LANG=C.UTF-8 LC_ALL=C.UTF-8
trap '"$WINESERVER" -k 2>/dev/null || true; rm -rf "$WORK"' EXIT
cd "$WORK"
mkdir -p "$WINEPREFIX"
"$WINESERVER" -p60
"$WINE" wineboot </dev/null >/dev/null 2>&1

# seconds COMMAND...: runs it (output dropped) and prints how long it took.
seconds() {
    local start end
    start=$(date +%s.%N)
    "$@" </dev/null >/dev/null 2>&1 || true
    end=$(date +%s.%N)
    echo "$end - $start" | bc -l
}
# median NUMBER...: the middle one.
median() { printf '%s\n' "$@" | sort -g | sed -n "$((($# + 1) / 2))p"; }
win_path() { printf 'Z:%s' "${1//\//\\}"; }
ratio() { printf '%.1f' "$(echo "($1) / ($2)" | bc -l)"; }

"$EXPORTER" --export "$SETS" settings.reg 0
"$EXPORTER" --export "$SETS" changed.reg 1
"$NATIVE" changed.reg -o older 2>/dev/null

# Each figure is the median of TRIALS runs; each run into a fresh copy of its directory.
TRIALS=3
record() { local -n list=$1; shift; list+=("$(seconds "$@")"); }
wine_starts=() native_starts=() win_empties=() native_empties=() win_changes=() native_changes=()
for _ in $(seq "$TRIALS"); do
    rm -rf win-empty native-empty win-changed native-changed
    cp -r older win-changed
    cp -r older native-changed
    # What each costs before the first recipe: starting the program and reading the export.
    record wine_starts "$WINE" "$WINDOWS" --list "$(win_path "$WORK/settings.reg")"
    record native_starts "$NATIVE" --list settings.reg
    record win_empties "$WINE" "$WINDOWS" "$(win_path "$WORK/settings.reg")" -o "$(win_path "$WORK/win-empty")"
    record native_empties "$NATIVE" settings.reg -o native-empty
    record win_changes "$WINE" "$WINDOWS" "$(win_path "$WORK/settings.reg")" -o "$(win_path "$WORK/win-changed")"
    record native_changes "$NATIVE" settings.reg -o native-changed
done
wine_start=$(median "${wine_starts[@]}")
native_start=$(median "${native_starts[@]}")
win_empty=$(median "${win_empties[@]}")
native_empty=$(median "${native_empties[@]}")
win_changed=$(median "${win_changes[@]}")
native_changed=$(median "${native_changes[@]}")

diff -r win-empty native-empty >/dev/null || echo "the two writers made different recipes" >&2
diff -r win-changed native-changed >/dev/null || echo "the two writers updated differently" >&2

printf '%s sets; start-up and reading the export: Windows %.2f s, Linux %.2f s\n' \
    "$SETS" "$wine_start" "$native_start"
printf 'into an empty directory:  Windows %.2f s, Linux %.2f s: %sx (without start-up %sx)\n' \
    "$win_empty" "$native_empty" "$(ratio "$win_empty" "$native_empty")" \
    "$(ratio "$win_empty - $wine_start" "$native_empty - $native_start")"
printf 'over changed recipes:     Windows %.2f s, Linux %.2f s: %sx (without start-up %sx)\n' \
    "$win_changed" "$native_changed" "$(ratio "$win_changed" "$native_changed")" \
    "$(ratio "$win_changed - $wine_start" "$native_changed - $native_start")"
