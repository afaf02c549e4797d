#!/usr/bin/env bash
# The recording tools end to end, on recordings of the simulated box made by
# the headless runner.
#   outils.sh exports|voies|cablage|calibration|repare BIN_DIR OUT_DIR TESTS_DIR PYTHON
set -euo pipefail
mode=$1 bin=$2 out=$3 src=$4 py=$5
rm -rf "$out" && mkdir -p "$out" && cd "$out"

echec() { echo "ECHEC : $*" >&2; exit 1; }
taille() { stat -c %s "$1"; }
# Runs a command that must exit with the given code; its output goes to $2.txt.
attend() {
  local code=$1 nom=$2; shift 2
  set +e; "$@" >"$nom.txt" 2>&1; local rc=$?; set -e
  [ "$rc" -eq "$code" ] || { cat "$nom.txt" >&2; echec "$* : code $rc, $code attendu"; }
}

if [ "$mode" = exports ]; then
  # int32: 8 + 4 microphones, analogue 0, counter A; float32: 128
  # microphones, analogue 4, counters A and B.
  attend 0 acq1 "$bin/ondaris-acq" --simulateur --sim-rythme libre --config "$src/tools/essai.txt" \
    --dossier . --nom Entier --sans-progression
  attend 0 acq2 "$bin/ondaris-acq" --simulateur --sim-rythme libre --config "$src/tools/ouverte.txt" \
    --duree 0.1 --dossier . --nom Flottant --sans-progression
  for n in Entier Flottant; do
    attend 0 verifie-$n "$bin/ondaris-verifie" $n.dat
    grep -q "Aucune perte" verifie-$n.txt || echec "ondaris-verifie $n.dat"
    attend 0 h5-$n "$bin/ondaris-export" $n.dat --format h5
    attend 0 npy-$n "$bin/ondaris-export" $n.dat --format npy --voies tout
    attend 0 sigmf-$n "$bin/ondaris-export" $n.dat --format sigmf
  done
  attend 0 partie "$bin/ondaris-export" Flottant.dat --format h5 --voies 0-3,2004,3001 \
    --debut 0.01 --duree 0.02 --sortie Partie.h5
  attend 1 existe "$bin/ondaris-export" Entier.dat --format h5
  # SigMF's time is UTC: the header's local time read in Paris in winter
  # (a POSIX rule, no time-zone data needed) is an hour earlier than read
  # in UTC.
  attend 0 sigmf-paris env TZ="CET-1CEST,M3.5.0,M10.5.0/3" "$bin/ondaris-export" Entier.dat --format sigmf \
    --sortie Paris.sigmf-meta
  attend 0 sigmf-utc env TZ=UTC0 "$bin/ondaris-export" Entier.dat --format sigmf --sortie Utc.sigmf-meta
  "$py" -c "
import json, datetime as d
t = lambda n: d.datetime.fromisoformat(json.load(open(n))['captures'][0]['core:datetime'].rstrip('Z'))
ecart = t('Utc.sigmf-meta') - t('Paris.sigmf-meta')
assert ecart in (d.timedelta(hours=1), d.timedelta(hours=2)), ecart"
  "$py" "$src/tools/lit_exports.py" .

  # One counter word altered: the first bad frame is named.
  "$py" -c "
import numpy as np
m = np.memmap('Entier.dat', dtype='<u4', mode='r+').reshape(-1, 14)
m[1234, 0] += 7
m.flush()"
  attend 1 altere "$bin/ondaris-verifie" Entier.dat
  grep -q "^Trame 1234 : compteur attendu 1489, lu 1496" altere.txt || { cat altere.txt; echec "trame 1234"; }
  grep -q "^Sauts du compteur : 2" altere.txt || echec "nombre de sauts"
  exit 0
fi

if [ "$mode" = voies ]; then
  # The simulated box's scene flags no microphone, in int32 (12 microphones at
  # 10 000 Hz) or float32 (128 at 50 000 Hz); then one column made constant
  # in each recording flags that microphone alone.
  attend 0 acq1 "$bin/ondaris-acq" --simulateur --sim-rythme libre --config "$src/tools/essai.txt" \
    --dossier . --nom Entier --sans-progression
  attend 0 acq2 "$bin/ondaris-acq" --simulateur --sim-rythme libre --config "$src/tools/ouverte.txt" \
    --duree 0.1 --dossier . --nom Flottant --sans-progression
  for n in Entier Flottant; do
    attend 0 voies-$n "$bin/ondaris-verifie" $n.dat --voies
    grep -q "analysés sur 5000 trames, aucun signalé" voies-$n.txt || { cat voies-$n.txt; echec "$n signalé"; }
  done
  grep -q "^  127 " voies-Flottant.txt || echec "micro 127 absent"
  # Word 6 of 14 is microphone 5 (after counter A); word 41 of 131 microphone 40.
  "$py" -c "
import array
def colonne(nom, mots, mot, valeur):
    a = array.array('I'); a.frombytes(open(nom, 'rb').read())
    n = len(a[mot::mots]); a[mot::mots] = array.array('I', [valeur]) * n
    open(nom, 'wb').write(a.tobytes())
colonne('Entier.dat', 14, 6, 77)
colonne('Flottant.dat', 131, 41, 0)"
  attend 4 fige "$bin/ondaris-verifie" Entier.dat --voies
  grep -q "^micro 5 : figé (77 sur 5000 " fige.txt || { cat fige.txt; echec "micro 5 figé"; }
  grep -q "1 signalé (figé 1)" fige.txt || echec "un seul micro figé"
  attend 4 muet "$bin/ondaris-verifie" Flottant.dat --voies
  grep -q "^micro 40 : muet" muet.txt || { cat muet.txt; echec "micro 40 muet"; }
  grep -q "1 signalé (muet 1)" muet.txt || echec "un seul micro muet"
  # A range far beyond the last code is read up to the status word's, at once.
  attend 0 voies-large timeout 10 "$bin/ondaris-export" Entier.dat --format npy --voies 0-999999999 --sortie Large.npy
  grep -q "13 voies d'échantillons, 1 mots entiers" voies-large.txt || { cat voies-large.txt; echec "0-999999999"; }
  exit 0
fi

if [ "$mode" = cablage ]; then
  # A tone from 1 m off the array's axis, microphones 12 and 13 swapped: the
  # pair is found (54 degrees apart from there), no other microphone, and
  # their health is not flagged. --source and --geometrie go together.
  geo="$src/../data/geometrie-simulateur.xml"
  sim=(--simulateur --sim-rythme libre --sim-geometrie "$geo" --sim-point 0.4,-0.3,1,3000
       --config "$src/tools/ouverte.txt" --duree 0.1 --dossier . --sans-progression)
  verifie=(--voies --geometrie "$geo" --source 0.4,-0.3,1,3000)
  attend 0 acq "$bin/ondaris-acq" "${sim[@]}" --nom Permute --sim-defauts 12-13:permute
  attend 4 permute "$bin/ondaris-verifie" Permute.dat "${verifie[@]}"
  grep -q "^micros 12 et 13 : permutés (phase -5[0-9]° et +5[0-9]°)" permute.txt || { cat permute.txt; echec "12 et 13"; }
  grep -q "^Câblage : 1 paire permutée, 0 micro incohérent" permute.txt || { cat permute.txt; echec "compte"; }
  grep -q "aucun signalé" permute.txt || { cat permute.txt; echec "état des micros"; }
  attend 64 sans-geometrie "$bin/ondaris-verifie" Permute.dat --voies --source 0.4,-0.3,1,3000
  grep -q "^ondaris-verifie : --source demande --geometrie" sans-geometrie.txt || echec "--source seule"
  attend 64 sans-source "$bin/ondaris-verifie" Permute.dat --voies --geometrie "$geo"
  # Far on the axis the phases hardly differ: not judged, and not a success.
  attend 5 aveugle "$bin/ondaris-verifie" Permute.dat --voies --geometrie "$geo" --source 0,0,10,3000
  grep -q "^Câblage : non vérifié" aveugle.txt || { cat aveugle.txt; echec "non vérifié"; }
  exit 0
fi

if [ "$mode" = calibration ]; then
  # A 94 dB SPL calibrator on microphone 12 of a simulated array whose
  # sensitivities spread 1.5 dB: calibrated by the runner, then recorded and
  # exported in pascals, it reads 94.0 dB SPL. Analogue channels stay in
  # counts; the export's calibration file gives each column factor 1.
  sim=(--simulateur --sim-rythme libre --sim-amplitude 0 --sim-sensibilite-ecart 1.5 --sim-calibreur 12:94
       --config "$src/tools/essai.txt" --sans-progression)
  attend 0 calibre "$bin/ondaris-acq" "${sim[@]}" --calibre 94 --calibration cal.xml
  attend 0 acq "$bin/ondaris-acq" "${sim[@]}" --dossier . --nom Cal
  geo="$src/../data/geometrie-simulateur.xml"
  # h5, then npy under the same base name: the second export leaves the
  # first's files as they were, with --ecraser too.
  attend 0 h5-base "$bin/ondaris-export" Cal.dat --format h5 --voies tout --calibration cal.xml --geometrie "$geo"
  cp Cal.h5 avant.h5 && cp Cal_h5_calib.xml avant_h5_calib.xml
  attend 0 npy "$bin/ondaris-export" Cal.dat --format npy --voies tout --calibration cal.xml --geometrie "$geo"
  attend 0 npy-ecrase "$bin/ondaris-export" Cal.dat --format npy --voies 0-1023 --calibration cal.xml --ecraser
  attend 1 npy-existe "$bin/ondaris-export" Cal.dat --format npy --voies tout --calibration cal.xml
  cmp Cal.h5 avant.h5 || echec "Cal.h5 changé par l'export npy"
  cmp Cal_h5_calib.xml avant_h5_calib.xml || echec "Cal_h5_calib.xml changé par l'export npy"
  attend 0 npy "$bin/ondaris-export" Cal.dat --format npy --voies tout --calibration cal.xml --geometrie "$geo" \
    --ecraser
  attend 0 h5 "$bin/ondaris-export" Cal.dat --format h5 --voies tout --calibration cal.xml --sortie CalH.h5
  attend 0 sigmf "$bin/ondaris-export" Cal.dat --format sigmf --calibration cal.xml --geometrie "$geo"
  attend 64 sigmf-voies "$bin/ondaris-export" Cal.dat --format sigmf --voies 0-3 --sortie V.sigmf-meta
  GEO="$geo" "$py" - <<'FIN'
import json
import os
import xml.etree.ElementTree as ET
import h5py
import numpy as np
brut = np.fromfile("Cal.dat", dtype="<i4").reshape(-1, 14)
x = np.load("Cal.npy")
with h5py.File("CalH.h5", "r") as f:
    codes = list(f["time_data"].attrs["codes"])
    assert f.attrs["unites"] == "micros en pascals, voies analogiques en points"
    assert np.array_equal(f["time_data"][...], x)
assert x.dtype == np.float32 and x.shape == (brut.shape[0], 13), (x.dtype, x.shape)
niveau = 20 * np.log10(np.sqrt(np.mean(x[:, codes.index(12)].astype(np.float64) ** 2)) / 20e-6)
assert abs(niveau - 94.0) < 0.1, niveau
# Word 13 of the frame is analogue channel 0.
assert np.array_equal(x[:, codes.index(2000)], brut[:, 13].astype(np.float32))
for nom in ("Cal_npy_calib.xml", "CalH_h5_calib.xml", "Cal_h5_calib.xml"):
    calib = ET.parse(nom).getroot()
    assert calib.tag == "Calib"
    assert [float(p.get("factor")) for p in calib.iter("pos")] == [1.0] * 13, nom

# What the runner's calibration says of itself, and the geometry's positions.
source = ET.parse("cal.xml").getroot()
facteurs = [float(p.get("factor")) for p in source.iter("pos")]
assert float(source.get("niveau_calibreur")) == 94 and source.get("date"), source.attrib
positions = [[float(p.get(k)) for k in "xyz"] for p in ET.parse(os.environ["GEO"]).getroot().iter("pos")]
micros = [c for c in codes if c < 1024]
with h5py.File("Cal.h5", "r") as f:
    t = f["time_data"]
    assert [u.decode() if isinstance(u, bytes) else u for u in t.attrs["unites"]] == [
        "Pa" if c < 1024 else "point" for c in codes]
    p = f["positions"][...]
    assert p.shape == (13, 3)
    for i, c in enumerate(codes):
        if c < 1024:
            assert np.allclose(p[i], positions[c]), (c, p[i])
        else:
            assert np.all(np.isnan(p[i]))
    assert np.allclose(f["facteurs"][...], [facteurs[c] if c < 1024 else 1 for c in codes])
    assert f.attrs["calibration"] == "cal.xml" and f.attrs["niveau_calibreur"] == 94
    assert f.attrs["date_calibration"] == source.get("date")
    assert f.attrs["geometrie"].endswith("geometrie-simulateur.xml")
    assert f.attrs["celerite"] == 343 and "inconnue" in f.attrs["temperature"]
    assert f.attrs["logiciel"].startswith("ondaris-export ")
with h5py.File("CalH.h5", "r") as f:
    assert f.attrs["geometrie"] == "inconnue" and np.all(np.isnan(f["positions"][...]))

m = json.load(open("Cal_npy_meta.json", encoding="utf-8"))
assert m["ondaris:codes_colonnes"] == codes and m["ondaris:unites"][codes.index(12)] == "Pa"
assert m["ondaris:positions_m"][codes.index(12)] == positions[12]
assert m["ondaris:calibration"]["niveau_calibreur_db_spl"] == 94
assert m["ondaris:temperature"].startswith("inconnue") and m["ondaris:celerite_m_s"] == 343

# SigMF describes the counts as they are and says how to make pascals of them.
g = json.load(open("Cal.sigmf-meta", encoding="utf-8"))["global"]
voies = g["ondaris:codes_voies"]
f = g["ondaris:facteurs_pa_par_point"]
assert len(f) == len(voies) == 14
assert f[voies.index(12)] == facteurs[12] and f[voies.index(3000)] == 1
assert g["ondaris:unites_apres_facteur"][voies.index(12)] == "Pa"
assert g["ondaris:unites_apres_facteur"][voies.index(2000)] == "point"
assert g["ondaris:calibration"]["fichier"] == "cal.xml"
w = voies.index(12)
pa = brut[:, w] * f[w]
assert abs(20 * np.log10(np.sqrt(np.mean(pa ** 2)) / 20e-6) - 94.0) < 0.1
print("micro 12 en pascals : %.2f dB SPL" % niveau)
FIN
  exit 0
fi

# An open-ended run (50 000 Hz, float32) killed with SIGKILL once two packets
# reached the disk.
"$bin/ondaris-acq" --simulateur --config "$src/tools/ouverte.txt" --duree 0 --dossier . --nom Coupe \
  --sans-progression >acq.txt 2>&1 &
pid=$!
for _ in $(seq 300); do
  [ -f Coupe.dat ] && [ "$(taille Coupe.dat)" -ge 33554432 ] && break
  sleep 0.1
done
kill -9 $pid
wait $pid 2>/dev/null || true
[ "$(taille Coupe.dat)" -ge 33554432 ] || echec "pas de données après 30 s"
# Its companions hold its settings with no frame counted; the check and the
# next start-up say so and give the repair.
grep -aq "^Nb_ech = 0" Coupe.log || echec "réglages absents de Coupe.log"
attend 2 avant "$bin/ondaris-verifie" Coupe.dat
grep -q "acquisition interrompue (Coupe.Ond compte 0 trame.*ondaris-repare Coupe.dat" avant.txt || { cat avant.txt; echec "interruption"; }
attend 0 demarrage "$bin/ondaris-acq" --simulateur --sim-rythme libre --sans-enregistrement --duree 0.1 --sans-progression
grep -q "L'acquisition de ./Coupe.dat a été interrompue .*ondaris-repare ./Coupe.dat" demarrage.txt || { cat demarrage.txt; echec "avis au démarrage"; }

# The working folder's configuration is now another run's (25 000 Hz, int32):
# the repair takes the killed run's own settings.
printf 'Frequence = 25000 Hz\r\nType = int32\r\n' >config_en_cours.txt
attend 0 repare "$bin/ondaris-repare" Coupe.dat
"$py" -c "
import struct
h = open('Coupe.Ond', 'rb').read()
assert len(h) == 2097 and struct.unpack_from('<f', h, 1060)[0] == 50000.0 and h[1072] == 1, h[1060:1073]"
attend 0 apres "$bin/ondaris-verifie" Coupe.dat
grep -q "Aucune perte" apres.txt || echec "ondaris-verifie après réparation"
trames=$(( $(taille Coupe.dat) / (4 * 131) ))
grep -q "^Nb_ech = $trames" Coupe.log || { grep Nb_ech Coupe.log; echec "Nb_ech, $trames attendu"; }
attend 1 deux "$bin/ondaris-repare" Coupe.dat
grep -q "ne sont pas écrasés" deux.txt || echec "second passage"

# Companions left blank (only the room a run keeps): the configuration
# written at that run's Start.
truncate -s 0 Coupe.Ond Coupe.log && truncate -s 2097 Coupe.Ond && truncate -s 16384 Coupe.log
cp "$src/tools/ouverte.txt" ouverte.txt && touch -d '1 hour ago' ouverte.txt
# The configuration of another run (one beam fewer) is refused.
"$py" -c "
t = open('ouverte.txt', encoding='utf-8', newline='').read()
open('autre.txt', 'w', encoding='utf-8', newline='').write(t.replace('Faisceau_015' + '  1' * 8, 'Faisceau_015' + '  0' * 8))"
attend 1 refus "$bin/ondaris-repare" Coupe.dat --config autre.txt
grep -q "ne suit pas" refus.txt || { cat refus.txt; echec "refus"; }
grep -q "trames de 131 mots" refus.txt || { cat refus.txt; echec "taille de trame suggérée"; }
cmp -s Coupe.Ond <(head -c 2097 /dev/zero) || echec "en-tête écrit malgré le refus"
# A current configuration newer than the data belongs to a later Start.
attend 1 recente "$bin/ondaris-repare" Coupe.dat
grep -q "acquisition plus récente" recente.txt || echec "configuration plus récente"
attend 0 config "$bin/ondaris-repare" Coupe.dat --config ouverte.txt
attend 0 apres-config "$bin/ondaris-verifie" Coupe.dat
