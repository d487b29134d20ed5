#!/usr/bin/env bash
# Compares the portable INI writer with Wine's WritePrivateProfileStringA byte for byte.
#
# Each case starts from a file in the form Wine itself writes (CR LF line ends, no blank lines,
# no blanks around '=' or inside brackets), since Wine re-writes the whole file on every change
# and so agrees with Windows only on such files; how other files are kept is checked against
# golden files by ini_edit_test. Wine also drops leading blanks of the values it writes, which
# Windows keeps: no value below starts with a blank.
set -euo pipefail
source "$(dirname "$0")/common.sh"

REFERENCE="$PROBES/ini_reference.exe"
PORTABLE="$RC_NATIVE_DIR/tests/tools/ini_apply"
[ -f "$REFERENCE" ] || fail "missing $REFERENCE (build the mingw64 tree)"
[ -x "$PORTABLE" ] || fail "missing $PORTABLE (build the native tree)"
make_scratch

CR=$'\r'
FAILURES=0

# Appends one write, "section<TAB>key<TAB>text", to the script file $1.
write() { printf '%s\t%s\t%s\n' "$2" "$3" "$4" >>"$1"; }

# The 35 entries of a set that has every value, in conversion order; $2 varies some values.
full_recipe() {
    local script=$1 variant=${2:-0}
    write "$script" GENERAL Material "GaAs +.30$variant AlAs"
    write "$script" GENERAL Electrolyte "Tiron 0.1M"
    write "$script" GENERAL Amplitude "25$variant"
    write "$script" GENERAL F1ix "7"
    write "$script" GENERAL "I-Meas Limit" "0.5"
    write "$script" GENERAL dV "0.01"
    write "$script" GENERAL Model "3"
    write "$script" IV AutoSave "1"
    write "$script" CV AutoSave "$variant"
    write "$script" DP AutoSave "1"
    write "$script" ETCH AutoSave "0"
    write "$script" IV I-Range "-1e-6 1e-3"
    write "$script" IV V-Range "-2 2"
    write "$script" CV V-Range "-3 0.$variant"
    write "$script" CV C-max "100"
    write "$script" CV Show "1"
    write "$script" DP V-Range "-1 1"
    write "$script" DP N-Range "14 20"
    write "$script" DP X-Scale "5"
    write "$script" DP Reverse "0"
    write "$script" ETCH N-range "1$variant 21"
    write "$script" ETCH W-end "3.5"
    write "$script" ETCH V-Meas "-0.8"
    write "$script" ETCH "End At Wr" "1"
    write "$script" ETCH "Use EA Comp" "1"
    write "$script" ETCH AreaIllum "1"
    write "$script" ETCH "Auto Settle" "0"
    write "$script" ETCH "Settle Delay" "30"
    write "$script" ETCH "Settle Delta" "0.002"
    write "$script" ETCH Resolution "10"
    write "$script" ETCH "Lamp Intensity" "75"
    write "$script" ETCH V-Etch "0.6"
    write "$script" ETCH "Etch Control Mode" "2"
    write "$script" ETCH "V-Etch Max" "1.2"
    write "$script" ETCH I-Etch "0.0$variant"
}

# Runs one case: the starting file $2 ("none" for no file), the script $3, the target directory
# (made unless $4 is "nodir"). Both writers must agree on success, on whether a file exists and
# on every byte of it.
compare() {
    local name=$1 start=$2 script=$3 dirMode=${4:-dir}
    local dir="$SCRATCH/$name"
    mkdir -p "$dir/wine" "$dir/portable"
    local wineFile="$dir/wine/r.rcp" portableFile="$dir/portable/r.rcp"
    if [ "$dirMode" = nodir ]; then
        wineFile="$dir/wine/missing/r.rcp"
        portableFile="$dir/portable/missing/r.rcp"
    fi
    if [ "$start" != none ]; then
        cp "$start" "$wineFile"
        cp "$start" "$portableFile"
    fi
    local wineStatus=0 portableStatus=0
    wine_run "$REFERENCE" "$(win_path "$script")" "$(win_path "$wineFile")" \
        2>"$dir/wine.err" || wineStatus=$?
    "$PORTABLE" "$script" "$portableFile" 2>"$dir/portable.err" || portableStatus=$?
    local problem=""
    if [ "$wineStatus" != "$portableStatus" ]; then
        problem="exit codes differ: Wine $wineStatus, portable $portableStatus"
    elif [ -e "$wineFile" ] && [ ! -e "$portableFile" ]; then
        problem="Wine wrote a file, the portable writer none"
    elif [ ! -e "$wineFile" ] && [ -e "$portableFile" ]; then
        problem="the portable writer wrote a file, Wine none"
    elif [ -e "$wineFile" ] && ! cmp -s "$wineFile" "$portableFile"; then
        problem="files differ"$'\n'"$(diff <(od -c "$wineFile") <(od -c "$portableFile") || true)"
    fi
    if [ -n "$problem" ]; then
        echo "FAIL $name: $problem" >&2
        echo "  ini_reference.exe said: $(cat "$dir/wine.err")" >&2
        echo "  ini_apply said: $(cat "$dir/portable.err")" >&2
        FAILURES=$((FAILURES + 1))
    else
        echo "ok   $name"
    fi
}

S="$SCRATCH/scripts"
F="$SCRATCH/start"
mkdir -p "$S" "$F"

full_recipe "$S/full"
full_recipe "$S/changed" 5
: >"$S/nothing"
write "$S/few" GENERAL Material "InP"
write "$S/few" ETCH V-Etch "0.7"
write "$S/few" IV AutoSave "0"

# Starting files, each as Wine writes it.
: >"$F/empty"
printf '[GENERAL]\r\nMaterial=InP\r\n' >"$F/one-entry"
printf '[GENERAL]\r\nMaterial=InP\r\nOperator=kim\r\n[NOTES]\r\nLine1=etched twice\r\n[ETCH]\r\nV-Etch=0.5\r\nCustom=7\r\n[Z]\r\nx=1\r\n' \
    >"$F/extra"
printf '[general]\r\nmaterial=InP\r\nMODEL=1\r\n[Etch]\r\nn-RANGE=1 2\r\nend at wr=0\r\n[iv]\r\nautosave=1\r\n' \
    >"$F/case"
printf '[ETCH]\r\nV-Etch=0.5\r\n[GENERAL]\r\nModel=2\r\n' >"$F/reordered"
printf '[GENERAL]\r\nMaterial=InP\r\n[general]\r\nMaterial=GaN\r\nModel=9\r\n' >"$F/duplicate"
printf '[GENERAL]\r\nModel\r\nMaterial=\r\n' >"$F/no-value"
printf ';made by hand\r\nloose=1\r\n[GENERAL]\r\nModel=1\r\n' >"$F/before-sections"
printf '[GENERAL]\r\nModel=1' >"$F/no-final-break"
printf '\xef\xbb\xbf[GENERAL]\r\nMaterial=InP\r\n' >"$F/utf8"
printf 'GENERAL\tMaterial\tGa\xb5As \x80 \x81 \xe9\n' >"$S/ansi"

compare new-full none "$S/full"
compare new-nothing none "$S/nothing"
compare new-few none "$S/few"
compare empty-full "$F/empty" "$S/full"
compare empty-nothing "$F/empty" "$S/nothing"
compare one-entry-full "$F/one-entry" "$S/full"
compare extra-full "$F/extra" "$S/full"
compare extra-few "$F/extra" "$S/few"
compare case-full "$F/case" "$S/full"
compare reordered-full "$F/reordered" "$S/full"
compare duplicate-full "$F/duplicate" "$S/full"
compare no-value-full "$F/no-value" "$S/full"
compare before-sections-full "$F/before-sections" "$S/full"
compare no-final-break-few "$F/no-final-break" "$S/few"
compare utf8-ansi-text "$F/utf8" "$S/ansi"
compare new-ansi-text none "$S/ansi"
compare missing-directory none "$S/full" nodir

# Recipes this tool wrote (taken from Wine's own output above), converted again: unchanged,
# with changed values, and with two sets written one after the other (more than one batch).
cp "$SCRATCH/new-full/wine/r.rcp" "$F/written"
compare written-same "$F/written" "$S/full"
compare written-changed "$F/written" "$S/changed"
compare written-few "$F/written" "$S/few"
cat "$S/changed" "$S/few" "$S/full" >"$S/three-sets"
compare written-three-sets "$F/written" "$S/three-sets"
cp "$SCRATCH/case-full/wine/r.rcp" "$F/case-written"
compare case-written-changed "$F/case-written" "$S/changed"

[ "$FAILURES" -eq 0 ] || fail "$FAILURES case(s) differ from Wine"
echo "all cases agree with Wine"
