// ondaris-repare: completes the header and description files of a recording
// whose run was interrupted, from what the run wrote in them at its start and
// from the data file; companions left blank are rebuilt from the
// configuration written at that run's Start.

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "files/configuration.h"
#include "files/fichier_donnees.h"
#include "files/lecture.h"
#include "files/reparation.h"
#include "ligne_commande/ligne_commande.h"

namespace {

enum { EXIT_OK = 0, EXIT_REFUS = 1, EXIT_USAGE = 64 };

const char* const AIDE = "Usage : ondaris-repare NOM.dat [--config FICHIER] [--etat]\n"
                         "Complète NOM.Ond et NOM.log après une acquisition interrompue (programme tué,\n"
                         "coupure de courant) : les réglages que l'acquisition y a écrits à son début, le\n"
                         "nombre de trames de NOM.dat. Restés vides, ils sont reconstruits à partir de la\n"
                         "configuration écrite au Start de cette acquisition : config_en_cours.txt du\n"
                         "répertoire où le programme tournait (le répertoire courant), ou le fichier donné\n"
                         "par --config. NOM.log absent, coupé ou illisible est reconstruit d'après NOM.Ond\n"
                         "et NOM.dat. Les fichiers d'un enregistrement complet ne sont jamais écrasés ;\n"
                         "chacun est écrit en entier ou pas du tout.\n"
                         "\n"
                         "  --config FICHIER  la configuration de l'acquisition (fichiers restés vides)\n"
                         "  --etat            le mot d'état était enregistré (une configuration ne le dit pas)\n"
                         "  --version         version du programme\n"
                         "\n"
                         "Codes de sortie : 0 fichiers complétés, 1 refus (la raison est affichée),\n"
                         "64 options invalides.\n";

// The settings from the configuration: the given one, or the working
// folder's when it is not newer than the data. EXIT_OK or EXIT_REFUS.
int reglages_de_configuration(const std::string& dat, std::string config, Reglages& r)
{
    const bool config_donnee = !config.empty();
    if (!config_donnee)
        config = "config_en_cours.txt";

    // The current configuration is rewritten at every Start: one newer than
    // the data's last write belongs to a later run.
    int64_t s_config = 0, s_dat = 0;
    int ms_config = 0, ms_dat = 0;
    if (date_modification(config, s_config, ms_config) && date_modification(dat, s_dat, ms_dat) &&
        s_config * 1000 + ms_config > s_dat * 1000 + ms_dat) {
        if (!config_donnee) {
            std::printf("%s a été écrit après la fin de %s : il appartient à une acquisition plus récente.\n"
                        "Donner la configuration de cette acquisition avec --config.\n",
                        config.c_str(), dat.c_str());
            return EXIT_REFUS;
        }
        std::printf("Attention : %s a été écrit après la fin de %s.\n", config.c_str(), dat.c_str());
    }

    // Read over nothing selected and no frequency or type: what the file
    // does not say stays visibly unsaid.
    Configuration cfg;
    std::string erreur;
    if (lit_fichier_config(config, Conventions::from_locale(), cfg, erreur) != 0 ||
        reglages_de(cfg, config, r, erreur) != 0) {
        std::printf("%s\n", erreur.c_str());
        if (!config_donnee)
            std::printf("Donner la configuration de cette acquisition avec --config.\n");
        return EXIT_REFUS;
    }
    std::printf("Configuration : %s\n", config.c_str());
    return EXIT_OK;
}

} // namespace

int main(int argc, char** argv)
{
    std::string dat, config;
    bool etat = false;
    LigneCommande l("ondaris-repare", AIDE);
    l.positionnel("NOM.dat", dat);
    l.texte("--config", config);
    l.drapeau("--etat", etat);
    const int code = l.analyse(std::vector<std::string>(argv, argv + argc));
    if (code != LigneCommande::CONTINUER)
        return code;
    if (dat.empty())
        return l.refuse("");

    std::error_code ec;
    if (!std::filesystem::is_regular_file(std::filesystem::u8path(dat), ec)) {
        std::printf("%s : fichier de données absent\n", dat.c_str());
        return EXIT_REFUS;
    }
    // What the run wrote at its start comes first: a configuration is only
    // for companions that hold nothing.
    Reglages r;
    std::string erreur;
    if (interruption(dat).compagnons_vierges) {
        const int refus = reglages_de_configuration(dat, config, r);
        if (refus != EXIT_OK)
            return refus;
    } else if (reglages_des_compagnons(dat, r, erreur) != 0) {
        std::printf("%s\n", erreur.c_str());
        return EXIT_REFUS;
    } else {
        if (r.description_refaite)
            std::printf("Réglages : %s ; %s absent ou abîmé, à reconstruire\n", nom_compagnon(dat, ".Ond").c_str(),
                        nom_compagnon(dat, ".log").c_str());
        else
            std::printf("Réglages : %s et %s, écrits au début de l'acquisition\n", nom_compagnon(dat, ".Ond").c_str(),
                        nom_compagnon(dat, ".log").c_str());
        if (!config.empty())
            std::printf("%s n'est pas lu.\n", config.c_str());
    }

    std::vector<std::string> messages;
    int resultat = repare(dat, r, etat, messages);
    for (const std::string& m : messages)
        std::printf("%s\n", m.c_str());
    if (resultat != 0)
        return EXIT_REFUS;

    // What was written must pass the checks of a complete run.
    Enregistrement e;
    if (lit_enregistrement(dat, e) != 0) {
        for (const std::string& p : e.problemes)
            std::printf("Problème : %s\n", p.c_str());
        return EXIT_REFUS;
    }
    std::printf("ondaris-verifie %s vérifie maintenant chaque trame.\n", dat.c_str());
    return EXIT_OK;
}
