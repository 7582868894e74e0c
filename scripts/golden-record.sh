#!/bin/sh
# Re-records the golden frames of the named parts (all parts of tests/golden/moments.txt
# with --all): renders their moments with build/coredemo as the golden test does and
# writes tests/golden/<Part>-<time>.png. Look at the pictures before committing them.
# Usage: scripts/golden-record.sh Part [Part ...] | --all
set -e
cd "$(dirname "$0")/.."
root=$(pwd)
table="$root/tests/golden/moments.txt"
[ $# -gt 0 ] || { echo "usage: $0 Part [Part ...] | --all" >&2; exit 2; }
if [ "$1" = "--all" ]; then
    set -- $(grep -v '^#' "$table" | awk 'NF { print $1 }')
fi
[ -x build/coredemo ] && [ -f build/data.zip ] || { echo "build first: ./scripts/build.sh" >&2; exit 1; }
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
for part in "$@"; do
    times=$(awk -v p="$part" '$1 == p { $1 = ""; print }' "$table")
    [ -n "$times" ] || { echo "no moments for $part in $table" >&2; exit 1; }
    list=$(echo $times | tr ' ' ',')
    run="./coredemo --width 256 --height 144 --fps 10 --output none --shot $list --out $out"
    if [ -n "$DISPLAY" ]; then
        (cd build && $run >/dev/null)
    else
        (cd build && xvfb-run -a -s "-screen 0 1920x1080x24" $run >/dev/null)
    fi
    for t in $times; do
        cp "$out/shot-$t.png" "$root/tests/golden/$part-$t.png"
        echo "recorded tests/golden/$part-$t.png"
    done
done
