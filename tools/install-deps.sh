#!/usr/bin/env bash
# Installs the Debian 12 packages Vexo needs to build, run and test, when any
# of them is missing. Run as root (or with sudo available). The icons are
# rendered with rsvg-convert, the package is made with dpkg-deb and
# dpkg-shlibdeps, and the installed files are checked with man, the
# freedesktop validators, lintian and bash-completion.
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config
  libjpeg62-turbo-dev libjpeg-turbo-progs libpng-dev libfreetype-dev fonts-dejavu-core
  nlohmann-json3-dev libgtest-dev libgmock-dev libbenchmark-dev
  libopencv-core-dev libopencv-imgproc-dev libopencv-calib3d-dev
  qt6-base-dev libgl-dev xvfb xauth
  clang libclang-rt-14-dev
  librsvg2-bin man-db dpkg-dev file xz-utils
  desktop-file-utils appstream lintian bash-completion
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi
