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
    "instantanés de 1024 trames (plus dans les bandes basses) recouverts de moitié, moyennés ;\n"
    "c = 343 m/s.\n"
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

// What the command line asks: the inputs, the outputs, the map's or the
// listening's settings.
struct Demande {
    std::string dat, geometrie, calibration, png, wav, csv, h5;
    Point3 point;
    bool ecoute = false, z_auto = false;
    double z_plage[2] = {0.5, 3.0};
    std::string origine_c = "défaut"; // where the speed of sound came from
    DemandeCarte d;
};

// The options as given, before they are checked against each other.
struct Options {
    double points_grille = 0, points_instantane = -1, celerite = -1, temperature = HUGE_VAL;
    int niveau = 0, methode = 0;
    bool avec_diagonale = false;
    // NaN: not given (the defaults of ReglagesCleanSc then hold).
    double gain = NAN, iterations = NAN, arret = NAN;
};

void declare_options(LigneCommande& l, Demande& q, Options& o)
{
    DemandeCarte& d = q.d;
    l.positionnel("NOM.dat", q.dat);
    l.positionnel("SORTIE.wav", q.wav);
    l.valeur("--ecoute", [&q](const std::string& s) {
        q.ecoute = true;
        return lit_point(s, q.point);
    });
    l.texte("--geometrie", q.geometrie);
    l.texte("--calibration", q.calibration);
    l.texte("--png", q.png);
    l.texte("--csv", q.csv);
    l.texte("--h5", q.h5);
    l.nombre("--bande", d.bande, 1, HUGE_VAL, "fréquence en Hz attendue");
    l.valeur("--z", [&q](const std::string& v) {
        if (v == "auto") {
            q.z_auto = true;
            q.d.z = 1;
            return std::string();
        }
        double x;
        if (!LigneCommande::nombre_fini(v, x) || x < 1e-3 || x > 1000)
            return std::string("--z : distance de 0,001 à 1000 m, ou auto, attendue");
        q.z_auto = false;
        q.d.z = x;
        return std::string();
    });
    l.valeur("--z-plage", [&q](const std::string& v) {
        const size_t virgule = v.find(',');
        double a, b;
        if (virgule == std::string::npos || !LigneCommande::nombre_fini(v.substr(0, virgule), a) ||
            !LigneCommande::nombre_fini(v.substr(virgule + 1), b) || !(a >= 1e-3) || !(b > a) || b > 1000)
            return "--z-plage : MIN,MAX en mètres attendus, 0,001 <= MIN < MAX <= 1000, pas « " + v + " »";
        q.z_plage[0] = a;
        q.z_plage[1] = b;
        return std::string();
    });
    l.valeur("--grille-x", [&d](const std::string& v) { return lit_paire("--grille-x", v, d.grille.x0, d.grille.x1); });
    l.valeur("--grille-y", [&d](const std::string& v) { return lit_paire("--grille-y", v, d.grille.y0, d.grille.y1); });
    l.nombre("--grille-pas", d.grille.pas, 1e-4, 100, "pas de 0,0001 à 100 m attendu");
    l.nombre("--grille-points", o.points_grille, 2, 10000, "de 2 à 10000 points par côté attendus");
    l.nombre("--instantane", o.points_instantane, 64, 65536, "de 64 à 65536 trames attendues");
    l.nombre("--celerite", o.celerite, 200, 2000, "vitesse de 200 à 2000 m/s attendue");
    l.nombre("--temperature", o.temperature, -50, 60, "température de -50 à 60 °C attendue");
    l.mot("--niveau", o.niveau, {"centre", "source"}, "centre ou source attendu");
    l.drapeau("--avec-diagonale", o.avec_diagonale);
    l.mot("--methode", o.methode, {"das", "clean-sc"}, "--methode : das ou clean-sc attendu");
    l.nombre("--gain-boucle", o.gain, 0.01, 1, "gain de boucle de 0,01 à 1 attendu");
    l.nombre("--iterations", o.iterations, 1, 10000, "nombre d'itérations de 1 à 10000 attendu");
    l.nombre("--arret-db", o.arret, 0, 200, "dynamique d'arrêt de 0 à 200 dB attendue");
    l.nombre("--debut", d.debut, 0, HUGE_VAL, "nombre de secondes positif attendu");
    l.nombre("--duree", d.duree, 0, HUGE_VAL, "nombre de secondes positif attendu");
}

// The map's settings from the options; an empty text, or the refusal.
std::string reglages_carte(const Options& o, DemandeCarte& d, std::string& origine_c)
{
    d.sans_diagonale = !o.avec_diagonale;
    d.clean_sc = o.methode == 1;
    if (!std::isnan(o.gain))
        d.reglages_clean_sc.gain = o.gain;
    if (!std::isnan(o.iterations)) {
        if (o.iterations != std::floor(o.iterations))
            return "--iterations : un nombre entier attendu";
        d.reglages_clean_sc.iterations = int(o.iterations);
    }
    if (!std::isnan(o.arret))
        d.reglages_clean_sc.dynamique = o.arret;
    if (!d.clean_sc && !(std::isnan(o.gain) && std::isnan(o.iterations) && std::isnan(o.arret)))
        return "--gain-boucle, --iterations et --arret-db sont des options de --methode clean-sc";
    if (d.grille.pas > 0 && o.points_grille > 0)
        return "--grille-pas ou --grille-points, pas les deux";
    if (o.celerite > 0 && o.temperature != HUGE_VAL)
        return "--celerite ou --temperature, pas les deux";
    if (o.points_instantane > 0 &&
        (std::floor(o.points_instantane) != o.points_instantane || int(o.points_instantane) % 2))
        return "--instantane : un nombre pair de trames attendu";
    d.grille.n = int(o.points_grille);
    if (o.points_instantane > 0)
        d.points = int(o.points_instantane);
    if (o.celerite > 0) {
        d.celerite = o.celerite;
        origine_c = "donnée";
    } else if (o.temperature != HUGE_VAL) {
        d.celerite = celerite_air(o.temperature);
        char t[64];
        std::snprintf(t, sizeof t, "air à %.1f °C", o.temperature);
        origine_c = t;
    }
    d.reference = o.niveau == 1 ? ReferenceNiveau::Source : ReferenceNiveau::Centre;
    return std::string();
}

// The files asked for as outputs.
std::vector<std::string> sorties_de(const Demande& q)
{
    std::vector<std::string> sorties;
    for (const std::string* s : {&q.wav, &q.png, &q.csv, &q.h5})
        if (!s->empty())
            sorties.push_back(*s);
    return sorties;
}

// The options checked against each other; an empty text, or the refusal.
std::string verifie(const Options& o, Demande& q)
{
    const DemandeCarte& d = q.d;
    const bool grille_demandee = d.grille.x1 > d.grille.x0 || d.grille.y1 > d.grille.y0 || d.grille.pas > 0 ||
                                 o.points_grille > 0 || o.points_instantane > 0 || o.niveau != 0;
    if (std::string refus = reglages_carte(o, q.d, q.origine_c); !refus.empty())
        return refus;
    if (q.ecoute) {
        if (d.clean_sc)
            return "--methode est une option de la carte, pas de l'écoute";
        if (o.avec_diagonale || grille_demandee || o.celerite > 0 || o.temperature != HUGE_VAL)
            return "--avec-diagonale, --grille-*, --instantane, --niveau, --celerite et --temperature "
                   "sont des options de la carte, pas de l'écoute";
        if (q.dat.empty() || q.geometrie.empty() || q.wav.empty())
            return "NOM.dat, --geometrie et --ecoute X,Y,Z SORTIE.wav sont demandés";
        if (!q.png.empty() || !q.csv.empty() || !q.h5.empty() || d.z >= 0)
            return "--ecoute écrit un son, pas de carte : ni --png, ni --csv, ni --h5, ni --z";
    } else {
        if (!q.wav.empty())
            return "argument inattendu : " + q.wav;
        if (q.dat.empty() || q.geometrie.empty() || d.bande < 0 || d.z < 0)
            return "NOM.dat, --geometrie, --bande et --z sont demandés";
    }
#ifndef ONDARIS_HDF5
    if (!q.h5.empty())
        return "--h5 : ce programme est construit sans HDF5";
#endif
    // The outputs never land on each other.
    const std::vector<std::string> sorties = sorties_de(q);
    for (size_t i = 0; i < sorties.size(); ++i)
        for (size_t k = 0; k < i; ++k)
            if (meme_fichier(sorties[i], sorties[k]))
                return sorties[i] + " : deux sorties dans un même fichier";
    return std::string();
}

// The outputs kept off the inputs, the geometry and the calibration read;
// 0, or -1 with the reason in `erreur`.
int ouvre_entrees(Demande& q, Geometrie& g, std::string& erreur)
{
    if (refuse_sorties_sur_entrees(
            sorties_de(q),
            {q.dat, nom_compagnon(q.dat, ".Ond"), nom_compagnon(q.dat, ".log"), q.geometrie, q.calibration},
            erreur) != 0 ||
        lit_geometrie(q.geometrie, g, erreur) != 0)
        return -1;
    if (q.calibration.empty())
        return 0;
    Calibration c;
    if (lit_calibration(q.calibration, MICROS_GEOMETRIE, c, erreur) != 0)
        return -1;
    q.d.facteurs = c.facteurs;
    return 0;
}

// The map's lines for scripts: the maximum, the diagonal, the settings,
// and a CLEAN-SC map's loop and sources.
void dit_carte(const Demande& q, const Carte& c, const std::string& unite)
{
    // Printed before Qt sets the locale: a decimal point for scripts.
    std::printf("maximum : x = %.4f m, y = %.4f m, niveau = %.2f %s\n", c.x_max, c.y_max, c.niveau_max, unite.c_str());
    if (c.au_bord)
        std::printf("%s\n", AVERTISSEMENT_BORD);
    std::printf("%s\n", c.sans_diagonale ? "diagonale retirée : le bruit propre des micros est hors de la carte"
                                         : "diagonale gardée : le bruit propre des micros est dans la carte");
    dit_reglages(c, q.origine_c);
    if (!c.clean_sc)
        return;
    const ReglagesCleanSc& r = q.d.reglages_clean_sc;
    const BilanCleanSc& b = c.bilan;
    std::printf("CLEAN-SC : gain de boucle %.2f, au plus %d itérations par raie, arrêt à %.1f dB sous le premier "
                "maximum de la raie ou quand le maximum ne décroît plus\n",
                r.gain, r.iterations, r.dynamique);
    std::printf("CLEAN-SC : %d raies, %d itérations (au plus %d dans une raie) ; arrêts : %d sous la dynamique, "
                "%d sans décroissance, %d au plafond, %d sans maximum positif\n",
                b.raies, b.iterations, b.iterations_raie, b.arret_dynamique, b.arret_croissance, b.arret_plafond,
                b.arret_negatif);
    const double reference = q.calibration.empty() ? 1.0 : 20e-6 * 20e-6;
    for (size_t k = 0; k < c.sources.size(); ++k) {
        const SourceCleanSc& s = c.sources[k];
        std::printf("source %zu : x = %.4f m, y = %.4f m, z = %.4f m, niveau = %.2f %s\n", k + 1, s.x, s.y, s.z,
                    10 * std::log10(s.moyenne / reference), unite.c_str());
    }
}

// The map's files: CSV, HDF5, PNG; 0, or -1 with the reason in `erreur`.
int ecrit_sorties(int argc, char** argv, const Demande& q, const Carte& c, const std::string& unite,
                  std::string& erreur)
{
    const OrigineCarte origine{q.dat, q.calibration, q.origine_c, q.d.debut, q.d.duree};
    if (!q.csv.empty() && ecrit_carte_csv(q.csv, c, origine, erreur) != 0)
        return -1;
#ifdef ONDARIS_HDF5
    if (!q.h5.empty() && ecrit_carte_hdf5(q.h5, c, origine, erreur) != 0)
        return -1;
#endif
    if (q.png.empty())
        return 0;
    std::string octets;
    if (!png_de_carte(argc, argv, c, unite, q.d.bande, q.d.z, octets)) {
        erreur = q.png + " : image impossible à produire";
        return -1;
    }
    return ecrit_fichier_entier(q.png, octets, erreur) != 0 ? -1 : 0;
}

int echec(const std::string& erreur)
{
    std::fprintf(stderr, "ondaris-carte : %s\n", erreur.c_str());
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    Demande q;
    q.d.bande = -1;
    q.d.z = -1;
    Options o;
    LigneCommande l("ondaris-carte", AIDE);
    declare_options(l, q, o);
    const int code = l.analyse(std::vector<std::string>(argv, argv + argc));
    if (code != LigneCommande::CONTINUER)
        return code;
    if (const std::string refus = verifie(o, q); !refus.empty())
        return l.refuse(refus);
    std::string erreur;
    Geometrie g;
    if (ouvre_entrees(q, g, erreur) != 0)
        return echec(erreur);
    if (q.ecoute)
        return ecoute(q.dat, g, q.d, q.point, q.wav);
    Carte c;
    DistanceTrouvee trouvee;
    if ((q.z_auto ? cherche_distance(q.dat, g, q.d, q.z_plage[0], q.z_plage[1], c, trouvee, erreur)
                  : calcule_carte(q.dat, g, q.d, c, erreur)) != 0)
        return echec(erreur);
    if (q.z_auto) {
        q.d.z = trouvee.z;
        std::printf("distance trouvée : z = %.3f m (de %.3f à %.3f m, %d cartes)\n", trouvee.z, trouvee.z_min,
                    trouvee.z_max, trouvee.cartes);
    }
    const std::string unite = q.calibration.empty() ? "dB" : "dB SPL";
    dit_carte(q, c, unite);
    std::fflush(stdout);
    return ecrit_sorties(argc, argv, q, c, unite, erreur) != 0 ? echec(erreur) : 0;
}
