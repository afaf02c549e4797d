// ondaris-verifie: checks a recording after the run. The three files must
// agree, and counter A (word 0) must grow by one from every frame to the
// next: the run itself looks at one counter word per packet, this looks at
// all of them.

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "files/lecture.h"
#include "tools/console.h"
#include "tools/ligne_commande.h"

namespace {

enum {
    EXIT_SANS_PERTE = 0,
    EXIT_PERTE = 1,
    EXIT_FICHIERS = 2,
    EXIT_SANS_COMPTEUR = 3,
    EXIT_USAGE = 64,
};

const char* const AIDE = "Usage : ondaris-verifie NOM.dat [--max N]\n"
                         "Vérifie un enregistrement : l'accord de NOM.dat, NOM.Ond et NOM.log, puis le compteur A\n"
                         "de chaque trame. Affiche le nombre de trames, puis chaque saut du compteur (trame,\n"
                         "valeur attendue, valeur lue) jusqu'à N (20 par défaut) et leur nombre.\n"
                         "\n"
                         "  --max N    sauts affichés au plus (20 par défaut)\n"
                         "  --version  version du programme\n"
                         "\n"
                         "Codes de sortie : 0 aucune perte, 1 sauts du compteur, 2 fichiers illisibles ou en\n"
                         "désaccord, 3 compteur A absent (le flux ne peut pas être vérifié), 64 options invalides.\n";

} // namespace

int main(int argc, char** argv)
{
    std::string dat;
    double max_sauts = 20;
    LigneCommande l("ondaris-verifie", AIDE);
    l.positionnel("NOM.dat", dat);
    l.nombre("--max", max_sauts, 0, 1e9, "de 0 à 1000000000");
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
