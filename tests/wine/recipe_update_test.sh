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
#
# On Windows the profile-string service is not trusted to finish what it says it did: a recipe
# locked by another program, or on a full disk (a small tmpfs, mounted as root), keeps its old
# bytes or, when it is new, is not left behind half written.
set -uo pipefail
source "$(dirname "$0")/rcpconv_common.sh"
FULL_DISK=
# Unmounts the full disk when a case mounted it.
unmount_full_disk() {
    [ -z "$FULL_DISK" ] || ! mountpoint -q "$FULL_DISK" || umount "$FULL_DISK"
}
make_scratch unmount_full_disk
cd "$SCRATCH" || fail "no scratch directory"
LOCKER="$PROBES/file_lock.exe"
[ -f "$LOCKER" ] || fail "no $LOCKER: build the mingw64 preset"

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

# no_backups DIR: no backup of a recipe (NAME.rc~) is left in DIR.
no_backups() {
    [ -z "$(find "$1" -name '*.rc~')" ] || fail "backups left in $1: $(find "$1" -name '*.rc~')"
}

# The system's words after "error N: ", which are Wine's own, in the Windows side's stderr.
mask_system_words() { sed -i -E 's/(error [0-9]+: )[^;]*/\1SYSTEM/' "$SCRATCH/$1.win.err"; }

# A recipe another program holds open: without sharing it cannot be read for its backup, and
# with readers only it cannot be written; either way it keeps its bytes, no backup is left, and
# the next set is converted. SHARE is the locker's sharing, REASON the reason given.
locked_case() {
    local share=$1 reason=$2 dir="win/locked-$1" locked="GaAs p Zn.rcp" pid
    mkdir -p "$dir"
    cp "$STARTING"/*.rcp "$dir"/
    wine_run "$LOCKER" "$(win_path "$SCRATCH/$dir/$locked")" "$share" \
        "$(win_path "$SCRATCH/release-$share")" >"locker-$share.out" 2>&1 &
    pid=$!
    wait_for "the recipe locked ($share)" grep -q '^locked' "locker-$share.out"
    run_side win "locked-$share" qz7165-settings.reg -o "$(win_path "$SCRATCH/$dir")" \
        -s "GaAs p Zn" -s "AlGaAs HEMT"
    touch "release-$share"
    wait "$pid" || fail "the locker ($share) failed: $(cat "locker-$share.out")"
    mask_system_words "locked-$share"
    expect_outcome "locked-$share" win 1 "rcpconv: \"GaAs p Zn\" not converted: $reason
rcpconv: 1 recipe written to OUT, 1 set not converted"
    cmp "$dir/$locked" "$STARTING/$locked" || fail "$share: the locked recipe changed"
    cmp "$dir/AlGaAs HEMT.rcp" "win/recipes/AlGaAs HEMT.rcp" || fail "$share: the next set"
    no_backups "$dir"
}
locked="OUT\\GaAs p Zn.rcp"
locked_case none "cannot back up $locked before changing it: error 32: SYSTEM"
locked_case read "cannot write [GENERAL] Material to $locked: error 32: SYSTEM; the recipe keeps its old text"
echo "locked: a recipe another program holds keeps its bytes"

# A full disk: a tmpfs of a few pages. Wine's WritePrivateProfileStringA then reports success
# while it leaves a new recipe empty and cuts a rewritten one at a page.
PAGE=4096
# free_bytes DIR: the bytes the file system of DIR has free.
free_bytes() { echo $(($(stat -f -c '%a * %S' "$1"))); }
# fill_leaving DIR BYTES: a filler file that leaves BYTES free in DIR's file system.
fill_leaving() {
    head -c $(($(free_bytes "$1") - $2)) /dev/zero >"$1/filler" || fail "cannot fill $1"
    [ "$(free_bytes "$1")" = "$2" ] || fail "$1 has $(free_bytes "$1") bytes free, not $2"
}
FULL_DISK="$SCRATCH/full"
mkdir -p "$FULL_DISK"
if ! mount -t tmpfs -o size=64k tmpfs "$FULL_DISK" 2>"mount.err"; then
    FULL_DISK=
    echo "SKIP (full disk): cannot mount a tmpfs here (it needs root): $(cat mount.err)"
    echo "PASS"
    exit 0
fi

# A recipe of two pages that its conversion makes longer than two: there is room for its
# backup and none for the longer text. It must keep its bytes, with no backup left.
grown="InGaAs on InP.rcp"
cp "$STARTING/$grown" grown.rcp
printf '[NOTES]\r\n' >>grown.rcp
while (($(stat -c %s grown.rcp) < 2 * PAGE - 100)); do
    printf 'Note=kept by the lab, whatever the converter writes\r\n' >>grown.rcp
done
mkdir -p native/grown
cp grown.rcp "native/grown/$grown"
run_side native grown qz7165-settings.reg -o "$SCRATCH/native/grown" -s "InGaAs on InP"
(($(stat -c %s "native/grown/$grown") > 2 * PAGE)) || fail "the grown recipe does not grow past two pages"
mkdir "$FULL_DISK/recipes"
cp grown.rcp "$FULL_DISK/recipes/$grown"
fill_leaving "$FULL_DISK" $((2 * PAGE))
run_side win full-grown qz7165-settings.reg -o "$(win_path "$FULL_DISK/recipes")" -s "InGaAs on InP"
grep -qx 'rcpconv: "InGaAs on InP" not converted: OUT\\InGaAs on InP.rcp was not written whole (is the disk full?): .*; the recipe keeps its old text' \
    full-grown.win.err || fail "full disk: the cut recipe was not reported:
$(cat full-grown.win.err)"
[ "$(cat full-grown.win.exit)" = 1 ] || fail "full disk: exit code $(cat full-grown.win.exit)"
cmp grown.rcp "$FULL_DISK/recipes/$grown" || fail "full disk: the recipe lost its bytes"
no_backups "$FULL_DISK"

# No room at all: every new recipe would stay empty; none is left behind.
rm -r "$FULL_DISK/recipes" "$FULL_DISK/filler"
mkdir "$FULL_DISK/new"
fill_leaving "$FULL_DISK" 0
run_side win full-new qz7165-settings.reg -o "$(win_path "$FULL_DISK/new")"
[ "$(grep -c 'was not written whole (is the disk full?): .*; the unfinished recipe was removed$' \
    full-new.win.err)" = 7 ] || fail "full disk: the empty recipes were not reported:
$(cat full-new.win.err)"
[ -z "$(ls -A "$FULL_DISK/new")" ] || fail "full disk: left behind: $(ls -A "$FULL_DISK/new")"

# Room again: the same run gives what rcpconv gives.
rm "$FULL_DISK/filler"
run_side win room qz7165-settings.reg -o "$(win_path "$FULL_DISK/new")"
run_side native room qz7165-settings.reg -o "$SCRATCH/native/room"
same_outcome room
same_recipes "$FULL_DISK/new" native/room
echo "full disk: no recipe is left empty or cut short"
echo "PASS"
