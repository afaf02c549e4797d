// ondaris-simulateur: the same window over the simulated box, streaming in
// real time with its scene (a tone source over beam 40), for learning and
// rehearsing runs, or replaying a recording (--rejoue). The title says the
// box is simulated.
#include <QApplication>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "app/fenetre/application.h"
#include "app/fenetre/fenetre.h"
#include "app/fenetre/operateur_qt.h"
#include "simulator/simulated_box.h"

const char* const AIDE = "Usage : ondaris-simulateur [--rejoue FICHIER.dat] [--help] [--version]\n"
                         "La fenêtre d'acquisition de l'Ondaris 1024 sur un boîtier simulé, pour apprendre le\n"
                         "programme et répéter une acquisition : une source sonore au-dessus du faisceau 40,\n"
                         "en temps réel ; le déclenchement externe arrive 1 s après Start. Le titre de la\n"
                         "fenêtre se termine par « BOÎTIER SIMULÉ ». Les réglages sont ceux de\n"
                         "config_en_cours.txt du répertoire courant, comme pour ondaris.\n"
                         "\n"
                         "  --rejoue FICHIER.dat   le boîtier rejoue cet enregistrement (avec son .Ond et son\n"
                         "             .log) au lieu de la source sonore : chaque voie choisie reçoit les\n"
                         "             échantillons enregistrés de la même voie, en boucle depuis la première\n"
                         "             trame à chaque Start ; le compteur A est celui du boîtier. Les micros\n"
                         "             et VA absents de l'enregistrement sont à zéro, et une autre fréquence\n"
                         "             le rejoue plus vite ou plus lentement : le panneau le dit au Start\n"
                         "  --help     cette aide\n"
                         "  --version  version du programme\n";

// The recording named by --rejoue FICHIER or --rejoue=FICHIER ("" without
// the option). false when the option comes without a file.
bool fichier_rejeu(int argc, char** argv, std::string& dat)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--rejoue") == 0) {
            if (i + 1 >= argc)
                return false;
            dat = argv[++i];
        } else if (std::strncmp(argv[i], "--rejoue=", 9) == 0) {
            dat = argv[i] + 9;
            if (dat.empty())
                return false;
        }
    }
    return true;
}

int main(int argc, char** argv)
{
    int code = 0;
    if (repond_ligne_commande(argc, argv, "ondaris-simulateur", AIDE, code))
        return code;
    std::string dat;
    if (!fichier_rejeu(argc, argv, dat)) {
        std::fputs("ondaris-simulateur : --rejoue demande un fichier .dat\n", stderr);
        return 64;
    }
    sim::Options options; // paced, external trigger 1 s after Start
    if (!dat.empty()) {
        auto rejeu = std::make_shared<sim::Recording>();
        const std::string refus = sim::load_recording(dat, *rejeu);
        if (!refus.empty()) {
            std::fprintf(stderr, "ondaris-simulateur : %s\n", refus.c_str());
            return 64;
        }
        options.replay = rejeu;
    }
    QApplication app(argc, argv);
    prepare_application(app);
    sim::SimulatedBox box(options);
    QtOperator op;
    SystemClock clock;
    Principale p(box, op, clock);
    if (options.replay) {
        // At Start, on the run's thread, where the journal's messages go
        // through to the pane.
        options.notice = [&p](const std::string& text) { p.journal.call_verb(text); };
        box.set_options(options);
    }
    Fenetre fenetre(p, op, QStringLiteral("  —  BOÎTIER SIMULÉ"));
    if (options.replay) {
        std::string texte = "Boîtier simulé, " + sim::recording_summary(*options.replay) + "\r\n";
        for (const std::string& r : options.replay->remarks)
            texte += "  " + r + "\r\n";
        p.call_verb(texte);
    }
    ferme_sur_demande_fin(fenetre);
    fenetre.show();
    app.exec();
    return 0;
}
