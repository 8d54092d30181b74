#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing wordtap
# need, when any is missing. Idempotent; apt-get only.
set -euo pipefail

packages=(
  build-essential cmake pkg-config g++ make
  googletest libgtest-dev libgmock-dev
  libsdl2-dev libx11-dev libfreetype-dev libfontconfig-dev libharfbuzz-dev libfribidi-dev
  fonts-crosextra-carlito fonts-liberation2 fonts-noto-core fonts-noto-cjk
  xvfb xfonts-base x11-utils x11-xkb-utils libxtst-dev
  clang libclang-rt-14-dev
  python3 python3-xlib python3-matplotlib python3-pil python3-numpy libharfbuzz-bin strace
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  mingw-w64-x86-64-dev wine wine64
  lintian man-db unzip
  fonts-dejavu-core  # the face the Windows build's script test under Wine compares with
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
