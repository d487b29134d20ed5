#!/usr/bin/env bash
# Recipes that already exist: rcpconv.exe under Wine (one WritePrivateProfileStringA per entry)
# and the native rcpconv (the portable writer) convert the sample over the same starting
# recipes and must leave byte-identical files; recipes they cannot write are reported alike.
# Their previews (--dry-run --diff) agree too, and give what the Windows writer writes.
#
# The starting recipes (tests/data/recipe_update) are in the form Wine writes, since Wine
# re-writes a whole file on every change and agrees with Windows only on such files.
#
# Where a write fails, each side gives its own system's reason and names the path in its own
# form, so those lines are compared up to the reason: a recipe path that is a directory is
# "error 5: Access denied" from WritePrivateProfileStringA on Windows and "cannot read ...: Is
# a directory" on Linux; an output directory under a plain file is "No such file or
# directory" from the Windows C runtime and "Not a directory" on Linux.
set -uo pipefail
source "$(dirname "$0")/rcpconv_common.sh"
make_scratch
cd "$SCRATCH" || fail "no scratch directory"

SAMPLE="$RC_SOURCE_DIR/examples/qz7165-settings.reg"
STARTING="$RC_SOURCE_DIR/tests/data/recipe_update"
# Long ago: a recipe either writer re-wrote would get the time of the run.
OLD_TIME=200101010000
UNCHANGED="InP S-doped Ø50mm.rcp"

# both_sides TAG OUT ARGS...: runs each side on the sample (given by name) into win/OUT and
# native/OUT.
both_sides() {
    local tag=$1 out=$2
    shift 2
    run_side win "$tag" qz7165-settings.reg -o "$(win_path "$SCRATCH/win/$out")" "$@"
    run_side native "$tag" qz7165-settings.reg -o "$SCRATCH/native/$out" "$@"
}

# same_outcome_but_reasons TAG: same_outcome, with the reason of each failure cut off.
same_outcome_but_reasons() {
    local side
    for side in win native; do
        sed -i 's/\( not converted: \|^rcpconv: cannot create the directory OUT: \).*/\1REASON/' \
            "$SCRATCH/$1.$side.err"
    done
    same_outcome "$1"
}

# Every convertible set of the sample over its starting recipe; one recipe already holds what
# the conversion writes, and neither writer may touch it.
cp "$SAMPLE" .
no_leading_blanks "$SAMPLE"
mkdir -p win/recipes native/recipes
cp "$STARTING"/*.rcp win/recipes/
cp "$STARTING"/*.rcp native/recipes/
touch -t "$OLD_TIME" reference {win,native}/recipes/"$UNCHANGED"
both_sides update recipes
same_outcome update
expect_outcome update native 1 "rcpconv: \"Si 1:2\" not converted: its name holds ':', which Windows does not allow in a file name
rcpconv: 6 recipes written to OUT, 1 already up to date, 1 set not converted"
same_recipes win/recipes native/recipes
for side in win native; do
    [ -z "$(find "$side/recipes/$UNCHANGED" -newer reference)" ] ||
        fail "$side: a recipe that needed no change was re-written"
    ! cmp -s "$side/recipes/old GaAs test.rcp" "$STARTING/old GaAs test.rcp" ||
        fail "$side: a recipe that needed changes stayed as it was"
done
echo "update: rcpconv.exe and rcpconv edit existing recipes alike"

# The preview on Windows is worked out by the portable editor, not by the profile-string
# service: over the same starting recipes rcpconv.exe --dry-run --diff touches nothing, says
# what the native preview says, prints the same diff, and that diff, applied with GNU patch to
# the starting recipes, gives what rcpconv.exe wrote above. (Every recipe that changes has an
# ASCII name, so the Windows-1252 names in the diff are the Linux ones.)
for copy in starting win/preview native/preview patched; do
    mkdir -p "$copy"
    cp "$STARTING"/*.rcp "$copy"/
done
both_sides preview preview --dry-run --diff
for part in exit err; do
    diff -u "$SCRATCH/preview.native.$part" "$SCRATCH/preview.win.$part" >&2 ||
        fail "preview: rcpconv.exe and rcpconv differ ($part)"
done
expect_outcome preview native 1 'rcpconv: would update "AlGaAs HEMT.rcp" (4 entries change)
rcpconv: would update "GaAs n+ 1e18.rcp" (2 entries change)
rcpconv: would update "GaAs p Zn.rcp" (3 entries change)
rcpconv: would update "InGaAs on InP.rcp" (14 entries change)
rcpconv: would leave "InP S-doped Ø50mm.rcp" unchanged
rcpconv: would update "old GaAs test.rcp" (9 entries change)
rcpconv: would update "Si (100) boron.rcp" (11 entries change)
rcpconv: "Si 1:2" not converted: its name holds '"':'"', which Windows does not allow in a file name
rcpconv: would create 0 recipes, update 6 and leave 1 unchanged in OUT, 1 set not converted'
cmp "$SCRATCH/preview.native.raw.out" "$SCRATCH/preview.win.raw.out" ||
    fail "preview: the diff of rcpconv.exe differs from that of rcpconv"
same_recipes starting win/preview
same_recipes starting native/preview
(cd patched && patch -p1 --binary --no-backup-if-mismatch --quiet) \
    <"$SCRATCH/preview.win.raw.out" || fail "preview: patch refused the diff of rcpconv.exe"
same_recipes patched win/recipes
echo "preview: rcpconv.exe's diff gives what rcpconv.exe writes"

# A recipe path that is a directory: that set is not converted, the next one is.
mkdir -p {win,native}/dir-recipe/"GaAs p Zn.rcp"
both_sides dir-recipe dir-recipe -s "GaAs p Zn" -s "AlGaAs HEMT"
same_outcome_but_reasons dir-recipe
expect_outcome dir-recipe native 1 'rcpconv: "GaAs p Zn" not converted: REASON
rcpconv: 1 recipe written to OUT, 1 set not converted'
same_recipes win/dir-recipe native/dir-recipe
[ -d "win/dir-recipe/GaAs p Zn.rcp" ] || fail "the directory in a recipe's place is gone"

# An output directory that is a plain file, or lies under one: nothing is converted.
touch {win,native}/plain
both_sides output-plain plain
same_outcome output-plain
expect_outcome output-plain native 1 'rcpconv: cannot create the directory OUT: File exists'
both_sides output-under-plain plain/sub
same_outcome_but_reasons output-under-plain
expect_outcome output-under-plain native 1 'rcpconv: cannot create the directory OUT: REASON'
[ ! -s win/plain ] && [ ! -s native/plain ] || fail "the plain file was written to"
echo "PASS"
