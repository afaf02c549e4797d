// ondaris-simulateur: the same window over the simulated box, streaming in
// real time with its scene (a tone source over beam 40), for learning and
// rehearsing runs. The title says the box is simulated.
#include <QApplication>

#include "app/fenetre/application.h"
#include "app/fenetre/fenetre.h"
#include "app/fenetre/operateur_qt.h"
#include "simulator/simulated_box.h"

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    prepare_application(app);
    sim::Options options; // paced, external trigger 1 s after Start
    sim::SimulatedBox box(options);
    QtOperator op;
    SystemClock clock;
    Principale p(box, op, clock);
    Fenetre fenetre(p, op, QStringLiteral("  —  BOÎTIER SIMULÉ"));
    fenetre.show();
    app.exec();
    return 0;
}
