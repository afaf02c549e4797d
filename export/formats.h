// The export formats: NumPy .npy, HDF5 in acoular's layout, SigMF metadata.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "base/fichier_entier.h"
#include "export/export.h"

// NumPy .npy: the samples as an array (frames, columns) of the recording's
// type ('<i4' or '<f4', values unchanged), or '<f4' scaled by the choice's
// factors when it has some; the integer words, when chosen,
// in a second file as '<u4'. Header version 1, or 2 when it would not fit.
// Each file is written whole or not at all (base/fichier_entier.h): ferme()
// puts them under their names; without it, or on an error, neither appears.
class SortieNpy : public Sortie {
public:
    // `chemin_entiers` is used only when integer words are chosen.
    int ouvre(const Enregistrement& e, const Choix& c, const std::string& chemin, const std::string& chemin_entiers,
              std::string& erreur);
    int ecrit(uint32_t* echantillons, uint32_t* entiers, size_t n, std::string& erreur) override;
    // Every frame written: the files under their names. -1 with the reason.
    int ferme(std::string& erreur);
    // Nothing under the final names.
    void abandonne();

private:
    FichierEntier ech_, ent_;
    size_t n_ech_ = 0, n_ent_ = 0;
    uint64_t lignes_ = 0, ecrites_ = 0;
};

// The .npy header for a C-ordered array of `descr` and shape (lignes,
// colonnes), padded so that the data start on a multiple of 64 bytes.
std::string entete_npy(const std::string& descr, uint64_t lignes, uint64_t colonnes);

// NAME.sigmf-meta describing the data file where it lies (a non-conforming
// dataset): interleaved channels, one per frame word, in counts; with
// `m` (its columns: every word of the frame) each channel's unit once
// scaled, factor and position, and where they came from.
int ecrit_sigmf(const Enregistrement& e, const std::string& chemin, std::string& erreur,
                const Metadonnees* m = nullptr);

// The metadata of an export as JSON (the SigMF file's "ondaris:" fields,
// the NumPy export's NAME_npy_meta.json): geometry, positions,
// calibration, units, air, version.
std::string json_metadonnees(const Enregistrement& e, const Metadonnees& m, const std::vector<int32_t>& codes);

#ifdef ONDARIS_HDF5
// HDF5 for acoular: /time_data (frames, channels) float32 with the attribute
// sample_freq, the samples converted without scaling unless the choice has
// factors (then the attribute "unites" says so); the channel codes of the
// columns in the attribute "codes"; counter and status words in /compteurs
// as uint32 with their own "codes". The metadata (export.h): time_data's
// attribute "unites" (one per column), the datasets "positions" (columns
// by x, y, z in metres) and "facteurs", the file's attributes "geometrie",
// "calibration", "date_calibration", "niveau_calibreur", "temperature",
// "celerite" and "celerite_origine".
// Written to a temporary and put under its name by ferme() once the library
// has closed it; an error or an abandon removes it only after the library
// has let it go.
class SortieHdf5 : public Sortie {
public:
    ~SortieHdf5() override;
    int ouvre(const Enregistrement& e, const Choix& c, const Metadonnees& m, const std::string& chemin,
              std::string& erreur);
    int ecrit(uint32_t* echantillons, uint32_t* entiers, size_t n, std::string& erreur) override;
    int ferme(std::string& erreur);
    void abandonne();

private:
    // Closes what the library holds; false when it could not.
    bool ferme_hdf5();
    FichierEntier fichier_entier_;
    int64_t fichier_ = -1, ech_ = -1, ent_ = -1;
    uint64_t lignes_ = 0;
    size_t n_ech_ = 0, n_ent_ = 0;
    uint64_t ligne_ = 0;
    bool flottant_ = false;
};
#endif
