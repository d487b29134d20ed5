#!/usr/bin/env bash
# Stops the Wine server and the Xvfb display of the Wine tests and removes the prefix.
set -uo pipefail
source "$(dirname "$0")/common.sh"
"$WINESERVER" -k 2>/dev/null
if [ -f "$RC_WINE_STATE/xvfb.pid" ]; then
    kill "$(cat "$RC_WINE_STATE/xvfb.pid")" 2>/dev/null
fi
rm -rf "$WINEPREFIX"
exit 0
