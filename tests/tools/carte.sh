#!/usr/bin/env bash
# The acoustic map end to end: the simulated box records point sources over
# its own array, ondaris-carte finds them where they are, at their level.
#   carte.sh BIN_DIR OUT_DIR SOURCE_DIR
set -euo pipefail
bin=$1 out=$2 src=$3
rm -rf "$out" && mkdir -p "$out" && cd "$out"
geo="$src/data/geometrie-simulateur.xml"

echec() { echo "ECHEC : $*" >&2; exit 1; }
attend() {
  local code=$1 nom=$2; shift 2
  set +e; "$@" >"$nom.txt" 2>&1; local rc=$?; set -e
  [ "$rc" -eq "$code" ] || { cat "$nom.txt" >&2; echec "$* : code $rc, $code attendu"; }
}

# All 1024 microphones at 50 kHz, float32.
{
  sed -n '1,/^\[Micros actifs\]/p' "$src/tests/tools/ouverte.txt"
  for f in $(seq 0 127); do printf "Faisceau_%03d  1  1  1  1  1  1  1  1\n" "$f"; done
  echo
  sed -n '/^\[VA actives\]/,$p' "$src/tests/tools/ouverte.txt"
} > complet.txt

enregistre() { # NAME POINT
  attend 0 acq-$1 "$bin/ondaris-acq" --simulateur --sim-rythme libre --config complet.txt --duree 0.3 \
    --dossier . --nom "$1" --sans-progression --sim-geometrie "$geo" --sim-point "$2"
}
# maximum : x = X m, y = Y m, niveau = L dB
maximum() { # NAME BAND -> "X Y L"
  attend 0 carte-$1 "$bin/ondaris-carte" "$1.dat" --geometrie "$geo" --bande "$2" --z 1 --png "$1.png"
  sed -n 's/^maximum : x = \(.*\) m, y = \(.*\) m, niveau = \(.*\) dB$/\1 \2 \3/p' carte-$1.txt
}
pres() { awk -v a="$1" -v b="$2" -v t="$3" 'BEGIN { d = a - b; exit !(d <= t && -d <= t) }'; }

# Broadband noise on either side: the maximum within one grid step (the
# aperture is about 1 m over 41 points) of the source, in x and in y.
for cas in "A 0.2 -0.1" "B -0.2 0.1" "C 0.3 0.3"; do
  set -- $cas
  enregistre "$1" "$2,$3,1,bruit"
  read -r x y l < <(maximum "$1" 2000)
  pres "$x" "$2" 0.026 && pres "$y" "$3" 0.026 || echec "source $1 à ($2, $3), maximum à ($x, $y)"
  [ -s "$1.png" ] || echec "$1.png"
done

# A 2 kHz tone of 94 dB SPL at 1 m, 1.0247 m from the array's centre: in
# counts (281 171 per pascal) 94 + 15 - 0.21 dB re 1 unit².
enregistre T "0.2,-0.1,1,2000"
read -r x y l < <(maximum T 2000)
pres "$l" 108.79 0.5 || echec "niveau du son pur : $l dB, 108.8 attendus"

# The same map through the nominal factor of every microphone (1 / 281 171
# Pa per count) reads dB SPL re 20 µPa: 15.00 dB less, 93.8 dB SPL.
{
  echo '<?xml version="1.0" encoding="utf-8"?>'
  echo '<Calib name="nominale">'
  for i in $(seq 1 1024); do echo "  <pos Name=\"Point $i\" factor=\"3.5565588529e-06\"/>"; done
  echo '</Calib>'
} > cal.xml
attend 0 carte-cal "$bin/ondaris-carte" T.dat --geometrie "$geo" --bande 2000 --z 1 --calibration cal.xml
spl=$(sed -n 's/^maximum : x = 0.2000 m, y = -0.1000 m, niveau = \(.*\) dB SPL$/\1/p' carte-cal.txt)
[ -n "$spl" ] || { cat carte-cal.txt >&2; echec "carte calibrée : pas de maximum en dB SPL"; }
pres "$spl" "$(awk -v l="$l" 'BEGIN { print l - 15 }')" 0.011 || echec "niveau calibré : $spl dB SPL pour $l dB"

# A band narrower than the resolution is named so; a distance beyond 1 km
# is refused before anything is read; an array lifted to z = 1 m is mapped
# 1 m in front of it, where the same source is found.
attend 1 bande-basse "$bin/ondaris-carte" T.dat --geometrie "$geo" --bande 25 --z 1
grep -q "bande de 25 Hz plus étroite que la résolution" bande-basse.txt || echec "message de la bande basse"
attend 64 z-loin "$bin/ondaris-carte" T.dat --geometrie "$geo" --bande 2000 --z 1e300
sed 's/ z="0"/ z="1"/' "$geo" > leve.xml
attend 0 carte-leve "$bin/ondaris-carte" T.dat --geometrie leve.xml --bande 2000 --z 1
grep -q "^maximum : x = 0.2000 m, y = -0.1000 m, niveau = " carte-leve.txt || echec "réseau à z = 1 : $(cat carte-leve.txt)"
sed '0,/ x="[^"]*"/s// x="1e308"/' "$geo" > loin.xml
attend 1 geometrie-loin "$bin/ondaris-carte" T.dat --geometrie loin.xml --bande 2000 --z 1
grep -q "au-delà de 100 m" geometrie-loin.txt || echec "géométrie à 1e308 m"

# Refusals of the runner's options.
attend 64 nan "$bin/ondaris-acq" --simulateur --sim-geometrie "$geo" --sim-point nan,0,1,bruit
attend 64 inf "$bin/ondaris-acq" --simulateur --sim-geometrie "$geo" --sim-point 0,0,inf,1000
attend 64 derriere "$bin/ondaris-acq" --simulateur --sim-geometrie "$geo" --sim-point 0,0,-1,bruit
attend 64 sans-geometrie "$bin/ondaris-acq" --simulateur --sim-point 0,0,1,bruit
attend 64 sans-simulateur "$bin/ondaris-acq" --sim-geometrie "$geo"
grep -q "sim-point « nan,0,1,bruit »" nan.txt || echec "message de nan"
exit 0
