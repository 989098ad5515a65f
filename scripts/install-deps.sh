#!/usr/bin/env bash
# Installs the Debian 12 packages the project needs, only those missing.
set -euo pipefail

packages=(build-essential cmake pkg-config libgtest-dev libgmock-dev googletest lrzsz ser2net python3-serial
          clang libclang-rt-14-dev ccache
          qt6-base-dev qt6-base-dev-tools qt6-serialport-dev qt6-qpa-plugins libgl-dev
          nlohmann-json3-dev libudev-dev fonts-dejavu-core xvfb xauth
          lintian python3 appstream desktop-file-utils librsvg2-bin poppler-utils)
# --bench: also what only the benchmarks need (bench_ostrel --accessibility
# runs under a session bus with the desktop's accessibility bus).
if [ "${1:-}" = "--bench" ]; then
  packages+=(at-spi2-core dbus-daemon dbus-bin)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}" >/dev/null
fi
