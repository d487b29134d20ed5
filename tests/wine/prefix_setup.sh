#!/usr/bin/env bash
# Makes a fresh private Wine prefix and starts an Xvfb display for the Wine tests.
set -euo pipefail
source "$(dirname "$0")/common.sh"

stop_fixture_processes
rm -rf "$RC_WINE_STATE"
mkdir -p "$RC_WINE_STATE"

# Xvfb picks a free display itself and writes its number once it takes connections: test runs
# of other checkouts on this machine never get the same one, and nobody guesses when it is up.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$RC_WINE_STATE/display-number" \
    </dev/null >"$RC_WINE_STATE/xvfb.log" 2>&1 &
echo $! >"$RC_WINE_STATE/xvfb.pid"
xvfb_ready() {
    grep -qx '[0-9][0-9]*' "$RC_WINE_STATE/display-number" && return 0
    kill -0 "$(cat "$RC_WINE_STATE/xvfb.pid")" || cat "$RC_WINE_STATE/xvfb.log"
    return 1
}
wait_for "Xvfb takes connections" xvfb_ready
echo ":$(cat "$RC_WINE_STATE/display-number")" >"$RC_WINE_STATE/display"
DISPLAY=$(cat "$RC_WINE_STATE/display")
export DISPLAY

# Boot the prefix with its output detached (Wine's services would hold ctest's pipe open).
"$WINE" wineboot </dev/null >"$RC_WINE_STATE/wineboot.log" 2>&1
"$WINESERVER" -w
# One server from here to the cleanup, which stops it: a server that ends after some idle
# time is replaced, when a test next runs a program, by a new one that boots the prefix again
# (wineboot --init, its services) under that test, and kills what still runs as it goes.
"$WINESERVER" -p </dev/null >/dev/null 2>&1
# A crash must end the program, not open a dialog that waits forever; Wine draws captions
# only for windows it does not hand to a window manager, and there is none.
wine_run reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
wine_run reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
# The caption buttons Wine draws are letters of the Marlett font, which Debian ships with Wine
# but does not register: in the prefix's own font folder it is found, and the pictures of the
# user guide show a close box rather than the letter "r".
if [ -f /usr/share/wine/fonts/marlett.ttf ]; then
    cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
fi
echo "Wine prefix ready: $WINEPREFIX on display $DISPLAY"
