#!/bin/sh
# Builds everything and runs the whole test suite. Tests that need a display run
# under Xvfb when none is available.
set -e
cd "$(dirname "$0")/.."
./scripts/build.sh
cd build
if [ -n "$DISPLAY" ]; then
    ctest --output-on-failure -j2 "$@"
else
    xvfb-run -a -s "-screen 0 1920x1080x24" ctest --output-on-failure -j2 "$@"
fi
