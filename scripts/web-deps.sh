#!/bin/bash
# Builds the libraries of the browser build once, with Debian's emscripten, from Debian's
# source packages, into a cache folder outside the sources; later runs reuse them.
#
#   scripts/web-deps.sh [LIBRARY...]   build what is missing or out of date (all by default)
#   scripts/web-deps.sh --env          print the shell lines that point a build at the cache
#   scripts/web-deps.sh --list         list the libraries, their source packages and state
#   scripts/web-deps.sh --check        build tests/web/libraries.cpp against the cache and run
#                                      it under node: each library put to one small real use
#
# Installs nothing and needs no root: when a tool is missing it says which Debian package
# brings it (scripts/install-deps.sh --web installs them all). The cache is
# $CORE_WEB_CACHE, by default ${XDG_CACHE_HOME:-$HOME/.cache}/coredemo-web:
#   prefix/        include/, lib/ (static .a only), lib/pkgconfig, lib/cmake: what the build uses
#   emscripten/    a private emscripten config and cache (Debian's is read-only and frozen);
#                  the cache starts as links to Debian's prebuilt system libraries
#   apt/           a private deb-src list (the machine's Debian mirrors, security suite left out)
#   src/PACKAGE/   the downloaded source package; build/LIBRARY/: a build tree while it builds
#   stamps/LIB     what LIB was built from: package version, recipe revision, emscripten's
#                  version, dependencies' stamps
#   times.txt      seconds each build took
# Builds run at the lowest priority (nice 19) with $CORE_WEB_JOBS jobs (default: nproc).
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
CACHE=${CORE_WEB_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/coredemo-web}
PREFIX=$CACHE/prefix
JOBS=${CORE_WEB_JOBS:-$(nproc)}
export EM_CONFIG=$CACHE/emscripten/config
# Emscripten's optimizer (any link at -O1 and above) needs Debian's node modules (acorn),
# which a node from elsewhere does not look for.
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}

# name, Debian source package, libraries it builds on, recipe revision (raise it when a
# recipe changes so that the cached build is redone), the archives it must leave in
# prefix/lib. In build order.
LIBRARIES="
zlib          zlib           -         1  z
ogg           libogg         -         1  ogg
vorbis        libvorbis      ogg       1  vorbis,vorbisfile,vorbisenc
zip           libzip         zlib      1  zip
freetype      freetype       zlib      1  freetype
png           libpng1.6      zlib      1  png16
jpeg          libjpeg-turbo  -         1  jpeg
sdl2          libsdl2        -         1  SDL2
stb           libstb         -         1  stb
imgui         imgui          sdl2,stb  1  imgui
kissfft       kissfft        -         1  kissfft-float
meshoptimizer meshoptimizer  -         1  meshoptimizer
squish        libsquish      -         1  squish
glutess       libglu         -         1  glutess
boost         boost1.74      -         1  boost_serialization
"

die() { echo "web-deps: $*" >&2; exit 1; }
say() { echo "web-deps: $*" >&2; }

lib_field() {  # lib_field NAME COLUMN
    awk -v n="$1" -v c="$2" '$1 == n { print $c }' <<<"$LIBRARIES"
}

# The C and C++ flags of every library. C++ is built with exceptions on, as the program
# (Boost.Serialization reports errors by throwing); mixing is allowed but one setting is simpler.
WEB_CFLAGS="-O2"
WEB_CXXFLAGS="-O2 -fexceptions"

check_tools() {
    local missing="" tool pkg
    for pair in emcc:emscripten em++:emscripten emcmake:emscripten emar:emscripten \
                cmake:cmake make:make pkg-config:pkg-config dpkg-source:dpkg-dev \
                apt-get:apt tar:tar xz:xz-utils bzip2:bzip2 python3:python3 node:nodejs; do
        tool=${pair%%:*}
        pkg=${pair#*:}
        command -v "$tool" >/dev/null 2>&1 || case "$missing " in
            *" $pkg "*) ;;
            *) missing="$missing $pkg" ;;
        esac
    done
    if [ -n "$missing" ]; then
        die "missing tools; install the Debian packages:$missing (or run scripts/install-deps.sh --web)"
    fi
}

# A private emscripten config: Debian's freezes the cache inside /usr, so anything
# emscripten would build on demand (a library variant not prebuilt) fails there.
setup_emscripten() {
    local root system_cache dir
    root=$(EM_CONFIG='' em-config EMSCRIPTEN_ROOT 2>/dev/null) || root=/usr/share/emscripten
    [ -f "$root/.emscripten" ] || die "no emscripten config in $root"
    system_cache=$root/cache
    mkdir -p "$CACHE/emscripten/cache"
    {
        sed '/^FROZEN_CACHE/d; /^CACHE *=/d' "$root/.emscripten"
        echo
        echo "FROZEN_CACHE = False"
        echo "CACHE = '$CACHE/emscripten/cache'"
    } > "$EM_CONFIG.new"
    if cmp -s "$EM_CONFIG.new" "$EM_CONFIG"; then rm "$EM_CONFIG.new"; else mv "$EM_CONFIG.new" "$EM_CONFIG"; fi
    EMSCRIPTEN_VERSION=$(tr -d '"' 2>/dev/null < "$root/emscripten-version.txt" || echo unknown)
    # Seed the cache from Debian's prebuilt one: headers and small files copied (emscripten
    # may rewrite them), the large archives linked (emscripten only adds new ones). A new
    # emscripten gets a new cache.
    if [ "$(cat "$CACHE/emscripten/seeded" 2>/dev/null)" != "$EMSCRIPTEN_VERSION" ]; then
        rm -rf "$CACHE/emscripten/cache" "$CACHE/emscripten/seeded"
        mkdir -p "$CACHE/emscripten/cache"
    fi
    if [ -d "$system_cache/sysroot" ] && [ ! -f "$CACHE/emscripten/seeded" ]; then
        say "seeding the emscripten cache from $system_cache"
        (
            cd "$system_cache"
            find sysroot -type d -print0 | while IFS= read -r -d '' dir; do
                mkdir -p "$CACHE/emscripten/cache/$dir"
            done
            find sysroot -type f ! -name '*.a' -print0 | xargs -0 cp --parents -t "$CACHE/emscripten/cache"
            find sysroot -type f -name '*.a' -print0 | while IFS= read -r -d '' f; do
                ln -sf "$system_cache/$f" "$CACHE/emscripten/cache/$f"
            done
            if [ -f sysroot_install.stamp ]; then cp sysroot_install.stamp "$CACHE/emscripten/cache/"; fi
        )
    fi
    echo "$EMSCRIPTEN_VERSION" > "$CACHE/emscripten/seeded"
}

# apt-get and apt-cache through the private deb-src list: the machine's Debian sources with
# the type changed, without the security suite (it serves no sources here: 404).
APT_OPTS=()
setup_apt() {
    local dir=$CACHE/apt
    mkdir -p "$dir/lists/partial" "$dir/cache/archives/partial"
    APT_OPTS=(-o "Dir::Etc::SourceList=$dir/sources.sources" -o Dir::Etc::SourceParts=/dev/null
              -o "Dir::State::Lists=$dir/lists" -o "Dir::Cache=$dir/cache" -o Debug::NoLocking=1)
    # Downloads run as the caller: the cache may be unreadable for apt's sandbox user.
    [ "$(id -u)" -eq 0 ] && APT_OPTS+=(-o APT::Sandbox::User=root)
    local sources=""
    if [ -f /etc/apt/sources.list.d/debian.sources ]; then
        sources=$(awk 'BEGIN { RS = ""; ORS = "\n\n" }
            !/\nSuites:[^\n]*security/ { sub(/(^|\n)Types: deb(\n|$)/, "\nTypes: deb-src\n"); print }' \
            /etc/apt/sources.list.d/debian.sources)
        printf '%s\n' "$sources" > "$dir/sources.sources"
    elif [ -f /etc/apt/sources.list ]; then
        APT_OPTS[1]="Dir::Etc::SourceList=$dir/sources.list"
        grep -E '^deb ' /etc/apt/sources.list | grep -v security | sed 's/^deb /deb-src /' > "$dir/sources.list"
    else
        die "no Debian sources list found (/etc/apt/sources.list.d/debian.sources)"
    fi
    # Refresh the source indexes once a day.
    if [ -z "$(find "$dir/lists" -maxdepth 1 -name '*Sources*' -mtime -1 -print -quit)" ]; then
        say "updating the source package index"
        apt-get "${APT_OPTS[@]}" -qq update || die "apt-get update of the deb-src list failed"
    fi
}

# The version apt would fetch for a source package (from the .dsc name it would download).
package_version() {
    local dsc
    dsc=$(apt-get "${APT_OPTS[@]}" source --print-uris "$1" 2>/dev/null |
          awk '$2 ~ /\.dsc$/ { print $2; exit }')
    [ -n "$dsc" ] || die "no source package $1 in the Debian archive"
    dsc=${dsc%.dsc}
    echo "${dsc#*_}"
}

# Downloads a source package into src/PACKAGE (once). Succeeds when at least the upstream
# tarball came: a Debian revision file the mirror lacks is only needed by dpkg-source.
fetch_source() {  # fetch_source PACKAGE VERSION
    local dir=$CACHE/src/$1
    mkdir -p "$dir"
    have_source "$1" "$2" && return 0
    say "downloading the source of $1 $2"
    if ! (cd "$dir" && apt-get "${APT_OPTS[@]}" -qq source --download-only "$1") > "$dir/download.log" 2>&1; then
        [ -n "$(orig_tarball "$1" "$2")" ] || { cat "$dir/download.log" >&2; die "could not download the source of $1"; }
        say "$1: only the upstream tarball could be downloaded (see $dir/download.log)"
    fi
}

have_source() {  # have_source PACKAGE VERSION: the .dsc and every file it lists are here
    local dir=$CACHE/src/$1 file
    [ -f "$dir/$1_$2.dsc" ] || return 1
    while read -r file; do
        [ -f "$dir/$file" ] || return 1
    done < <(awk '/^Files:/ { on = 1; next } /^[^ ]/ || NF < 3 { on = 0 } on { print $3 }' "$dir/$1_$2.dsc")
}

orig_tarball() {  # orig_tarball PACKAGE VERSION: the upstream tarball's path, if downloaded
    local upstream=${2%-*}
    find "$CACHE/src/$1" -maxdepth 1 -name "$1_${upstream}.orig.tar.*" ! -name '*.asc' -print -quit
}

# Unpacks with Debian's patches applied into build/LIB/src; echoes that path.
unpack_debian() {  # unpack_debian LIB PACKAGE VERSION
    local tree=$CACHE/build/$1/src
    rm -rf "$tree"
    mkdir -p "$CACHE/build/$1"
    dpkg-source --no-check -x "$CACHE/src/$2/$2_$3.dsc" "$tree" > "$CACHE/build/$1/unpack.log" 2>&1 ||
        { cat "$CACHE/build/$1/unpack.log" >&2; die "dpkg-source could not unpack $2 $3"; }
    echo "$tree"
}

unpack_orig() {  # unpack_orig LIB PACKAGE VERSION [MEMBER...]: the upstream tarball alone
    # MEMBERs are paths below the tarball's top folder (wildcards allowed).
    local lib=$1 pkg=$2 version=$3 tree=$CACHE/build/$1/src tarball top member members=()
    shift 3
    tarball=$(orig_tarball "$pkg" "$version")
    [ -n "$tarball" ] || die "no upstream tarball of $pkg $version"
    top=$( (tar -tf "$tarball" 2>/dev/null || true) | head -n 1)
    top=${top%%/*}
    for member in "$@"; do members+=("$top/$member"); done
    rm -rf "$tree"
    mkdir -p "$tree"
    tar -xf "$tarball" -C "$tree" --strip-components=1 --wildcards --no-wildcards-match-slash \
        "${members[@]}" || die "could not unpack $tarball"
    echo "$tree"
}

# emcmake cmake, build and install into the prefix, static libraries only. The emulator that
# runs configure checks is set here: emcmake's passes node an option node 20 rejects (exit
# code 9), and every check that runs a test program (type sizes...) then reads 9.
cmake_build() {  # cmake_build LIB SOURCE-DIR [CMAKE-ARGS...]
    local lib=$1 src=$2
    shift 2
    local build=$CACHE/build/$lib/build
    rm -rf "$build"
    emcmake cmake -S "$src" -B "$build" -G "Unix Makefiles" \
        -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_INSTALL_PREFIX="$PREFIX" -DCMAKE_INSTALL_LIBDIR=lib \
        -DCMAKE_PREFIX_PATH="$PREFIX" -DCMAKE_FIND_ROOT_PATH="$PREFIX" \
        -DCMAKE_C_FLAGS="$WEB_CFLAGS" -DCMAKE_CXX_FLAGS="$WEB_CXXFLAGS" \
        -DCMAKE_CROSSCOMPILING_EMULATOR="$(command -v node);--no-experimental-fetch" \
        -DBUILD_SHARED_LIBS=OFF "$@" > "$CACHE/build/$lib/configure.log" 2>&1 ||
        { tail -n 30 "$CACHE/build/$lib/configure.log" >&2; die "configuring $lib failed"; }
    cmake --build "$build" -j "$JOBS" > "$CACHE/build/$lib/build.log" 2>&1 ||
        { tail -n 30 "$CACHE/build/$lib/build.log" >&2; die "building $lib failed"; }
    cmake --install "$build" > "$CACHE/build/$lib/install.log" 2>&1 ||
        { tail -n 30 "$CACHE/build/$lib/install.log" >&2; die "installing $lib failed"; }
}

# Compiles a list of sources into PREFIX/lib/libNAME.a.
archive_build() {  # archive_build LIB ARCHIVE-NAME COMPILER FLAGS SOURCE...
    local lib=$1 name=$2 compiler=$3 flags=$4 src objects=()
    shift 4
    mkdir -p "$CACHE/build/$lib/obj"
    for src in "$@"; do
        objects+=("$CACHE/build/$lib/obj/$(basename "${src%.*}").o")
    done
    # One compiler per source, JOBS at a time (FLAGS are words; paths have no spaces).
    for src in "$@"; do
        printf '%s\0' "$compiler $flags -c $src -o $CACHE/build/$lib/obj/$(basename "${src%.*}").o"
    done | xargs -0 -P "$JOBS" -n 1 sh -c >> "$CACHE/build/$lib/build.log" 2>&1 ||
        { tail -n 30 "$CACHE/build/$lib/build.log" >&2; die "building $lib failed"; }
    mkdir -p "$PREFIX/lib"
    rm -f "$PREFIX/lib/lib$name.a"
    emar rcs "$PREFIX/lib/lib$name.a" "${objects[@]}"
}

write_pc() {  # write_pc NAME VERSION CFLAGS LIBS [REQUIRES]
    mkdir -p "$PREFIX/lib/pkgconfig"
    cat > "$PREFIX/lib/pkgconfig/$1.pc" <<EOF
prefix=$PREFIX
libdir=\${prefix}/lib
includedir=\${prefix}/include

Name: $1
Description: $1 built for the browser by scripts/web-deps.sh
Version: $2
Requires: ${5:-}
Libs: -L\${libdir} $4
Cflags: $3
EOF
}

# ---- recipes: build_LIB PACKAGE VERSION ------------------------------------------------

build_zlib() {
    # zlib's own configure (Debian's repacked source lacks a file its CMake build lists).
    local src log=$CACHE/build/zlib/build.log
    src=$(unpack_debian zlib "$1" "$2")
    (cd "$src" && CFLAGS="$WEB_CFLAGS" emconfigure ./configure --static --prefix="$PREFIX" &&
     emmake make -j "$JOBS" libz.a && emmake make install) > "$log" 2>&1 ||
        { tail -n 30 "$log" >&2; die "building zlib failed"; }
}

build_ogg() {
    local src
    src=$(unpack_debian ogg "$1" "$2")
    cmake_build ogg "$src" -DINSTALL_DOCS=OFF -DBUILD_TESTING=OFF
}

build_vorbis() {
    local src
    src=$(unpack_debian vorbis "$1" "$2")
    cmake_build vorbis "$src" -DBUILD_TESTING=OFF
}

build_zip() {
    local src
    src=$(unpack_debian zip "$1" "$2")
    cmake_build zip "$src" \
        -DENABLE_COMMONCRYPTO=OFF -DENABLE_GNUTLS=OFF -DENABLE_MBEDTLS=OFF -DENABLE_OPENSSL=OFF \
        -DENABLE_WINDOWS_CRYPTO=OFF -DENABLE_BZIP2=OFF -DENABLE_LZMA=OFF -DENABLE_ZSTD=OFF \
        -DBUILD_TOOLS=OFF -DBUILD_REGRESS=OFF -DBUILD_EXAMPLES=OFF -DBUILD_DOC=OFF
    # off_t is 64-bit in emscripten's libc; a broken configure check once wrote 9 here.
    grep -q 'SIZEOF_OFF_T 8' "$CACHE/build/zip/build/config.h" || die "libzip: off_t size is not 8"
}

build_freetype() {
    local src
    src=$(unpack_debian freetype "$1" "$2")
    cmake_build freetype "$src" \
        -DFT_REQUIRE_ZLIB=ON -DFT_DISABLE_BZIP2=ON -DFT_DISABLE_PNG=ON \
        -DFT_DISABLE_HARFBUZZ=ON -DFT_DISABLE_BROTLI=ON
}

build_png() {
    local src
    src=$(unpack_debian png "$1" "$2")
    cmake_build png "$src" \
        -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF \
        -DPNG_HARDWARE_OPTIMIZATIONS=OFF
}

build_jpeg() {
    local src
    src=$(unpack_debian jpeg "$1" "$2")
    cmake_build jpeg "$src" \
        -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_SIMD=OFF -DWITH_TURBOJPEG=OFF \
        -DWITH_JAVA=OFF -DCMAKE_INSTALL_LIBDIR="$PREFIX/lib" -DCMAKE_INSTALL_DOCDIR="$CACHE/build/jpeg/doc" \
        -DCMAKE_INSTALL_MANDIR="$CACHE/build/jpeg/man" -DCMAKE_INSTALL_BINDIR="$CACHE/build/jpeg/bin"
}

build_sdl2() {
    local src
    src=$(unpack_debian sdl2 "$1" "$2")
    cmake_build sdl2 "$src" \
        -DSDL_SHARED=OFF -DSDL_STATIC=ON -DSDL_TEST=OFF -DSDL2_DISABLE_SDL2MAIN=ON
}

build_stb() {
    local src
    src=$(unpack_debian stb "$1" "$2")
    # Debian's makefile: each header compiled once with its implementation into libstb.a.
    # stb_dxt.h calls memcpy without <string.h>, an error with emscripten's default flags.
    (cd "$src" && emmake make -j "$JOBS" CC=emcc AR=emar CFLAGS="$WEB_CFLAGS -include string.h" MULTIARCH=wasm32-emscripten \
        PREFIX="$PREFIX" LIBDIR=lib libstb.a stb.pc > "$CACHE/build/stb/build.log" 2>&1 &&
     make PREFIX="$PREFIX" LIBDIR=lib MULTIARCH=wasm32-emscripten install-static install-header \
        >> "$CACHE/build/stb/build.log" 2>&1) ||
        { tail -n 30 "$CACHE/build/stb/build.log" >&2; die "building stb failed"; }
}

build_imgui() {
    local src args
    src=$(unpack_debian imgui "$1" "$2")
    # Debian's makefile with stb from the prefix (as Debian builds it), compiling only what
    # the program uses: the core, the std::string helpers and the SDL back end (the program
    # draws with a renderer of its own).
    # shellcheck disable=SC2016 # $(wildcard) is make's
    args=(CXX=em++ AR=emar CXXFLAGS="$WEB_CXXFLAGS" MULTIARCH=wasm32-emscripten VERSION="${2%%+*}"
          PREFIX="$PREFIX" LIBDIR=lib LIBS=
          SRCS="imgui.cpp imgui_demo.cpp imgui_draw.cpp imgui_tables.cpp imgui_widgets.cpp misc/cpp/imgui_stdlib.cpp backends/imgui_impl_sdl.cpp"
          HEADERS='$(wildcard *.h misc/cpp/*.h)'
          CPPFLAGS="-I. -I$PREFIX/include -I$PREFIX/include/SDL2 -DIMGUI_DISABLE_STB_RECT_PACK_IMPLEMENTATION -DIMGUI_STB_RECT_PACK_FILENAME=\"<stb/stb_rect_pack.h>\" -DIMGUI_DISABLE_STB_TRUETYPE_IMPLEMENTATION -DIMGUI_STB_TRUETYPE_FILENAME=\"<stb/stb_truetype.h>\"")
    (cd "$src" && emmake make -j "$JOBS" "${args[@]}" libimgui.a imgui.pc &&
     emmake make "${args[@]}" install-static install-header) > "$CACHE/build/imgui/build.log" 2>&1 ||
        { tail -n 30 "$CACHE/build/imgui/build.log" >&2; die "building imgui failed"; }
}

build_kissfft() {
    local src
    src=$(unpack_debian kissfft "$1" "$2")
    cmake_build kissfft "$src" \
        -DKISSFFT_DATATYPE=float -DKISSFFT_STATIC=ON -DKISSFFT_TEST=OFF -DKISSFFT_TOOLS=OFF \
        -DKISSFFT_OPENMP=OFF -DKISSFFT_PKGCONFIG=ON
}

build_meshoptimizer() {
    local src
    src=$(unpack_debian meshoptimizer "$1" "$2")
    cmake_build meshoptimizer "$src" \
        -DMESHOPT_BUILD_SHARED_LIBS=OFF -DMESHOPT_BUILD_DEMO=OFF -DMESHOPT_BUILD_GLTFPACK=OFF
}

build_squish() {
    local src
    src=$(unpack_debian squish "$1" "$2")
    cmake_build squish "$src" \
        -DBUILD_SQUISH_WITH_OPENMP=OFF -DBUILD_SQUISH_WITH_SSE2=OFF -DBUILD_SQUISH_WITH_ALTIVEC=OFF \
        -DBUILD_SQUISH_EXTRA=OFF
}

build_glutess() {
    # GLU's polygon tessellator alone (plain C over GL's types; no GL calls): the outline
    # font triangulates FreeType's contours with it. The mirror may lack the Debian diff of
    # this package, which only adds packaging: the upstream tarball is enough.
    local src f sources=()
    src=$(unpack_orig glutess "$1" "$2" 'include/GL/glu.h' 'src/libtess/*' 'src/include/*')
    for f in "$src"/src/libtess/*.c; do
        # priorityq.c includes this one
        [ "$(basename "$f")" = priorityq-heap.c ] || sources+=("$f")
    done
    # Not named libGLU: emcc takes -lGLU for its own (JavaScript) GL emulation.
    archive_build glutess glutess emcc "$WEB_CFLAGS -I$src/include -I$src/src/include -DNDEBUG" "${sources[@]}"
    mkdir -p "$PREFIX/include/GL"
    cp "$src/include/GL/glu.h" "$PREFIX/include/GL/glu.h"
    write_pc glutess "${2%-*}" "-I\${includedir}" "-lglutess"
}

build_boost() {
    # Boost's headers and Boost.Serialization's sources only (the whole source package is
    # 60 MB packed). Debian's tarball keeps each library's headers in libs/NAME/include, as
    # Boost's own repository does: they are merged into one boost/ folder here. The
    # library's source list is read from its Jamfile.
    local src sources=() f d
    src=$(unpack_orig boost "$1" "$2" 'libs/*/include' 'libs/numeric/*/include' \
          'libs/serialization/src' 'libs/serialization/build')
    mkdir -p "$CACHE/build/boost/include"
    for d in "$src"/libs/*/include "$src"/libs/numeric/*/include; do
        [ -d "$d/boost" ] && cp -r "$d/boost" "$CACHE/build/boost/include/"
    done
    [ -f "$CACHE/build/boost/include/boost/config.hpp" ] || die "boost: no headers in $src"
    for f in $(sed -n '/^SOURCES =/,/;/p' "$src/libs/serialization/build/Jamfile.v2" | tr -d ';' | sed '1s/^SOURCES =//'); do
        sources+=("$src/libs/serialization/src/$f.cpp")
    done
    [ "${#sources[@]}" -gt 10 ] || die "boost: no source list in the serialization Jamfile"
    archive_build boost boost_serialization em++ \
        "$WEB_CXXFLAGS -std=c++17 -I$CACHE/build/boost/include -DBOOST_SERIALIZATION_SOURCE -DNDEBUG -w" "${sources[@]}"
    rm -rf "$PREFIX/include/boost"
    mkdir -p "$PREFIX/include"
    cp -r "$CACHE/build/boost/include/boost" "$PREFIX/include/boost"
}

# ---------------------------------------------------------------------------------------

stamp_key() {  # stamp_key LIB: what the build of LIB depends on
    local lib=$1 pkg deps rev version dep key
    pkg=$(lib_field "$lib" 2)
    deps=$(lib_field "$lib" 3)
    rev=$(lib_field "$lib" 4)
    version=$(package_version "$pkg")
    key="$pkg $version r$rev emscripten $EMSCRIPTEN_VERSION"
    if [ "$deps" != "-" ]; then
        for dep in ${deps//,/ }; do
            key="$key; $dep: $(cat "$CACHE/stamps/$dep" 2>/dev/null || echo none)"
        done
    fi
    echo "$key"
}

has_archives() {  # has_archives LIB: whether LIB's archives are all in the prefix
    local archive
    for archive in $(lib_field "$1" 5 | tr ',' ' '); do
        [ -f "$PREFIX/lib/lib$archive.a" ] || return 1
    done
}

DONE=" "
build_one() {
    local lib=$1 pkg version key start seconds dep
    case "$DONE" in *" $lib "*) return 0 ;; esac
    DONE="$DONE$lib "
    for dep in $(lib_field "$lib" 3 | tr ',-' '  '); do
        build_one "$dep"
    done
    pkg=$(lib_field "$lib" 2)
    version=$(package_version "$pkg")
    key=$(stamp_key "$lib")
    if [ "$(cat "$CACHE/stamps/$lib" 2>/dev/null)" = "$key" ] && has_archives "$lib"; then
        say "$lib: up to date ($pkg $version)"
        return 0
    fi
    fetch_source "$pkg" "$version"
    say "$lib: building from $pkg $version"
    rm -f "$CACHE/stamps/$lib"
    start=$(date +%s)
    "build_$lib" "$pkg" "$version"
    seconds=$(( $(date +%s) - start ))
    has_archives "$lib" || die "$lib: the build left no lib$(lib_field "$lib" 5).a in $PREFIX/lib"
    rm -rf "$CACHE/build/$lib"
    mkdir -p "$CACHE/stamps"
    echo "$key" > "$CACHE/stamps/$lib"
    echo "$(date -u +%Y-%m-%dT%H:%M:%SZ) $lib $pkg $version ${seconds}s" >> "$CACHE/times.txt"
    say "$lib: built in ${seconds}s"
}

# The flags that compile and link against every library of the cache.
web_flags() {  # web_flags --cflags|--libs
    local modules="sdl2 zlib libzip vorbisfile vorbisenc freetype2 libpng16 libjpeg imgui kissfft-float glutess"
    # shellcheck disable=SC2086 # the modules are words
    PKG_CONFIG_LIBDIR="$PREFIX/lib/pkgconfig" pkg-config --static "$1" $modules
    [ "$1" = --libs ] && echo "-lmeshoptimizer -lsquish -lboost_serialization"
    return 0
}

run_check() {
    local dir=$CACHE/check
    local -a cflags libs
    check_tools
    setup_emscripten
    mkdir -p "$dir"
    read -r -a cflags <<<"$(web_flags --cflags)"
    read -r -a libs <<<"$(web_flags --libs | tr '\n' ' ')"
    say "building tests/web/libraries.cpp"
    nice -n 19 em++ -std=c++17 -O1 -fexceptions -Wno-nullability-completeness "${cflags[@]}" "$ROOT/tests/web/libraries.cpp" \
        -o "$dir/libraries.js" "${libs[@]}" -sALLOW_MEMORY_GROWTH=1 -sEXIT_RUNTIME=1 ||
        die "the check did not build"
    # Node 20's own fetch confuses emscripten 3.1.6's loader.
    node --no-experimental-fetch "$dir/libraries.js"
}

print_env() {
    cat <<EOF
export EM_CONFIG='$EM_CONFIG'
export NODE_PATH='$NODE_PATH'
export CORE_WEB_PREFIX='$PREFIX'
export PKG_CONFIG_LIBDIR='$PREFIX/lib/pkgconfig'
export CMAKE_PREFIX_PATH='$PREFIX'
EOF
}

main() {
    local libs=() lib all
    all=$(awk 'NF { print $1 }' <<<"$LIBRARIES")
    case "${1:-}" in
        --env) print_env; return 0 ;;
        --check) run_check; return ;;
        --list)
            for lib in $all; do
                printf '%-14s %-14s %s\n' "$lib" "$(lib_field "$lib" 2)" \
                    "$(cat "$CACHE/stamps/$lib" 2>/dev/null || echo 'not built')"
            done
            return 0 ;;
        -h|--help) sed -n '2,/^set -e/p' "$0" | sed '$d; s/^# \{0,1\}//'; return 0 ;;
        -*) die "unknown option $1 (see --help)" ;;
    esac
    for lib in "$@"; do
        grep -qx "$lib" <<<"$all" || die "unknown library $lib (known: ${all//$'\n'/ })"
    done
    if [ $# -gt 0 ]; then libs=("$@"); else mapfile -t libs <<<"$all"; fi
    check_tools
    renice -n 19 -p $$ >/dev/null 2>&1 || true
    mkdir -p "$CACHE"
    cd "$CACHE"  # a build that installs beside itself by mistake stays in the cache
    setup_emscripten
    setup_apt
    for lib in "${libs[@]}"; do
        build_one "$lib"
    done
    say "done: the libraries are in $PREFIX (scripts/web-deps.sh --env prints the variables)"
}

main "$@"
