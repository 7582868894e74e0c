#!/bin/sh
# Builds everything and runs the whole test suite. Tests that need a display run
# under Xvfb when none is available.
#   --sanitize   the same suite built with AddressSanitizer + UndefinedBehaviorSanitizer
#                (-DCORE_SANITIZE=ON) in build-sanitize/; any finding fails its test.
# Further arguments go to ctest (for example -R broken_archives).
set -e
cd "$(dirname "$0")/.."
if [ "$1" = "--sanitize" ]; then
    shift
    ./scripts/install-deps.sh
    cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORE_SANITIZE=ON >/dev/null
    cmake --build build-sanitize -j"$(nproc)"
    cd build-sanitize
else
    ./scripts/build.sh
    cd build
fi
if [ -n "$DISPLAY" ]; then
    ctest --output-on-failure -j2 "$@"
else
    xvfb-run -a -s "-screen 0 1920x1080x24" ctest --output-on-failure -j2 "$@"
fi
