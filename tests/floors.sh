#!/bin/sh
# The floors of src/: every folder stands on a floor of src/floors.txt (ground first),
# and a file includes headers of its own folder and of the folders below it only.
# Both quoted and angle includes count; a relative include ("../x.h") hides its
# floor and is refused too. A strict order with no include against it has no circle.
#
#   tests/floors.sh SRC_DIR       checks SRC_DIR against SRC_DIR/floors.txt
#   tests/floors.sh --self-test   runs the check on small planted trees
#
# Exit 0 when the tree keeps to its floors, 1 otherwise (each fault on its own line).
set -u

# check SRC_DIR: prints every fault and a summary line; returns 1 on any fault.
check() {
    src=${1%/}
    list=$src/floors.txt
    if [ ! -r "$list" ]; then
        echo "floors: cannot read $list"
        return 1
    fi
    floors=$(sed -e 's/#.*//' -e 's/[[:space:]]//g' "$list" | grep -v '^$')
    faults=0
    for dir in "$src"/*/; do
        [ -d "$dir" ] || continue
        name=$(basename "$dir")
        if ! printf '%s\n' "$floors" | grep -qx "$name"; then
            echo "$name/: on no floor (add it to floors.txt)"
            faults=$((faults + 1))
        fi
    done
    for name in $floors; do
        if [ ! -d "$src/$name" ]; then
            echo "floors.txt: $name/ is not a folder of $src"
            faults=$((faults + 1))
        fi
    done
    # The includes, one awk over every source and header file of the floors.
    files=$(cd "$src" && find . -mindepth 2 -type f \( -name '*.h' -o -name '*.hpp' -o -name '*.cpp' \
        -o -name '*.c' -o -name '*.inc' -o -name '*.inl' \) | sed 's|^\./||' | sort)
    if [ -n "$files" ]; then
        report=$(cd "$src" && printf '%s\n' "$files" | tr '\n' '\0' | xargs -0 awk -v floors="$floors" '
            BEGIN {
                n = split(floors, names, "\n")
                for (i = 1; i <= n; i++) rank[names[i]] = i
            }
            FNR == 1 {
                files++
                folder = FILENAME
                sub(/\/.*/, "", folder)
            }
            /^[ \t]*#[ \t]*include[ \t]*["<]/ {
                path = $0
                sub(/^[ \t]*#[ \t]*include[ \t]*["<]/, "", path)
                sub(/[">].*/, "", path)
                if (path ~ /(^|\/)\.\.\//) {
                    printf "%s:%d: includes \"%s\" by a relative path (name its folder)\n", FILENAME, FNR, path
                    faults++
                    next
                }
                if (index(path, "/") == 0) next
                target = path
                sub(/\/.*/, "", target)
                if (!(target in rank) || !(folder in rank) || target == folder) next
                across++
                if (rank[target] > rank[folder]) {
                    printf "%s:%d: %s/ (floor %d) includes %s (floor %d)\n", FILENAME, FNR, folder, \
                        rank[folder], path, rank[target]
                    faults++
                }
            }
            END { printf "summary %d %d %d\n", files, across, faults }')
        printf '%s\n' "$report" | grep -v '^summary '
        set -- $(printf '%s\n' "$report" | grep '^summary ')
        faults=$((faults + $4))
        echo "floors: $(printf '%s\n' "$floors" | wc -l) floors, $2 files, $3 includes between folders," \
            "$faults against the floors"
    fi
    [ "$faults" -eq 0 ]
}

# plant DIR FILE TEXT...: writes each TEXT argument as one line of DIR/FILE.
plant() {
    mkdir -p "$(dirname "$1/$2")"
    file=$1/$2
    shift 2
    printf '%s\n' "$@" > "$file"
}

# One planted tree per case: the ground `low`, above it `high`; each case adds one
# fault (or none) to a tree that keeps its floors, and states the status and the
# count of fault lines it expects.
selfTest() {
    root=$(mktemp -d)
    trap 'rm -rf "$root"' EXIT
    failed=0
    for case in clean up-header up-source up-angle relative unlisted missing; do
        tree=$root/$case
        plant "$tree" floors.txt "# ground first" low "high  # above low"
        plant "$tree" low/a.h "#pragma once" "#include <vector>" '#include "low/b.h"'
        plant "$tree" low/b.h "#pragma once"
        plant "$tree" high/c.cpp '#include "high/c.h"' '#include "low/a.h"' "#include <low/b.h>" \
            '#include "generated.inc"' '#include "epoxy/gl.h"'
        plant "$tree" high/c.h "#pragma once"
        expected=1
        faultLines=1
        case $case in
            clean) expected=0 faultLines=0 ;;
            up-header) plant "$tree" low/d.h '#include "high/c.h"' ;;
            up-source) plant "$tree" low/d.cpp "// below" '  #  include "high/c.h"' ;;
            up-angle) plant "$tree" low/sub/e.cpp "#include <high/c.h>" ;;
            relative) plant "$tree" high/f.cpp '#include "../low/a.h"' ;;
            unlisted) plant "$tree" side/g.h "#pragma once" ;;
            missing) plant "$tree" floors.txt low high roof ;;
        esac
        output=$(check "$tree")
        status=$?
        count=$(printf '%s\n' "$output" | grep -c -v '^floors: ')
        if [ "$status" -ne "$expected" ] || [ "$count" -ne "$faultLines" ]; then
            echo "self-test $case: status $status (want $expected), $count fault lines (want $faultLines):"
            printf '%s\n' "$output"
            failed=1
        else
            echo "self-test $case: ok"
        fi
    done
    return $failed
}

case "${1:-}" in
    --self-test) selfTest ;;
    "") echo "usage: $0 SRC_DIR | --self-test" >&2; exit 2 ;;
    *) check "$1" ;;
esac
