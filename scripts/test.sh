#!/usr/bin/env bash
# The test command: installs what is missing, builds the three presets, runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh test
for preset in mingw32 mingw64 native; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
done
ctest --preset native
