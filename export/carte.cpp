#include "export/carte.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <locale>
#include <sstream>
#include <vector>

#include "base/fichier_entier.h"
#include "base/version.h"

#ifdef ONDARIS_HDF5
#include "export/hdf5_attributs.h"
#endif

namespace {

// One setting: a number, or a text when `texte` is set.
struct Reglage {
    const char* cle;
    double nombre;
    std::string texte;
    bool est_texte;
};

std::string nombre(double v, int chiffres = 10)
{
    if (std::isinf(v))
        return v < 0 ? "-inf" : "inf";
    std::ostringstream s;
    s.imbue(std::locale::classic());
    s.precision(chiffres);
    s << v;
    return s.str();
}

std::vector<Reglage> reglages(const Carte& c, const OrigineCarte& o)
{
    auto t = [](const char* cle, std::string v) { return Reglage{cle, 0, std::move(v), true}; };
    auto n = [](const char* cle, double v) { return Reglage{cle, v, std::string(), false}; };
    std::vector<Reglage> r;
    if (c.au_bord)
        r.push_back(t("avertissement", AVERTISSEMENT_BORD));
    r.push_back(t("logiciel", std::string("ondaris-carte ") + version_ondaris()));
    r.push_back(t("source", std::filesystem::u8path(o.dat).filename().u8string()));
    r.push_back(t("unite", unite_niveaux(c.calibree)));
    r.push_back(t("reference", c.reference == ReferenceNiveau::Source ? "source" : "centre"));
    r.push_back(t("reference_sens", reference_longue(c.reference)));
    r.push_back(t("calibration", o.calibration.empty() ? std::string("aucune")
                                                       : std::filesystem::u8path(o.calibration).filename().u8string()));
    r.push_back(n("bande", c.bande));
    r.push_back(n("f_basse", c.f_basse));
    r.push_back(n("f_haute", c.f_haute));
    r.push_back(n("frequence_echantillonnage", c.frequence));
    r.push_back(n("z", c.z));
    r.push_back(n("celerite", c.celerite));
    r.push_back(t("celerite_origine", o.celerite));
    r.push_back(n("instantane_trames", c.points));
    r.push_back(n("instantanes", c.instantanes));
    r.push_back(t("diagonale", c.sans_diagonale ? "retirée" : "gardée"));
    r.push_back(n("micros", c.micros));
    r.push_back(n("debut", o.debut));
    if (o.duree >= 0)
        r.push_back(n("duree", o.duree));
    r.push_back(n("nx", c.grille.nx));
    r.push_back(n("ny", c.grille.ny));
    r.push_back(n("pas_x", c.grille.pas_x()));
    r.push_back(n("pas_y", c.grille.pas_y()));
    r.push_back(n("faisceau", c.faisceau));
    if (c.grille_limitee)
        r.push_back(t("grille_limitee", "pas agrandi : plus de points dépasserait le plafond de pointage"));
    r.push_back(n("maximum_x", c.x_max));
    r.push_back(n("maximum_y", c.y_max));
    r.push_back(n("niveau_max", c.niveau_max));
    return r;
}

} // namespace

double niveau_db(const Carte& c, std::size_t k)
{
    const double reference = c.calibree ? 20e-6 * 20e-6 : 1.0;
    return c.moyennes[k] > 0 ? 10 * std::log10(c.moyennes[k] / reference) : -HUGE_VAL;
}

std::string csv_de_carte(const Carte& c, const OrigineCarte& o)
{
    std::string s;
    for (const Reglage& r : reglages(c, o))
        s += std::string("# ") + r.cle + " : " + (r.est_texte ? r.texte : nombre(r.nombre)) + "\n";
    s += "x_m,y_m,niveau_dB\n";
    for (int j = 0; j < c.grille.ny; ++j)
        for (int i = 0; i < c.grille.nx; ++i) {
            const Point3 p = c.grille.point(i, j);
            s += nombre(p.x, 8) + "," + nombre(p.y, 8) + "," +
                 nombre(niveau_db(c, size_t(j) * size_t(c.grille.nx) + size_t(i)), 8) + "\n";
        }
    return s;
}

int ecrit_carte_csv(const std::string& chemin, const Carte& c, const OrigineCarte& o, std::string& erreur)
{
    return ecrit_fichier_entier(chemin, csv_de_carte(c, o), erreur);
}

#ifdef ONDARIS_HDF5

namespace {

// A float64 dataset of `rang` dimensions with its unit.
bool table(hid_t fichier, const char* nom, int rang, const hsize_t* dims, const std::vector<double>& v,
           const std::string& unite)
{
    hid_t espace = H5Screate_simple(rang, dims, nullptr);
    hid_t d = H5Dcreate2(fichier, nom, H5T_IEEE_F64LE, espace, H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT);
    H5Sclose(espace);
    if (d < 0)
        return false;
    const bool ok = H5Dwrite(d, H5T_NATIVE_DOUBLE, H5S_ALL, H5S_ALL, H5P_DEFAULT, v.data()) >= 0 &&
                    attribut_texte(d, "unite", unite);
    return H5Dclose(d) >= 0 && ok;
}

} // namespace

int ecrit_carte_hdf5(const std::string& chemin, const Carte& c, const OrigineCarte& o, std::string& erreur)
{
    // As the recordings' export: failures are the program's own messages,
    // and the library lets the file go before it is renamed or removed.
    H5dont_atexit();
    H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);
    FichierEntier f;
    if (f.ouvre(chemin, erreur, false) != 0)
        return -1;
    hid_t acces = H5Pcreate(H5P_FILE_ACCESS);
    H5Pset_fclose_degree(acces, H5F_CLOSE_STRONG);
    hid_t h = H5Fcreate(f.temporaire().c_str(), H5F_ACC_TRUNC, H5P_DEFAULT, acces);
    H5Pclose(acces);
    if (h < 0) {
        erreur = chemin + " : création impossible";
        return -1;
    }
    const Grille& g = c.grille;
    std::vector<double> x(size_t(g.nx)), y(size_t(g.ny)), niveaux(c.moyennes.size());
    for (int i = 0; i < g.nx; ++i)
        x[size_t(i)] = g.point(i, 0).x;
    for (int j = 0; j < g.ny; ++j)
        y[size_t(j)] = g.point(0, j).y;
    for (size_t k = 0; k < niveaux.size(); ++k)
        niveaux[k] = niveau_db(c, k);
    const hsize_t dims[2] = {hsize_t(g.ny), hsize_t(g.nx)};
    const hsize_t nx = hsize_t(g.nx), ny = hsize_t(g.ny);
    const std::string unite = unite_niveaux(c.calibree);
    bool ok =
        table(h, "niveau", 2, dims, niveaux, unite) && table(h, "x", 1, &nx, x, "m") && table(h, "y", 1, &ny, y, "m");
    for (const Reglage& r : reglages(c, o))
        ok = ok && (r.est_texte ? attribut_texte(h, r.cle, r.texte) : attribut_reel(h, r.cle, r.nombre));
    if (ok) {
        hid_t d = H5Dopen2(h, "niveau", H5P_DEFAULT);
        ok = d >= 0 && attribut_texte(d, "reference", reference_longue(c.reference)) &&
             attribut_texte(d, "axes", "(y, x) : ligne j à y[j], colonne i à x[i]");
        if (d >= 0)
            ok = H5Dclose(d) >= 0 && ok;
    }
    ok = H5Fclose(h) >= 0 && ok;
    if (!ok) {
        erreur = chemin + " : écriture impossible";
        return -1;
    }
    return f.termine(erreur);
}

#endif
