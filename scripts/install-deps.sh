#!/bin/sh
# Installs every Debian package the build, the data generation and the tests need.
# Idempotent: packages already present are skipped; apt-get update runs at most once.
# With --web, also what the browser build needs: Debian's emscripten (scripts/web-deps.sh
# builds the libraries with it from Debian's source packages), the tools that unpack those,
# npm (for the browser test's driver) and Chromium (the browser the tests drive headless).
set -e
case "$1" in
    "") WEB="" ;;
    --web) WEB=1 ;;
    *) echo "usage: $0 [--web]" >&2; exit 2 ;;
esac
PACKAGES="build-essential cmake pkg-config git
libsdl2-dev libepoxy-dev libgl-dev libegl-dev libglu1-mesa-dev libgl1-mesa-dri mesa-utils
libdevil-dev libboost-serialization-dev libzip-dev
libogg-dev libvorbis-dev libkissfft-dev libimgui-dev
libfreetype-dev libfontconfig-dev fonts-liberation2
libpng-dev libjpeg-dev libsquish-dev libembree-dev libopenvdb-dev libmeshoptimizer-dev
libgtest-dev libgmock-dev libbenchmark-dev
glslang-tools
xvfb xauth weston ffmpeg parallel sox libsox-fmt-all vorbis-tools clang libclang-rt-14-dev zip unzip
dpkg-dev lintian desktop-file-utils appstream
rsync openssh-client openssh-server"
if [ -n "$WEB" ]; then
    PACKAGES="$PACKAGES
emscripten dpkg-dev xz-utils bzip2 chromium"
    # A node from elsewhere may bring its own npm and conflict with Debian's package.
    command -v npm >/dev/null 2>&1 || PACKAGES="$PACKAGES npm"
fi

missing=""
for p in $PACKAGES; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $p"
    fi
done
[ -z "$missing" ] && exit 0

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
echo "installing:$missing"
$SUDO apt-get update -qq
# shellcheck disable=SC2086 # the list is words
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends $missing
