#!/usr/bin/env bash
# Stops the Wine server and the Xvfb display of the Wine tests and removes the prefix.
set -uo pipefail
source "$(dirname "$0")/common.sh"
stop_fixture_processes
rm -rf "$WINEPREFIX"
exit 0
