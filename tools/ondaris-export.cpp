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

} // namespace

int main(int argc, char** argv)
{
    std::string dat, format, voies, sortie, calibration, geometrie;
    double debut = -1, duree = -1;
    bool ecraser = false;
    LigneCommande l("ondaris-export", AIDE);
    l.positionnel("NOM.dat", dat);
    l.texte("--format", format);
    l.texte("--voies", voies);
    l.texte("--sortie", sortie);
    l.texte("--calibration", calibration);
    l.texte("--geometrie", geometrie);
    l.nombre("--debut", debut, 0, HUGE_VAL, "nombre de secondes positif attendu");
    l.nombre("--duree", duree, 0, HUGE_VAL, "nombre de secondes positif attendu");
    l.drapeau("--ecraser", ecraser);
    const int code = l.analyse(std::vector<std::string>(argv, argv + argc));
    if (code != LigneCommande::CONTINUER)
        return code;
    if (dat.empty() || (format != "h5" && format != "npy" && format != "sigmf"))
        return l.refuse("");
    const bool plage = debut >= 0 || duree >= 0;
    debut = std::max(debut, 0.0);
#ifndef ONDARIS_HDF5
    if (format == "h5") {
        std::fprintf(stderr, "ondaris-export : cette version est construite sans HDF5 (npy ou sigmf)\n");
        return EXIT_USAGE;
    }
#endif
    if (format == "sigmf" && (plage || !voies.empty())) {
        std::fprintf(stderr, "ondaris-export : SigMF décrit NOM.dat tel quel : ni --voies, ni --debut, ni --duree\n");
        return EXIT_USAGE;
    }

    Enregistrement e;
    lit_enregistrement(dat, e);
    for (const std::string& p : e.problemes)
        std::fprintf(stderr, "Attention : %s\n", p.c_str());
    for (const std::string& r : e.remarques)
        std::fprintf(stderr, "Note : %s\n", r.c_str());
    if (!e.lisible) {
        std::fprintf(stderr, "ondaris-export : %s ne peut pas être lu (ondaris-verifie dit pourquoi)\n", dat.c_str());
        return EXIT_ENREGISTREMENT;
    }

    std::string erreur;
    Geometrie g;
    if (!geometrie.empty() && lit_geometrie(geometrie, g, erreur) != 0) {
        std::fprintf(stderr, "ondaris-export : %s\n", erreur.c_str());
        return EXIT_USAGE;
    }
    Calibration cal;
    OrigineCalibration origine;
    if (!calibration.empty() && lit_calibration(calibration, 1024, cal, erreur, &origine) != 0) {
        std::fprintf(stderr, "ondaris-export : %s\n", erreur.c_str());
        return EXIT_USAGE;
    }

    const std::string base = sans_extension(dat);
    if (sortie.empty())
        sortie = base + (format == "h5" ? ".h5" : format == "npy" ? ".npy" : ".sigmf-meta");
    const std::string sortie_entiers = sans_extension(sortie) + "_compteurs.npy";

    if (format == "sigmf") {
        if (!sorties_permises({sortie}, e, calibration, geometrie))
            return EXIT_ECHEC;
        if (existe(sortie) && !ecraser) {
            std::fprintf(stderr, "ondaris-export : %s existe déjà (--ecraser pour le remplacer)\n", sortie.c_str());
            return EXIT_ECHEC;
        }
        // Every word of the frame is a channel of the dataset.
        Choix tous;
        for (int w = 0; w < e.disposition.nb_voies; ++w)
            tous.echantillons.push_back(w);
        if (!calibration.empty())
            tous.facteurs = facteurs_pascals(e.disposition, tous, cal);
        const Metadonnees m = metadonnees(e, tous, geometrie, g, calibration, origine);
        if (ecrit_sigmf(e, sortie, erreur, &m) != 0) {
            std::fprintf(stderr, "ondaris-export : %s\n", erreur.c_str());
            return EXIT_ECHEC;
        }
        std::printf("%s : %d voies entrelacées, %.0f Hz, %s\n", sortie.c_str(), e.disposition.nb_voies,
                    static_cast<double>(e.frequence), e.flottant ? "rf32_le" : "ri32_le");
        return EXIT_OK;
    }

    Choix c;
    if (choisit_voies(e.disposition, voies, c, erreur) != 0 || choisit_plage(e, debut, duree, c, erreur) != 0) {
        std::fprintf(stderr, "ondaris-export : %s\n", erreur.c_str());
        return EXIT_USAGE;
    }
    if (c.nb_trames == 0) {
        std::fprintf(stderr, "ondaris-export : aucune trame à exporter (enregistrement vide ou plage hors de lui)\n");
        return EXIT_ECHEC;
    }
    Calibration colonnes;
    // One per format: a second export of the recording leaves the first's.
    const std::string chemin_calibration = sans_extension(sortie) + "_" + format + "_calib.xml";
    const std::string chemin_meta = sans_extension(sortie) + "_npy_meta.json";
    if (!calibration.empty()) {
        if (c.echantillons.empty()) {
            std::fprintf(stderr,
                         "ondaris-export : --calibration : aucune colonne d'échantillons à mettre en pascals\n");
            return EXIT_USAGE;
        }
        c.facteurs = facteurs_pascals(e.disposition, c, cal);
        // What the exported columns hold is already in their unit.
        colonnes.nom =
            std::filesystem::u8path(sortie).filename().u8string() + " : micros en pascals, voies analogiques en points";
        colonnes.facteurs.assign(c.echantillons.size(), 1.0);
    }
    // NumPy: the integer words in a file of their own, unless they are all
    // that was chosen.
    const std::string chemin_entiers = c.echantillons.empty() ? sortie : sortie_entiers;
    std::vector<std::string> produits = {sortie};
    if (format == "npy" && !c.entiers.empty() && !c.echantillons.empty())
        produits.push_back(sortie_entiers);
    if (format == "npy")
        produits.push_back(chemin_meta);
    if (!c.facteurs.empty())
        produits.push_back(chemin_calibration);
    const Metadonnees meta = metadonnees(e, c, geometrie, g, calibration, origine);
    if (!sorties_permises(produits, e, calibration, geometrie))
        return EXIT_ECHEC;
    for (const std::string& p : produits)
        if (existe(p) && !ecraser) {
            std::fprintf(stderr, "ondaris-export : %s existe déjà (--ecraser pour le remplacer)\n", p.c_str());
            return EXIT_ECHEC;
        }

    // A disk without room for the export refuses it before a byte is written.
    const uint64_t besoin = c.nb_trames * 4 * (c.echantillons.size() + c.entiers.size()) + 65536 * produits.size();
    uint64_t libre = 0;
    const std::string dossier = std::filesystem::u8path(sortie).parent_path().u8string();
    if (espace_libre(dossier, libre) && libre < besoin) {
        std::fprintf(stderr, "ondaris-export : %s : disque plein (%llu octets libres, %llu nécessaires)\n",
                     sortie.c_str(), static_cast<unsigned long long>(libre), static_cast<unsigned long long>(besoin));
        return EXIT_ECHEC;
    }
    capte_demandes_fin();
    Progression progression("Export", c.nb_trames);
    auto avance = [&](uint64_t n) { progression.avance(n); };
    // Each output is written whole under a temporary name and takes its own
    // only once complete: an error or an interruption leaves what was there.
    int r = -1;
    if (format == "npy") {
        SortieNpy npy;
        Interruptible sortie_npy(npy);
        r = npy.ouvre(e, c, sortie, chemin_entiers, erreur);
        r = r == 0 ? exporte(e, c, sortie_npy, erreur, avance) : r;
        if (r == 0)
            r = npy.ferme(erreur);
        else
            npy.abandonne();
    }
#ifdef ONDARIS_HDF5
    if (format == "h5") {
        SortieHdf5 h5;
        Interruptible sortie_h5(h5);
        r = h5.ouvre(e, c, meta, sortie, erreur);
        r = r == 0 ? exporte(e, c, sortie_h5, erreur, avance) : r;
        if (r == 0)
            r = h5.ferme(erreur);
        else
            h5.abandonne();
    }
#endif
    progression.fin();
    if (r == 0 && format == "npy") {
        std::vector<int32_t> codes;
        for (int w : c.echantillons)
            codes.push_back(e.disposition.codes[static_cast<size_t>(w)]);
        r = ecrit_fichier_entier(chemin_meta, json_metadonnees(e, meta, codes), erreur);
    }
    if (r == 0 && !c.facteurs.empty())
        r = ecrit_calibration(chemin_calibration, colonnes, erreur);
    if (r != 0) {
        std::fprintf(stderr, "ondaris-export : %s\n", erreur.c_str());
        return EXIT_ECHEC;
    }
    for (const std::string& p : produits)
        std::printf("%s\n", p.c_str());
    std::printf("%llu trames à partir de la trame %llu, %zu voies d'échantillons, %zu mots entiers, %.0f Hz\n",
                static_cast<unsigned long long>(c.nb_trames), static_cast<unsigned long long>(c.premiere),
                c.echantillons.size(), c.entiers.size(), static_cast<double>(e.frequence));
    return EXIT_OK;
}
