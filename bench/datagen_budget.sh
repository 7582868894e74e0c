#!/bin/sh
# Measures the data build against its budgets: the whole archive in at most 60 s of
# wall time on this machine, at most 40 MB on disk, and the same bytes on a second run.
#   bench/datagen_budget.sh [BUILD_DIR]      (default: build)
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
datagen=$build/tools/datagen/datagen
[ -x "$datagen" ] || { echo "build datagen first: cmake --build $build --target datagen" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for run in 1 2; do
    /usr/bin/time -f "%e %U %S" -o "$work/time$run" "$datagen" --data "$root/data" --out "$work/data$run.zip" > "$work/log$run"
done
read -r wall user system < "$work/time1"
size=$(stat -c %s "$work/data1.zip")
echo "entries:      $(grep -c ' bytes$' "$work/log1")"
echo "wall time:    $wall s (budget 60 s), cpu $user s user + $system s system, $(nproc) cores"
echo "archive size: $(awk "BEGIN { printf \"%.1f\", $size / 1048576 }") MB (budget 40 MB)"
grep '\] done' "$work/log1" | sed 's/^datagen: /  /'
if cmp -s "$work/data1.zip" "$work/data2.zip"; then
    echo "deterministic: yes (two runs, same bytes)"
else
    echo "deterministic: NO, the two runs differ" >&2
    exit 1
fi
