#!/usr/bin/env bash
# Installs every Debian package velk needs to build, test, fuzz and run.
# Idempotent and quiet when everything is present; apt-get update runs at most once.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config git
  qt6-base-dev qt6-base-dev-tools qt6-image-formats-plugins libqt6opengl6-dev
  libcurl4-openssl-dev
  duktape-dev
  libpcre2-dev
  libgif-dev
  zlib1g-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  fonts-wqy-microhei fonts-noto-cjk
  xvfb xauth x11-apps imagemagick
  openssl python3
  libssl-dev
  clang libclang-rt-dev
  nodejs
  appstream desktop-file-utils
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
