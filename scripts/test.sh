#!/usr/bin/env bash
# Installs what is missing, builds the Windows libraries once per machine
# (scripts/deps-windows.sh, first, since it takes longest on a fresh
# machine), checks the sources' format, builds, and runs the whole test
# suite three times: as released, under AddressSanitizer and UBSan, and
# cross-built for Windows under Wine with the real window
# (scripts/test-windows.sh), the threaded tests also under ThreadSanitizer;
# in between, the Debian
# package is made, checked by lintian and tried, and the Windows zip and
# installer are tried under Wine (scripts/essai-paquet.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh windows
scripts/deps-windows.sh
jobs=$(nproc 2>/dev/null || echo 2)

# One style for the whole tree: every tracked C++ file as clang-format 14
# writes it with the tree's .clang-format.
git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format-14 --dry-run -Werror

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DONDARIS_TESTS=ON >/dev/null
cmake --build build -j"$jobs"
(cd build && ctest --output-on-failure -j"$jobs")

cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DONDARIS_SANITIZE=ON -DONDARIS_TESTS=ON >/dev/null
cmake --build build-asan -j"$jobs"
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 ctest --output-on-failure -j"$jobs")

# The threads under ThreadSanitizer: the run with its writer, the tap and
# the live analysis, the simulated box, and the window on the offscreen
# platform. Only what these tests run is built; any report fails the test
# (ThreadSanitizer's exit code).
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DONDARIS_TSAN=ON -DONDARIS_TESTS=ON -DONDARIS_BENCH=OFF \
  >/dev/null
cmake --build build-tsan -j"$jobs" --target test_acquisition test_direct test_simulator test_fenetre
(cd build-tsan && TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$PWD/../scripts/tsan.supp" \
  ctest --output-on-failure -j"$jobs" -L '^(acquisition|direct|simulator|app_fenetre)$')

# The packages as an operator meets them, made from the builds above: the
# Debian package installed, tried from a temporary folder and removed; the
# Windows zip unpacked into a fresh folder and tried under Wine.
ONDARIS_CONSTRUCTION=build scripts/essai-paquet.sh

scripts/test-windows.sh
ONDARIS_CONSTRUCTION=build-win scripts/essai-paquet.sh windows
