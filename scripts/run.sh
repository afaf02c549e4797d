#!/usr/bin/env bash
# Installs what is missing, builds, and records 5 s at 50 000 Hz from the
# simulated box into demo/, then lists the three files of the run.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
jobs=$(nproc 2>/dev/null || echo 2)
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DONDARIS_TESTS=OFF >/dev/null
cmake --build build -j"$jobs" --target ondaris-acq
mkdir -p demo
(cd demo && ../build/ondaris-acq --simulateur --frequence 50000 --duree 5 --dossier . --nom Demo --ecraser)
echo
ls -l demo/Demo.dat demo/Demo.Ond demo/Demo.log
