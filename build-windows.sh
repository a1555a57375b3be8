#!/usr/bin/env bash
# Builds the Windows x64 program on Debian 12 with MinGW-w64 and leaves
# build-windows/Vesmar-windows-x64.zip (a portable folder: Vesmar.exe with the
# Qt and MinGW libraries it loads) and, where NSIS is installed,
# build-windows/Vesmar-setup-x64.exe. Installs what is missing; gets a Qt for
# Windows from the cache, from ../shared/windows, or builds it from Debian's
# source (about 30 minutes once, see tools/qt-windows.sh).
#
#   ./build-windows.sh          the program, the zip and the installer
#   ./build-windows.sh --tests  also builds the test suite and runs it under
#                               Wine (again: ctest --test-dir build-windows);
#                               with VESMAR_LINUX_PROGRAM=<a Linux Vesmar>
#                               also the Windows/Linux end-to-end test
set -euo pipefail
cd "$(dirname "$0")"

with_tests=0
for arg in "$@"; do
    case "$arg" in
        --tests) with_tests=1 ;;
        *) echo "usage: $0 [--tests]" >&2; exit 2 ;;
    esac
done

packages=(cmake ninja-build zip nsis g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix
    binutils-mingw-w64-x86-64 qt6-base-dev qt6-base-dev-tools qt6-translations-l10n xz-utils)
[ "$with_tests" = 1 ] && packages+=(wine wine64 xvfb xauth python3)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    as_root=()
    [ "$(id -u)" -ne 0 ] && as_root=(sudo)
    echo "Installing missing packages: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    "${as_root[@]}" apt-get update -qq
    "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

t0=$SECONDS
qt=$(tools/qt-windows.sh)
echo "Qt for Windows: $qt ($((SECONDS - t0)) s)"
# Qt's own texts come from Debian's qt6-translations-l10n; placed where the
# Windows Qt looks for them (translations/ in its folder), so the tests under
# Wine use them as the program does from translations/ beside Vesmar.exe.
mkdir -p "$qt/translations"
cp -u /usr/share/qt6/translations/qtbase_*.qm "$qt/translations/"

options=(-DCMAKE_BUILD_TYPE=Release -DVESMAR_BENCH=OFF)
if [ "$with_tests" = 1 ]; then
    # Test executables run through Wine, in a Wine prefix of this build's own.
    options+=(-DVESMAR_TESTS=ON
        "-DCMAKE_CROSSCOMPILING_EMULATOR=$PWD/tools/wine-run.sh;$PWD/build-windows/wine;$qt/bin")
else
    options+=(-DVESMAR_TESTS=OFF)
fi
command -v ccache >/dev/null && options+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

t0=$SECONDS
"$qt/bin/qt-cmake" -S . -B build-windows -G Ninja "${options[@]}" >/dev/null
cmake --build build-windows --parallel "$(nproc)"
echo "Built in $((SECONDS - t0)) s"

tools/pack-windows.sh build-windows "$qt"

if [ "$with_tests" = 1 ]; then
    failed=0
    t0=$SECONDS
    # One virtual display for the whole run, which every Wine process of the
    # tests shares (Wine needs one even for Qt's offscreen platform).
    xvfb-run -a -n 81 -s "-screen 0 1024x768x24 -nolisten tcp" \
        ctest --test-dir build-windows --output-on-failure || failed=1
    echo "Tests under Wine: $((SECONDS - t0)) s"
    if [ -n "${VESMAR_LINUX_PROGRAM:-}" ]; then
        t0=$SECONDS
        status=0
        python3 tests/e2e/windows_e2e.py build-windows/Vesmar-windows-x64.zip \
            "$VESMAR_LINUX_PROGRAM" build-windows/wine || status=$?
        # 77: skipped (no root, no network namespaces); said why above.
        [ "$status" -eq 0 ] || [ "$status" -eq 77 ] || failed=1
        echo "Windows/Linux end-to-end test: $((SECONDS - t0)) s"
    fi
    [ "$failed" = 0 ] || { echo "Windows tests FAILED"; exit 1; }
fi
