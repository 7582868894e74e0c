#!/bin/bash
# The browser build against the native program, in Chromium headless on SwiftShader:
# shots at moments of several parts compared with the native program's ES-context shots
# of the same size (PSNR), 10 s of live play (music playing, no console errors, Escape
# back to the start screen), and the page's message for a missing and a broken archive.
#   tests/web/run.sh [--times T1,T2,...] [--width W] [--height H]
# Needs build-web/site (scripts/web.sh) and build/coredemo (the native build). Installs
# puppeteer-core with npm into $CORE_WEB_CACHE/npm (outside the sources) once. Pictures
# go to build-web/test/{native,browser}.
set -euo pipefail
cd "$(dirname "$0")/../.."
times=8,30,45,67,85,105,125,140,160,180,192
width=640
height=360
while [ $# -gt 0 ]; do
    case "$1" in
        --times) times=$2; shift 2 ;;
        --width) width=$2; shift 2 ;;
        --height) height=$2; shift 2 ;;
        *) echo "usage: $0 [--times T1,T2,...] [--width W] [--height H]" >&2; exit 2 ;;
    esac
done
site=build-web/site
[ -f "$site/coredemo.wasm" ] || { echo "web test: no $site (run scripts/web.sh)" >&2; exit 1; }
[ -x build/coredemo ] || { echo "web test: no build/coredemo (build the native program)" >&2; exit 1; }

npmdir=${CORE_WEB_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/coredemo-web}/npm
if [ ! -d "$npmdir/node_modules/puppeteer-core" ] || ! cmp -s tests/web/package.json "$npmdir/package.json"; then
    mkdir -p "$npmdir"
    cp tests/web/package.json "$npmdir/package.json"
    (cd "$npmdir" && npm install --no-audit --no-fund --loglevel=error)
fi

out=build-web/test
rm -rf "$out"
mkdir -p "$out/native" "$out/browser"
echo "web test: native ES shots at $times ($width x $height)"
xvfb-run -a -s "-screen 0 1920x1080x24" build/coredemo --gl es --data build/data.zip --shot "$times" \
    --width "$width" --height "$height" --out "$out/native" >/dev/null

port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
python3 -m http.server --bind 127.0.0.1 --directory "$site" "$port" >"$out/server.log" 2>&1 &
server=$!
trap 'kill $server 2>/dev/null' EXIT
for _ in $(seq 50); do
    python3 -c "import urllib.request; urllib.request.urlopen('http://127.0.0.1:$port/')" 2>/dev/null && break
    sleep 0.1
done
NODE_PATH=$npmdir/node_modules node tests/web/browser_test.js --url "http://127.0.0.1:$port/index.html" \
    --native "$out/native" --out "$out/browser" --times "$times" --width "$width" --height "$height"
