#!/usr/bin/env bash
# The packages as an operator meets them.
#   scripts/essai-paquet.sh          makes the Debian package (scripts/package.sh),
#     installs it with apt, records 1 s from the simulated box with the installed
#     ondaris-acq in a temporary folder, checks the recording with the installed
#     ondaris-verifie, then removes the package and checks that none of its files
#     is left. Needs root (or sudo); the package must not be installed already.
#   scripts/essai-paquet.sh windows  makes the Windows zip and installer; unpacks
#     the zip into a fresh folder and does the same under Wine with the programs
#     found there; installs with the installer, silently, records 1 s with the
#     installed runner, checks it, opens and closes the installed window (Xvfb),
#     and uninstalls, checking that no program file is left.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "${1:-}" = windows ]; then
  scripts/package.sh windows
  zip=$(ls -t dist/ondaris-*-windows-x86_64.zip | head -1)
  installeur=$(ls -t dist/ondaris-*-windows-x86_64.exe | head -1)
  essai=$(mktemp -d)
  # A Wine prefix of the packaging build's own, made once, nothing downloaded.
  export WINEPREFIX="$PWD/${ONDARIS_CONSTRUCTION:-build-win-paquet}/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LC_ALL=C.UTF-8
  unset DISPLAY WAYLAND_DISPLAY
  xvfb=
  trap 'wineserver -k >/dev/null 2>&1 || true; [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null; rm -rf "$essai"' EXIT
  [ -f "$WINEPREFIX/system.reg" ] || { wineboot -i >/dev/null 2>&1; wineserver -w; }
  echecs=0
  echec() { echo "ÉCHEC : $*"; echecs=$((echecs + 1)); }

  # The zip: unpacked anywhere, the tools run from there.
  unzip -q "$zip" -d "$essai/zip"
  dossier=$(ls -d "$essai"/zip/ondaris-*)
  for f in ondaris.exe ondaris-simulateur.exe ondaris-carte.exe Qt6Widgets.dll platforms/qwindows.dll \
           styles/qwindowsvistastyle.dll libusb-1.0.dll libfftw3f-3.dll libhdf5.dll libpugixml.dll \
           donnees/geometrie-simulateur.xml guide-operateur.txt LISEZMOI.txt; do
    [ -f "$dossier/$f" ] || echec "$f absent du zip"
  done
  (cd "$dossier" && for p in acq verifie repare export carte; do wine "ondaris-$p.exe" --version; done
   wine ondaris-acq.exe --simulateur --duree 1 --dossier mesures --nom essai --sans-progression >acq.txt &&
   wine ondaris-verifie.exe 'mesures\essai.dat' | tail -1 &&
   wine ondaris-export.exe 'mesures\essai.dat' --format h5 >/dev/null) || echec "les outils du zip sous Wine"
  echo "Zip dépaqueté et essayé sous Wine."

  # The installer, silent, as a lab's deployment runs it, on a Windows of
  # its own: a fresh Wine prefix, where nothing was installed before.
  export WINEPREFIX="$PWD/${ONDARIS_CONSTRUCTION:-build-win-paquet}/wine-installeur"
  wineserver -k >/dev/null 2>&1 || true
  rm -rf "$WINEPREFIX"
  wineboot -i >/dev/null 2>&1
  timeout 120 wineserver -w || true
  # Wine links the user's Documents to the Unix home: a folder of the prefix
  # instead, so that the check leaves the home alone.
  for u in "$WINEPREFIX"/drive_c/users/*; do
    [ "$(basename "$u")" = Public ] && continue
    [ -L "$u/Documents" ] && rm -f "$u/Documents"
    mkdir -p "$u/Documents"
  done
  cible='C:\Program Files\Ondaris 1024'
  installe="$WINEPREFIX/drive_c/Program Files/Ondaris 1024"
  rm -rf "$installe"
  wine "$installeur" /S "/D=$cible" || echec "l'installeur a échoué"
  timeout 120 wineserver -w || echec "l'installeur ne se termine pas"
  for f in ondaris.exe ondaris-simulateur.exe ondaris-acq.exe ondaris-verifie.exe Qt6Core.dll \
           platforms/qwindows.dll libusb-1.0.dll Uninstall.exe; do
    [ -f "$installe/$f" ] || echec "$f non installé"
  done
  menus=$(find "$WINEPREFIX/drive_c" -path '*Start Menu*' -name '*.lnk' -path '*Ondaris 1024*' 2>/dev/null || true)
  grep -q 'Ondaris 1024.lnk' <<<"$menus" || echec "pas d'entrée « Ondaris 1024 » au menu Démarrer"
  grep -q 'simulé).lnk' <<<"$menus" || echec "pas d'entrée « Ondaris 1024 (boîtier simulé) » au menu Démarrer"
  documents=$(find "$WINEPREFIX/drive_c/users" -maxdepth 3 -type d -name Ondaris -path '*Documents*' | head -1)
  [ -n "$documents" ] || echec "le dossier Documents\\Ondaris n'a pas été créé"
  while read -r lnk; do
    case "$lnk" in *Uninstall.lnk | '') continue ;; esac
    # The shortcut's working folder is stored in it as UTF-16 text: the user's own.
    strings -el "$lnk" | grep -q 'Documents.Ondaris' ||
      echec "$(basename "$lnk") ne démarre pas dans Documents\\Ondaris"
  done <<<"$menus"
  (cd "$essai" && wine "$cible\ondaris-acq.exe" --simulateur --duree 1 --dossier 'C:\Mesures' --nom installe \
     --sans-progression >installe.txt && wine "$cible\ondaris-verifie.exe" 'C:\Mesures\installe.dat' | tail -1) ||
    echec "le runner ou le vérificateur installés"
  # The installed window starts and closes as a window manager asks; when
  # it does not show, what the screen holds is listed.
  # A Wine session of its own for it, started on the display (the one the
  # runner and the verifier left has none).
  wineserver -k >/dev/null 2>&1 || true
  timeout 60 wineserver -w >/dev/null 2>&1 || true
  affichage=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1400x900x24 -nolisten tcp 3>"$affichage" 2>/dev/null &
  xvfb=$!
  for _ in $(seq 100); do [ -s "$affichage" ] && break; sleep 0.1; done
  (export DISPLAY=":$(head -1 "$affichage")"
   cd "${documents:-$essai}" && wine "$cible\ondaris-simulateur.exe" >/dev/null 2>&1 &
   f=$(/usr/bin/python3 tests/app/fenetre/x11.py attend "BOÎTIER SIMULÉ" 90) &&
   /usr/bin/python3 tests/app/fenetre/x11.py ferme "$f" && /usr/bin/python3 tests/app/fenetre/x11.py disparue "$f" 60) ||
    { echec "la fenêtre installée ne s'ouvre pas en 90 s ou ne se ferme pas ; à l'écran :"
      DISPLAY=":$(head -1 "$affichage")" /usr/bin/python3 tests/app/fenetre/x11.py liste | sed 's/^/  /' || true; }
  timeout 60 wineserver -w || { echec "la fenêtre installée ne se termine pas"; wineserver -k || true; }
  kill "$xvfb" 2>/dev/null || true
  xvfb=
  rm -f "$affichage"
  # The uninstaller removes every program file and leaves the user's folder.
  wine "$installe/Uninstall.exe" /S || echec "le désinstalleur a échoué"
  timeout 120 wineserver -w || echec "le désinstalleur ne se termine pas"
  restes=$(find "$installe" -type f 2>/dev/null | head -5 || true)
  [ -z "$restes" ] || echec "restes après désinstallation : $restes"
  menus=$(find "$WINEPREFIX/drive_c" -path '*Start Menu*' -path '*Ondaris 1024*' 2>/dev/null || true)
  [ -z "$menus" ] || echec "entrées du menu Démarrer restées : $menus"
  [ -d "$documents" ] || echec "le désinstalleur a retiré Documents\\Ondaris"
  [ "$echecs" -eq 0 ] && echo "Installeur essayé sous Wine : installé, runner et vérificateur essayés, désinstallé sans reste."
  exit "$echecs"
fi
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
if dpkg -s ondaris >/dev/null 2>&1; then
  echo "ondaris est déjà installé : ce script ne le retire pas à votre place." >&2
  exit 1
fi
scripts/package.sh
deb=$(ls -t dist/ondaris_*_*.deb | head -1)
lintian --fail-on error,warning "$deb" || { echo "ÉCHEC : lintian sur $deb"; exit 1; }
echo "lintian : ni erreur ni avertissement sur $(basename "$deb")"
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
