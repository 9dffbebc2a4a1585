#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian 12 machine, and only
# what is missing. Run as root or with sudo available.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev libgl-dev qt6-translations-l10n
  libgtest-dev libgmock-dev libbenchmark-dev
  libfreetype-dev libfontconfig-dev
  libjpeg62-turbo-dev libpng-dev libgif-dev libtiff-dev zlib1g-dev
  libwebp-dev libvpx-dev
  fonts-ipafont-gothic fonts-ipafont-mincho fonts-liberation2
  clang-14 libclang-rt-14-dev clang-format-14
  python3 python3-yaswfp
  xvfb xauth
  ffmpeg dpkg-dev fakeroot file lintian desktop-file-utils appstream
)
if [ "${MOVI_WITH_BROWSER:-0}" = 1 ]; then
  packages+=(chromium)
fi
# Browser check: a node and npm already on PATH are used as they are (the
# machine's own Node.js may be newer than Debian's, and Debian's npm conflicts
# with it); Debian's packages only come in when they are missing.
if [ "${MOVI_WITH_BROWSER:-0}" = 1 ]; then
  command -v node >/dev/null || packages+=(nodejs)
  command -v npm >/dev/null || packages+=(npm)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -q
  $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
