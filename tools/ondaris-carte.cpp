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
#include "export/carte.h"
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
    "tiers d'octave, sur une grille couvrant l'ouverture du réseau à M mètres devant lui ;\n"
    "instantanés de 1024 trames recouverts de moitié, moyennés ; c = 343 m/s.\n"
    "Écrit une ligne : maximum : x = X m, y = Y m, niveau = L dB, puis une ligne qui dit si\n"
    "la diagonale est retirée, puis l'unité et la référence des niveaux, la grille et les\n"
    "réglages. Un maximum sur le bord de la grille ajoute, là et dans l'image et les fichiers,\n"
    "« maximum au bord de la grille : la source est peut-être en dehors ».\n"
    "  --methode das|clean-sc das (défaut) : formation de voies ; clean-sc : déconvolution CLEAN-SC\n"
    "                         (Sijtsma), raie par raie : le maximum de la carte résiduelle est pris\n"
    "                         pour une source, sa part cohérente retirée de la matrice\n"
    "                         interspectrale, jusqu'à un critère d'arrêt ; la carte propre est la\n"
    "                         somme des sources trouvées sur les raies de la bande. Écrit aussi les\n"
    "                         sources : source N : x = X m, y = Y m, z = Z m, niveau = L dB (les points\n"
    "                         propres à un pas de grille d'un maximum, sommés, jusqu'à --arret-db\n"
    "                         sous la plus forte)\n"
    "  --gain-boucle G        clean-sc : part d'une source retirée à chaque itération, de 0,01 à 1\n"
    "                         (défaut 0.6)\n"
    "  --iterations N         clean-sc : au plus N itérations par raie, de 1 à 10000 (défaut 100)\n"
    "  --arret-db DB          clean-sc : une raie s'arrête quand son maximum résiduel est DB dB sous\n"
    "                         le maximum de sa première carte (défaut 20), ou quand il ne décroît plus\n"
    "  --geometrie G.xml      positions des 1024 micros (XML d'acoular, <MicArray>)\n"
    "  --bande HZ             centre nominal de la bande de tiers d'octave (ex. 1000, 2000, 3150)\n"
    "  --z M                  distance du plan de la carte au réseau, en mètres, depuis le plan\n"
    "                         moyen des micros (0,001 à 1000) ; --z auto la cherche : les cartes\n"
    "                         sur une plage de distances, celle où le maximum est le plus haut et\n"
    "                         le plus net est gardée et écrite (distance trouvée : z = Z m)\n"
    "  --z-plage MIN,MAX      la plage de --z auto, en mètres (défaut 0.5,3)\n"
    "  --grille-x X0,X1, --grille-y Y0,Y1\n"
    "                         étendue de la grille en mètres, dans les axes du réseau (défaut :\n"
    "                         l'ouverture des micros enregistrés)\n"
    "  --grille-pas M         pas de la grille en mètres, le même en x et en y. Par défaut, 0,4 fois la\n"
    "                         largeur du faisceau en haut de la bande, lambda racine(z² + D²/4) / D pour\n"
    "                         une ouverture D, et au moins 41 points par côté : une source entre\n"
    "                         deux points lit au plus 0,9 dB de moins. Au plus 33 554 432 points x\n"
    "                         micros (181 x 181 points pour 1024 micros) : au-delà, le pas par défaut\n"
    "                         grandit (c'est écrit), une grille demandée est refusée\n"
    "  --grille-points N      N x N points sur l'étendue (2 à 10000), au lieu d'un pas\n"
    "  --instantane N         trames par instantané (64 à 65536, pair ; défaut 1024)\n"
    "  --celerite M/S         vitesse du son (200 à 2000 m/s ; défaut 343)\n"
    "  --temperature C        la vitesse du son de l'air à C °C, 331,3 racine(1 + C / 273,15) m/s\n"
    "                         (-50 à 60 °C) ; l'écoute reste à 343 m/s\n"
    "  --niveau centre|source centre (défaut) : le niveau qu'une source en chaque point donne au\n"
    "                         centre du réseau ; source : ce niveau ramené à 1 m de la source (loi\n"
    "                         en 1/r), celui de la source elle-même quelle que soit sa distance\n"
    "  --debut S, --duree S   intervalle analysé (défaut : tout l'enregistrement)\n"
    "  --avec-diagonale       garde les termes propres des micros (la diagonale de la matrice\n"
    "                         interspectrale) ; par défaut ils sont retirés, le bruit propre de\n"
    "                         chaque capsule ne s'ajoute plus à la carte, les niveaux restent vrais\n"
    "  --calibration F.xml    facteurs des micros (Pa par point) : niveaux en dB SPL re 20 µPa\n"
    "  --png SORTIE.png       l'image de la carte en dB, 10 dB de dynamique sous le maximum,\n"
    "                         vue de devant le réseau (côté des sources), x vers la droite, y vers le haut\n"
    "  --csv SORTIE.csv       les valeurs : des lignes « # clé : valeur » (réglages, unité, référence),\n"
    "                         puis x_m,y_m,niveau_dB et un point de la grille par ligne, x le plus rapide\n"
    "  --h5 SORTIE.h5         les valeurs en HDF5 : /niveau (ny, nx) en dB, /x et /y en mètres, chacun\n"
    "                         avec son attribut unite, et les réglages en attributs du fichier\n"
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

// "A,B": two finite numbers, A < B.
std::string lit_paire(const std::string& option, const std::string& v, double& a, double& b)
{
    const size_t virgule = v.find(',');
    double x, y;
    if (virgule == std::string::npos || !LigneCommande::nombre_fini(v.substr(0, virgule), x) ||
        !LigneCommande::nombre_fini(v.substr(virgule + 1), y) || !(x < y))
        return option + " : MIN,MAX en mètres attendus, MIN < MAX, pas « " + v + " »";
    a = x;
    b = y;
    return std::string();
}

// The lines after the maximum's: the levels' unit and reference, the grid
// and the settings.
void dit_reglages(const Carte& c, const std::string& celerite)
{
    std::printf("niveaux : %s, %s\n", unite_niveaux(c.calibree).c_str(), reference_longue(c.reference).c_str());
    const Grille& g = c.grille;
    std::printf("grille : %d x %d points, x de %.3f à %.3f m, y de %.3f à %.3f m, pas de %.1f x %.1f mm "
                "(faisceau de %.1f mm à %.0f Hz)%s\n",
                g.nx, g.ny, g.x0, g.x1, g.y0, g.y1, g.pas_x() * 1000, g.pas_y() * 1000, c.faisceau * 1000, c.f_haute,
                c.grille_limitee ? ", pas agrandi pour tenir dans le plafond de points x micros" : "");
    std::printf("réglages : c = %.1f m/s (%s), instantanés de %d trames (%d), bande de %.0f à %.0f Hz\n", c.celerite,
                celerite.c_str(), c.points, c.instantanes, c.f_basse, c.f_haute);
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
    std::string dat, geometrie, calibration, png, wav, csv, h5;
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
    l.texte("--csv", csv);
    l.texte("--h5", h5);
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
    l.valeur("--grille-x", [&](const std::string& v) { return lit_paire("--grille-x", v, d.grille.x0, d.grille.x1); });
    l.valeur("--grille-y", [&](const std::string& v) { return lit_paire("--grille-y", v, d.grille.y0, d.grille.y1); });
    l.nombre("--grille-pas", d.grille.pas, 1e-4, 100, "pas de 0,0001 à 100 m attendu");
    double points_grille = 0, points_instantane = -1, celerite = -1, temperature = HUGE_VAL;
    l.nombre("--grille-points", points_grille, 2, 10000, "de 2 à 10000 points par côté attendus");
    l.nombre("--instantane", points_instantane, 64, 65536, "de 64 à 65536 trames attendues");
    l.nombre("--celerite", celerite, 200, 2000, "vitesse de 200 à 2000 m/s attendue");
    l.nombre("--temperature", temperature, -50, 60, "température de -50 à 60 °C attendue");
    int niveau = 0;
    l.mot("--niveau", niveau, {"centre", "source"}, "centre ou source attendu");
    bool avec_diagonale = false;
    l.drapeau("--avec-diagonale", avec_diagonale);
    int methode = 0;
    l.mot("--methode", methode, {"das", "clean-sc"}, "--methode : das ou clean-sc attendu");
    // NaN: not given (the defaults of ReglagesCleanSc then hold).
    double gain = NAN, iterations = NAN, arret = NAN;
    l.nombre("--gain-boucle", gain, 0.01, 1, "gain de boucle de 0,01 à 1 attendu");
    l.nombre("--iterations", iterations, 1, 10000, "nombre d'itérations de 1 à 10000 attendu");
    l.nombre("--arret-db", arret, 0, 200, "dynamique d'arrêt de 0 à 200 dB attendue");
    l.nombre("--debut", d.debut, 0, HUGE_VAL, "nombre de secondes positif attendu");
    l.nombre("--duree", d.duree, 0, HUGE_VAL, "nombre de secondes positif attendu");
    const int code = l.analyse(std::vector<std::string>(argv, argv + argc));
    if (code != LigneCommande::CONTINUER)
        return code;
    d.sans_diagonale = !avec_diagonale;
    d.clean_sc = methode == 1;
    if (!std::isnan(gain))
        d.reglages_clean_sc.gain = gain;
    if (!std::isnan(iterations)) {
        if (iterations != std::floor(iterations))
            return l.refuse("--iterations : un nombre entier attendu");
        d.reglages_clean_sc.iterations = int(iterations);
    }
    if (!std::isnan(arret))
        d.reglages_clean_sc.dynamique = arret;
    if (!d.clean_sc && !(std::isnan(gain) && std::isnan(iterations) && std::isnan(arret)))
        return l.refuse("--gain-boucle, --iterations et --arret-db sont des options de --methode clean-sc");
    const bool grille_demandee = d.grille.x1 > d.grille.x0 || d.grille.y1 > d.grille.y0 || d.grille.pas > 0 ||
                                 points_grille > 0 || points_instantane > 0 || niveau != 0;
    if (d.grille.pas > 0 && points_grille > 0)
        return l.refuse("--grille-pas ou --grille-points, pas les deux");
    if (celerite > 0 && temperature != HUGE_VAL)
        return l.refuse("--celerite ou --temperature, pas les deux");
    if (points_instantane > 0 && (std::floor(points_instantane) != points_instantane || int(points_instantane) % 2))
        return l.refuse("--instantane : un nombre pair de trames attendu");
    d.grille.n = int(points_grille);
    if (points_instantane > 0)
        d.points = int(points_instantane);
    std::string origine_c = "défaut";
    if (celerite > 0) {
        d.celerite = celerite;
        origine_c = "donnée";
    } else if (temperature != HUGE_VAL) {
        d.celerite = celerite_air(temperature);
        char t[64];
        std::snprintf(t, sizeof t, "air à %.1f °C", temperature);
        origine_c = t;
    }
    d.reference = niveau == 1 ? ReferenceNiveau::Source : ReferenceNiveau::Centre;
    if (ecoute_demandee) {
        if (d.clean_sc)
            return l.refuse("--methode est une option de la carte, pas de l'écoute");
        if (avec_diagonale || grille_demandee || celerite > 0 || temperature != HUGE_VAL)
            return l.refuse("--avec-diagonale, --grille-*, --instantane, --niveau, --celerite et --temperature "
                            "sont des options de la carte, pas de l'écoute");
        if (dat.empty() || geometrie.empty() || wav.empty())
            return l.refuse("NOM.dat, --geometrie et --ecoute X,Y,Z SORTIE.wav sont demandés");
        if (!png.empty() || !csv.empty() || !h5.empty() || d.z >= 0)
            return l.refuse("--ecoute écrit un son, pas de carte : ni --png, ni --csv, ni --h5, ni --z");
    } else {
        if (!wav.empty())
            return l.refuse("argument inattendu : " + wav);
        if (dat.empty() || geometrie.empty() || d.bande < 0 || d.z < 0)
            return l.refuse("NOM.dat, --geometrie, --bande et --z sont demandés");
    }

#ifndef ONDARIS_HDF5
    if (!h5.empty())
        return l.refuse("--h5 : ce programme est construit sans HDF5");
#endif

    // The outputs never land on a file read, nor on each other.
    std::string erreur;
    std::vector<std::string> sorties;
    for (const std::string* s : {&wav, &png, &csv, &h5})
        if (!s->empty()) {
            for (const std::string& autre : sorties)
                if (meme_fichier(*s, autre))
                    return l.refuse(*s + " : deux sorties dans un même fichier");
            sorties.push_back(*s);
        }
    if (refuse_sorties_sur_entrees(
            sorties, {dat, nom_compagnon(dat, ".Ond"), nom_compagnon(dat, ".log"), geometrie, calibration}, erreur) !=
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
    if (c.au_bord)
        std::printf("%s\n", AVERTISSEMENT_BORD);
    std::printf("%s\n", c.sans_diagonale ? "diagonale retirée : le bruit propre des micros est hors de la carte"
                                         : "diagonale gardée : le bruit propre des micros est dans la carte");
    dit_reglages(c, origine_c);
    if (c.clean_sc) {
        const ReglagesCleanSc& r = d.reglages_clean_sc;
        const BilanCleanSc& b = c.bilan;
        std::printf("CLEAN-SC : gain de boucle %.2f, au plus %d itérations par raie, arrêt à %.1f dB sous le premier "
                    "maximum de la raie ou quand le maximum ne décroît plus\n",
                    r.gain, r.iterations, r.dynamique);
        std::printf("CLEAN-SC : %d raies, %d itérations (au plus %d dans une raie) ; arrêts : %d sous la dynamique, "
                    "%d sans décroissance, %d au plafond, %d sans maximum positif\n",
                    b.raies, b.iterations, b.iterations_raie, b.arret_dynamique, b.arret_croissance, b.arret_plafond,
                    b.arret_negatif);
        const double reference = calibration.empty() ? 1.0 : 20e-6 * 20e-6;
        for (size_t k = 0; k < c.sources.size(); ++k) {
            const SourceCleanSc& s = c.sources[k];
            std::printf("source %zu : x = %.4f m, y = %.4f m, z = %.4f m, niveau = %.2f %s\n", k + 1, s.x, s.y, s.z,
                        10 * std::log10(s.moyenne / reference), unite.c_str());
        }
    }
    std::fflush(stdout);
    const OrigineCarte origine{dat, calibration, origine_c, d.debut, d.duree};
    if (!csv.empty() && ecrit_carte_csv(csv, c, origine, erreur) != 0) {
        std::fprintf(stderr, "ondaris-carte : %s\n", erreur.c_str());
        return 1;
    }
#ifdef ONDARIS_HDF5
    if (!h5.empty() && ecrit_carte_hdf5(h5, c, origine, erreur) != 0) {
        std::fprintf(stderr, "ondaris-carte : %s\n", erreur.c_str());
        return 1;
    }
#endif
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
