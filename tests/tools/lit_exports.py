"""Reads the exports back with h5py, NumPy and json, and compares them with
the columns of the data files, rebuilt from the description files alone."""
import json
import os
import sys

import h5py
import numpy as np

os.chdir(sys.argv[1])


def description(nom):
    mics, va, cpt, info = [], [], [], {}
    for ligne in open(nom + ".log", encoding="utf-8").read().splitlines():
        mots = ligne.split()
        if ligne.startswith("Faisceau_"):
            f = int(ligne[9:12])
            mics += [8 * f + j for j, v in enumerate(mots[1:]) if v == "1"]
        elif ligne.startswith("Bloc_"):
            b = "ABCD".index(ligne[5])
            va += [4 * b + k for k, v in enumerate(mots[2:]) if v == "1"]
        elif ligne.startswith("Compteurs"):
            cpt = [c for c, v in enumerate(mots[2:]) if v == "1"]
        elif len(mots) >= 3 and mots[1] == "=":
            info[mots[0]] = mots[2]
    # Frame order: counter A, then per quarter its counter, its
    # microphones, its analogue block.
    codes = [3000] if 0 in cpt else []
    for q in range(4):
        codes += [3000 + q] if q > 0 and q in cpt else []
        codes += [m for m in mics if m // 256 == q]
        codes += [2000 + v for v in va if v // 4 == q]
    assert len(codes) == int(info["Nb_voies"]), (codes, info)
    return codes, float(info["Freq"]), info["Type"]


def colonnes(nom):
    codes, freq, type_ = description(nom)
    brut = np.fromfile(nom + ".dat", dtype="<u4")
    brut = brut[: len(brut) // len(codes) * len(codes)].reshape(-1, len(codes))
    return codes, freq, type_, brut


def echantillons(brut, type_, cols):
    return brut[:, cols].view("<f4" if type_ == "float32" else "<i4")


for nom in ("Entier", "Flottant"):
    codes, freq, type_, brut = colonnes(nom)
    mics = sorted((c, i) for i, c in enumerate(codes) if c < 1024)
    cols = [i for _, i in mics]

    with h5py.File(nom + ".h5", "r") as f:
        t = f["time_data"]
        assert t.dtype == np.float32 and t.shape == (brut.shape[0], len(cols)), (t.dtype, t.shape)
        assert t.attrs["sample_freq"] == freq
        assert list(t.attrs["codes"]) == [c for c, _ in mics]
        attendu = echantillons(brut, type_, cols).astype(np.float32)
        assert np.array_equal(t[...], attendu), nom + ".h5"
        assert "compteurs" not in f

    ech = [i for i, c in enumerate(codes) if c < 3000]
    ent = [i for i, c in enumerate(codes) if c >= 3000]
    a = np.load(nom + ".npy")
    assert a.dtype == (np.float32 if type_ == "float32" else np.int32), a.dtype
    assert np.array_equal(a, echantillons(brut, type_, ech)), nom + ".npy"
    c = np.load(nom + "_compteurs.npy")
    assert c.dtype == np.uint32 and np.array_equal(c, brut[:, ent]), nom + "_compteurs.npy"
    assert np.all(np.diff(c[:, 0].astype(np.int64)) == 1)

    m = json.load(open(nom + ".sigmf-meta", encoding="utf-8"))
    g = m["global"]
    assert g["core:datatype"] == ("rf32_le" if type_ == "float32" else "ri32_le")
    assert g["core:sample_rate"] == freq and g["core:num_channels"] == len(codes)
    assert g["core:dataset"] == nom + ".dat" and g["ondaris:codes_voies"] == codes
    assert g["core:version"] == "1.0.0" and m["annotations"] == []
    assert m["captures"][0]["core:sample_start"] == 0 and m["captures"][0]["core:datetime"].endswith("Z")

# A choice of channels and a time span: 10 ms to 30 ms at 50 kHz.
codes, freq, type_, brut = colonnes("Flottant")
with h5py.File("Partie.h5", "r") as f:
    cols = [codes.index(c) for c in (0, 1, 2, 3, 2004)]
    assert list(f["time_data"].attrs["codes"]) == [0, 1, 2, 3, 2004]
    assert np.array_equal(f["time_data"][...], echantillons(brut, type_, cols)[500:1500])
    assert list(f["compteurs"].attrs["codes"]) == [3001]
    assert np.array_equal(f["compteurs"][...], brut[500:1500, [codes.index(3001)]])
print("exports relus : h5py, NumPy et json d'accord avec les fichiers .dat")
