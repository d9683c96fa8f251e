#!/usr/bin/env bash
# Installs the Debian packages the build, the show and the tests need, when
# any of them is missing. Needs root (or sudo) only when something is missing.
set -euo pipefail

packages=(
  build-essential cmake pkg-config git
  libgtest-dev libgmock-dev libbenchmark-dev
  libsdl2-dev libegl-dev libgl-dev libgles-dev libegl-mesa0 libgl1-mesa-dri
  libfreetype-dev libfontconfig-dev fontconfig fonts-dejavu-core fonts-liberation
  libpng-dev libopenmpt-dev
  xvfb xauth libx11-dev ffmpeg sox
  clang-format
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  sudo=""
  if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
  fi
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
