#!/usr/bin/env bash
# Installs the Debian packages Corvane needs to build, run and test. Idempotent: quiet when
# everything is already there. Usage: scripts/install-deps.sh [build|test]
set -euo pipefail

build_packages=(
    cmake g++ ninja-build pkg-config
    libutf8proc-dev libgtest-dev libgmock-dev libbenchmark-dev
    qt6-base-dev qt6-svg-dev libgl-dev
    libxcb1-dev libxcb-shm0-dev libxcb-ewmh-dev libxcb-icccm4-dev libxcb-res0-dev libxcb-xkb-dev
    libxcb-xtest0-dev libxcb-shape0-dev libxcb-damage0-dev libxcb-util-dev libxkbcommon-dev libxkbcommon-x11-dev
    fonts-dejavu-core
)
# What the integration and end-to-end tests and the demo run against: a virtual X server, the
# window managers of the end-to-end matrix, a tray, a compositor, and tools to drive keys and take
# screenshots; clang and GNUstep's headers (with GCC's Objective-C runtime headers) for the macOS
# backend's syntax check.
test_packages=(python3 xvfb xauth openbox fluxbox icewm i3-wm jwm awesome metacity
               xfwm4 xfconf dbus-daemon
               trayer xcompmgr xdotool x11-utils imagemagick hicolor-icon-theme
               clang libgnustep-gui-dev libgnustep-base-dev gobjc
               clang-format)

packages=("${build_packages[@]}")
if [[ "${1:-build}" == "test" ]]; then
    packages+=("${test_packages[@]}")
fi

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "Installing: ${missing[*]}"
sudo_cmd=()
[[ $(id -u) -ne 0 ]] && sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
