#!/usr/bin/env bash
# Shared set-up of ./run and ./test: installs the Debian packages that are
# missing, then configures and builds into build/ (or the directory given).
set -euo pipefail

# What building and running the program needs; ./run installs only these.
PROGRAM_PACKAGES=(
    build-essential cmake pkg-config
    qt6-base-dev qt6-base-dev-tools libgl-dev qt6-l10n-tools
    libcanberra-dev libcanberra-pulse sound-theme-freedesktop
    fonts-liberation2 fonts-urw-base35
    xdg-utils
    qt6-wayland qt6-gtk-platformtheme
)

# Everything, the tests' tools included.
PACKAGES=(
    "${PROGRAM_PACKAGES[@]}"
    xvfb xauth xdotool x11-utils x11-apps imagemagick
    pulseaudio pulseaudio-utils sox
    weston openbox dbus-daemon dbus-bin at-spi2-core python3-pyatspi
    qt6-translations-l10n
    desktop-file-utils appstream appstream-compose
    dpkg-dev lintian man-db
    python3 python3-dbusmock
    clang libclang-rt-14-dev
)

missing_packages() {
    local p
    for p in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
            printf '%s\n' "$p"
        fi
    done
}

# install_missing [PACKAGE...]: the packages given (all of PACKAGES by default)
# that are not installed yet.
install_missing() {
    local missing
    [ $# -eq 0 ] && set -- "${PACKAGES[@]}"
    mapfile -t missing < <(missing_packages "$@")
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        if command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
            sudo=(sudo)
        elif command -v sudo >/dev/null 2>&1 && [ -t 0 ]; then
            sudo=(sudo)
        else
            echo "These packages are missing; install them, then run this again:" >&2
            echo "  sudo apt-get update && sudo apt-get install -y ${missing[*]}" >&2
            exit 1
        fi
    fi
    "${sudo[@]}" apt-get update
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y "${missing[@]}"
}

# build DIR [CMAKE-OPTION...]: configures and builds everything, tests included.
build() {
    local dir=$1
    shift
    cmake -S "$ROOT" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON "$@"
    cmake --build "$dir" -j"$(nproc)"
}

# build_program DIR: the program alone, with the same compiler flags as build,
# so that a later build of the tests in DIR reuses its objects. A new DIR is
# set up without the tests; one that already has them keeps them.
build_program() {
    local dir=$1
    local testing=()
    [ -f "$dir/CMakeCache.txt" ] || testing=(-DBUILD_TESTING=OFF)
    cmake -S "$ROOT" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${testing[@]}"
    cmake --build "$dir" -j"$(nproc)" --target minutrex
}

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
