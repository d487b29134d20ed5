#!/usr/bin/env bash
# Checks that Codepage writes every character of the basic plane as Windows'
# WideCharToMultiByte does (exact, best-fit or '?'), for the code pages it is used with.
set -euo pipefail
source "$(dirname "$0")/common.sh"
make_scratch

NATIVE_DUMP="$RC_NATIVE_DIR/tests/tools/codepage_dump"
[ -x "$NATIVE_DUMP" ] || fail "build the codepage_dump tool first"
[ -f "$PROBES/codepage_dump.exe" ] || fail "build the codepage_dump probe first"

for codepage in 1252; do
    wine_run "$PROBES/codepage_dump.exe" "$codepage" | tr -d '\r' >"$SCRATCH/windows-$codepage.txt"
    "$NATIVE_DUMP" "$codepage" >"$SCRATCH/ours-$codepage.txt"
    [ -s "$SCRATCH/windows-$codepage.txt" ] || fail "the probe printed nothing"
    diff -u "$SCRATCH/windows-$codepage.txt" "$SCRATCH/ours-$codepage.txt" | head -40 >&2 ||
        true
    cmp -s "$SCRATCH/windows-$codepage.txt" "$SCRATCH/ours-$codepage.txt" ||
        fail "code page $codepage converts differently from WideCharToMultiByte"
done
echo "code page conversion agrees with WideCharToMultiByte"
