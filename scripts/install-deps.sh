#!/usr/bin/env bash
# Installs what building and testing ORLUNE needs, from Debian 12's packages.
set -euo pipefail

packages=(
  cmake ninja-build g++ git python3
  libgtest-dev libgmock-dev
  qt6-base-dev nlohmann-json3-dev libcli11-dev
  xvfb xauth fonts-dejavu-core
  clang-format
  clang libclang-rt-14-dev valgrind
)

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
