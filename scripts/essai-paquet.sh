#!/usr/bin/env bash
# The Debian package as an operator meets it: makes it (scripts/package.sh),
# installs it with apt, records 1 s from the simulated box with the
# installed ondaris-acq in a temporary folder, checks the recording with the
# installed ondaris-verifie, then removes the package and checks that none
# of its files is left. Needs root (or sudo); the package must not be
# installed already.
set -euo pipefail
cd "$(dirname "$0")/.."
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
if dpkg -s ondaris >/dev/null 2>&1; then
  echo "ondaris est déjà installé : ce script ne le retire pas à votre place." >&2
  exit 1
fi
scripts/package.sh
deb=$(ls -t dist/ondaris_*_*.deb | head -1)
dpkg-deb -c "$deb" | grep -q ' ./usr/lib/udev/rules.d/60-ondaris.rules$' || { echo "ÉCHEC : règle udev absente"; exit 1; }
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "./$deb" >/dev/null
fichiers=$(mktemp)
dpkg -L ondaris >"$fichiers"
retire() { DEBIAN_FRONTEND=noninteractive $SUDO apt-get remove -y -qq ondaris >/dev/null; }
trap retire EXIT

essai=$(mktemp -d)
(cd "$essai" && /usr/bin/ondaris-acq --version &&
  /usr/bin/ondaris-acq --simulateur --duree 1 --dossier "$essai/x" --nom essai --sans-progression >acq.txt &&
  /usr/bin/ondaris-verifie "$essai/x/essai.dat" | tail -1)
rm -rf "$essai"

trap - EXIT
retire
restes=0
while read -r f; do
  [ -f "$f" ] && { echo "reste : $f"; restes=1; }
done <"$fichiers"
rm -f "$fichiers"
dpkg -s ondaris >/dev/null 2>&1 && { echo "ÉCHEC : dpkg connaît encore ondaris"; restes=1; }
[ "$restes" -eq 0 ] && echo "Paquet installé, essayé et retiré sans reste."
exit "$restes"
