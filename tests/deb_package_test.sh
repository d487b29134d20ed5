#!/usr/bin/env bash
# The Debian package as a user gets it: built by cpack, clean for lintian, and working when
# unpacked: the command converts the sample, its manual page renders without a warning, and
# bash completes set names from the export on the command line.
set -uo pipefail
: "${RC_NATIVE_DIR:?run through ctest}" "${RC_SOURCE_DIR:?run through ctest}"
SCRATCH=$(mktemp -d "$RC_NATIVE_DIR/deb-package-XXXXXX")
trap 'rm -rf "$SCRATCH"' EXIT
fail() {
    echo "FAIL: $*" >&2
    trap - EXIT
    echo "(scratch kept in $SCRATCH)" >&2
    exit 1
}

(cd "$SCRATCH" && cpack --config "$RC_NATIVE_DIR/CPackConfig.cmake" -B "$SCRATCH/package" \
    >"$SCRATCH/cpack.log" 2>&1) || fail "cpack: $(cat "$SCRATCH/cpack.log")"
version=$(sed -nE 's/^project\(RecipeConverter VERSION ([0-9.]+).*/\1/p' "$RC_SOURCE_DIR/CMakeLists.txt")
deb=$(ls "$SCRATCH"/package/rcpconv_"$version"_*.deb 2>/dev/null)
[ -f "$deb" ] || fail "no rcpconv_${version}_ARCH.deb: $(ls "$SCRATCH/package")"

# lintian: no error; its warnings are printed for the record.
lintian --tag-display-limit 0 "$deb" >"$SCRATCH/lintian.log" 2>&1
grep -v 'running with root privileges' "$SCRATCH/lintian.log" >&2
! grep -q '^E: ' "$SCRATCH/lintian.log" || fail "lintian reports errors"
dpkg-deb -f "$deb" Depends | grep -q 'libc6' || fail "no computed dependencies"

# Unpacked, the command converts the sample exactly as the built one does.
root="$SCRATCH/root"
dpkg-deb -x "$deb" "$root" || fail "dpkg-deb -x"
sample="$RC_SOURCE_DIR/examples/qz7165-settings.reg"
cmp "$root/usr/share/doc/rcpconv/examples/qz7165-settings.reg" "$sample" || fail "sample differs"
for tool in packaged built; do
    program="$root/usr/bin/rcpconv"
    [ "$tool" = built ] && program="$RC_NATIVE_DIR/cli/rcpconv"
    status=0
    "$program" -o "$SCRATCH/$tool" "$sample" 2>"$SCRATCH/$tool.err" || status=$?
    [ "$status" = 1 ] || fail "$tool rcpconv exit $status: $(cat "$SCRATCH/$tool.err")"
done
diff -r "$SCRATCH/packaged" "$SCRATCH/built" || fail "the packaged rcpconv converts differently"
[ "$(ls "$SCRATCH/packaged" | wc -l)" = 7 ] || fail "recipes: $(ls "$SCRATCH/packaged")"

# The manual page renders without a warning.
manual="$root/usr/share/man/man1/rcpconv.1.gz"
[ -f "$manual" ] || fail "no manual page"
warnings=$(MANWIDTH=80 man --warnings -l "$manual" 2>&1 >/dev/null)
[ -z "$warnings" ] || fail "man warns: $warnings"

# Completion: options, and -s offers the set names of the export already on the line.
completion="$root/usr/share/bash-completion/completions/rcpconv"
[ -f "$completion" ] || fail "no bash completion"
complete_words() {
    PATH="$root/usr/bin:$PATH" bash -c '
        source /usr/share/bash-completion/bash_completion
        source "$1"
        shift
        COMP_WORDS=("$@")
        COMP_CWORD=$(($# - 1))
        COMP_LINE="$*"
        COMP_POINT=${#COMP_LINE}
        _rcpconv rcpconv "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
        printf "%s\n" "${COMPREPLY[@]}"' complete "$completion" "$@"
}
got=$(complete_words rcpconv "$sample" -s 'Si')
[ "$got" = $'Si (100) boron\nSi 1:2' ] || fail "-s Si completes to: $got"
got=$(complete_words rcpconv --dry)
[ "$got" = "--dry-run" ] || fail "--dry completes to: $got"
echo "PASS"
