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

# The same tone referred to 1 m from the source reads its 94 dB SPL; the
# map's values as CSV and HDF5, read back with their axes, unit and
# settings, agree with the line printed and with each other.
attend 0 carte-src "$bin/ondaris-carte" T.dat --geometrie "$geo" --bande 2000 --z 1 --calibration cal.xml \
  --niveau source --csv T.csv --h5 T.h5
src=$(sed -n 's/^maximum : x = 0.2000 m, y = -0.1000 m, niveau = \(.*\) dB SPL$/\1/p' carte-src.txt)
pres "${src:-0}" 94 0.3 || echec "niveau à 1 m de la source : « $(head -1 carte-src.txt) », 94 dB SPL attendus"
grep -q "^niveaux : dB SPL re 20 µPa, niveau à 1 m de la source" carte-src.txt || echec "unité : $(cat carte-src.txt)"
grep -q "^réglages : c = 343.0 m/s (défaut), instantanés de 1024 trames" carte-src.txt || echec "réglages : $(cat carte-src.txt)"
grep -q "^niveaux : dB re 1 point², niveau au centre du réseau" carte-T.txt || echec "unité sans calibration"
! grep -q "maximum au bord" carte-src.txt || echec "avertissement sans raison"
/usr/bin/python3 - T.h5 T.csv "$src" <<'PY' || echec "T.h5 / T.csv"
import sys, csv, h5py, numpy as np
h5, nom_csv, niveau = sys.argv[1], sys.argv[2], float(sys.argv[3])
f = h5py.File(h5, "r")
n, x, y = f["niveau"][()], f["x"][()], f["y"][()]
a = f.attrs
assert n.shape == (len(y), len(x)) == (41, 41), n.shape
assert f["niveau"].attrs["unite"] == "dB SPL re 20 µPa" == a["unite"], a["unite"]
assert f["x"].attrs["unite"] == "m" and f["y"].attrs["unite"] == "m"
assert abs(x[0] + 0.5) < 1e-3 and abs(x[-1] - 0.5) < 1e-3 and np.all(np.diff(y) > 0)
j, i = np.unravel_index(np.argmax(n), n.shape)
assert abs(x[i] - 0.2) < 1e-4 and abs(y[j] + 0.1) < 1e-4, (x[i], y[j])
assert abs(n.max() - niveau) < 0.006 and abs(a["niveau_max"] - niveau) < 0.006
for k, v in (("bande", 2000), ("z", 1), ("celerite", 343), ("instantane_trames", 1024), ("micros", 1024)):
    assert a[k] == v, (k, a[k])
assert a["instantanes"] > 20 and 1770 < a["f_basse"] < 1790 and 2230 < a["f_haute"] < 2250
assert a["diagonale"] == "retirée" and a["reference"] == "source" and a["calibration"] == "cal.xml"
assert a["source"] == "T.dat" and a["logiciel"].startswith("ondaris-carte ") and "avertissement" not in a
lignes = open(nom_csv, encoding="utf-8").read().splitlines()
entete = [l for l in lignes if l.startswith("# ")]
assert "# unite : dB SPL re 20 µPa" in entete and "# bande : 2000" in entete and "# reference : source" in entete
v = list(csv.reader(l for l in lignes if not l.startswith("#")))
assert v[0] == ["x_m", "y_m", "niveau_dB"] and len(v) == 1 + 41 * 41
v = np.array(v[1:], dtype=float)
assert np.allclose(v[:, 0], np.tile(x, 41)) and np.allclose(v[:, 1], np.repeat(y, 41))
assert np.allclose(v[:, 2], n.ravel(), atol=1e-5)
PY

# A source outside the grid, at x = 0.8 m: the maximum on the border and
# the warning on the line and in both files; the grid widened, it is
# found there without a warning. The speed of sound from the air's
# temperature is said.
bord="maximum au bord de la grille : la source est peut-être en dehors"
enregistre O "0.8,0,1,bruit"
attend 0 carte-O "$bin/ondaris-carte" O.dat --geometrie "$geo" --bande 2000 --z 1 --csv O.csv --h5 O.h5 --png O.png
grep -qx "$bord" carte-O.txt || echec "source hors de la grille sans avertissement : $(cat carte-O.txt)"
[ "$(head -1 O.csv)" = "# avertissement : $bord" ] || echec "O.csv : $(head -1 O.csv)"
/usr/bin/python3 -c "import h5py, sys; assert h5py.File('O.h5')['/'].attrs['avertissement'] == sys.argv[1]" "$bord" \
  || echec "O.h5 sans avertissement"
attend 0 carte-O-large "$bin/ondaris-carte" O.dat --geometrie "$geo" --bande 2000 --z 1 --grille-x -0.2,1.2 \
  --grille-pas 0.025 --temperature 20
read -r x y _ < <(sed -n 's/^maximum : x = \(.*\) m, y = \(.*\) m, niveau = \(.*\) dB$/\1 \2 \3/p' carte-O-large.txt)
pres "$x" 0.8 0.026 && pres "$y" 0 0.026 || echec "grille élargie : $(cat carte-O-large.txt)"
! grep -q "maximum au bord" carte-O-large.txt || echec "avertissement dans la grille élargie"
grep -q "^grille : 57 x 41 points, x de -0.200 à 1.200 m" carte-O-large.txt || echec "grille : $(cat carte-O-large.txt)"
grep -q "^réglages : c = 343.2 m/s (air à 20.0 °C)" carte-O-large.txt || echec "c : $(cat carte-O-large.txt)"
attend 64 c-deux "$bin/ondaris-carte" O.dat --geometrie "$geo" --bande 2000 --z 1 --celerite 340 --temperature 20
attend 64 grille-deux "$bin/ondaris-carte" O.dat --geometrie "$geo" --bande 2000 --z 1 --grille-pas 0.01 --grille-points 9
attend 64 grille-x "$bin/ondaris-carte" O.dat --geometrie "$geo" --bande 2000 --z 1 --grille-x 1,-1
attend 64 instantane "$bin/ondaris-carte" O.dat --geometrie "$geo" --bande 2000 --z 1 --instantane 1001
attend 64 meme-sortie "$bin/ondaris-carte" O.dat --geometrie "$geo" --bande 2000 --z 1 --csv X.csv --h5 X.csv
attend 1 grille-trop "$bin/ondaris-carte" O.dat --geometrie "$geo" --bande 2000 --z 1 --grille-points 400
grep -q "400 x 400 points sur 1024 micros" grille-trop.txt || echec "grille trop grande : $(cat grille-trop.txt)"
attend 1 csv-dat "$bin/ondaris-carte" O.dat --geometrie "$geo" --bande 2000 --z 1 --csv O.dat
attend 1 h5-dossier "$bin/ondaris-carte" O.dat --geometrie "$geo" --bande 2000 --z 1 --h5 nulle/part/O.h5
[ ! -e X.csv ] || echec "X.csv écrit malgré un refus"

# The capsules' own noise alone: without the diagonal (the default) the
# map's maximum is lower than the plain map's (by 4.6 dB: the simulated
# noise repeats with the box's frame table, so it does not average away as
# a real capsule's does); the tone keeps its level either way.
attend 0 acq-N "$bin/ondaris-acq" --simulateur --sim-rythme libre --config complet.txt --duree 0.3 \
  --dossier . --nom N --sans-progression --sim-geometrie "$geo" --sim-amplitude 0
read -r _ _ sans < <(maximum N 4000)
grep -q "^diagonale retirée" carte-N.txt || echec "la diagonale retirée n'est pas dite"
attend 0 carte-N-avec "$bin/ondaris-carte" N.dat --geometrie "$geo" --bande 4000 --z 1 --avec-diagonale
avec=$(sed -n 's/^maximum : .* niveau = \(.*\) dB$/\1/p' carte-N-avec.txt)
grep -q "^diagonale gardée" carte-N-avec.txt || echec "la diagonale gardée n'est pas dite"
awk -v a="$avec" -v s="$sans" 'BEGIN { exit !(a - s >= 3) }' || echec "bruit seul : $sans dB sans la diagonale, $avec dB avec"
attend 0 carte-T-avec "$bin/ondaris-carte" T.dat --geometrie "$geo" --bande 2000 --z 1 --avec-diagonale
l_avec=$(sed -n 's/^maximum : .* niveau = \(.*\) dB$/\1/p' carte-T-avec.txt)
pres "$l_avec" "$l" 0.5 || echec "son pur : $l dB sans la diagonale, $l_avec dB avec"

# The distance found by itself: a source 1.5 m in front, the plane found
# within 10 % over 0.5 to 3 m, and the source there.
attend 0 acq-Z "$bin/ondaris-acq" --simulateur --sim-rythme libre --config complet.txt --duree 0.3 \
  --dossier . --nom Z --sans-progression --sim-geometrie "$geo" --sim-point 0.2,-0.1,1.5,bruit
attend 0 carte-Z "$bin/ondaris-carte" Z.dat --geometrie "$geo" --bande 4000 --z auto
z=$(sed -n 's/^distance trouvée : z = \([0-9.]*\) m (de 0.500 à 3.000 m, .*/\1/p' carte-Z.txt)
pres "${z:-0}" 1.5 0.15 || echec "distance trouvée : « $(head -1 carte-Z.txt) », 1,5 m attendus"
grep -q "^maximum : x = 0.2000 m, y = -0.1000 m" carte-Z.txt || echec "source à 1,5 m : $(sed -n 2p carte-Z.txt)"
attend 64 z-plage "$bin/ondaris-carte" Z.dat --geometrie "$geo" --bande 4000 --z auto --z-plage 3,1

# CLEAN-SC: two noises 0.1 m apart at 1 m, 6 dB apart (one spot on the
# plain map, the README shows): both listed within one grid step, 6 dB apart within
# 1.5 dB. Its options are refused with the plain map.
attend 0 acq-S "$bin/ondaris-acq" --simulateur --sim-rythme libre --config complet.txt --duree 0.3 \
  --dossier . --nom S --sans-progression --sim-geometrie "$geo" --sim-point 0.05,0,1,bruit \
  --sim-point -0.05,0,1,bruit,88
attend 0 carte-S "$bin/ondaris-carte" S.dat --geometrie "$geo" --bande 4000 --z 1 --methode clean-sc --png S.png
grep -q "^CLEAN-SC : 19 raies, " carte-S.txt || echec "CLEAN-SC : $(cat carte-S.txt)"
read -r x1 y1 l1 < <(sed -n 's/^source 1 : x = \(.*\) m, y = \(.*\) m, z = 1.0000 m, niveau = \(.*\) dB$/\1 \2 \3/p' carte-S.txt)
read -r x2 y2 l2 < <(sed -n 's/^source 2 : x = \(.*\) m, y = \(.*\) m, z = 1.0000 m, niveau = \(.*\) dB$/\1 \2 \3/p' carte-S.txt)
pres "${x1:-9}" 0.05 0.026 && pres "${y1:-9}" 0 0.026 && pres "${x2:-9}" -0.05 0.026 && pres "${y2:-9}" 0 0.026 ||
  echec "CLEAN-SC : sources à ($x1, $y1) et ($x2, $y2), (0.05, 0) et (-0.05, 0) attendues"
pres "$(awk -v a="$l1" -v b="$l2" 'BEGIN { print a - b }')" 6 1.5 || echec "CLEAN-SC : $l1 et $l2 dB, 6 dB d'écart attendus"
[ -s S.png ] || echec "S.png"
attend 64 gain-das "$bin/ondaris-carte" S.dat --geometrie "$geo" --bande 4000 --z 1 --gain-boucle 0.5
attend 64 methode "$bin/ondaris-carte" S.dat --geometrie "$geo" --bande 4000 --z 1 --methode clean

# The low bands take snapshots long enough to hold lines of them: 125 Hz
# (8192 frames) is mapped from 0.3 s, 25 Hz (16 384) asks for more than
# the recording holds and says so; a distance beyond 1 km is refused before
# anything is read; an array lifted to z = 1 m is mapped 1 m in front of
# it, where the same source is found.
attend 0 bande-125 "$bin/ondaris-carte" T.dat --geometrie "$geo" --bande 125 --z 1
grep -q "^maximum : x = " bande-125.txt || echec "carte de la bande de 125 Hz"
attend 1 bande-basse "$bin/ondaris-carte" T.dat --geometrie "$geo" --bande 25 --z 1
grep -q "moins de 16384 trames dans l'intervalle demandé" bande-basse.txt || echec "message de la bande basse"
attend 64 z-loin "$bin/ondaris-carte" T.dat --geometrie "$geo" --bande 2000 --z 1e300
sed 's/ z="0"/ z="1"/' "$geo" > leve.xml
attend 0 carte-leve "$bin/ondaris-carte" T.dat --geometrie leve.xml --bande 2000 --z 1
grep -q "^maximum : x = 0.2000 m, y = -0.1000 m, niveau = " carte-leve.txt || echec "réseau à z = 1 : $(cat carte-leve.txt)"
sed '0,/ x="[^"]*"/s// x="1e308"/' "$geo" > loin.xml
attend 1 geometrie-loin "$bin/ondaris-carte" T.dat --geometrie loin.xml --bande 2000 --z 1
grep -q "au-delà de 100 m" geometrie-loin.txt || echec "géométrie à 1e308 m"

# Listening: two tones at two points, the array steered at each. The line
# gives the level of the whole signal, that of the source at the array's
# centre (93.8 dB SPL); the WAV carries that source's band 15 dB at least
# above the other's.
attend 0 acq-D "$bin/ondaris-acq" --simulateur --sim-rythme libre --config complet.txt --duree 0.3 \
  --dossier . --nom D --sans-progression --sim-geometrie "$geo" --sim-point 0.2,-0.1,1,2000 \
  --sim-point -0.2,0.15,1,3150
bandes_wav() { # WAV -> "L2000 L3150", dB SPL in each third-octave
  /usr/bin/python3 - "$1" <<'PY'
import sys, numpy as np
b = open(sys.argv[1], "rb").read()
assert b[:4] == b"RIFF" and b[8:16] == b"WAVEfmt " and b[20:22] == b"\x03\x00", "pas un WAV flottant"
x = np.frombuffer(b[58:], dtype="<f4").astype(float)
w = np.hanning(len(x))
p = np.abs(np.fft.rfft(x * w)) ** 2 * 2 / (w ** 2).sum() / len(x)
f = np.fft.rfftfreq(len(x), 1 / 50000)
print(*(round(10 * np.log10(p[(f > c * 2 ** (-1 / 6)) & (f < c * 2 ** (1 / 6))].sum() / 4e-10), 2)
        for c in (1000 * 10 ** 0.3, 1000 * 10 ** 0.5)))
PY
}
for cas in "1 0.2,-0.1,1" "2 -0.2,0.15,1"; do
  set -- $cas
  attend 0 ecoute-$1 "$bin/ondaris-carte" D.dat --geometrie "$geo" --ecoute "$2" D$1.wav --calibration cal.xml
  l=$(sed -n 's/^écoute : x = .* m, 1024 micros, niveau = \(.*\) dB SPL$/\1/p' ecoute-$1.txt)
  pres "$l" 93.79 1 || echec "écoute de $2 : « $(cat ecoute-$1.txt) », 93,8 dB SPL attendus"
  read -r a b < <(bandes_wav D$1.wav)
  [ "$1" = 1 ] && { voulu=$a; autre=$b; } || { voulu=$b; autre=$a; }
  pres "$voulu" 93.79 1 || echec "écoute de $2 : sa bande à $voulu dB SPL"
  awk -v v="$voulu" -v a="$autre" 'BEGIN { exit !(v - a >= 15) }' || echec "écoute de $2 : l'autre source à $autre dB SPL"
done
# In one band, the other tone is gone; a point on a microphone, a WAV over
# the recording, a map option with the listening are refused.
attend 0 ecoute-bande "$bin/ondaris-carte" D.dat --geometrie "$geo" --ecoute 0.2,-0.1,1 D3.wav --calibration cal.xml \
  --bande 3150
read -r a b < <(bandes_wav D3.wav)
awk -v v="$b" -v a="$a" 'BEGIN { exit !(v - a >= 40) }' || echec "écoute dans la bande de 3150 Hz : $a / $b dB SPL"
micro=$(sed -n 's/.*<pos [^>]*x="\([^"]*\)" y="\([^"]*\)" z="\([^"]*\)".*/\1,\2,\3/p;T;q' "$geo")
attend 1 ecoute-micro "$bin/ondaris-carte" D.dat --geometrie "$geo" --ecoute "$micro" D4.wav
grep -q "sur un micro" ecoute-micro.txt || echec "écoute sur un micro : $(cat ecoute-micro.txt)"
attend 1 ecoute-dat "$bin/ondaris-carte" D.dat --geometrie "$geo" --ecoute 0,0,1 D.dat
cmp -s D.dat <(head -c "$(stat -c %s D.dat)" D.dat) || echec "D.dat touché"
attend 64 ecoute-png "$bin/ondaris-carte" D.dat --geometrie "$geo" --ecoute 0,0,1 D5.wav --png D5.png
attend 64 ecoute-sans-wav "$bin/ondaris-carte" D.dat --geometrie "$geo" --ecoute 0,0,1
attend 64 ecoute-point "$bin/ondaris-carte" D.dat --geometrie "$geo" --ecoute 0,1 D6.wav
[ ! -e D4.wav ] && [ ! -e D5.wav ] && [ ! -e D6.wav ] || echec "un WAV écrit malgré un refus"

# Refusals of the runner's options.
attend 64 nan "$bin/ondaris-acq" --simulateur --sim-geometrie "$geo" --sim-point nan,0,1,bruit
attend 64 inf "$bin/ondaris-acq" --simulateur --sim-geometrie "$geo" --sim-point 0,0,inf,1000
attend 64 derriere "$bin/ondaris-acq" --simulateur --sim-geometrie "$geo" --sim-point 0,0,-1,bruit
attend 64 sans-geometrie "$bin/ondaris-acq" --simulateur --sim-point 0,0,1,bruit
attend 64 sans-simulateur "$bin/ondaris-acq" --sim-geometrie "$geo"
grep -q "sim-point « nan,0,1,bruit »" nan.txt || echec "message de nan"
exit 0
