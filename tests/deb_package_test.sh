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
    [ -z "${terminal:-}" ] || "${terminal[@]}" kill-server 2>/dev/null
    [ -z "${terminal_dir:-}" ] || rm -rf "$terminal_dir"
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

# Completion, in a real interactive bash in a terminal (tmux): options, --output=DIR,
# --codepage=NAME, and after -s the set names of the export on the line, each offered as it is
# and quoted for the shell, whatever the names and the line hold: names that look like commands
# and a command typed on the line never run (MARK is never made), a name that looks like a
# pattern stays one.
completion="$root/usr/share/bash-completion/completions/rcpconv"
[ -f "$completion" ] || fail "no bash completion"
command -v tmux >/dev/null || fail "no tmux: scripts/install-deps.sh test installs it"
work="$SCRATCH/completion"
mkdir -p "$work/Recipes" && touch "$work/x1" || fail "cannot make $work"
names=('$(touch MARK)' '`touch MARK`' "a'b" 'x[1]' 'Ø50 mm')
{
    printf 'REGEDIT4\n'
    for name in "${names[@]}"; do
        printf '\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorix\\Layrscan\\Settings\\%s]\n' "$name"
        printf '"Electrolyte"="KOH"\n'
    done
} | iconv -f UTF-8 -t CP1252 >"$work/names.reg" || fail "cannot write names.reg"
printf 'PS1=%q\nsource /usr/share/bash-completion/bash_completion\nsource %q\n' \
    'READY$ ' "$completion" >"$work/bashrc"
export LC_ALL=C.UTF-8
# The terminal's server and its socket are this test's own, gone when it ends.
terminal_dir=$(mktemp -d) || fail "mktemp"
terminal=(env TMUX_TMPDIR="$terminal_dir" tmux -L completion -f /dev/null)
trap '"${terminal[@]}" kill-server 2>/dev/null; rm -rf "$SCRATCH" "$terminal_dir"' EXIT
"${terminal[@]}" new-session -d -s shell -x 200 -y 50 -c "$work" \
    env -i HOME="$work" PATH="$root/usr/bin:/usr/bin:/bin" TERM=screen LC_ALL=C.UTF-8 \
    bash --noprofile --rcfile "$work/bashrc" -i || fail "tmux cannot start a terminal"
screen_text() { "${terminal[@]}" capture-pane -p -t shell; }
shows() { screen_text | grep -qF -- "$1"; }
blank() { [ "$(screen_text | sed '/^$/d')" = 'READY$' ]; }
# waits_for COMMAND...: runs COMMAND until it succeeds, for at most a minute; fails after that.
waits_for() {
    local deadline=$((SECONDS + 60))
    until "$@"; do
        ((SECONDS < deadline)) || return 1
        sleep 0.1
    done
}
waits_for shows 'READY$' || fail "bash did not start in the terminal: $(screen_text)"
case_number=0
# type_line TEXT [KEYS...]: on a clear screen and an empty line, TEXT typed and KEYS pressed.
type_line() {
    case_number=$((case_number + 1))
    "${terminal[@]}" send-keys -t shell C-u clear Enter
    waits_for blank || fail "the terminal was not cleared: $(screen_text)"
    "${terminal[@]}" send-keys -t shell -l "$1"
    shift
    [ $# -eq 0 ] || "${terminal[@]}" send-keys -t shell "$@"
}
# finish_line: ends the line with a command whose output shows that bash has done all before.
finish_line() {
    "${terminal[@]}" send-keys -t shell -l " ; echo END $case_number | tr A-Z a-z"
    "${terminal[@]}" send-keys -t shell Enter
    waits_for shows "end $case_number" || fail "the line did not run: $(screen_text)"
}

# Every name is offered, and nothing else (not the file x1 that x[1] would match as a pattern).
type_line 'rcpconv names.reg -s ' Tab Tab
for name in "${names[@]}"; do
    printf -v quoted '%q' "$name"
    waits_for shows "$quoted" || fail "-s offers no $name: $(screen_text)"
done
screen_text | grep -qw x1 && fail "-s offers the file x1: $(screen_text)"
# Each name completed from what is typed, in or out of quotes, reaches rcpconv as it is.
check_name() {
    type_line "$1" Tab
    finish_line
    screen_text | grep -qxF "; $2.rcp" || fail "\"$1\" did not complete to $2: $(screen_text)"
}
check_name "rcpconv --stdout names.reg -s '\$" '$(touch MARK)'
check_name 'rcpconv --stdout names.reg -s \`' '`touch MARK`'
check_name 'rcpconv --stdout names.reg -s a' "a'b"
check_name 'rcpconv --stdout names.reg -s "a' "a'b"
check_name 'rcpconv --stdout names.reg -s x' 'x[1]'
check_name "rcpconv --stdout names.reg -s 'Ø" 'Ø50 mm'
check_name 'rcpconv --codepage=Windows-1252 --output=Recipes names.reg --stdout -s Ø' 'Ø50 mm'
# A command substitution typed on the line is a file name to the completion, never run.
type_line 'rcpconv "$(touch MARK)" names.reg -s a' Tab
"${terminal[@]}" send-keys -t shell C-u
"${terminal[@]}" send-keys -t shell -l true
finish_line
[ ! -e "$work/MARK" ] || fail "the completion ran a command"
# Options and option values.
type_line 'rcpconv --dry' Tab
waits_for shows 'READY$ rcpconv --dry-run' || fail "--dry completes to: $(screen_text)"
type_line 'rcpconv --output=Rec' Tab
waits_for shows 'READY$ rcpconv --output=Recipes/' || fail "--output=Rec completes to: $(screen_text)"
type_line 'rcpconv --codepage=Windows-125' Tab Tab
waits_for shows 'Windows-1258' || fail "--codepage=Windows-125 offers: $(screen_text)"
echo "PASS"
