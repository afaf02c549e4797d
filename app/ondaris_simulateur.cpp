// ondaris-simulateur: the same window over the simulated box, streaming in
// real time with its scene (a tone source over beam 40), for learning and
// rehearsing runs. The title says the box is simulated.
#include <QApplication>

#include "app/fenetre/application.h"
#include "app/fenetre/fenetre.h"
#include "app/fenetre/operateur_qt.h"
#include "simulator/simulated_box.h"

const char* const AIDE = "Usage : ondaris-simulateur [--help] [--version]\n"
                         "La fenêtre d'acquisition de l'Ondaris 1024 sur un boîtier simulé, pour apprendre le\n"
                         "programme et répéter une acquisition : une source sonore au-dessus du faisceau 40,\n"
                         "en temps réel ; le déclenchement externe arrive 1 s après Start. Le titre de la\n"
                         "fenêtre se termine par « BOÎTIER SIMULÉ ». Les réglages sont ceux de\n"
                         "config_en_cours.txt du répertoire courant, comme pour ondaris.\n"
                         "\n"
                         "  --help     cette aide\n"
                         "  --version  version du programme\n";

int main(int argc, char** argv)
{
    int code = 0;
    if (repond_ligne_commande(argc, argv, "ondaris-simulateur", AIDE, code))
        return code;
    QApplication app(argc, argv);
    prepare_application(app);
    sim::Options options; // paced, external trigger 1 s after Start
    sim::SimulatedBox box(options);
    QtOperator op;
    SystemClock clock;
    Principale p(box, op, clock);
    Fenetre fenetre(p, op, QStringLiteral("  —  BOÎTIER SIMULÉ"));
    ferme_sur_demande_fin(fenetre);
    fenetre.show();
    app.exec();
    return 0;
}
