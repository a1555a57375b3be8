#!/usr/bin/env bash
# Installs the Debian packages that the build, the program, the tests and the
# CI format check need, and only those that are missing. Runs apt-get as root,
# or through sudo.
set -euo pipefail

packages=(
    cmake g++ make pkg-config
    qt6-base-dev qt6-base-dev-tools libgl-dev
    qt6-gtk-platformtheme qt6-translations-l10n fonts-dejavu-core
    desktop-file-utils appstream
    libcap2-bin iproute2 nftables python3
    xvfb xauth xdotool x11-utils x11-xkb-utils imagemagick
    dbus at-spi2-core python3-gi python3-pyatspi
    libbenchmark-dev libxcb1-dev
    clang libclang-rt-14-dev clang-format
    libcanberra-dev qt6-wayland
    weston dbus-daemon python3-dbus python3-gi
)

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
