#!/usr/bin/env bash
# Installs what building, running and testing Lyrabook needs on Debian 12.
# Safe to run again: apt-get skips what is already there.
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config git
  clang libclang-rt-14-dev          # fuzz targets (libFuzzer)
  qt6-base-dev libgl1-mesa-dev      # the window
  fonts-thai-tlwg                   # Thai captions
  libgtest-dev libgmock-dev libbenchmark-dev
  nlohmann-json3-dev                # the quire tool's JSON
  libsqlite3-dev sqlite3            # benchmark peer
  xvfb xauth imagemagick xdotool    # headless screenshot (xdotool presses the import)
  dpkg-dev file desktop-file-utils  # the Debian package (dpkg-shlibdeps) and its checks
)
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
