#!/bin/sh
# Builds everything and runs the whole test suite. Tests that need a display run
# under Xvfb when none is available.
#   --sanitize        the whole suite built with AddressSanitizer + UndefinedBehavior-
#                     Sanitizer (-DCORE_SANITIZE=ON) in build-sanitize/; any finding
#                     fails its test (leaks inside other libraries: tests/sanitizer.supp)
#   --sanitize-input  the same, for the tests that feed the program bad input only
#                     (archive, MMF and effect parsers, the broken-archive matrix)
# Further arguments go to ctest (for example -R broken_archives).
set -e
cd "$(dirname "$0")/.."
inputTests="unit_test_loader unit_test_mmf unit_test_fx_parser e2e_test_broken_archives"
case "$1" in
    --sanitize|--sanitize-input)
        mode=$1
        shift
        ./scripts/install-deps.sh
        cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORE_SANITIZE=ON >/dev/null
        if [ "$mode" = "--sanitize-input" ]; then
            cmake --build build-sanitize -j"$(nproc)" --target coredemo $inputTests
            set -- -R "$(echo "$inputTests" | tr ' ' '|')" "$@"
        else
            cmake --build build-sanitize -j"$(nproc)"
        fi
        cd build-sanitize
        ;;
    *)
        ./scripts/build.sh
        cd build
        ;;
esac
if [ -n "$DISPLAY" ]; then
    ctest --output-on-failure -j2 "$@"
else
    xvfb-run -a -s "-screen 0 1920x1080x24" ctest --output-on-failure -j2 "$@"
fi
