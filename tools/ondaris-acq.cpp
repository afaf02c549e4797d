// ondaris-acq: one acquisition from the command line, with the logic of the
// window. Reads a configuration file, brings the box up, records one run and
// prints the information pane as it grows. The simulated box is used only
// when asked for with --simulateur. Its parts (tools/acq/): the options, the
// terminal, the settings, the recording, the live map's log, the modes over
// the microphones and the simulated box.

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "acquisition/presence.h"
#include "base/plateforme.h"
#include "base/version.h"
#include "device/bringup.h"
#include "files/calibration.h"
#include "files/reparation.h"
#include "ligne_commande/ligne_commande.h"
#include "tools/acq/console.h"
#include "tools/acq/enregistrement.h"
#include "tools/acq/micros.h"
#include "tools/acq/options.h"
#include "tools/acq/reglages.h"
#include "tools/acq/simulation.h"

using namespace acq;

namespace {

// What the options name outside the program, checked before the box is
// made: the configuration file and the frequency (its row into `rang`, -1
// when not given). EXIT_OK, or EXIT_USAGE with the reason printed.
int verifie(const Options& o, int& rang)
{
    if (!o.config.empty() && !std::filesystem::exists(std::filesystem::u8path(o.config))) {
        std::fprintf(stderr, "ondaris-acq : configuration introuvable : %s\n", o.config.c_str());
        return EXIT_USAGE;
    }
    rang = -1;
    if (o.frequence >= 0 && (rang = rang_frequence(o.frequence)) < 0) {
        std::fprintf(stderr, "ondaris-acq : %g Hz n'est pas une fréquence du boîtier\n", o.frequence);
        return EXIT_USAGE;
    }
    return EXIT_OK;
}

// The settings of the run from the options: EXIT_OK, or EXIT_USAGE with the
// reason printed.
int regle(Options& o, int rang, const Journal& journal, Configuration& cfg)
{
    if (reglages(o, rang, journal, cfg) != 0)
        return EXIT_USAGE;
    if (o.diagnostic)
        reglages_sans_fichier(cfg, DUREE_DIAGNOSTIC_S);
    if (o.calibre > 0) {
        reglages_sans_fichier(cfg, DELAI_CALIBREUR_S);
        if (!frequence_calibrable(frequence_de(cfg))) {
            std::fprintf(stderr,
                         "ondaris-acq : à %g Hz, la bande du calibreur (891 à 1122 Hz) dépasse la moitié "
                         "de la fréquence d'échantillonnage\n",
                         static_cast<double>(frequence_de(cfg)));
            return EXIT_USAGE;
        }
    }
    return EXIT_OK;
}

// Init, as the window's button does it: EXIT_OK, else EXIT_INTERRUPTED
// (Ctrl-C during it) or EXIT_NO_BOX, the link closed.
int initialise(Boitier& boitier, SuiviConsole& suivi, Console& console)
{
    const int init = init_boitier(boitier, suivi);
    if (demandes_fin() > 0) {
        console.efface_progression();
        std::printf("\nInterrompu pendant l'Init : liaison USB fermée, aucune acquisition.\n");
        ferme_liaison(boitier);
        return EXIT_INTERRUPTED;
    }
    if (init != 0) {
        ferme_liaison(boitier);
        return EXIT_NO_BOX;
    }
    return EXIT_OK;
}

} // namespace

int main(int argc, char** argv)
{
    console_utf8();
    Options o;
    const int code = lit_options(arguments_utf8(argc, argv), o);
    if (code != LigneCommande::CONTINUER)
        return code;
    int rang = -1;
    if (verifie(o, rang) != EXIT_OK)
        return EXIT_USAGE;
    capte_demandes_fin();

    std::unique_ptr<usb::UsbApi> usb;
    sim::SimulatedBox* box = nullptr;
    if (ouvre_usb(o, usb, box) != EXIT_OK)
        return EXIT_USAGE;
    RelaisInterruptions relais(box);
    Console console(o);
    SystemClock clock;
    Journal journal;
    journal.conv = Conventions::from_locale();
    journal.sortie = [&console](const std::string& text, int flag) { console.message(text, flag); };
    Boitier boitier(*usb, clock, journal);
    relie_rejeu(box, journal);

    Configuration cfg;
    if (regle(o, rang, journal, cfg) != EXIT_OK)
        return EXIT_USAGE;
    std::printf("ondaris-acq %s\n", version_ondaris());
    const std::string avis = avis_interruption("config_en_cours.txt", journal.conv);
    if (!avis.empty())
        journal.call_verb(avis);
    affiche_reglages(cfg, o, journal.conv);
    affiche_simulation(o, box, journal.conv);
    Calibration cal;
    if (!o.calibration.empty() && !charge_calibration(o, cal))
        return EXIT_USAGE;

    SuiviConsole suivi(console, journal.conv);
    if (const int r = initialise(boitier, suivi, console); r != EXIT_OK)
        return r;
    // Advanced mode names the file by hand: the options' folder and name.
    if (o.avance) {
        journal.detail = true;
        cfg.nom_automatique = false;
    }
    if (o.diagnostic || o.calibre > 0) {
        const int r = o.diagnostic ? diagnostic(boitier, cfg, o.sim_geometrie.empty() ? nullptr : &o.sim_geometrie,
                                                suivi, console)
                                   : calibre(boitier, cfg, o, cal, suivi, console);
        ferme_liaison(boitier);
        return r;
    }
    return enregistre(boitier, cfg, o, console, suivi, journal);
}
