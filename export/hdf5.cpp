#ifdef ONDARIS_HDF5

#include <hdf5.h>

#include <cstring>
#include <filesystem>

#include "base/version.h"
#include "export/formats.h"
#include "export/hdf5_attributs.h"

namespace {

// The channel code of every column.
bool attribut_codes(hid_t objet, const std::vector<int32_t>& codes)
{
    if (codes.empty())
        return true;
    hsize_t n = codes.size();
    hid_t espace = H5Screate_simple(1, &n, nullptr);
    hid_t a = H5Acreate2(objet, "codes", H5T_STD_I32LE, espace, H5P_DEFAULT, H5P_DEFAULT);
    bool ok = a >= 0 && H5Awrite(a, H5T_NATIVE_INT32, codes.data()) >= 0;
    if (a >= 0)
        H5Aclose(a);
    H5Sclose(espace);
    return ok;
}

// A string per column.
bool attribut_textes(hid_t objet, const char* nom, const std::vector<std::string>& valeurs)
{
    if (valeurs.empty())
        return true;
    std::vector<const char*> p;
    for (const std::string& v : valeurs)
        p.push_back(v.c_str());
    hid_t type = H5Tcopy(H5T_C_S1);
    H5Tset_size(type, H5T_VARIABLE);
    H5Tset_cset(type, H5T_CSET_UTF8);
    hsize_t n = p.size();
    hid_t espace = H5Screate_simple(1, &n, nullptr);
    hid_t a = H5Acreate2(objet, nom, type, espace, H5P_DEFAULT, H5P_DEFAULT);
    bool ok = a >= 0 && H5Awrite(a, type, p.data()) >= 0;
    if (a >= 0)
        H5Aclose(a);
    H5Sclose(espace);
    H5Tclose(type);
    return ok;
}

// A table of doubles written whole: `lignes` by `colonnes` (1: a vector).
bool table_reels(hid_t fichier, const char* nom, const std::vector<double>& v, size_t colonnes, const char* unite)
{
    if (v.empty())
        return true;
    hsize_t dims[2] = {v.size() / colonnes, colonnes};
    hid_t espace = H5Screate_simple(colonnes == 1 ? 1 : 2, dims, nullptr);
    hid_t d = H5Dcreate2(fichier, nom, H5T_IEEE_F64LE, espace, H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT);
    H5Sclose(espace);
    if (d < 0)
        return false;
    bool ok = H5Dwrite(d, H5T_NATIVE_DOUBLE, H5S_ALL, H5S_ALL, H5P_DEFAULT, v.data()) >= 0 &&
              attribut_texte(d, "unite", unite);
    H5Dclose(d);
    return ok;
}

hid_t cree_table(hid_t fichier, const char* nom, hid_t type, uint64_t lignes, size_t colonnes)
{
    hsize_t dims[2] = {lignes, colonnes};
    hid_t espace = H5Screate_simple(2, dims, nullptr);
    hid_t d = H5Dcreate2(fichier, nom, type, espace, H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT);
    H5Sclose(espace);
    return d;
}

bool ecrit_lignes(hid_t table, hid_t type_memoire, uint64_t premiere, size_t n, size_t colonnes, const void* data)
{
    if (colonnes == 0 || n == 0)
        return true;
    hid_t fichier = H5Dget_space(table);
    hsize_t debut[2] = {premiere, 0}, compte[2] = {n, colonnes};
    H5Sselect_hyperslab(fichier, H5S_SELECT_SET, debut, nullptr, compte, nullptr);
    hid_t memoire = H5Screate_simple(2, compte, nullptr);
    bool ok = H5Dwrite(table, type_memoire, memoire, fichier, H5P_DEFAULT, data) >= 0;
    H5Sclose(memoire);
    H5Sclose(fichier);
    return ok;
}

} // namespace

SortieHdf5::~SortieHdf5() { abandonne(); }

int SortieHdf5::ouvre(const Enregistrement& e, const Choix& c, const Metadonnees& m, const std::string& chemin,
                      std::string& erreur)
{
    // A file whose close failed stays open in the library, and closing it
    // again, or the library's own clean-up at exit, crashes (HDF5 1.10): the
    // program closes what it opened and the system the rest.
    H5dont_atexit();
    // Failures are reported as the program's own messages.
    H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);
    n_ech_ = c.echantillons.size();
    n_ent_ = c.entiers.size();
    flottant_ = echantillons_flottants(e, c);
    ligne_ = 0;
    lignes_ = c.nb_trames;
    if (fichier_entier_.ouvre(chemin, erreur, false) != 0)
        return -1;
    // Closing the file closes whatever is still open in it.
    hid_t acces = H5Pcreate(H5P_FILE_ACCESS);
    H5Pset_fclose_degree(acces, H5F_CLOSE_STRONG);
    fichier_ = H5Fcreate(fichier_entier_.temporaire().c_str(), H5F_ACC_TRUNC, H5P_DEFAULT, acces);
    H5Pclose(acces);
    if (fichier_ < 0) {
        erreur = chemin + " : création impossible";
        abandonne();
        return -1;
    }
    const Disposition& d = e.disposition;
    std::vector<int32_t> codes_ech, codes_ent;
    for (int w : c.echantillons)
        codes_ech.push_back(d.codes[w]);
    for (int w : c.entiers)
        codes_ent.push_back(d.codes[w]);

    bool ok = (ech_ = cree_table(fichier_, "time_data", H5T_IEEE_F32LE, c.nb_trames, n_ech_)) >= 0 &&
              attribut_reel(ech_, "sample_freq", e.frequence) && attribut_codes(ech_, codes_ech);
    if (ok && n_ent_ > 0)
        ok = (ent_ = cree_table(fichier_, "compteurs", H5T_STD_U32LE, c.nb_trames, n_ent_)) >= 0 &&
             attribut_codes(ent_, codes_ent);
    ok = ok && attribut_texte(fichier_, "source", std::filesystem::u8path(e.dat).filename().u8string()) &&
         attribut_texte(fichier_, "date", iso_local(e.header.date_heure)) &&
         attribut_texte(fichier_, "commentaire", e.commentaire) &&
         attribut_texte(fichier_, "logiciel", std::string("ondaris-export ") + version_ondaris()) &&
         attribut_texte(fichier_, "type_echantillons", e.flottant ? "float32" : "int32") &&
         attribut_reel(fichier_, "premiere_trame", static_cast<double>(c.premiere));
    if (ok && d.etat)
        ok = attribut_texte(fichier_, "mot_etat", "place dans la trame inconnue : compté en dernier");
    if (ok && !c.facteurs.empty())
        ok = attribut_texte(fichier_, "unites", "micros en pascals, voies analogiques en points");
    // What the samples need to be read as sound: units, positions,
    // calibration, the air.
    std::vector<double> positions;
    for (const Point3& p : m.positions)
        positions.insert(positions.end(), {p.x, p.y, p.z});
    ok = ok && attribut_textes(ech_, "unites", m.unites) &&
         table_reels(fichier_, "positions", positions, 3, "m (x, y, z ; NaN : inconnue)") &&
         table_reels(fichier_, "facteurs", m.facteurs, 1, "Pa par point appliqués (1 : valeurs laissées en points)") &&
         attribut_texte(fichier_, "geometrie", m.geometrie.empty() ? "inconnue" : m.geometrie) &&
         attribut_texte(fichier_, "calibration", m.calibration.empty() ? "aucune" : m.calibration) &&
         attribut_texte(fichier_, "temperature", "inconnue (non enregistrée)") &&
         attribut_reel(fichier_, "celerite", m.celerite) &&
         attribut_texte(fichier_, "celerite_origine",
                        m.celerite_supposee ? "valeur par défaut du programme (m/s), température inconnue" : "mesurée");
    if (ok && !m.calibration.empty())
        ok = attribut_texte(fichier_, "date_calibration",
                            m.date_calibration.empty() ? "inconnue" : m.date_calibration) &&
             (m.niveau_calibreur > 0 ? attribut_reel(fichier_, "niveau_calibreur", m.niveau_calibreur)
                                     : attribut_texte(fichier_, "niveau_calibreur", "inconnu"));
    if (!ok) {
        erreur = chemin + " : écriture impossible";
        abandonne();
        return -1;
    }
    return 0;
}

int SortieHdf5::ecrit(uint32_t* echantillons, uint32_t* entiers, size_t n, std::string& erreur)
{
    if (!flottant_) {
        // Integer samples become float32 without scaling, in place.
        for (size_t i = 0; i < n * n_ech_; ++i) {
            float f = static_cast<float>(static_cast<int32_t>(echantillons[i]));
            std::memcpy(&echantillons[i], &f, 4);
        }
    }
    if (!ecrit_lignes(ech_, H5T_NATIVE_FLOAT, ligne_, n, n_ech_, echantillons) ||
        (ent_ >= 0 && !ecrit_lignes(ent_, H5T_NATIVE_UINT32, ligne_, n, n_ent_, entiers))) {
        erreur = "écriture HDF5 impossible (disque plein ?)";
        return -1;
    }
    ligne_ += n;
    return 0;
}

bool SortieHdf5::ferme_hdf5()
{
    bool ok = true;
    if (ent_ >= 0)
        ok = H5Dclose(ent_) >= 0 && ok;
    if (ech_ >= 0)
        ok = H5Dclose(ech_) >= 0 && ok;
    ent_ = ech_ = -1;
    // A close that fails (a write error while flushing) is not asked again:
    // the library keeps the file's descriptor until the process ends.
    if (fichier_ >= 0)
        ok = H5Fclose(fichier_) >= 0 && ok;
    fichier_ = -1;
    return ok;
}

int SortieHdf5::ferme(std::string& erreur)
{
    const bool complet = ligne_ == lignes_;
    if (!ferme_hdf5()) {
        if (erreur.empty())
            erreur = "fermeture du fichier HDF5 impossible (disque plein ?)";
        fichier_entier_.abandonne();
        return -1;
    }
    if (!complet) {
        if (erreur.empty())
            erreur = "export incomplet";
        fichier_entier_.abandonne();
        return -1;
    }
    return fichier_entier_.termine(erreur);
}

void SortieHdf5::abandonne()
{
    ferme_hdf5();
    fichier_entier_.abandonne();
}

#endif
