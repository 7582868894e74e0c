#!/bin/sh
# Installs every Debian package the build, the data generation and the tests need.
# Idempotent: packages already present are skipped; apt-get update runs at most once.
set -e
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
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends $missing
