#!/bin/sh
# Builds everything and plays the demo from build/, where data.zip is.
# Extra arguments go to the program (see build/coredemo --help).
# Without a display the demo cannot be watched live: it is then rendered offline under
# Xvfb into build/demo.mp4 (picture and music), which takes a while.
set -e
cd "$(dirname "$0")/.."
./scripts/build.sh
cd build
if [ -z "$DISPLAY" ] && [ -z "$WAYLAND_DISPLAY" ]; then
    echo "No display: capturing the whole demo to $(pwd)/demo.mp4 under Xvfb..."
    xvfb-run -a -s "-screen 0 1280x1024x24" ./coredemo --capture demo.mp4 "$@"
    echo "The demo is in $(pwd)/demo.mp4"
    exit 0
fi
exec ./coredemo "$@"
