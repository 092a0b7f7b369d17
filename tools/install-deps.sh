#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when missing.
# Quick and quiet when everything is present; run as root (or with sudo).
set -euo pipefail

packages=(
  cmake ninja-build g++ make pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  clang-format clang libclang-rt-14-dev llvm
  g++-mingw-w64-x86-64-posix libz-mingw-w64-dev
  wine wine64 xvfb xauth
  libgtk-3-dev libwebkit2gtk-4.1-dev libx11-dev libbiblesync-dev uuid-dev iproute2
  fonts-liberation openbox xdotool xclip x11-utils imagemagick
  dbus-x11 at-spi2-core python3-pyatspi python3-websocket python3-html5lib
  libsword-dev libsword-utils sword-comm-scofield sword-comm-tdavid
  sword-text-kjv sword-text-sparv sword-text-web
  dpkg-dev file desktop-file-utils appstream man-db nsis
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
