#!/usr/bin/env bash
# Makes a fresh private Wine prefix and starts an Xvfb display for the Wine tests.
set -euo pipefail
source "$(dirname "$0")/common.sh"

if [ -f "$RC_WINE_STATE/xvfb.pid" ]; then
    kill "$(cat "$RC_WINE_STATE/xvfb.pid")" 2>/dev/null || true
fi
if [ -d "$WINEPREFIX" ]; then
    "$WINESERVER" -k 2>/dev/null || true
fi
rm -rf "$RC_WINE_STATE"
mkdir -p "$RC_WINE_STATE"

# Xvfb on the first free display number from 90 on.
for n in $(seq 90 140); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp </dev/null >"$RC_WINE_STATE/xvfb.log" 2>&1 &
    echo $! >"$RC_WINE_STATE/xvfb.pid"
    echo ":$n" >"$RC_WINE_STATE/display"
    break
done
export DISPLAY=$(cat "$RC_WINE_STATE/display")
for _ in $(seq 1 100); do
    xdpyinfo >/dev/null 2>&1 && break
    sleep 0.1
done
xdpyinfo >/dev/null 2>&1 || fail "Xvfb did not start on $DISPLAY"

# Boot the prefix with its output detached (Wine's services would hold ctest's pipe open),
# then keep one server alive for the whole run.
"$WINE" wineboot </dev/null >"$RC_WINE_STATE/wineboot.log" 2>&1
"$WINESERVER" -w
"$WINESERVER" -p60 </dev/null >/dev/null 2>&1
# A crash must end the program, not open a dialog that waits forever; Wine draws captions
# only for windows it does not hand to a window manager, and there is none.
wine_run reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
wine_run reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
echo "Wine prefix ready: $WINEPREFIX on display $DISPLAY"
