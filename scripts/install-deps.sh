#!/usr/bin/env bash
# Installs what a job needs on Debian 12, only when something is missing.
#
#   scripts/install-deps.sh build   what building rcpconv needs (the main job)
#   scripts/install-deps.sh test    everything the tests need: the Windows cross compilers, Wine,
#                                   the display, the package checks (the test command)
set -euo pipefail

build_packages=(cmake make g++ libcli11-dev libhivex-dev libdtl-dev)
test_packages=(
    "${build_packages[@]}" clang-format
    libgtest-dev libgmock-dev libbenchmark-dev
    g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
    wine64 xvfb x11-utils xdotool imagemagick unzip locales
    libhivex-bin libwin-hivex-perl patch strace e2fsprogs
    dpkg-dev lintian man-db bash-completion tmux cmark-gfm
)

case "${1:-}" in
    build) packages=("${build_packages[@]}") ;;
    test) packages=("${test_packages[@]}") ;;
    *)
        echo "usage: $0 build|test" >&2
        exit 2
        ;;
esac

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi
echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
