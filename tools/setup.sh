#!/usr/bin/env bash
# Installs what building and testing need on a fresh Debian machine (run as root).
set -euo pipefail
packages=(cmake make g++ clang libclang-rt-dev doctest-dev
          g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-tools
          wine wine64 xvfb xauth imagemagick xdotool python3 libbenchmark-dev
          wixl msitools zip unzip git)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
