#!/usr/bin/env bash
# Installs what building, running and testing Vintrel needs on Debian, skipping
# what is already there. Uses sudo when not run as root.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-svg-dev qt6-image-formats-plugins libfontconfig-dev
    libjpeg-dev libturbojpeg0-dev libjpeg-turbo-progs
    libheif-dev libheif-examples liblcms2-dev liblcms2-utils icc-profiles-free libgs-common
    libsane1 libsane-dev sane-utils
    desktop-file-utils appstream dpkg-dev file
    fonts-dejavu-core
    clang libclang-rt-14-dev
    poppler-utils cups-daemon cups-client
    xvfb xauth xdotool openbox x11-utils imagemagick libxcb1-dev
    libimage-exiftool-perl
)
# The benchmarks make their camera photos from a real photograph of a desktop
# wallpaper package: "setup.sh bench" adds it.
if [ "${1:-}" = bench ]; then
    packages+=(mate-backgrounds)
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
