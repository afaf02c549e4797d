#!/usr/bin/env bash
# Installs what is missing and builds. On a desktop, starts the window over
# the simulated box (ondaris-simulateur). On a machine without a display,
# records 5 s at 50 000 Hz from the simulated box into demo/ with the
# headless runner, lists the three files, and says how to see the window.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
jobs=$(nproc 2>/dev/null || echo 2)
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DONDARIS_TESTS=OFF >/dev/null

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  cmake --build build -j"$jobs" --target ondaris-simulateur
  mkdir -p demo
  cd demo && exec ../build/ondaris-simulateur
fi

cmake --build build -j"$jobs" --target ondaris-acq ondaris-captures ondaris-simulateur
mkdir -p demo
rc=0
(cd demo && ../build/ondaris-acq --simulateur --frequence 50000 --duree 5 --dossier . --nom Demo --ecraser) || rc=$?
echo
ls -l demo/Demo.dat demo/Demo.Ond demo/Demo.log || true
(cd demo && ../build/ondaris-captures captures >/dev/null 2>&1) && captures="demo/captures/*.png" || captures=""
cat <<MSG

No display here, so the window was not started. To see it:
  - on a desktop session: scripts/run.sh (starts build/ondaris-simulateur);
  - over SSH: ssh -X this machine, then scripts/run.sh;
  - in a virtual display: xvfb-run -s '-screen 0 1400x900x24' build/ondaris-simulateur
${captures:+  - screenshots of the window just drawn offscreen: $(echo $captures)}
MSG
exit $rc
