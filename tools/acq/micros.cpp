#include "tools/acq/micros.h"

#include <cstdio>
#include <filesystem>

#include "analyse/calibreur.h"
#include "analyse/sante.h"
#include "base/fichier_entier.h"
#include "base/plateforme.h"
#include "direct/prise_trames.h"
#include "direct/robinet.h"
#include "files/lecture.h"
#include "tools/acq/reglages.h"

namespace acq {

namespace {

// The exit code of a capture without a file that did not end as asked.
int code_de_fin(FinRun fin)
{
    return fin == FIN_REFUSEE ? EXIT_REFUSED : fin == FIN_ABANDONNEE ? EXIT_ABANDONED : EXIT_INCOMPLETE;
}

constexpr int DELAI_ANALYSE_MS = 30000; // for the analysis to end once the run has

// A run whose frames go, as copies, through the run's tap to `prise`'s
// consumer; the consumer is given its last frames before this returns.
FinRun capture(Run& run, PriseTrames& prise, SuiviConsole& suivi)
{
    Robinet robinet;
    robinet.attache(&prise);
    suivi.run = &run;
    suivi.robinet = &robinet;
    const FinRun fin = run.execute();
    suivi.run = nullptr;
    suivi.robinet = nullptr;
    robinet.ferme();
    prise.termine(DELAI_ANALYSE_MS);
    return fin;
}

} // namespace

int diagnostic(Boitier& boitier, const Configuration& cfg, const Geometrie* geometrie, SuiviConsole& suivi,
               Console& console)
{
    if (cfg.selection.nb_micros() == 0) {
        boitier.journal.call_verb("Pas de micro choisi !\r\n", 1);
        return EXIT_REFUSED;
    }
    ParametresRun params = parametres_du_run(cfg, boitier.journal);
    AnalyseMicros analyse(disposition_de(params.header, cfg.selection.etat).codes, params.flottant, geometrie,
                          frequence_de(cfg));
    PriseTrames prise(params.nb_voies,
                      [&analyse](const uint32_t* mots, size_t n, bool suite) { analyse.ajoute(mots, n, suite); });
    suivi.definie = true;
    suivi.duree = params.duree;
    Run run(boitier, std::move(params), FichiersRun(), suivi);
    const FinRun fin = capture(run, prise, suivi);
    console.efface_progression();
    if (fin != FIN_COMPLETE)
        return code_de_fin(fin);

    const std::vector<StatistiquesMicro> bilan = analyse.bilan();
    int signales = 0;
    for (const StatistiquesMicro& s : bilan)
        if (s.defauts) {
            ++signales;
            std::printf("micro %d : %s\n", s.micro, raisons(s).c_str());
        }
    std::printf("Micros : %zu analysés sur %llu trames, %s\n", bilan.size(),
                static_cast<unsigned long long>(analyse.trames()), compte_signales(bilan).c_str());
    if (prise.paquets_ignores() > 0)
        std::printf("(%llu paquets laissés de côté par l'analyse)\n",
                    static_cast<unsigned long long>(prise.paquets_ignores()));
    return signales > 0 ? EXIT_MICROS_SIGNALES : EXIT_OK;
}

bool charge_calibration(const Options& o, Calibration& cal)
{
    std::string erreur;
    if (!calibration_disponible()) {
        lit_calibration(o.calibration, 1024, cal, erreur); // says why
        std::fprintf(stderr, "ondaris-acq : %s\n", erreur.c_str());
        return false;
    }
    std::error_code ec;
    if (!std::filesystem::exists(std::filesystem::u8path(o.calibration), ec) && o.calibre > 0) {
        cal = calibration_nominale();
        std::printf("  Calibration : %s, à créer (sensibilité nominale)\n", o.calibration.c_str());
        return true;
    }
    if (lit_calibration(o.calibration, 1024, cal, erreur) != 0) {
        std::fprintf(stderr, "ondaris-acq : calibration refusée : %s\n", erreur.c_str());
        return false;
    }
    std::printf("  Calibration : %s (1024 micros)\n", o.calibration.c_str());
    return true;
}

int calibre(Boitier& boitier, const Configuration& cfg, const Options& o, Calibration& cal, SuiviConsole& suivi,
            Console& console)
{
    const Conventions& cv = boitier.journal.conv;
    if (cfg.selection.nb_micros() == 0) {
        boitier.journal.call_verb("Pas de micro choisi !\r\n", 1);
        return EXIT_REFUSED;
    }
    // Whether its file can be written is known before the calibrator is heard.
    {
        FichierEntier essai;
        std::string erreur;
        if (essai.ouvre(o.calibration, erreur) != 0) {
            std::printf("Pas de calibration : %s\n", erreur.c_str());
            return EXIT_CALIBRAGE;
        }
        // A file of 1024 factors takes about 50 kB.
        uint64_t libre = 0;
        const std::string dossier = std::filesystem::u8path(o.calibration).parent_path().u8string();
        if (espace_libre(dossier, libre) && libre < 128 * 1024) {
            std::printf("Pas de calibration : %s : disque plein (%llu octets libres)\n", o.calibration.c_str(),
                        static_cast<unsigned long long>(libre));
            return EXIT_CALIBRAGE;
        }
    }
    ParametresRun params = parametres_du_run(cfg, boitier.journal);
    const int nb_voies = params.nb_voies;
    Calibreur calibreur(disposition_de(params.header, cfg.selection.etat).codes, params.flottant, frequence_de(cfg),
                        cal.facteurs);
    suivi.definie = true;
    suivi.duree = params.duree;
    Run run(boitier, std::move(params), FichiersRun(), suivi);
    PriseTrames prise(nb_voies, [&calibreur, &run](const uint32_t* mots, size_t n, bool suite) {
        if (calibreur.fini())
            return;
        calibreur.ajoute(mots, n, suite);
        if (calibreur.fini())
            run.demande_stop();
    });
    const FinRun fin = capture(run, prise, suivi);
    console.efface_progression();
    if (fin != FIN_COMPLETE && fin != FIN_STOPPEE)
        return code_de_fin(fin);

    const int m = calibreur.micro();
    switch (calibreur.etat()) {
    case Calibreur::RECHERCHE:
        std::printf("Pas de calibration : trop peu de trames pour chercher le calibreur.\n");
        return EXIT_CALIBRAGE;
    case Calibreur::ABSENT:
        std::fputs(compose(cv,
                           "Pas de calibreur : le niveau à 1 kHz le plus fort, {0:N1} dB sur le micro {1:G}, n'est "
                           "que {2:N1} dB au-dessus du suivant (micro {3:G}) ; il en faut {4:G}.\n",
                           {calibreur.niveau_micro(), m, calibreur.niveau_micro() - calibreur.niveau_suivant(),
                            calibreur.suivant(), SEUIL_CALIBREUR_DB})
                       .c_str(),
                   stdout);
        return EXIT_CALIBRAGE;
    case Calibreur::LECTURE: {
        std::string lues;
        for (double l : calibreur.lectures())
            lues += (lues.empty() ? "" : " ") + compose(cv, "{0:N2}", {l});
        std::fputs(compose(cv,
                           "Pas de calibration : le calibreur du micro {0:G} ne donne pas de lecture stable "
                           "(lectures de {1:N2} s en dB : {2}).\n",
                           {m, DUREE_LECTURE_S, lues})
                       .c_str(),
                   stdout);
        return EXIT_CALIBRAGE;
    }
    case Calibreur::STABLE:
        break;
    }
    const double avant = cal.facteurs[static_cast<size_t>(m)];
    const double apres = facteur_calibre(avant, calibreur.niveau(), o.calibre);
    std::fputs(compose(cv, "Calibreur sur le micro {0:G} : {1:N2} dB SPL lus pour {2:N1} dB.\n",
                       {m, calibreur.niveau(), o.calibre})
                   .c_str(),
               stdout);
    std::printf("Facteur du micro %d : %.6g -> %.6g Pa par point (%+.2f dB)\n", m, avant, apres,
                o.calibre - calibreur.niveau());
    std::string erreur, raison;
    if (!facteur_plausible(apres, raison)) {
        std::printf("Pas de calibration : le facteur corrigé du micro %d serait %s\n", m, raison.c_str());
        return EXIT_CALIBRAGE;
    }
    cal.facteurs[static_cast<size_t>(m)] = apres;
    OrigineCalibration origine;
    origine.date = date_maintenant();
    origine.niveau_calibreur = o.calibre;
    if (ecrit_calibration(o.calibration, cal, erreur, &origine) != 0) {
        std::printf("Pas de calibration : %s\n", erreur.c_str());
        return EXIT_CALIBRAGE;
    }
    std::printf("Calibration écrite : %s\n", o.calibration.c_str());
    return EXIT_OK;
}

} // namespace acq
