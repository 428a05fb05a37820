#!/usr/bin/env bash
# Installs the Debian packages Glimra needs (only those missing) and builds it into build/.
set -euo pipefail
cd "$(dirname "$0")/.."

PACKAGES=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-image-formats-plugins qt6-svg-dev libjpeg62-turbo-dev qt6-l10n-tools libxcb1-dev libcups2-dev
  libwmf-dev libemf2svg-dev libexif-dev
  libgtest-dev cppcheck
  fonts-liberation2 fonts-dejavu-core
  xvfb xdotool imagemagick x11-utils xdg-utils openbox
  poppler-utils desktop-file-utils dpkg-dev
  libcurl4-openssl-dev python3-pyftpdlib python3-openssl openssl
  util-linux mount hostname
  clang libclang-rt-14-dev llvm
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installerer: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc)"
