// ondaris-verifie: checks a recording after the run. The three files must
// agree, and counter A (word 0) must grow by one from every frame to the
// next: the run itself looks at one counter word per packet, this looks at
// all of them. With --voies, the microphones instead: their figures and
// faults (analyse/sante.h); with --geometrie and --source as well, their
// wiring against a tone from a known place (analyse/cablage.h).

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "analyse/cablage.h"
#include "analyse/sante.h"
#include "files/lecture.h"
#include "ligne_commande/console.h"
#include "ligne_commande/ligne_commande.h"

namespace {

enum {
    EXIT_SANS_PERTE = 0,
    EXIT_PERTE = 1,
    EXIT_FICHIERS = 2,
    EXIT_SANS_COMPTEUR = 3,
    EXIT_MICROS_SIGNALES = 4,
    EXIT_CABLAGE_NON_VERIFIE = 5,
    EXIT_USAGE = 64,
};

const char* const AIDE = "Usage : ondaris-verifie NOM.dat [--max N] [--voies [--geometrie G.xml --source X,Y,Z,HZ]]\n"
                         "Vérifie un enregistrement : l'accord de NOM.dat, NOM.Ond et NOM.log, puis le compteur A\n"
                         "de chaque trame. Affiche le nombre de trames, puis chaque saut du compteur (trame,\n"
                         "valeur attendue, valeur lue) jusqu'à N (20 par défaut) et leur nombre.\n"
                         "\n"
                         "  --max N    sauts affichés au plus (20 par défaut)\n"
                         "  --voies    au lieu du compteur, l'état des micros : pour chacun sa moyenne, son RMS et\n"
                         "             sa crête (en points), sa part d'échantillons à pleine échelle (2^23), son plus\n"
                         "             long palier d'une même valeur, son niveau dans la bande haute (fe/4 à fe/2,\n"
                         "             en dB comme l'afficheur) et la médiane de ses voisins ; puis les micros muets,\n"
                         "             figés, saturés, écrêtés, coupés, décalés, bruyants (10 dB au-dessus de leurs\n"
                         "             voisins), à impulsions, à polarité inversée, à ronflement ou de sensibilité\n"
                         "             à part\n"
                         "  --geometrie G.xml   positions des micros (XML d'acoular), avec --voies et --source ;\n"
                         "             les voisins d'un micro sont alors les plus proches, sinon ceux de la grille\n"
                         "  --source X,Y,Z,HZ   un son pur de HZ Hz joué à (X, Y, Z) mètres devant le réseau\n"
                         "             pendant l'enregistrement : le câblage des micros est vérifié par la phase\n"
                         "             du son sur chacun, corrigée de sa distance à la source. Un micro à plus\n"
                         "             de 20° des autres est signalé : deux qui se corrigent en échangeant leurs\n"
                         "             positions sont permutés, ceux à 180° de polarité inversée, les autres à une\n"
                         "             position incohérente. La source\n"
                         "             doit être proche (1 m environ) et hors de l'axe du réseau, le son stable ;\n"
                         "             sinon le contrôle le dit et ne juge pas\n"
                         "  --version  version du programme\n"
                         "\n"
                         "Codes de sortie : 0 aucune perte, 1 sauts du compteur, 2 fichiers illisibles ou en\n"
                         "désaccord, 3 compteur A absent (le flux ne peut pas être vérifié), 4 micros signalés\n"
                         "(--voies : état ou câblage), 5 câblage non vérifiable (--source : trop peu de micros\n"
                         "entendent le son, ou source trop loin ou dans l'axe), 64 options invalides.\n";

struct Cablage {
    Geometrie geometrie;
    Point3 source;
    double frequence = 0; // 0: no wiring check
};

// X,Y,Z,HZ: four finite numbers, HZ > 0.
std::string lit_source(const std::string& s, Cablage& c)
{
    double v[4];
    size_t debut = 0;
    for (int k = 0; k < 4; ++k) {
        const size_t fin = k < 3 ? s.find(',', debut) : s.size();
        if (fin == std::string::npos || (k == 3 && s.find(',', debut) != std::string::npos) ||
            !LigneCommande::nombre_fini(s.substr(debut, fin - debut), v[k]))
            return "--source « " + s + " » : X,Y,Z,HZ attendu, en mètres et en hertz (par exemple 0.4,-0.3,1,3000)";
        debut = fin + 1;
    }
    if (!(v[3] > 0))
        return "--source « " + s + " » : fréquence HZ positive attendue";
    c.source = {v[0], v[1], v[2]};
    c.frequence = v[3];
    return "";
}

// The wiring's lines: the check's reach, one line per finding, a count.
enum class Cable { SAIN, SIGNALE, NON_VERIFIE };
Cable affiche_cablage(const BilanCablage& b, const Cablage& c)
{
    std::printf("Câblage : son de %.0f Hz à (%g, %g, %g) m, %d micros l'entendent\n", c.frequence, c.source.x,
                c.source.y, c.source.z, b.juges);
    if (b.juges < 2) {
        std::printf("Câblage : non vérifié, trop peu de micros entendent un son à %.0f Hz\n", c.frequence);
        return Cable::NON_VERIFIE;
    }
    if (b.aveugle) {
        std::printf("Câblage : non vérifié, les phases attendues ne s'étalent que sur %.0f° (moins de %.0f°) :\n"
                    "  rapprocher la source du réseau, l'écarter de son axe ou monter en fréquence\n",
                    b.etendue, SEUIL_ETENDUE_DEG);
        return Cable::NON_VERIFIE;
    }
    std::printf("Câblage : phases attendues étalées sur %.0f°, une permutation se voit pour %.0f %% des paires\n",
                b.etendue, 100 * b.part_visible);
    std::vector<double> residus(1024, 0.0);
    for (const MicroCablage& m : b.micros)
        residus[static_cast<size_t>(m.micro)] = m.residu;
    for (const MicroCablage& m : b.micros) {
        if (m.verdict == VerdictCablage::PERMUTE && m.micro < m.avec)
            std::printf("micros %d et %d : permutés (phase %+.0f° et %+.0f°)\n", m.micro, m.avec, m.residu,
                        residus[static_cast<size_t>(m.avec)]);
        else if (m.verdict == VerdictCablage::INCOHERENT)
            std::printf("micro %d : position incohérente (phase %+.0f°)\n", m.micro, m.residu);
        else if (m.verdict == VerdictCablage::INVERSE)
            std::printf("micro %d : polarité inversée (phase %+.0f°)\n", m.micro, m.residu);
        else if (m.verdict == VerdictCablage::SANS_TON)
            std::printf("micro %d : non vérifié, le son n'y fait que %.0f %% de la puissance\n", m.micro,
                        100 * m.part_ton);
    }
    std::printf("Câblage : %s\n", compte_cablage(b).c_str());
    return !b.permutes.empty() || !b.incoherents.empty() || !b.inverses.empty() ? Cable::SIGNALE : Cable::SAIN;
}

// The microphones' figures, one line each, then the faulty ones and a count.
int verifie_voies(const std::string& dat, const Enregistrement& e, const Cablage& c)
{
    const Disposition& d = e.disposition;
    AnalyseMicros analyse(d.codes, e.flottant, c.geometrie.empty() ? nullptr : &c.geometrie, e.frequence);
    VerificationCablage cablage(d.codes, e.flottant, e.frequence, c.frequence, e.nb_trames);
    if (c.frequence > 0) {
        const std::string refus = refus_ton(c.frequence, e.frequence, e.nb_trames);
        if (!refus.empty()) {
            std::fprintf(stderr, "ondaris-verifie : --source : %s\n", refus.c_str());
            return EXIT_USAGE;
        }
    }
    LecteurTrames lecteur;
    std::string erreur;
    if (lecteur.ouvre(dat, d.nb_voies, 0, erreur) != 0) {
        std::printf("Problème : %s\n", erreur.c_str());
        return EXIT_FICHIERS;
    }
    const size_t bloc = trames_par_bloc(d.nb_voies);
    std::vector<uint32_t> mots(bloc * static_cast<size_t>(d.nb_voies));
    Progression progression("Statistiques", e.nb_trames);
    int64_t n;
    while ((n = lecteur.lit(mots.data(), bloc)) > 0) {
        analyse.ajoute(mots.data(), static_cast<size_t>(n));
        if (c.frequence > 0)
            cablage.ajoute(mots.data(), static_cast<size_t>(n));
        progression.avance(analyse.trames());
    }
    progression.fin();
    if (n < 0) {
        std::printf("Problème : %s illisible après %llu trames\n", dat.c_str(),
                    static_cast<unsigned long long>(analyse.trames()));
        return EXIT_FICHIERS;
    }

    const std::vector<StatistiquesMicro> bilan = analyse.bilan();
    std::printf("%5s %12s %12s %10s %9s %8s %9s %9s\n", "Micro", "Moyenne", "RMS", "Crête", "PE %", "Palier",
                "Bande dB", "Voisins");
    for (const StatistiquesMicro& s : bilan) {
        char voisins[16] = "-";
        if (s.nb_voisins > 0)
            std::snprintf(voisins, sizeof voisins, "%.1f", s.mediane_voisins);
        std::printf("%5d %12.1f %12.1f %10.0f %9.3f %8llu %9.1f %9s\n", s.micro, s.moyenne, s.rms, s.crete,
                    100.0 * s.part_pleine_echelle, static_cast<unsigned long long>(s.palier), s.niveau_bande, voisins);
    }
    int signales = 0;
    for (const StatistiquesMicro& s : bilan)
        if (s.defauts) {
            ++signales;
            std::printf("micro %d : %s\n", s.micro, raisons(s).c_str());
        }
    std::printf("Micros : %llu analysés sur %llu trames, %s\n", static_cast<unsigned long long>(bilan.size()),
                static_cast<unsigned long long>(analyse.trames()), compte_signales(bilan).c_str());
    const Cable cable = c.frequence > 0 ? affiche_cablage(cablage.bilan(c.geometrie, c.source), c) : Cable::SAIN;
    if (signales > 0 || cable == Cable::SIGNALE)
        return EXIT_MICROS_SIGNALES;
    // Asked for and not judged: not a success.
    if (cable == Cable::NON_VERIFIE)
        return EXIT_CABLAGE_NON_VERIFIE;
    return e.problemes.empty() ? EXIT_SANS_PERTE : EXIT_FICHIERS;
}

} // namespace

int main(int argc, char** argv)
{
    std::string dat;
    double max_sauts = 20;
    bool voies = false;
    LigneCommande l("ondaris-verifie", AIDE);
    l.positionnel("NOM.dat", dat);
    l.nombre("--max", max_sauts, 0, 1e9, "de 0 à 1000000000");
    l.drapeau("--voies", voies);
    Cablage cablage;
    bool geometrie = false;
    l.valeur("--geometrie", [&](const std::string& s) {
        std::string erreur;
        geometrie = lit_geometrie(s, cablage.geometrie, erreur) == 0;
        return geometrie ? std::string() : "--geometrie : " + erreur;
    });
    l.valeur("--source", [&](const std::string& s) { return lit_source(s, cablage); });
    const int code = l.analyse(std::vector<std::string>(argv, argv + argc));
    if (code != LigneCommande::CONTINUER)
        return code;
    if (dat.empty())
        return l.refuse("");
    if (geometrie != (cablage.frequence > 0))
        return l.refuse(geometrie ? "--geometrie demande --source X,Y,Z,HZ" : "--source demande --geometrie G.xml");
    if (geometrie && !voies)
        return l.refuse("--geometrie et --source demandent --voies");

    Enregistrement e;
    lit_enregistrement(dat, e);
    std::printf("Enregistrement : %s\n", dat.c_str());
    for (const std::string& p : e.problemes)
        std::printf("Problème : %s\n", p.c_str());
    for (const std::string& r : e.remarques)
        std::printf("Note : %s\n", r.c_str());
    if (!e.lisible) {
        std::printf("Les trames ne peuvent pas être lues.\n");
        return EXIT_FICHIERS;
    }
    const Disposition& d = e.disposition;
    std::printf("Trames : %llu (%d mots par trame, %.0f Hz, %s, début %s)\n",
                static_cast<unsigned long long>(e.nb_trames), d.nb_voies, static_cast<double>(e.frequence),
                e.flottant ? "float32" : "int32", date_texte(e.header.date_heure).c_str());
    if (voies)
        return verifie_voies(dat, e, cablage);
    if (!d.compteur_a) {
        std::printf("Le compteur A n'a pas été enregistré : la continuité du flux ne peut pas être vérifiée.\n");
        return e.problemes.empty() ? EXIT_SANS_COMPTEUR : EXIT_FICHIERS;
    }

    Progression progression("Vérification", e.nb_trames);
    BilanCompteur bilan;
    std::string erreur;
    int r = verifie_compteur(dat, d.nb_voies, e.nb_trames, static_cast<unsigned long>(max_sauts), bilan, erreur,
                             [&](uint64_t n) { progression.avance(n); });
    progression.fin();
    if (r != 0) {
        std::printf("Problème : %s\n", erreur.c_str());
        return EXIT_FICHIERS;
    }
    for (const Saut& s : bilan.sauts)
        std::printf("Trame %llu : compteur attendu %lu, lu %lu\n", static_cast<unsigned long long>(s.trame),
                    static_cast<unsigned long>(s.attendu), static_cast<unsigned long>(s.lu));
    if (bilan.nb_sauts > bilan.sauts.size())
        std::printf("... et %llu autres sauts\n", static_cast<unsigned long long>(bilan.nb_sauts - bilan.sauts.size()));
    std::printf("Sauts du compteur : %llu\n", static_cast<unsigned long long>(bilan.nb_sauts));
    if (bilan.nb_sauts > 0)
        return EXIT_PERTE;
    if (!e.problemes.empty())
        return EXIT_FICHIERS;
    std::printf("Aucune perte : les %llu trames se suivent.\n", static_cast<unsigned long long>(bilan.trames));
    return EXIT_SANS_PERTE;
}
