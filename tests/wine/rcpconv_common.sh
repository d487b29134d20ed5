# Sourced by the tests that hold rcpconv.exe under Wine against the native rcpconv: running
# either one and comparing what the two printed, returned and wrote.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

RCPCONV="$RC_NATIVE_DIR/cli/rcpconv"
RCPCONV_EXE="$RC_WIN64_DIR/cli/rcpconv.exe"
[ -x "$RCPCONV" ] || fail "no $RCPCONV: build the native preset"
[ -f "$RCPCONV_EXE" ] || fail "no $RCPCONV_EXE: build the mingw64 preset"

# run_side SIDE TAG [ARGS...]: runs the native rcpconv (SIDE native) or rcpconv.exe under Wine
# (SIDE win) in the current directory. Keeps $SCRATCH/TAG.SIDE.out, .err and .exit, the two
# streams as Linux text: Windows' CR LF made LF, its ANSI (Windows-1252) names made UTF-8 as
# the native side prints them, and the directory given to -o written as OUT, since each side
# names it in its own form.
run_side() {
    local side=$1 tag=$2 program=$RCPCONV output="" code=0 stream text
    shift 2
    [ "$side" = win ] && program=$RCPCONV_EXE
    local args=("$@") i
    for ((i = 0; i + 1 < ${#args[@]}; ++i)); do
        [ "${args[i]}" = "-o" ] && output=${args[i + 1]}
    done
    local base="$SCRATCH/$tag.$side"
    if [ "$side" = win ]; then
        wine_run "$program" "$@" >"$base.raw.out" 2>"$base.raw.err" || code=$?
    else
        "$program" "$@" </dev/null >"$base.raw.out" 2>"$base.raw.err" || code=$?
    fi
    echo "$code" >"$base.exit"
    for stream in out err; do
        if [ "$side" = win ]; then
            text=$(tr -d '\r' <"$base.raw.$stream" | iconv -f CP1252 -t UTF-8) ||
                fail "$tag: rcpconv.exe wrote no Windows-1252 text"
        else
            text=$(cat "$base.raw.$stream")
        fi
        [ -z "$output" ] || text=${text//"$output"/OUT}
        printf '%s\n' "$text" >"$base.$stream"
    done
}

# same_outcome TAG: both sides gave the same exit code and the same lines on both streams.
same_outcome() {
    local base="$SCRATCH/$1" part
    for part in exit out err; do
        diff -u "$base.native.$part" "$base.win.$part" >&2 ||
            fail "$1: rcpconv.exe ($base.win.$part) differs from rcpconv ($base.native.$part)"
    done
}

# expect_outcome TAG SIDE EXIT STDERR: one side's exit code and stderr lines, exactly.
expect_outcome() {
    local base="$SCRATCH/$1.$2"
    [ "$(cat "$base.exit")" = "$3" ] || fail "$1 ($2): exit code $(cat "$base.exit"), expected $3"
    [ "$(cat "$base.err")" = "$4" ] || fail "$1 ($2): stderr
$(cat "$base.err")
expected:
$4"
}
