#!/usr/bin/env bash
# Imports each export fixture with Wine's regedit, then checks that the export reader answers
# what the registry answers a 32-bit ANSI program (listing with 32- and 256-byte buffers,
# every value read with 32 and 4 bytes); then exports the same keys back with regedit /E
# (UTF-16LE, as Windows writes) and checks the reader on that export too.
set -euo pipefail
source "$(dirname "$0")/common.sh"
make_scratch

FIXTURES="$RC_SOURCE_DIR/tests/data/exports"
EXPORT_DUMP="$RC_NATIVE_DIR/tests/tools/export_dump"
PROBE="$PROBES/registry_dump.exe"
[ -x "$EXPORT_DUMP" ] || fail "build the export_dump tool first"
[ -f "$PROBE" ] || fail "build the registry_dump probe first"

# Wine keeps subkeys sorted lower-cased, Windows upper-cased: for these fixtures only the
# listing's order is left out of the comparison (the unit tests pin Windows' order).
ORDER_DIFFERS=" sort_order "
# Wine's regedit /E writes a REG_DWORD whose data is not 4 bytes long as dword: with 4
# (Windows writes hex(4):), so these values are left out when reading its export back.
WINE_EXPORT_QUIRKS='^value Short '
# A name no fixture uses, so that every dump also shows a missing value.
ABSENT_VALUE="NoSuchValue"

# regedit refuses UTF-8 with a byte-order mark: Wine imports the same text as UTF-16LE.
importable() {
    local fixture=$1 name=$2
    if [ "$(head -c 3 "$fixture" | od -An -tx1 | tr -d ' ')" = "efbbbf" ]; then
        { printf '\xff\xfe'; tail -c +4 "$fixture" | iconv -f UTF-8 -t UTF-16LE; } \
            >"$SCRATCH/$name.import.reg"
        echo "$SCRATCH/$name.import.reg"
    else
        echo "$fixture"
    fi
}

# Leaves the listing's order out: sorted lines, without the listing index.
unordered() { sed -E 's/^enum32 [0-9]+ /enum32 /' "$1" | sort; }

compare_dumps() {
    local name=$1 expected=$2 actual=$3
    if [[ "$ORDER_DIFFERS" == *" $name "* ]]; then
        unordered "$expected" >"$expected.unordered"
        unordered "$actual" >"$actual.unordered"
        expected="$expected.unordered" actual="$actual.unordered"
    fi
    diff -u "$expected" "$actual" >&2 || fail "$name: the reader differs from Wine's registry"
}

failures=0
for fixture in "$FIXTURES"/*.reg; do
    name=$(basename "$fixture" .reg)
    registry_clear
    wine_run regedit /S "$(win_path "$(importable "$fixture" "$name")")" \
        >"$SCRATCH/$name.import.log" 2>&1

    "$EXPORT_DUMP" "$fixture" /dev/null >"$SCRATCH/$name.root" 2>/dev/null ||
        fail "$name: the reader cannot load it"
    root=$(head -n 1 "$SCRATCH/$name.root" | sed 's/^root //')
    view=()
    key="HKEY_LOCAL_MACHINE\\${root/SOFTWARE\\/SOFTWARE\\WOW6432Node\\}"
    if ! reg_text "$fixture" | grep -qi 'WOW6432Node'; then
        view=(--view64)
        key="HKEY_LOCAL_MACHINE\\$root"
    fi

    wine_run "$PROBE" "${view[@]}" --names "$root" | tr -d '\r' >"$SCRATCH/$name.names"
    echo "$ABSENT_VALUE" >>"$SCRATCH/$name.names"
    names=$(win_path "$SCRATCH/$name.names")
    wine_run "$PROBE" "${view[@]}" "$root" "$names" | tr -d '\r' >"$SCRATCH/$name.wine"
    grep -q '^set ' "$SCRATCH/$name.wine" || fail "$name: Wine imported no set"

    "$EXPORT_DUMP" "$fixture" "$SCRATCH/$name.names" >"$SCRATCH/$name.reader" 2>/dev/null
    compare_dumps "$name" "$SCRATCH/$name.wine" "$SCRATCH/$name.reader"

    wine_run regedit /E "$(win_path "$SCRATCH/$name.back.reg")" "$key"
    "$EXPORT_DUMP" "$SCRATCH/$name.back.reg" "$SCRATCH/$name.names" >"$SCRATCH/$name.back" \
        2>"$SCRATCH/$name.back.warnings"
    [ ! -s "$SCRATCH/$name.back.warnings" ] || fail "$name: warnings on regedit's own export"
    grep -Ev "$WINE_EXPORT_QUIRKS" "$SCRATCH/$name.wine" >"$SCRATCH/$name.wine.back"
    grep -Ev "$WINE_EXPORT_QUIRKS" "$SCRATCH/$name.back" >"$SCRATCH/$name.back.kept"
    compare_dumps "$name" "$SCRATCH/$name.wine.back" "$SCRATCH/$name.back.kept"
    echo "$name: the reader agrees with Wine's registry, on the fixture and on regedit /E"
done
registry_clear
