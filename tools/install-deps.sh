#!/usr/bin/env bash
# Installs the Debian packages that one purpose needs, and only those that
# are missing. Runs apt-get as root, or through sudo.
#
#   tools/install-deps.sh run    build and run the program (./run.sh)
#   tools/install-deps.sh test   also every test, the fuzz targets, the
#                                benchmarks and the screenshot tools (./test.sh)
#   tools/install-deps.sh ci     also the format check (.ci/run); the default
set -euo pipefail

purpose="${1:-ci}"

# The build, the program's own libraries and plugins, the port right
# (setcap, tools/grant-port.sh) and the virtual display that ./run.sh starts
# the program on where there is none.
run=(
    cmake g++ make pkg-config
    qt6-base-dev qt6-base-dev-tools libgl-dev libcanberra-dev
    qt6-gtk-platformtheme qt6-translations-l10n qt6-wayland fonts-dejavu-core
    libcap2-bin
    xvfb xauth
)
# The installed files' checks, the network namespaces and the lossy network
# of the end-to-end tests, their displays, keyboard layouts, key presses and
# screenshots, the accessibility bus, the desktop (a private session bus and
# headless weston), the startup benchmark's XCB probe and the fuzz targets
# (clang with libFuzzer).
test=(
    desktop-file-utils appstream
    iproute2 nftables python3
    xdotool x11-utils x11-xkb-utils imagemagick
    dbus dbus-daemon at-spi2-core python3-gi python3-pyatspi python3-dbus
    weston
    libxcb1-dev
    clang libclang-rt-14-dev
)
# The format check.
ci=(clang-format)

case "$purpose" in
    run) packages=("${run[@]}") ;;
    test) packages=("${run[@]}" "${test[@]}") ;;
    ci) packages=("${run[@]}" "${test[@]}" "${ci[@]}") ;;
    *) echo "usage: $0 [run|test|ci]" >&2; exit 2 ;;
esac

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

as_root=()
if [ "$(id -u)" -ne 0 ]; then
    echo "Installing missing packages with sudo: ${missing[*]}"
    as_root=(sudo)
else
    echo "Installing missing packages: ${missing[*]}"
fi
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -qq
"${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
