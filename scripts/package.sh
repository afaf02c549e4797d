#!/usr/bin/env bash
# Makes the packages, in dist/:
#   scripts/package.sh          the Debian package, dist/ondaris_VERSION_amd64.deb
#                               (build-paquet/: the window, the runner, the tools,
#                               their man pages, the udev rule, the desktop entries)
#   scripts/package.sh windows  the zip and the installer of the windows and the
#                               tools from the MinGW-w64 cross build
#                               (build-win-paquet/: the toolchain and libraries of
#                               scripts/test-windows.sh, without the tests),
#                               dist/ondaris-VERSION-windows-x86_64.zip and .exe
# VERSION is the CMake project's. ONDARIS_CONSTRUCTION names a build folder
# already configured and built to package instead (the test command's own).
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)
mkdir -p dist

if [ "${1:-}" = windows ]; then
  construction=${ONDARIS_CONSTRUCTION:-build-win-paquet}
  scripts/install-deps.sh windows
  if [ -z "${ONDARIS_CONSTRUCTION:-}" ]; then
    prefixe=$(scripts/deps-windows.sh | tail -1)
    cmake -S . -B "$construction" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
          -DONDARIS_WINDOWS_PREFIX="$prefixe" \
          -DCMAKE_BUILD_TYPE=RelWithDebInfo -DONDARIS_TESTS=OFF -DONDARIS_BENCH=OFF >/dev/null
  fi
  cmake --build "$construction" -j"$jobs"
  (cd "$construction" && cpack -G ZIP && cpack -G NSIS)
  ls -l dist/ondaris-*-windows-x86_64.zip dist/ondaris-*-windows-x86_64.exe
  exit 0
fi

construction=${ONDARIS_CONSTRUCTION:-build-paquet}
scripts/install-deps.sh
[ -n "${ONDARIS_CONSTRUCTION:-}" ] ||
  cmake -S . -B "$construction" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DONDARIS_TESTS=OFF -DONDARIS_BENCH=OFF >/dev/null
cmake --build "$construction" -j"$jobs"
(cd "$construction" && cpack -G DEB)
ls -l dist/ondaris_*.deb
