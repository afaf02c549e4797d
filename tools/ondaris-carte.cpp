// ondaris-carte: the acoustic map of a recording in one third-octave band,
// its maximum on one line for scripts, and the map as a PNG picture seen
// from in front of the array (the source side): x to the right, y up; or
// the signal of the array steered at one point, as a WAV.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "analyse/carte.h"
#include "analyse/distance_auto.h"
#include "analyse/ecoute.h"
#include "app/fenetre/dessin/png_carte.h"
#include "base/fichier_entier.h"
#include "files/calibration.h"
#include "files/fichier_donnees.h"
#include "files/geometrie.h"
#include "files/wav.h"
#include "ligne_commande/ligne_commande.h"

namespace {

const char* const AIDE =
    "Usage : ondaris-carte NOM.dat --geometrie G.xml --bande HZ --z M [options]\n"
    "        ondaris-carte NOM.dat --geometrie G.xml --ecoute X,Y,Z SORTIE.wav [options]\n"
    "Carte acoustique d'un enregistrement (formation de voies, niveau vrai) dans une bande de\n"
    "tiers d'octave, sur une grille de 41 x 41 points couvrant l'ouverture du réseau, à M mètres\n"
    "devant lui ; instantanés de 1024 trames (plus dans les bandes basses) recouverts de moitié, moyennés.\n"
    "Écrit une ligne : maximum : x = X m, y = Y m, niveau = L dB, puis une ligne qui dit si\n"
    "la diagonale est retirée.\n"
    "  --geometrie G.xml      positions des 1024 micros (XML d'acoular, <MicArray>)\n"
    "  --bande HZ             centre nominal de la bande de tiers d'octave (ex. 1000, 2000, 3150)\n"
    "  --z M                  distance du plan de la carte au réseau, en mètres, depuis le plan\n"
    "                         moyen des micros (0,001 à 1000) ; --z auto la cherche : les cartes\n"
    "                         sur une plage de distances, celle où le maximum est le plus haut et\n"
    "                         le plus net est gardée et écrite (distance trouvée : z = Z m)\n"
    "  --z-plage MIN,MAX      la plage de --z auto, en mètres (défaut 0.5,3)\n"
    "  --debut S, --duree S   intervalle analysé (défaut : tout l'enregistrement)\n"
    "  --avec-diagonale       garde les termes propres des micros (la diagonale de la matrice\n"
    "                         interspectrale) ; par défaut ils sont retirés, le bruit propre de\n"
    "                         chaque capsule ne s'ajoute plus à la carte, les niveaux restent vrais\n"
    "  --calibration F.xml    facteurs des micros (Pa par point) : niveaux en dB SPL\n"
    "  --png SORTIE.png       l'image de la carte en dB, 10 dB de dynamique sous le maximum,\n"
    "                         vue de devant le réseau (côté des sources), x vers la droite, y vers le haut\n"
    "  --ecoute X,Y,Z SORTIE.wav\n"
    "                         écoute d'un point : le signal du réseau pointé sur (X, Y, Z) mètres, dans\n"
    "                         les axes du fichier de géométrie (formation de voies temporelle, retards\n"
    "                         fractionnaires, loi des distances), en pascals avec --calibration ; un WAV\n"
    "                         mono en flottants 32 bits à la fréquence de l'enregistrement, sur\n"
    "                         l'intervalle analysé, limité à la bande si --bande est donnée. Écrit une\n"
    "                         ligne : écoute : x = X m, y = Y m, z = Z m, N micros, niveau = L dB\n"
    "Sans --calibration, les niveaux sont en dB re 1 point².\n"
    "Codes de sortie : 0, 1 (enregistrement ou fichier refusé), 64 (usage).\n";

// "X,Y,Z": three finite numbers, in metres.
std::string lit_point(const std::string& s, Point3& p)
{
    const std::string refus = "--ecoute : X,Y,Z en mètres attendus, pas « " + s + " »";
    std::vector<double> v;
    size_t debut = 0;
    for (;;) {
        const size_t virgule = s.find(',', debut);
        double x;
        if (!LigneCommande::nombre_fini(s.substr(debut, virgule - debut), x))
            return refus;
        v.push_back(x);
        if (virgule == std::string::npos)
            break;
        debut = virgule + 1;
    }
    if (v.size() != 3)
        return refus;
    for (double x : v)
        if (std::fabs(x) > COORDONNEE_MAX_M)
            return "--ecoute : un point à plus de " + std::to_string(int(COORDONNEE_MAX_M)) + " m du réseau";
    p = {v[0], v[1], v[2]};
    return std::string();
}

// The listening: the steered signal of the span as a WAV beside its line.
int ecoute(const std::string& dat, const Geometrie& g, const DemandeCarte& d, Point3 point, const std::string& wav)
{
    DemandeEcoute e;
    e.point = point;
    e.debut = d.debut;
    e.duree = d.duree;
    e.bande = std::max(0.0, d.bande);
    e.facteurs = d.facteurs;
    Ecoute r;
    std::string erreur;
    if (calcule_ecoute(dat, g, e, r, erreur) != 0) {
        std::fprintf(stderr, "ondaris-carte : %s\n", erreur.c_str());
        return 1;
    }
    if (ecrit_wav(wav, r.signal, uint32_t(std::lround(r.frequence)), erreur) != 0) {
        std::fprintf(stderr, "ondaris-carte : %s\n", erreur.c_str());
        return 1;
    }
    std::printf("écoute : x = %.4f m, y = %.4f m, z = %.4f m, %d micros, niveau = %.2f %s\n", point.x, point.y, point.z,
                r.micros, r.niveau, d.facteurs.empty() ? "dB" : "dB SPL");
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    std::string dat, geometrie, calibration, png, wav;
    Point3 point;
    bool ecoute_demandee = false;
    DemandeCarte d;
    d.bande = -1;
    d.z = -1;
    LigneCommande l("ondaris-carte", AIDE);
    l.positionnel("NOM.dat", dat);
    l.positionnel("SORTIE.wav", wav);
    l.valeur("--ecoute", [&](const std::string& s) {
        ecoute_demandee = true;
        return lit_point(s, point);
    });
    l.texte("--geometrie", geometrie);
    l.texte("--calibration", calibration);
    l.texte("--png", png);
    l.nombre("--bande", d.bande, 1, HUGE_VAL, "fréquence en Hz attendue");
    bool z_auto = false;
    double z_plage[2] = {0.5, 3.0};
    l.valeur("--z", [&](const std::string& v) {
        if (v == "auto") {
            z_auto = true;
            d.z = 1;
            return std::string();
        }
        double x;
        if (!LigneCommande::nombre_fini(v, x) || x < 1e-3 || x > 1000)
            return std::string("--z : distance de 0,001 à 1000 m, ou auto, attendue");
        z_auto = false;
        d.z = x;
        return std::string();
    });
    l.valeur("--z-plage", [&](const std::string& v) {
        const size_t virgule = v.find(',');
        double a, b;
        if (virgule == std::string::npos || !LigneCommande::nombre_fini(v.substr(0, virgule), a) ||
            !LigneCommande::nombre_fini(v.substr(virgule + 1), b) || !(a >= 1e-3) || !(b > a) || b > 1000)
            return "--z-plage : MIN,MAX en mètres attendus, 0,001 <= MIN < MAX <= 1000, pas « " + v + " »";
        z_plage[0] = a;
        z_plage[1] = b;
        return std::string();
    });
    bool avec_diagonale = false;
    l.drapeau("--avec-diagonale", avec_diagonale);
    l.nombre("--debut", d.debut, 0, HUGE_VAL, "nombre de secondes positif attendu");
    l.nombre("--duree", d.duree, 0, HUGE_VAL, "nombre de secondes positif attendu");
    const int code = l.analyse(std::vector<std::string>(argv, argv + argc));
    if (code != LigneCommande::CONTINUER)
        return code;
    d.sans_diagonale = !avec_diagonale;
    if (ecoute_demandee) {
        if (avec_diagonale)
            return l.refuse("--avec-diagonale est une option de la carte, pas de l'écoute");
        if (dat.empty() || geometrie.empty() || wav.empty())
            return l.refuse("NOM.dat, --geometrie et --ecoute X,Y,Z SORTIE.wav sont demandés");
        if (!png.empty() || d.z >= 0)
            return l.refuse("--ecoute écrit un son, pas de carte : ni --png, ni --z");
    } else {
        if (!wav.empty())
            return l.refuse("argument inattendu : " + wav);
        if (dat.empty() || geometrie.empty() || d.bande < 0 || d.z < 0)
            return l.refuse("NOM.dat, --geometrie, --bande et --z sont demandés");
    }

    // The picture never lands on a file it reads.
    std::string erreur;
    const std::string sortie = ecoute_demandee ? wav : png;
    if (!sortie.empty() &&
        refuse_sorties_sur_entrees(
            {sortie}, {dat, nom_compagnon(dat, ".Ond"), nom_compagnon(dat, ".log"), geometrie, calibration}, erreur) !=
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
    if (ecoute_demandee)
        return ecoute(dat, g, d, point, wav);
    Carte c;
    DistanceTrouvee trouvee;
    if ((z_auto ? cherche_distance(dat, g, d, z_plage[0], z_plage[1], c, trouvee, erreur)
                : calcule_carte(dat, g, d, c, erreur)) != 0) {
        std::fprintf(stderr, "ondaris-carte : %s\n", erreur.c_str());
        return 1;
    }
    if (z_auto) {
        d.z = trouvee.z;
        std::printf("distance trouvée : z = %.3f m (de %.3f à %.3f m, %d cartes)\n", trouvee.z, trouvee.z_min,
                    trouvee.z_max, trouvee.cartes);
    }
    const std::string unite = calibration.empty() ? "dB" : "dB SPL";
    // Printed before Qt sets the locale: a decimal point for scripts.
    std::printf("maximum : x = %.4f m, y = %.4f m, niveau = %.2f %s\n", c.x_max, c.y_max, c.niveau_max, unite.c_str());
    std::printf("%s\n", c.sans_diagonale ? "diagonale retirée : le bruit propre des micros est hors de la carte"
                                         : "diagonale gardée : le bruit propre des micros est dans la carte");
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
