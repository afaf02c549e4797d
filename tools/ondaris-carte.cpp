// ondaris-carte: the acoustic map of a recording in one third-octave band,
// its maximum on one line for scripts, and the map as a PNG picture seen
// from in front of the array (the source side): x to the right, y up.
#include <cmath>
#include <cstdio>

#include "analyse/carte.h"
#include "app/fenetre/dessin/png_carte.h"
#include "base/fichier_entier.h"
#include "files/fichier_donnees.h"
#include "files/calibration.h"
#include "files/geometrie.h"
#include "ligne_commande/ligne_commande.h"

namespace {

const char* const AIDE =
    "Usage : ondaris-carte NOM.dat --geometrie G.xml --bande HZ --z M [options]\n"
    "Carte acoustique d'un enregistrement (formation de voies, niveau vrai) dans une bande de\n"
    "tiers d'octave, sur une grille de 41 x 41 points couvrant l'ouverture du réseau, à M mètres\n"
    "devant lui ; instantanés de 1024 trames recouverts de moitié, moyennés.\n"
    "Écrit une ligne : maximum : x = X m, y = Y m, niveau = L dB\n"
    "  --geometrie G.xml      positions des 1024 micros (XML d'acoular, <MicArray>)\n"
    "  --bande HZ             centre nominal de la bande de tiers d'octave (ex. 1000, 2000, 3150)\n"
    "  --z M                  distance du plan de la carte au réseau, en mètres, depuis le plan\n"
    "                         moyen des micros (0,001 à 1000)\n"
    "  --debut S, --duree S   intervalle analysé (défaut : tout l'enregistrement)\n"
    "  --calibration F.xml    facteurs des micros (Pa par point) : niveaux en dB SPL\n"
    "  --png SORTIE.png       l'image de la carte en dB, 10 dB de dynamique sous le maximum,\n"
    "                         vue de devant le réseau (côté des sources), x vers la droite, y vers le haut\n"
    "Sans --calibration, les niveaux sont en dB re 1 point².\n"
    "Codes de sortie : 0, 1 (enregistrement ou fichier refusé), 64 (usage).\n";

} // namespace

int main(int argc, char** argv)
{
    std::string dat, geometrie, calibration, png;
    DemandeCarte d;
    d.bande = -1;
    d.z = -1;
    LigneCommande l("ondaris-carte", AIDE);
    l.positionnel("NOM.dat", dat);
    l.texte("--geometrie", geometrie);
    l.texte("--calibration", calibration);
    l.texte("--png", png);
    l.nombre("--bande", d.bande, 1, HUGE_VAL, "fréquence en Hz attendue");
    l.nombre("--z", d.z, 1e-3, 1000, "distance de 0,001 à 1000 m attendue");
    l.nombre("--debut", d.debut, 0, HUGE_VAL, "nombre de secondes positif attendu");
    l.nombre("--duree", d.duree, 0, HUGE_VAL, "nombre de secondes positif attendu");
    const int code = l.analyse(std::vector<std::string>(argv, argv + argc));
    if (code != LigneCommande::CONTINUER)
        return code;
    if (dat.empty() || geometrie.empty() || d.bande < 0 || d.z < 0)
        return l.refuse("NOM.dat, --geometrie, --bande et --z sont demandés");

    // The picture never lands on a file it reads.
    std::string erreur;
    if (!png.empty() &&
        refuse_sorties_sur_entrees(
            {png}, {dat, nom_compagnon(dat, ".Ond"), nom_compagnon(dat, ".log"), geometrie, calibration}, erreur) !=
            0) {
        std::fprintf(stderr, "ondaris-carte : %s\n", erreur.c_str());
        return 1;
    }
    Geometrie g;
    if (lit_geometrie(geometrie, g, erreur) != 0) {
        std::fprintf(stderr, "ondaris-carte : %s\n", erreur.c_str());
        return 1;
    }
    if (!calibration.empty()) {
        Calibration c;
        if (lit_calibration(calibration, MICROS_GEOMETRIE, c, erreur) != 0) {
            std::fprintf(stderr, "ondaris-carte : %s\n", erreur.c_str());
            return 1;
        }
        d.facteurs = c.facteurs;
    }
    Carte c;
    if (calcule_carte(dat, g, d, c, erreur) != 0) {
        std::fprintf(stderr, "ondaris-carte : %s\n", erreur.c_str());
        return 1;
    }
    const std::string unite = calibration.empty() ? "dB" : "dB SPL";
    // Printed before Qt sets the locale: a decimal point for scripts.
    std::printf("maximum : x = %.4f m, y = %.4f m, niveau = %.2f %s\n", c.x_max, c.y_max, c.niveau_max, unite.c_str());
    std::fflush(stdout);
    if (png.empty())
        return 0;
    std::string octets;
    if (!png_de_carte(argc, argv, c, unite, d.bande, d.z, octets)) {
        std::fprintf(stderr, "ondaris-carte : %s : image impossible à produire\n", png.c_str());
        return 1;
    }
    if (ecrit_fichier_entier(png, octets, erreur) != 0) {
        std::fprintf(stderr, "ondaris-carte : %s\n", erreur.c_str());
        return 1;
    }
    return 0;
}
