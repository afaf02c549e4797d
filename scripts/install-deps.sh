#!/usr/bin/env bash
# Installs the Debian packages the build needs, when some are missing, and
# those scripts/package.sh needs (help2man for the man pages, dpkg-dev for
# the Debian package's dependencies).
# lintian checks the Debian package; clang-format 14 the style of the sources.
# With "windows": also the MinGW-w64 cross compiler (posix threads, for
# std::thread), Ninja (for the Windows libraries, scripts/deps-windows.sh),
# Wine, NSIS for the installer, and Xvfb with python3-xlib for the real
# window under Wine (scripts/test-windows.sh).
set -euo pipefail
packages=(cmake g++ make pkg-config libusb-1.0-0-dev libgtest-dev libhdf5-dev python3-h5py python3-numpy
          qt6-base-dev qt6-translations-l10n fonts-liberation libcli11-dev nlohmann-json3-dev libfftw3-dev
          libpugixml-dev
          help2man dpkg-dev lintian clang-format-14)
if [ "${1:-}" = windows ]; then
  packages+=(g++-mingw-w64-x86-64-posix ninja-build wine wine64 unzip nsis xvfb xauth python3-xlib)
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
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}"
fi
