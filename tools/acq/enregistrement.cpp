#include "tools/acq/enregistrement.h"

#include <cstdio>
#include <memory>
#include <string>

#include "device/bringup.h"
#include "device/parametres.h"
#include "direct/robinet.h"
#include "files/lecture.h"
#include "files/nommage.h"
#include "tools/acq/journal_direct.h"
#include "tools/acq/reglages.h"

namespace acq {

namespace {

// The exit code of how the run ended.
int code_de(FinRun fin, bool erreur_compteur)
{
    if (erreur_compteur)
        return EXIT_COUNTER;
    switch (fin) {
    case FIN_COMPLETE:
        return EXIT_OK;
    case FIN_STOPPEE: // Ctrl-C, or an open-ended run at its disk budget
        return EXIT_OK;
    case FIN_ABANDONNEE:
        return EXIT_ABANDONED;
    case FIN_REFUSEE:
        return EXIT_REFUSED;
    case FIN_ECRITURE:
        return EXIT_WRITE;
    default:
        return EXIT_INCOMPLETE;
    }
}

// The run, with the live map through its tap when asked for.
FinRun execute(Boitier& boitier, const Configuration& cfg, const Options& o, ParametresRun params, FichiersRun fichiers,
               Console& console, SuiviConsole& suivi, const Journal& journal, bool& erreur_compteur)
{
    suivi.definie = params.definie;
    suivi.duree = params.duree;
    Robinet robinet;
    std::unique_ptr<JournalDirect> direct;
    std::unique_ptr<PriseTrames> prise;
    if (o.carte_directe) {
        direct = std::make_unique<JournalDirect>(std::make_shared<const Geometrie>(o.geometrie),
                                                 disposition_de(params.header, cfg.selection.etat).codes,
                                                 params.flottant, frequence_de(cfg), journal.conv);
        prise = direct->commence();
        if (prise)
            robinet.attache(prise.get());
        else
            journal.call_verb("Carte en direct : aucun micro enregistré\r\n");
    }
    Run run(boitier, std::move(params), std::move(fichiers), suivi);
    suivi.run = &run;
    suivi.robinet = &robinet;
    suivi.direct = direct.get();
    const FinRun fin = run.execute();
    suivi.run = nullptr;
    suivi.robinet = nullptr;
    suivi.direct = nullptr;
    if (PriseTrames* q = robinet.ferme())
        console.ecrit(direct->fin(*q));
    erreur_compteur = run.erreur_compteur();
    return fin;
}

} // namespace

int enregistre(Boitier& boitier, Configuration& cfg, const Options& o, Console& console, SuiviConsole& suivi,
               const Journal& journal)
{
    // Start: the settings saved, then every refusal before the run.
    ecrit_fichier_config("config_en_cours.txt", cfg, journal);
    FinRun fin = FIN_REFUSEE;
    bool erreur_compteur = false;
    std::string data;
    if (cfg.selection.nb_voies() == 0) {
        journal.call_verb("Pas de voie choisie !\r\n", 1);
    } else {
        // The longest duration of the frequency the run sends.
        cfg.duree_max = duree_max_de(frequence_de(cfg));
        fixe_duree(cfg, cfg.duree);
        FichiersRun fichiers;
        if (!cfg.enregistrement || choisit_fichiers(cfg, o, console, journal, data, fichiers)) {
            ParametresRun params = parametres_du_run(cfg, journal);
            params.acqui_name = data;
            fin = execute(boitier, cfg, o, std::move(params), std::move(fichiers), console, suivi, journal,
                          erreur_compteur);
        }
    }
    console.efface_progression();
    ferme_liaison(boitier);

    if (cfg.enregistrement && fin != FIN_REFUSEE) {
        std::printf("\nFichiers de l'acquisition :\n");
        liste_fichiers(data);
    }
    return code_de(fin, erreur_compteur);
}

} // namespace acq
