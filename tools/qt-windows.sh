#!/usr/bin/env bash
# Makes a Qt 6.4.2 (qtbase: Core, Gui, Widgets, Network, Test; shared) for
# Windows x64 available to the MinGW-w64 cross build and prints its folder.
#
#   tools/qt-windows.sh [--configure-only]
#
# In order of preference:
#   1. the cache folder, when it holds a complete build of that version;
#   2. a prebuilt archive (qt6-mingw64-6.4.2.tar.xz), checked against its
#      known SHA-256 and unpacked into the cache: $VESMAR_QT_WINDOWS_ARCHIVE,
#      or ../shared/windows/ beside the repository;
#   3. a build from Debian 12's own source package qt6-base (about 30 minutes
#      on 2 cores). Qt's cross build needs the host tools of exactly the same
#      version, which qt6-base-dev-tools 6.4.2 provides.
#
# The cache is ${XDG_CACHE_HOME:-$HOME/.cache}/vesmar-windows, or
# $VESMAR_QT_WINDOWS_CACHE. --configure-only stops the source build after
# Qt's configure step (a check that the source path works) and prints nothing.
# Progress goes to stderr; stdout carries only the Qt folder.
set -euo pipefail

qt_version=6.4.2
archive_name=qt6-mingw64-${qt_version}.tar.xz
archive_sha256=25b185c2a30ad033b4bec9e4172687dbd158945944656e7e6297a78fc999c87d
repo=$(cd "$(dirname "$0")/.." && pwd)
cache=${VESMAR_QT_WINDOWS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/vesmar-windows}
qt=$cache/qt6-mingw
configure_only=0
[ "${1:-}" = --configure-only ] && configure_only=1

say() { echo "qt-windows: $*" >&2; }

as_root=()
[ "$(id -u)" -ne 0 ] && as_root=(sudo)

# A usable Qt folder: the cross build's CMake entry points, the libraries the
# program and its tests link, the Windows platform plugin, and the version.
qt_is_complete() {
    local d=$1 f
    for f in bin/qt-cmake lib/cmake/Qt6/qt.toolchain.cmake mingw-toolchain.cmake \
        bin/Qt6Core.dll bin/Qt6Gui.dll bin/Qt6Widgets.dll bin/Qt6Test.dll \
        plugins/platforms/qwindows.dll lib/cmake/Qt6/Qt6ConfigVersionImpl.cmake; do
        [ -e "$d/$f" ] || return 1
    done
    grep -q "set(PACKAGE_VERSION \"$qt_version\")" "$d/lib/cmake/Qt6/Qt6ConfigVersionImpl.cmake"
}

install_packages() {
    local missing=() p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    say "installing ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    "${as_root[@]}" apt-get update -qq
    "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
}

if [ "$configure_only" = 0 ] && qt_is_complete "$qt"; then
    echo "$qt"
    exit 0
fi

# 2. The prebuilt archive. Unpacked beside the cache folder first and moved in
# whole, so an interrupted unpack never leaves a half folder that looks valid.
archive=${VESMAR_QT_WINDOWS_ARCHIVE:-$repo/../shared/windows/$archive_name}
if [ "$configure_only" = 0 ] && [ -f "$archive" ]; then
    say "checking $archive"
    if [ "$(sha256sum "$archive" | cut -d' ' -f1)" = "$archive_sha256" ]; then
        mkdir -p "$cache"
        staging=$(mktemp -d "$cache/unpack.XXXXXX")
        tar xJf "$archive" -C "$staging"
        if qt_is_complete "$staging/qt6-mingw"; then
            rm -rf "$qt"
            mv "$staging/qt6-mingw" "$qt"
            rm -rf "$staging"
            say "unpacked into $qt"
            echo "$qt"
            exit 0
        fi
        rm -rf "$staging"
        say "$archive does not hold a complete Qt $qt_version; building from source"
    else
        say "$archive has the wrong SHA-256; ignoring it and building from source"
    fi
fi

# 3. From Debian's source package.
install_packages g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 \
    qt6-base-dev-tools qt6-base-dev perl ninja-build cmake xz-utils dpkg-dev
host_version=$(dpkg-query -W -f='${Version}' qt6-base-dev-tools)
case "$host_version" in
    "$qt_version"+*) ;;
    *) say "the host Qt tools are $host_version, not $qt_version: Qt's cross build needs the same version"
       exit 1 ;;
esac

work=${VESMAR_QT_WINDOWS_WORK:-$cache/qt-source}
mkdir -p "$work"
cd "$work"
if ! ls qt6-base_"$qt_version"+dfsg.orig.tar.xz >/dev/null 2>&1; then
    if ! apt-get source --download-only "qt6-base=$host_version" >/dev/null 2>&1; then
        # apt knows no source packages yet: add Debian 12's main source entry.
        say "adding a deb-src entry for bookworm main"
        "${as_root[@]}" tee /etc/apt/sources.list.d/vesmar-deb-src.sources >/dev/null <<'EOF'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
        "${as_root[@]}" apt-get update -qq
        say "downloading the source of qt6-base $host_version"
        apt-get source --download-only "qt6-base=$host_version" >&2
    fi
fi
if [ ! -d qtbase-src ]; then
    mkdir qtbase-src.part
    tar xJf qt6-base_"$qt_version"+dfsg.orig.tar.xz -C qtbase-src.part --strip-components=1
    mv qtbase-src.part qtbase-src
fi

cat >mingw-toolchain.cmake <<'EOF'
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
EOF

# Installed under a temporary name and renamed when complete; Qt's CMake
# files are relocatable, so the final folder works although the prefix
# differs.
prefix=$cache/qt6-mingw.part
rm -rf build "$prefix"
mkdir build
cd build
t0=$SECONDS
say "configuring (log: $work/configure.log)"
# tabletevent is off because Debian's source drops the bundled wintab headers;
# without ICU the program's own codec handles Windows-1251.
if ! ../qtbase-src/configure -prefix "$prefix" -release -shared -nomake tests -nomake examples \
    -xplatform win32-g++ -qt-host-path /usr -no-opengl -no-feature-sql -no-feature-printsupport \
    -no-feature-concurrent -no-feature-xml -no-feature-dbus -no-feature-tabletevent \
    -qt-zlib -qt-pcre -qt-libpng -qt-libjpeg -qt-freetype -qt-harfbuzz -no-icu \
    -- -DCMAKE_TOOLCHAIN_FILE="$work/mingw-toolchain.cmake" \
    -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake >"$work/configure.log" 2>&1; then
    say "configure failed:"
    tail -30 "$work/configure.log" >&2
    exit 1
fi
say "configured in $((SECONDS - t0)) s; $(ninja -n 2>/dev/null | wc -l) build steps"
[ "$configure_only" = 1 ] && exit 0

t1=$SECONDS
say "building (about 25 minutes on 2 cores; log: $work/build.log)"
if ! nice -n 10 cmake --build . --parallel "$(nproc)" >"$work/build.log" 2>&1; then
    say "build failed:"
    grep -m5 -B2 -A5 'error' "$work/build.log" >&2 || tail -30 "$work/build.log" >&2
    exit 1
fi
say "built in $((SECONDS - t1)) s"
cmake --install . >"$work/install.log" 2>&1
# The MinGW toolchain file travels inside the folder, and Qt's own toolchain
# file loads it relative to itself, so the folder can move.
cp "$work/mingw-toolchain.cmake" "$prefix/mingw-toolchain.cmake"
sed -i "s|set(__qt_initially_configured_toolchain_file \"$work/mingw-toolchain.cmake\")|set(__qt_initially_configured_toolchain_file \"\${CMAKE_CURRENT_LIST_DIR}/../../../mingw-toolchain.cmake\")|" \
    "$prefix/lib/cmake/Qt6/qt.toolchain.cmake"
qt_is_complete "$prefix" || { say "the installed Qt is incomplete ($prefix)"; exit 1; }
rm -rf "$qt"
mv "$prefix" "$qt"
say "installed into $qt ($(du -sh "$qt" | cut -f1))"
echo "$qt"
