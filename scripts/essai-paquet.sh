#!/usr/bin/env bash
# The packages as an operator meets them.
#   scripts/essai-paquet.sh          makes the Debian package (scripts/package.sh),
#     installs it with apt, records 1 s from the simulated box with the installed
#     ondaris-acq in a temporary folder, checks the recording with the installed
#     ondaris-verifie, then removes the package and checks that none of its files
#     is left. Needs root (or sudo); the package must not be installed already.
#   scripts/essai-paquet.sh windows  makes the Windows zip, unpacks it into a fresh
#     folder and does the same under Wine with the programs found there.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "${1:-}" = windows ]; then
  scripts/package.sh windows
  zip=$(ls -t dist/ondaris-*-windows-x86_64.zip | head -1)
  essai=$(mktemp -d)
  trap 'wineserver -k >/dev/null 2>&1 || true; rm -rf "$essai"' EXIT
  unzip -q "$zip" -d "$essai"
  dossier=$(ls -d "$essai"/ondaris-*)
  # A Wine prefix of the packaging build's own, made once, nothing downloaded.
  export WINEPREFIX="$PWD/${ONDARIS_CONSTRUCTION:-build-win-paquet}/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LC_ALL=C.UTF-8
  unset DISPLAY WAYLAND_DISPLAY
  [ -f "$WINEPREFIX/system.reg" ] || { wineboot -i >/dev/null 2>&1; wineserver -w; }
  cd "$dossier"
  for p in acq verifie repare export; do wine "ondaris-$p.exe" --version; done
  wine ondaris-acq.exe --simulateur --duree 1 --dossier mesures --nom essai --sans-progression >acq.txt
  wine ondaris-verifie.exe 'mesures\essai.dat' | tail -1
  wine ondaris-export.exe 'mesures\essai.dat' --format npy >/dev/null
  echo "Zip dépaqueté et essayé sous Wine."
  exit 0
fi
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
if dpkg -s ondaris >/dev/null 2>&1; then
  echo "ondaris est déjà installé : ce script ne le retire pas à votre place." >&2
  exit 1
fi
scripts/package.sh
deb=$(ls -t dist/ondaris_*_*.deb | head -1)
contenu=$(dpkg-deb -c "$deb")
for f in /usr/lib/udev/rules.d/60-ondaris.rules /usr/share/applications/ondaris.desktop \
         /usr/share/applications/ondaris-simulateur.desktop /usr/share/man/man1/ondaris-acq.1.gz \
         /usr/share/man/man1/ondaris.1.gz; do
  grep -F " .$f" <<<"$contenu" >/dev/null || { echo "ÉCHEC : $f absent du paquet"; exit 1; }
done
grep -E ' \./usr/share/icons/.*ondaris.*\.png$' <<<"$contenu" >/dev/null || { echo "ÉCHEC : icône absente du paquet"; exit 1; }
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
