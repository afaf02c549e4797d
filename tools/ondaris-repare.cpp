// ondaris-repare: rebuilds the header and description files of a recording
// whose run was interrupted (data present, NAME.Ond and NAME.log empty), from
// the configuration written at that run's Start.

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "files/configuration.h"
#include "files/lecture.h"
#include "files/reparation.h"
#include "tools/ligne_commande.h"

namespace {

enum { EXIT_OK = 0, EXIT_REFUS = 1, EXIT_USAGE = 64 };

const char* const AIDE = "Usage : ondaris-repare NOM.dat [--config FICHIER] [--etat]\n"
                         "Reconstruit NOM.Ond et NOM.log, restés vides après une acquisition interrompue,\n"
                         "à partir de la configuration écrite au Start de cette acquisition :\n"
                         "config_en_cours.txt du répertoire où le programme tournait (le répertoire courant),\n"
                         "ou le fichier donné par --config. Un fichier compagnon non vide n'est jamais écrasé.\n"
                         "\n"
                         "  --config FICHIER  la configuration de l'acquisition\n"
                         "  --etat            le mot d'état était enregistré (une configuration ne le dit pas)\n"
                         "  --version         version du programme\n"
                         "\n"
                         "Codes de sortie : 0 fichiers reconstruits, 1 refus (la raison est affichée),\n"
                         "64 options invalides.\n";

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
    Reglages r;
    std::string erreur;
    if (lit_fichier_config(config, Conventions::from_locale(), cfg, erreur) != 0 ||
        reglages_de(cfg, config, r, erreur) != 0) {
        std::printf("%s\n", erreur.c_str());
        if (!config_donnee)
            std::printf("Donner la configuration de cette acquisition avec --config.\n");
        return EXIT_REFUS;
    }
    std::printf("Configuration : %s\n", config.c_str());

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
