#!/usr/bin/env bash
# The real window under Wine, as an operator meets it: in a virtual display
# (Xvfb), ondaris-simulateur.exe from a cross build starts and shows its
# title; Init, Start, a recording of at least 2 s, Stop; the analysis window
# opens; the main window closes when asked as a window manager asks
# (WM_DELETE_WINDOW), and the program ends. The recording's frames are the
# ones the Linux runner records from the same settings, and a screenshot of
# the window goes to CONSTRUCTION/captures/fenetre-wine.png.
#   scripts/essai-fenetre-wine.sh [CONSTRUCTION]   (build-win by default; the
#   Linux runner is build/ondaris-acq, built if missing)
set -euo pipefail
cd "$(dirname "$0")/.."
construction=${1:-build-win}
x11() { /usr/bin/python3 tests/app/fenetre/x11.py "$@"; }
# A click at (X, Y) in the main window.
clique() { x11 clic "$fenetre" "$1" "$2" || echec "pas de clic possible en ($1, $2)"; }
# A failure says what was on the screen: the windows with their titles and
# places, whether the program still runs, its output, and a screenshot.
echec() {
  echo "ÉCHEC (fenêtre $ou) : $*"
  if [ -n "${DISPLAY:-}" ] && [ -n "${xvfb:-}" ]; then
    echo "Fenêtres à l'écran :"
    x11 liste | sed 's/^/  /' || true
    x11 capture "$construction/captures/echec.png" || true
    echo "Écran : $construction/captures/echec.png"
  fi
  if [ -n "${programme:-}" ]; then
    kill -0 "$programme" 2>/dev/null && echo "Le programme tourne encore." || echo "Le programme s'est terminé."
  fi
  [ -s "$essai/sortie.txt" ] && tail -20 "$essai/sortie.txt"
  exit 1
}

export WINEPREFIX="$PWD/$construction/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LC_ALL=C.UTF-8
unset WAYLAND_DISPLAY
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  (unset DISPLAY; wineboot -i >/dev/null 2>&1; wineserver -w)
fi
mkdir -p "$construction/lecteur-d"
ln -sfn "$PWD/$construction/lecteur-d" "$WINEPREFIX/dosdevices/d:"

essai=$PWD/$construction/fenetre-wine
mesures=$PWD/$construction/lecteur-d/Fenetre
rm -rf "$essai" "$mesures"
mkdir -p "$essai" "$mesures" "$construction/captures"
# The test configuration, with no set duration and its file on d:.
sed -e 's/^Duree = .*/Duree = 0  s/' tests/tools/essai.txt >"$essai/config_en_cours.txt"
# A build for Linux (a folder without the .exe) runs the same check natively.
if [ -f "$construction/ondaris-simulateur.exe" ]; then
  lance=(wine "$PWD/$construction/ondaris-simulateur.exe")
  ou="sous Wine"
  printf "Fichier d'acquisition (sans extension) = d:\\\\Fenetre\\\\Essai\r\n" >>"$essai/config_en_cours.txt"
else
  lance=("$PWD/$construction/ondaris-simulateur")
  ou="sous Linux"
  printf "Fichier d'acquisition (sans extension) = %s/Essai\r\n" "$mesures" >>"$essai/config_en_cours.txt"
fi

# The Linux runner's recording of the same settings, 10 s of it, made first.
[ -x build/ondaris-acq ] || cmake --build build --target ondaris-acq >/dev/null
reference=$essai/linux
mkdir -p "$reference"
(cd "$reference" && ../../../build/ondaris-acq --simulateur --sim-rythme libre --config "$essai/config_en_cours.txt" \
   --duree 10 --dossier "$reference" --nom Essai --sans-progression >pane.txt) ||
  echec "l'enregistrement de référence sous Linux a échoué"
par_seconde=$(( $(stat -c %s "$reference/Essai.dat") / 10 ))

# A display of our own, on the first free number.
xvfb=
affichage=$(mktemp)
Xvfb -displayfd 3 -screen 0 1920x1200x24 -nolisten tcp 3>"$affichage" 2>/dev/null &
xvfb=$!
programme=
nettoie() {
  [ -n "$programme" ] && kill "$programme" 2>/dev/null || true
  wineserver -k >/dev/null 2>&1 || true
  kill "$xvfb" 2>/dev/null || true
  rm -f "$affichage"
}
trap nettoie EXIT
for _ in $(seq 100); do [ -s "$affichage" ] && break; sleep 0.1; done
[ -s "$affichage" ] || echec "Xvfb n'a pas démarré"
export DISPLAY=":$(head -1 "$affichage")"

# A Wine session of its own, started on this display: one left by the
# programs before (run without a display) places the window elsewhere and
# never shows its second window.
wineserver -k >/dev/null 2>&1 || true
wineserver -w >/dev/null 2>&1 || true
debut=$(date +%s)
(cd "$essai" && exec "${lance[@]}" >"$essai/sortie.txt" 2>&1) &
programme=$!
fenetre=$(x11 attend "BOÎTIER SIMULÉ" 180) || echec "aucune fenêtre « BOÎTIER SIMULÉ » en 180 s"
titre=$(x11 titre "$fenetre")
echo "Fenêtre ouverte en $(( $(date +%s) - debut )) s : $titre"
sleep 2

# Init, then Start until the run has begun (Start acts once Init is done).
clique 315 118
dat="$mesures/Essai.dat"
for _ in $(seq 30); do
  sleep 2
  [ -f "$dat" ] && break
  clique 91 242
done
[ -f "$dat" ] || echec "Init puis Start n'ont pas commencé d'enregistrement"

# The header and the description are written at Start and again at the end
# of the run; the data file grows a whole packet at a time. At least 2 s,
# then Stop, then the run's end.
ond_debut=$(md5sum <"$mesures/Essai.Ond")
log_debut=$(md5sum <"$mesures/Essai.log")
sleep 3
clique 315 242
fini=0
for _ in $(seq 120); do
  if [ "$(md5sum <"$mesures/Essai.Ond")" != "$ond_debut" ] && [ "$(md5sum <"$mesures/Essai.log")" != "$log_debut" ]; then
    fini=1
    break
  fi
  sleep 0.5
done
[ "$fini" -eq 1 ] || echec "le run ne s'est pas terminé dans les 60 s après Stop"
sleep 1
[ "$(stat -c %s "$mesures/Essai.Ond")" = 2097 ] || echec "un .Ond de $(stat -c %s "$mesures/Essai.Ond") octets"
[ "$(stat -c %s "$dat")" -ge $(( 2 * par_seconde )) ] || echec "moins de 2 s enregistrées"
taille=$(stat -c %s "$dat")
[ "$taille" -le "$(stat -c %s "$reference/Essai.dat")" ] || echec "plus de 10 s enregistrées avant Stop"
cmp -s -n "$taille" "$dat" "$reference/Essai.dat" || echec "les trames diffèrent de celles de Linux"
echo "Enregistré $ou : $taille octets ($(( taille * 10 / par_seconde )) dixièmes de seconde), les mêmes trames que sous Linux"

x11 capture "$construction/captures/fenetre-wine.png" "$fenetre"

# The analysis window (its button acts once the run's end is handled).
analyse=
for _ in $(seq 20); do
  clique 1229 15
  analyse=$(x11 attend "Ondaris 1024 : analyse" 3) && break
done
[ -n "$analyse" ] || echec "la fenêtre d'analyse ne s'ouvre pas"
sleep 2
x11 capture "$construction/captures/analyse-wine.png" "$analyse"

# Closed as a window manager asks; the program ends by itself.
x11 ferme "$fenetre"
for _ in $(seq 60); do
  kill -0 "$programme" 2>/dev/null || break
  sleep 0.5
done
if kill -0 "$programme" 2>/dev/null; then
  echec "le programme tourne encore 30 s après WM_DELETE_WINDOW"
fi
code=0
wait "$programme" || code=$?
programme=
[ "$code" -eq 0 ] || echec "le programme s'est terminé avec le code $code"
echo "Fenêtre $ou : titre, Init, enregistrement, Stop, analyse et fermeture en $(( $(date +%s) - debut )) s"
