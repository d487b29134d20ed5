#!/usr/bin/env bash
# Copies the pictures the GUI tests made (build/native/screenshots) over those of the user
# guide in docs/. Run the Wine tests first: scripts/test.sh, or ctest --preset native -L wine.
set -euo pipefail
cd "$(dirname "$0")/.."
made=build/native/screenshots
shopt -s nullglob
pictures=("$made"/*.png)
if [ ${#pictures[@]} -eq 0 ]; then
    echo "no pictures in $made: run the Wine tests first (ctest --preset native -L wine)" >&2
    exit 1
fi
for picture in "${pictures[@]}"; do
    if ! cmp -s "$picture" "docs/$(basename "$picture")"; then
        cp "$picture" docs/
        echo "refreshed docs/$(basename "$picture")"
    fi
done
# A picture the tests no longer make is gone from the guide too.
for old in docs/*.png; do
    [ -f "$made/$(basename "$old")" ] || { git rm -q "$old" 2>/dev/null || rm "$old"; echo "removed $old"; }
done
