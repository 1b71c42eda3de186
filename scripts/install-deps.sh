#!/usr/bin/env bash
# Installs every Debian package needed to build, run and test Kelvane Joiner.
# Safe to run again: apt-get skips what is already there.
set -euo pipefail

if [ "$(id -u)" -ne 0 ]; then
  echo "install-deps.sh: run as root (or through sudo)" >&2
  exit 1
fi

export DEBIAN_FRONTEND=noninteractive

packages=(
  # toolchain
  build-essential cmake ninja-build pkg-config clang clang-format clang-tidy libclang-rt-14-dev
  # Qt 6
  qt6-base-dev qt6-base-dev-tools qt6-tools-dev qt6-tools-dev-tools libqt6uitools6 qt6-image-formats-plugins
  libqt6opengl6-dev libgl-dev libxkbcommon-dev qt6-qpa-plugins
  # tests
  libgtest-dev libgmock-dev
  # conversion engine
  libavformat-dev libavcodec-dev libavutil-dev libswscale-dev libswresample-dev
  # test oracles
  ffmpeg mpv gstreamer1.0-tools gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-plugins-ugly
  gstreamer1.0-plugins-base-apps gstreamer1.0-libav gstreamer1.0-plugins-bad
  # a screen for the window when none is attached
  xvfb xauth fonts-dejavu-core
  # the Debian package: its build (manual pages, icons) and its checks
  debhelper dpkg-dev scdoc librsvg2-bin lintian appstream desktop-file-utils
)

# Skip the network when everything is already installed.
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps.sh: every package is installed"
  exit 0
fi
echo "install-deps.sh: installing ${missing[*]}"
apt-get update -q
apt-get install -y -q --no-install-recommends "${missing[@]}"
