#!/bin/sh
# CI: builds the Debian package (scripts/package.sh: release build, validators,
# lintian), unpacks it into a temporary root as an installation would, and has the
# installed program render a shot from an empty folder with XDG_DATA_DIRS pointing into
# that root. Fails unless the program exits with 0, writes the picture, and prints
# nothing on standard error (no audio library chatter: a shot needs no sound device).
set -e
cd "$(dirname "$0")/.."
start=$(date +%s)
./scripts/package.sh

version=$(sed -n 's/^project(Core VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)
deb="$(pwd)/build/coredemo_${version}_$(dpkg --print-architecture).deb"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
dpkg-deb -x "$deb" "$tmp/root"
mkdir "$tmp/empty"

run() {
    if [ -n "$DISPLAY" ]; then
        "$@"
    else
        xvfb-run -a -s "-screen 0 1920x1080x24" "$@"
    fi
}
program="$tmp/root/usr/bin/coredemo"
installed=$("$program" --version)
if [ "$installed" != "coredemo $version" ]; then
    echo "check-package: --version says '$installed', the package is $version" >&2
    exit 1
fi
cd "$tmp/empty"
status=0
XDG_DATA_HOME="$tmp/nothing" XDG_DATA_DIRS="$tmp/root/usr/share:/usr/share" \
    run "$program" --shot 45 >"$tmp/out" 2>"$tmp/err" || status=$?
if [ "$status" -ne 0 ] || [ ! -s shot-45.png ] || [ -s "$tmp/err" ]; then
    echo "check-package: the installed program's shot failed (exit code $status):" >&2
    cat "$tmp/out" "$tmp/err" >&2
    exit 1
fi
echo "check-package: $deb installs and renders a shot ($(($(date +%s) - start)) s in all)"
