// ondaris-export: a recording in a format analysis tools open: HDF5 in
// acoular's layout, NumPy .npy, or SigMF metadata beside the data file.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "base/fichier_entier.h"
#include "base/plateforme.h"
#include "export/formats.h"
#include "files/calibration.h"
#include "files/geometrie.h"
#include "ligne_commande/console.h"
#include "ligne_commande/ligne_commande.h"

namespace {

enum { EXIT_OK = 0, EXIT_ECHEC = 1, EXIT_ENREGISTREMENT = 2, EXIT_USAGE = 64 };

const char* const AIDE = "Usage : ondaris-export NOM.dat --format h5|npy|sigmf [options]\n"
                         "Exporte un enregistrement (NOM.dat avec NOM.Ond et NOM.log).\n"
                         "\n"
                         "  --format h5      HDF5 pour acoular : /time_data (trames, voies) en float32, attribut\n"
                         "                   sample_freq ; codes des voies dans l'attribut codes ; compteurs et\n"
                         "                   mot d'état, s'ils sont choisis, en entiers dans /compteurs\n"
                         "  --format npy     tableau NumPy (trames, voies) du type des échantillons (int32 ou\n"
                         "                   float32) ; compteurs et mot d'état dans NOM_compteurs.npy (uint32)\n"
                         "  --format sigmf   NOM.sigmf-meta qui décrit NOM.dat tel quel (sans conversion) ; avec\n"
                         "                   --calibration, le facteur de chaque voie vers les pascals\n"
                         "  --voies CHOIX    micros (défaut : les micros par numéro croissant), tout (chaque mot de\n"
                         "                   la trame) ou une liste de codes : 0-1023 micros, 2000-2015 voies\n"
                         "                   analogiques, 3000-3003 compteurs A-D, 4000 mot d'état (ex. 0-63,2000)\n"
                         "  --calibration FICHIER.xml   facteurs des micros (XML d'acoular : un <pos factor>\n"
                         "                   par micro, 0 à 1023, en pascals par point, comme ondaris-acq\n"
                         "                   --calibre l'écrit) : les micros sont exportés en pascals (float32),\n"
                         "                   les voies analogiques en points ; à côté, un fichier donne le\n"
                         "                   facteur de chaque colonne exportée, dans leur ordre : 1, les valeurs\n"
                         "                   étant déjà dans leur unité (NOM_h5_calib.xml, NOM_npy_calib.xml :\n"
                         "                   un par format, un export n'en remplace aucun autre) ; le fichier,\n"
                         "                   sa date et le niveau du calibreur, quand il les donne, sont\n"
                         "                   rappelés dans l'export\n"
                         "  --geometrie G.xml   positions des micros (XML d'acoular, <MicArray>) : celles des\n"
                         "                   micros exportés sont écrites dans l'export (sinon : inconnues)\n"
                         "  --debut S        à partir de S secondes\n"
                         "  --duree S        pendant S secondes\n"
                         "  --sortie FICHIER fichier produit (défaut : NOM.h5, NOM.npy ou NOM.sigmf-meta)\n"
                         "  --ecraser        remplacer un fichier existant\n"
                         "  --version        version du programme\n"
                         "\n"
                         "Chaque export dit aussi l'unité de chaque colonne, la version du programme, la\n"
                         "célérité du son supposée (343 m/s) et la température (inconnue : le boîtier ne\n"
                         "l'enregistre pas) ; npy les écrit dans NOM_npy_meta.json.\n"
                         "\n"
                         "Codes de sortie : 0 export fait, 1 échec de l'export, 2 enregistrement illisible,\n"
                         "64 options invalides.\n";

bool existe(const std::string& chemin)
{
    std::error_code ec;
    return std::filesystem::exists(std::filesystem::u8path(chemin), ec);
}

std::string sans_extension(const std::string& dat)
{
    std::filesystem::path p = std::filesystem::u8path(dat);
    return p.replace_extension().u8string();
}

// A request to end the program (Ctrl-C, a kill) ends the export at the next
// block, as an error: the output then never appears.
class Interruptible : public Sortie {
public:
    explicit Interruptible(Sortie& s) : s_(s) {}
    int ecrit(uint32_t* echantillons, uint32_t* entiers, size_t n, std::string& erreur) override
    {
        if (demandes_fin() > 0) {
            erreur = "export interrompu : aucun fichier écrit";
            return -1;
        }
        return s_.ecrit(echantillons, entiers, n, erreur);
    }

private:
    Sortie& s_;
};

// Refuses an output that is one of the recording's files.
bool sorties_permises(const std::vector<std::string>& sorties, const Enregistrement& e, const std::string& calibration,
                      const std::string& geometrie)
{
    std::string erreur;
    if (refuse_sorties_sur_entrees(sorties, {e.dat, e.ond, e.log, calibration, geometrie}, erreur) == 0)
        return true;
    std::fprintf(stderr, "ondaris-export : %s\n", erreur.c_str());
    return false;
}

// What the command line asks.
struct Demande {
    std::string dat, format, voies, sortie, calibration, geometrie;
    double debut = -1, duree = -1;
    bool ecraser = false, plage = false;
};

// What the export reads: the recording, the geometry and the calibration
// asked for.
struct Entrees {
    Enregistrement e;
    Geometrie g;
    Calibration cal;
    OrigineCalibration origine;
};

int echec(const std::string& erreur, int code)
{
    std::fprintf(stderr, "ondaris-export : %s\n", erreur.c_str());
    return code;
}

// The recording (its problems said), the geometry and the calibration;
// EXIT_OK or the exit code.
int lit_entrees(const Demande& q, Entrees& x)
{
    lit_enregistrement(q.dat, x.e);
    for (const std::string& p : x.e.problemes)
        std::fprintf(stderr, "Attention : %s\n", p.c_str());
    for (const std::string& r : x.e.remarques)
        std::fprintf(stderr, "Note : %s\n", r.c_str());
    if (!x.e.lisible)
        return echec(q.dat + " ne peut pas être lu (ondaris-verifie dit pourquoi)", EXIT_ENREGISTREMENT);
    std::string erreur;
    if (!q.geometrie.empty() && lit_geometrie(q.geometrie, x.g, erreur) != 0)
        return echec(erreur, EXIT_USAGE);
    if (!q.calibration.empty() && lit_calibration(q.calibration, 1024, x.cal, erreur, &x.origine) != 0)
        return echec(erreur, EXIT_USAGE);
    return EXIT_OK;
}

// SigMF describes NOM.dat as it is: every word of the frame a channel.
int exporte_sigmf(const Demande& q, const Entrees& x)
{
    const Enregistrement& e = x.e;
    if (!sorties_permises({q.sortie}, e, q.calibration, q.geometrie))
        return EXIT_ECHEC;
    if (existe(q.sortie) && !q.ecraser)
        return echec(q.sortie + " existe déjà (--ecraser pour le remplacer)", EXIT_ECHEC);
    Choix tous;
    for (int w = 0; w < e.disposition.nb_voies; ++w)
        tous.echantillons.push_back(w);
    if (!q.calibration.empty())
        tous.facteurs = facteurs_pascals(e.disposition, tous, x.cal);
    const Metadonnees m = metadonnees(e, tous, q.geometrie, x.g, q.calibration, x.origine);
    std::string erreur;
    if (ecrit_sigmf(e, q.sortie, erreur, &m) != 0)
        return echec(erreur, EXIT_ECHEC);
    std::printf("%s : %d voies entrelacées, %.0f Hz, %s\n", q.sortie.c_str(), e.disposition.nb_voies,
                static_cast<double>(e.frequence), e.flottant ? "rf32_le" : "ri32_le");
    return EXIT_OK;
}

// The files an export to npy or h5 writes, beside what it needs to know.
struct Produits {
    std::vector<std::string> fichiers; // every file written, the main one first
    std::string entiers;               // npy: where the integer words go
    std::string calibration;           // the columns' calibration, one per format
    std::string meta;                  // npy: the metadata
    Calibration colonnes;              // what the exported columns hold is in their unit
};

// The columns and the span chosen, the files named and checked (none over
// an input, none replaced without --ecraser); EXIT_OK or the exit code.
int prepare(const Demande& q, const Entrees& x, Choix& c, Produits& f)
{
    const Enregistrement& e = x.e;
    std::string erreur;
    if (choisit_voies(e.disposition, q.voies, c, erreur) != 0 || choisit_plage(e, q.debut, q.duree, c, erreur) != 0)
        return echec(erreur, EXIT_USAGE);
    if (c.nb_trames == 0)
        return echec("aucune trame à exporter (enregistrement vide ou plage hors de lui)", EXIT_ECHEC);
    // One per format: a second export of the recording leaves the first's.
    f.calibration = sans_extension(q.sortie) + "_" + q.format + "_calib.xml";
    f.meta = sans_extension(q.sortie) + "_npy_meta.json";
    if (!q.calibration.empty()) {
        if (c.echantillons.empty())
            return echec("--calibration : aucune colonne d'échantillons à mettre en pascals", EXIT_USAGE);
        c.facteurs = facteurs_pascals(e.disposition, c, x.cal);
        f.colonnes.nom = std::filesystem::u8path(q.sortie).filename().u8string() +
                         " : micros en pascals, voies analogiques en points";
        f.colonnes.facteurs.assign(c.echantillons.size(), 1.0);
    }
    // NumPy: the integer words in a file of their own, unless they are all
    // that was chosen.
    const std::string sortie_entiers = sans_extension(q.sortie) + "_compteurs.npy";
    f.entiers = c.echantillons.empty() ? q.sortie : sortie_entiers;
    f.fichiers = {q.sortie};
    if (q.format == "npy" && !c.entiers.empty() && !c.echantillons.empty())
        f.fichiers.push_back(sortie_entiers);
    if (q.format == "npy")
        f.fichiers.push_back(f.meta);
    if (!c.facteurs.empty())
        f.fichiers.push_back(f.calibration);
    if (!sorties_permises(f.fichiers, e, q.calibration, q.geometrie))
        return EXIT_ECHEC;
    for (const std::string& p : f.fichiers)
        if (existe(p) && !q.ecraser)
            return echec(p + " existe déjà (--ecraser pour le remplacer)", EXIT_ECHEC);
    // A disk without room for the export refuses it before a byte is written.
    const uint64_t besoin = c.nb_trames * 4 * (c.echantillons.size() + c.entiers.size()) + 65536 * f.fichiers.size();
    uint64_t libre = 0;
    const std::string dossier = std::filesystem::u8path(q.sortie).parent_path().u8string();
    if (espace_libre(dossier, libre) && libre < besoin) {
        char texte[160];
        std::snprintf(texte, sizeof texte, " : disque plein (%llu octets libres, %llu nécessaires)",
                      static_cast<unsigned long long>(libre), static_cast<unsigned long long>(besoin));
        return echec(q.sortie + texte, EXIT_ECHEC);
    }
    return EXIT_OK;
}

// The samples written, then the metadata and the columns' calibration.
// Each output is written whole under a temporary name and takes its own
// only once complete: an error or an interruption leaves what was there.
int ecrit(const Demande& q, const Entrees& x, const Choix& c, const Produits& f, std::string& erreur)
{
    const Enregistrement& e = x.e;
    const Metadonnees meta = metadonnees(e, c, q.geometrie, x.g, q.calibration, x.origine);
    capte_demandes_fin();
    Progression progression("Export", c.nb_trames);
    auto avance = [&](uint64_t n) { progression.avance(n); };
    int r = -1;
    if (q.format == "npy") {
        SortieNpy npy;
        Interruptible sortie_npy(npy);
        r = npy.ouvre(e, c, q.sortie, f.entiers, erreur);
        r = r == 0 ? exporte(e, c, sortie_npy, erreur, avance) : r;
        if (r == 0)
            r = npy.ferme(erreur);
        else
            npy.abandonne();
    }
#ifdef ONDARIS_HDF5
    if (q.format == "h5") {
        SortieHdf5 h5;
        Interruptible sortie_h5(h5);
        r = h5.ouvre(e, c, meta, q.sortie, erreur);
        r = r == 0 ? exporte(e, c, sortie_h5, erreur, avance) : r;
        if (r == 0)
            r = h5.ferme(erreur);
        else
            h5.abandonne();
    }
#endif
    progression.fin();
    if (r == 0 && q.format == "npy") {
        std::vector<int32_t> codes;
        for (int w : c.echantillons)
            codes.push_back(e.disposition.codes[static_cast<size_t>(w)]);
        r = ecrit_fichier_entier(f.meta, json_metadonnees(e, meta, codes), erreur);
    }
    if (r == 0 && !c.facteurs.empty())
        r = ecrit_calibration(f.calibration, f.colonnes, erreur);
    return r;
}

} // namespace

int main(int argc, char** argv)
{
    Demande q;
    LigneCommande l("ondaris-export", AIDE);
    l.positionnel("NOM.dat", q.dat);
    l.texte("--format", q.format);
    l.texte("--voies", q.voies);
    l.texte("--sortie", q.sortie);
    l.texte("--calibration", q.calibration);
    l.texte("--geometrie", q.geometrie);
    l.nombre("--debut", q.debut, 0, HUGE_VAL, "nombre de secondes positif attendu");
    l.nombre("--duree", q.duree, 0, HUGE_VAL, "nombre de secondes positif attendu");
    l.drapeau("--ecraser", q.ecraser);
    const int code = l.analyse(std::vector<std::string>(argv, argv + argc));
    if (code != LigneCommande::CONTINUER)
        return code;
    if (q.dat.empty() || (q.format != "h5" && q.format != "npy" && q.format != "sigmf"))
        return l.refuse("");
    q.plage = q.debut >= 0 || q.duree >= 0;
    q.debut = std::max(q.debut, 0.0);
#ifndef ONDARIS_HDF5
    if (q.format == "h5")
        return echec("cette version est construite sans HDF5 (npy ou sigmf)", EXIT_USAGE);
#endif
    if (q.format == "sigmf" && (q.plage || !q.voies.empty()))
        return echec("SigMF décrit NOM.dat tel quel : ni --voies, ni --debut, ni --duree", EXIT_USAGE);

    Entrees x;
    if (const int r = lit_entrees(q, x); r != EXIT_OK)
        return r;
    if (q.sortie.empty())
        q.sortie = sans_extension(q.dat) + (q.format == "h5" ? ".h5" : q.format == "npy" ? ".npy" : ".sigmf-meta");
    if (q.format == "sigmf")
        return exporte_sigmf(q, x);

    Choix c;
    Produits f;
    if (const int r = prepare(q, x, c, f); r != EXIT_OK)
        return r;
    std::string erreur;
    if (ecrit(q, x, c, f, erreur) != 0)
        return echec(erreur, EXIT_ECHEC);
    for (const std::string& p : f.fichiers)
        std::printf("%s\n", p.c_str());
    std::printf("%llu trames à partir de la trame %llu, %zu voies d'échantillons, %zu mots entiers, %.0f Hz\n",
                static_cast<unsigned long long>(c.nb_trames), static_cast<unsigned long long>(c.premiere),
                c.echantillons.size(), c.entiers.size(), static_cast<double>(x.e.frequence));
    return EXIT_OK;
}
