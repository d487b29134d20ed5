#!/usr/bin/env bash
# Checks that the source folders are layers: each #include "FOLDER/..." must name a folder the
# including folder is built on. Prints which folder includes which, any circle among them and
# each folder's share of the program's lines; exits 1 when an include breaks the layers or
# folders include each other in a circle.
#
# check-layers.sh [TREE]   (default: the tree this script is in)
set -euo pipefail
tree=${1:-"$(dirname "$0")/.."}
cd "$tree"

# What each folder is built on, from the bottom up; a folder may include these and, through
# them, every folder they are built on. The tests, benchmarks and fuzzers sit on the programs.
layers='
text
registry   text
sets       registry
sources    sets
recipes    text
conversion registry recipes
cli        sources conversion
app        sources conversion
tests      cli app
bench      tests
fuzz       sources conversion
'
# Folders whose lines are not the program's own: left out of the shares.
not_program='tests bench fuzz'

# One record a file, "F<TAB>path<TAB>lines", and one an include, "I<TAB>path<TAB>included".
files=$(find . -path ./build -prune -o -path './.*' -prune -o \
    -type f \( -name '*.h' -o -name '*.cpp' \) -print | sed 's|^\./||' | LC_ALL=C sort)
records() {
    # shellcheck disable=SC2086 # the paths are the tree's own, without blanks
    awk '{ ++lines[FILENAME] }
        /^[ \t]*#[ \t]*include[ \t]*"/ {
            included = $0
            sub(/^[^"]*"/, "", included)
            sub(/".*/, "", included)
            printf "I\t%s\t%s\n", FILENAME, included
        }
        END { for (file in lines) printf "F\t%s\t%d\n", file, lines[file] }' $files
}

records | awk -F'\t' -v layers="$layers" -v not_program="$not_program" '
function top(path) { return index(path, "/") ? substr(path, 1, index(path, "/") - 1) : "." }
BEGIN {
    count = split(layers, rows, "\n")
    for (r = 1; r <= count; ++r) {
        n = split(rows[r], words, " ")
        if (n == 0) continue
        order[++folders] = words[1]
        known[words[1]] = 1
        for (w = 2; w <= n; ++w) base[words[1], words[w]] = 1
    }
    # May use: the closure of "built on".
    for (i = 1; i <= folders; ++i) for (j = 1; j <= folders; ++j)
        uses[order[i], order[j]] = base[order[i], order[j]]
    for (k = 1; k <= folders; ++k) for (i = 1; i <= folders; ++i) for (j = 1; j <= folders; ++j)
        if (uses[order[i], order[k]] && uses[order[k], order[j]]) uses[order[i], order[j]] = 1
    split(not_program, skipped, " ")
    for (s in skipped) outside[skipped[s]] = 1
}
$1 == "F" {
    folder = top($2)
    if (folder == ".") next
    if (!(folder in seen)) { seen[folder] = 1; if (!(folder in known)) order[++folders] = folder }
    lines[folder] += $3
    next
}
$1 == "I" {
    from = top($2); to = top($3)
    if (from == "." || to == "." || to == ".." || from == to) next
    if (!(to in seen)) { seen[to] = 1; if (!(to in known)) order[++folders] = to }
    edges[from, to]++
    reach[from, to] = 1
    if (!(from in known) || !(to in known)) {
        unplaced[from in known ? to : from]++
    } else if (!uses[from, to]) {
        why = (to in known && uses[to, from]) ? to "/ lies above " from "/" \
                                             : to "/ is not among the folders " from "/ is built on"
        broken[++breaks] = $2 " includes " $3 ": " why
    }
}
END {
    # The folders the tree has, in layer order, then the others.
    for (i = 1; i <= folders; ++i) if (order[i] in seen) list[++shown] = order[i]

    printf "Includes between folders (row includes column, in #include lines):\n%-11s", ""
    for (j = 1; j <= shown; ++j) printf " %5.5s", list[j]
    printf "\n"
    for (i = 1; i <= shown; ++i) {
        printf "%-11s", list[i]
        for (j = 1; j <= shown; ++j) {
            cell = edges[list[i], list[j]]
            printf " %5s", i == j ? "-" : (cell ? cell : ".")
        }
        printf "\n"
    }

    for (k = 1; k <= shown; ++k) for (i = 1; i <= shown; ++i) for (j = 1; j <= shown; ++j)
        if (reach[list[i], list[k]] && reach[list[k], list[j]]) reach[list[i], list[j]] = 1
    circles = 0
    for (i = 1; i <= shown; ++i) {
        if (!reach[list[i], list[i]] || (list[i] in placed)) continue
        circle = list[i]
        for (j = i + 1; j <= shown; ++j)
            if (reach[list[i], list[j]] && reach[list[j], list[i]]) {
                circle = circle " <-> " list[j]
                placed[list[j]] = 1
            }
        printf "%s %s\n", circles++ ? "        " : "Circles:", circle
    }
    if (circles == 0) print "Circles: none"

    total = 0
    for (i = 1; i <= shown; ++i) if (!(list[i] in outside)) total += lines[list[i]]
    printf "Lines of the program: %d in .h and .cpp files (tests, benchmarks, fuzzers apart)\n", total
    for (i = 1; i <= shown; ++i)
        if (!(list[i] in outside) && lines[list[i]])
            printf "  %-11s %6d  %3.0f%%\n", list[i], lines[list[i]], 100 * lines[list[i]] / total

    for (i = 1; i <= shown; ++i) if (unplaced[list[i]]) {
        printf "Not a layer: %s/, in %d includes\n", list[i], unplaced[list[i]]
        ++breaks
    }
    for (b = 1; b in broken; ++b) print "Breaks the layers: " broken[b]
    if (breaks == 0 && circles == 0) print "Layers: kept"
    exit breaks == 0 && circles == 0 ? 0 : 1
}'
