// ondaris-verifie: checks a recording after the run. The three files must
// agree, and counter A (word 0) must grow by one from every frame to the
// next: the run itself looks at one counter word per packet, this looks at
// all of them. With --voies, the microphones instead: their figures and
// faults (analyse/sante.h).

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "analyse/sante.h"
#include "files/lecture.h"
#include "tools/console.h"
#include "tools/ligne_commande.h"

namespace {

enum {
    EXIT_SANS_PERTE = 0,
    EXIT_PERTE = 1,
    EXIT_FICHIERS = 2,
    EXIT_SANS_COMPTEUR = 3,
    EXIT_MICROS_SIGNALES = 4,
    EXIT_USAGE = 64,
};

const char* const AIDE = "Usage : ondaris-verifie NOM.dat [--max N] [--voies]\n"
                         "Vérifie un enregistrement : l'accord de NOM.dat, NOM.Ond et NOM.log, puis le compteur A\n"
                         "de chaque trame. Affiche le nombre de trames, puis chaque saut du compteur (trame,\n"
                         "valeur attendue, valeur lue) jusqu'à N (20 par défaut) et leur nombre.\n"
                         "\n"
                         "  --max N    sauts affichés au plus (20 par défaut)\n"
                         "  --voies    au lieu du compteur, l'état des micros : pour chacun sa moyenne, son RMS et\n"
                         "             sa crête (en points), sa part d'échantillons à pleine échelle (2^23), son plus\n"
                         "             long palier d'une même valeur, son niveau dans la bande haute (fe/4 à fe/2,\n"
                         "             en dB comme l'afficheur) et la médiane de ses voisins ; puis les micros muets,\n"
                         "             figés, saturés, bruyants (10 dB au-dessus de leurs voisins) ou décalés\n"
                         "  --version  version du programme\n"
                         "\n"
                         "Codes de sortie : 0 aucune perte, 1 sauts du compteur, 2 fichiers illisibles ou en\n"
                         "désaccord, 3 compteur A absent (le flux ne peut pas être vérifié), 4 micros signalés\n"
                         "(--voies), 64 options invalides.\n";

// The microphones' figures, one line each, then the faulty ones and a count.
int verifie_voies(const std::string& dat, const Enregistrement& e)
{
    const Disposition& d = e.disposition;
    AnalyseMicros analyse(d.codes, e.flottant);
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
    if (signales > 0)
        return EXIT_MICROS_SIGNALES;
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
    const int code = l.analyse(std::vector<std::string>(argv, argv + argc));
    if (code != LigneCommande::CONTINUER)
        return code;
    if (dat.empty())
        return l.refuse("");

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
        return verifie_voies(dat, e);
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
