#!/bin/bash
# Builds the browser version into build-web/site/, a folder any static host serves:
#   index.html, page.js, page.css   the page (web/): start screen, download, shot mode
#   coredemo.js, coredemo.wasm      the program, built with Debian's emscripten
#   data.zip, coredemo.png          the archive and the icon, from the native build
# Try it with:  cd build-web/site && python3 -m http.server   (then open localhost:8000)
#
# The libraries come from scripts/web-deps.sh's cache (built once from Debian's source
# packages); the archive and the icon are taken from build/ and built there when missing
# (datagen writes the same bytes whatever the build). Compiles at the lowest priority.
#   --jobs N     parallel compile jobs (default: nproc)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=$(nproc)
while [ $# -gt 0 ]; do
    case "$1" in
        --jobs) jobs=$2; shift 2 ;;
        -h|--help) sed -n '2,/^set -e/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
        *) echo "web.sh: unknown option $1 (see --help)" >&2; exit 2 ;;
    esac
done
say() { echo "web: $*" >&2; }

./scripts/install-deps.sh --web

launcher=()
if command -v ccache >/dev/null 2>&1; then
    launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
lock=${CORE_BUILD_LOCK:-/tmp/build.lock}
locked() { flock "$lock" "$@"; }

# The content, from the native build.
if [ ! -f build/CMakeCache.txt ]; then
    cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" >/dev/null
fi
say "data.zip and the icon (native build in build/)"
locked nice -n 19 cmake --build build -j"$jobs" --target datagen_zip datagen_icons >/dev/null

# The libraries (cached), and the variables that point the browser build at them: only
# now, since they would hide the system's libraries from the native build above.
CORE_WEB_JOBS=$jobs ./scripts/web-deps.sh
eval "$(./scripts/web-deps.sh --env)"

# The program. emcmake's emulator option is one node 20 rejects: configure checks that
# run a test program would read its exit code.
if [ ! -f build-web/CMakeCache.txt ]; then
    emcmake cmake -S . -B build-web -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_FIND_ROOT_PATH="$CORE_WEB_PREFIX" \
        -DCMAKE_CROSSCOMPILING_EMULATOR="$(command -v node);--no-experimental-fetch" \
        "${launcher[@]}" >/dev/null
fi
say "the program (emscripten, build-web/)"
locked nice -n 19 cmake --build build-web -j"$jobs" --target coredemo

site=build-web/site
rm -rf "$site"
mkdir -p "$site"
cp web/index.html web/page.js web/page.css "$site/"
cp build-web/coredemo.js build-web/coredemo.wasm "$site/"
cp build/data.zip "$site/data.zip"
cp build/icons/hicolor/128x128/apps/coredemo.png "$site/coredemo.png"
say "site ready in $root/$site:"
(cd "$site" && ls -l | awk 'NR > 1 { printf "  %-16s %10d bytes\n", $9, $5 }') >&2
say "try it: (cd $site && python3 -m http.server 8000), then open http://localhost:8000/"
