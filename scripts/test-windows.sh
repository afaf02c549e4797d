#!/usr/bin/env bash
# The same sources on Windows: installs what is missing (MinGW-w64, Wine),
# builds the Windows libraries once per machine (scripts/deps-windows.sh),
# cross-builds every program and the test suite for 64-bit Windows, runs the
# tests under Wine (the window's on Qt's offscreen platform), then records
# one run under Wine and one on Linux and checks that they match: the same
# .dat, the same .Ond apart from its date, the same .log and configuration
# apart from the date, the regional conventions and the paths. Last, the
# real window under Wine and Xvfb: ondaris-simulateur.exe through Init, a
# recording, Stop and the analysis window, closed as a window manager asks.
set -euo pipefail
cd "$(dirname "$0")/.."
debut=$(date +%s)
scripts/install-deps.sh windows
jobs=$(nproc 2>/dev/null || echo 2)
prefixe=$(scripts/deps-windows.sh | tail -1)

cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
      -DONDARIS_WINDOWS_PREFIX="$prefixe" \
      -DCMAKE_BUILD_TYPE=RelWithDebInfo -DONDARIS_TESTS=ON -DONDARIS_BENCH=OFF >/dev/null
cmake --build build-win -j"$jobs"

# A Wine prefix of our own, made once; no display, no Mono or Gecko (nothing
# is downloaded). Drive d: is a folder of the build, as on the lab's machines.
export WINEPREFIX="$PWD/build-win/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# UTF-8 on the Unix side, so that accented arguments and file names reach
# the programs intact.
export LC_ALL=C.UTF-8
unset DISPLAY WAYLAND_DISPLAY
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  t0=$(date +%s)
  wineboot -i >/dev/null 2>&1
  wineserver -w
  echo "Wine prefix made in $(( $(date +%s) - t0 )) s"
fi
mkdir -p build-win/lecteur-d
ln -sfn "$PWD/build-win/lecteur-d" "$WINEPREFIX/dosdevices/d:"
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
# The operator's regional settings: English ones for the test suite.
international() { wine reg add 'HKCU\Control Panel\International' /v "$1" /d "$2" /f >/dev/null; }
international sDecimal '.'
international sThousand ','
# Qt's offscreen platform, on which the window's tests run, takes its fonts
# from a folder: Liberation, Arial's metrics. (Wine passes no QT_ variable
# from the Unix side, so it goes through the Windows environment.)
wine reg add 'HKCU\Environment' /v QT_QPA_FONTDIR /d 'Z:\usr\share\fonts\truetype\liberation' /f >/dev/null
wineserver -w

suite=0
(cd build-win && ctest --output-on-failure -j"$jobs") || suite=$?

# One run on each side, from the same configuration and options. Under Wine
# the folder is an accented one on d: and the operator's regional settings
# are French ones: a decimal comma, and a plain space between groups, which
# the program writes as a no-break space so that a number stays one word.
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DONDARIS_TESTS=ON >/dev/null
cmake --build build -j"$jobs" --target ondaris-acq
cmp_dir=build-win/comparaison
rm -rf "$cmp_dir" build-win/lecteur-d/Mesures*
mkdir -p "$cmp_dir/linux" "$cmp_dir/windows"
options=(--simulateur --sim-rythme libre --config "$PWD/tests/tools/essai.txt" --duree 0.5 --nom Essai
         --sans-progression)
(cd "$cmp_dir/linux" && ../../../build/ondaris-acq "${options[@]}" --dossier "$PWD/Mesures é" >pane.txt)
international sDecimal ','
international sThousand ' '
rc=0
(cd "$cmp_dir/windows" && wine ../../ondaris-acq.exe "${options[@]}" --dossier 'd:\Mesures é' >pane.txt) || rc=$?
international sDecimal '.'
international sThousand ','
lin="$cmp_dir/linux/Mesures é"
win="build-win/lecteur-d/Mesures é"
if [ "$rc" -ne 0 ] || [ ! -f "$win/Essai.Ond" ]; then
  cat "$cmp_dir/windows/pane.txt"
  echo "ÉCHEC : ondaris-acq.exe sous Wine (code $rc) n'a pas écrit $win/Essai.*"
  exit 1
fi
echecs=0
echec() { echo "ÉCHEC : $*"; echecs=$((echecs + 1)); }

cmp -s "$lin/Essai.dat" "$win/Essai.dat" || echec ".dat différents"
[ "$(stat -c %s "$win/Essai.Ond")" = 2097 ] || echec ".Ond de $(stat -c %s "$win/Essai.Ond") octets"
# Bytes 0-15 are the start date.
cmp -s <(tail -c +17 "$lin/Essai.Ond") <(tail -c +17 "$win/Essai.Ond") || echec ".Ond différents après la date"
grep -qF "Nom du fichier d'acquisition : d:\\Mesures é\\Essai.dat" "$cmp_dir/windows/pane.txt" ||
  echec "chemin d:\\Mesures é\\Essai.dat absent du volet"
grep -qF $'Fréquence : 10\xC2\xA0000 Hz' "$cmp_dir/windows/pane.txt" ||
  echec "fréquence sans les séparateurs régionaux dans le volet"

# Text files: date lines and path lines dropped, French numbers (decimal
# comma, no-break space between groups) written the English way.
sans_date() { grep -avE '^(Date|Heure) = |^Fichier d' "$1" || true; }
en_anglais() { sed -E -e 's/([0-9]),([0-9])/\1.\2/g' -e 's/([0-9])\xC2\xA0([0-9])/\1,\2/g'; }
for f in "Mesures é/Essai.log:Essai.log" "config_en_cours.txt:config_en_cours.txt"; do
  a="${f%%:*}"; b="${f#*:}"
  [ "$b" = Essai.log ] && wb="$win/$b" || wb="$cmp_dir/windows/$b"
  echo "--- $b : Linux / Wine (fr-FR), lignes qui diffèrent"
  diff "$cmp_dir/linux/$a" "$wb" | grep -a '^[<>]' || true
  diff -q <(sans_date "$cmp_dir/linux/$a") <(sans_date "$wb" | en_anglais) >/dev/null ||
    echec "$b diffère ailleurs que sur la date, la langue et les chemins"
done

# A real window under an emulator and a virtual display: a failure prints
# what was on the screen, and the check is made once more before it counts.
fenetre=0
scripts/essai-fenetre-wine.sh build-win || {
  echo "La fenêtre sous Wine a échoué une fois (écran ci-dessus) : nouvel essai."
  fenetre=0
  scripts/essai-fenetre-wine.sh build-win || fenetre=$?
}

echo "Windows (MinGW-w64 + Wine) : $(( $(date +%s) - debut )) s"
[ "$echecs" -eq 0 ] && echo "Acquisition sous Wine identique à celle de Linux." ||
  echo "$echecs comparaison(s) en échec"
[ "$suite" -eq 0 ] || echo "Tests sous Wine en échec"
[ "$fenetre" -eq 0 ] || echo "Fenêtre sous Wine en échec"
[ "$echecs" -eq 0 ] && [ "$suite" -eq 0 ] && [ "$fenetre" -eq 0 ]
