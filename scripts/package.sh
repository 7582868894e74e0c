#!/bin/sh
# Builds the Debian package build/coredemo_<version>_<arch>.deb and checks it:
#   - the program: a release build in build-release/ (prefix /usr, Debian's hardening
#     flags), only the coredemo target;
#   - the content (data.zip, icons): taken from build/, built there if missing; datagen
#     writes the same bytes whatever the build type, and these are the bytes the test
#     suite has checked;
#   - installed with `cmake --install` into build-release/package (the program
#     stripped), plus the
#     Debian files (packaging/debian: control, copyright, changelog), Depends from
#     dpkg-shlibdeps, packed with dpkg-deb;
#   - desktop-file-validate and appstreamcli validate on the installed files, and
#     lintian on the package: any error fails the script (warnings are printed).
# Compiles through ccache when it is installed; builds wait for the lock file
# $CORE_BUILD_LOCK (default /tmp/build.lock) so that parallel builds on one machine
# take turns.
set -e
cd "$(dirname "$0")/.."
root=$(pwd)
umask 022
./scripts/install-deps.sh

jobs=$(nproc)
lock=${CORE_BUILD_LOCK:-/tmp/build.lock}
locked() { flock "$lock" "$@"; }
launcher=""
if command -v ccache >/dev/null 2>&1; then
    launcher="-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache"
fi

version=$(sed -n 's/^project(Core VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)
logVersion=$(dpkg-parsechangelog -l packaging/debian/changelog -S Version)
if [ "$version" != "$logVersion" ]; then
    echo "package: the project's version is $version but packaging/debian/changelog's newest entry is $logVersion" >&2
    exit 1
fi
arch=$(dpkg --print-architecture)
deb="build/coredemo_${version}_${arch}.deb"

# The content, from build/.
if [ ! -f build/CMakeCache.txt ]; then
    cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo $launcher >/dev/null
fi
locked cmake --build build -j"$jobs" --target datagen_zip datagen_icons

# The program.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cflags="$(dpkg-buildflags --get CFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
cxxflags="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
ldflags=$(dpkg-buildflags --get LDFLAGS)
cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DCORE_CONTENT_DIR="$root/build" $launcher \
    -DCMAKE_C_FLAGS="$cflags" -DCMAKE_CXX_FLAGS="$cxxflags" \
    -DCMAKE_EXE_LINKER_FLAGS="$ldflags" >/dev/null
locked cmake --build build-release -j"$jobs" --target coredemo

# The files as installed.
stage=build-release/package
rm -rf "$stage"
DESTDIR="$root/$stage" cmake --install build-release >/dev/null
# Stripped as Debian's own tools strip: no symbols, no compiler notes.
strip --remove-section=.comment --remove-section=.note --strip-unneeded "$stage/usr/bin/coredemo"
desktop-file-validate "$stage"/usr/share/applications/*.desktop
appstreamcli validate --no-net --pedantic "$stage"/usr/share/metainfo/*.metainfo.xml
gzip -9n "$stage/usr/share/man/man6/coredemo.6"
install -d "$stage/usr/share/doc/coredemo"
install -m 644 packaging/debian/copyright "$stage/usr/share/doc/coredemo/copyright"
gzip -9n <packaging/debian/changelog >"$stage/usr/share/doc/coredemo/changelog.gz"

# The package's control files.
mkdir -p "$stage/DEBIAN" build-release/shlibs/debian
printf 'Source: coredemo\n\nPackage: coredemo\nArchitecture: any\n' >build-release/shlibs/debian/control
depends=$(cd build-release/shlibs && dpkg-shlibdeps -O -e"$root/$stage/usr/bin/coredemo" 2>/dev/null |
    sed -n 's/^shlibs:Depends=//p')
[ -n "$depends" ] || { echo "package: dpkg-shlibdeps found no dependencies" >&2; exit 1; }
size=$(du -sk --exclude=DEBIAN "$stage" | cut -f1)
sed -e "s/@VERSION@/$version/" -e "s/@ARCH@/$arch/" -e "s/@INSTALLED_SIZE@/$size/" \
    -e "s/@DEPENDS@/$depends/" packaging/debian/control.in >"$stage/DEBIAN/control"
(cd "$stage" && find usr -type f | LC_ALL=C sort | xargs md5sum) >"$stage/DEBIAN/md5sums"
chmod 644 "$stage/DEBIAN/control" "$stage/DEBIAN/md5sums"

SOURCE_DATE_EPOCH=$(dpkg-parsechangelog -l packaging/debian/changelog -S Timestamp)
export SOURCE_DATE_EPOCH
dpkg-deb --root-owner-group -Zxz --build "$stage" "$deb" >/dev/null

# Errors fail; warnings and notes are shown.
lintian --fail-on error --display-info "$deb"
echo "package: $deb"
