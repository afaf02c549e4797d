// fenetre_bench [seconds]: the window over the simulated box paced at its
// highest rate (every channel: 1045 words per frame, 50 000 Hz, levels on,
// not recorded) for a while, then Stop. Prints the window thread's CPU time
// as a share of one core, the longest gap between two pumps of events, and
// how long a click on Stop posted from outside waited before it was acted on.
// Offscreen unless a display is set.
#include <QApplication>
#include <QCheckBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "acquisition/acquisition.h"
#include "app/fenetre/application.h"
#include "app/fenetre/fenetre.h"
#include "app/fenetre/operateur_qt.h"
#include "simulator/simulated_box.h"

#if defined(__linux__)
#include <ctime>
static double cpu_thread_s()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec * 1e-9;
}
#else
static double cpu_thread_s() { return 0; }
#endif

using horloge = std::chrono::steady_clock;

static double secondes(horloge::time_point a, horloge::time_point b)
{
    return std::chrono::duration<double>(b - a).count();
}

int main(int argc, char** argv)
{
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") && !std::getenv("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    prepare_application(app);
    const double duree = argc > 1 ? std::atof(argv[1]) : 10.0;

    sim::SimulatedBox box; // paced
    QtOperator op;
    SystemClock clock;
    Principale p(box, op, clock);
    p.config_en_cours = "fenetre_bench_config.txt";
    Fenetre f(p, op);
    f.show();
    auto w = [&](const char* nom) { return f.findChild<QAbstractButton*>(QString::fromLatin1(nom)); };
    w("button_Init")->click();
    if (!p.boitier.initialisation) {
        std::fprintf(stderr, "Init a échoué\n");
        return 1;
    }
    // Every channel: 1024 microphones, 16 analogue, 4 counters, status.
    w("checkBox_Test")->click();
    for (const char* nom : {"checkBox_CptB", "checkBox_CptC", "checkBox_CptD", "checkBox_Status"})
        w(nom)->click();
    for (int v = 0; v < 16; ++v)
        f.findChild<QCheckBox*>(QStringLiteral("grid_VA_%1").arg(v))->click();
    w("checkBox_Record")->click();
    w("checkBox_Definie")->click();

    QPushButton* stop = f.findChild<QPushButton*>(QStringLiteral("button_Stop"));
    horloge::time_point t_post, t_stop;

    double cpu0 = 0, cpu1 = 0;
    horloge::time_point t0, t1;
    Fenetre::Pompes pompes;
        std::thread poste;
    // Two seconds in (the ring primed, the stream steady), start measuring.
    QTimer::singleShot(2000, &f, [&] {
        f.remet_pompes();
        cpu0 = cpu_thread_s();
        t0 = horloge::now();
        poste = std::thread([&] {
            // The operator clicks Stop at a moment the window did not choose.
            std::this_thread::sleep_for(std::chrono::duration<double>(duree));
            t_post = horloge::now();
            const QPointF centre(stop->width() / 2.0, stop->height() / 2.0);
            QCoreApplication::postEvent(stop, new QMouseEvent(QEvent::MouseButtonPress, centre, centre, Qt::LeftButton,
                                                              Qt::LeftButton, Qt::NoModifier));
            QCoreApplication::postEvent(stop, new QMouseEvent(QEvent::MouseButtonRelease, centre, centre, Qt::LeftButton,
                                                              Qt::NoButton, Qt::NoModifier));
        });
    });
    QObject::connect(stop, &QPushButton::pressed, [&] {
        t_stop = horloge::now();
        cpu1 = cpu_thread_s();
        t1 = t_stop;
        pompes = f.pompes();
    });
    // While the run lasts, the latest figures (kept if the run ends early).
    QTimer releve;
    QObject::connect(&releve, &QTimer::timeout, [&] {
        if (t0 != horloge::time_point() && t_stop == horloge::time_point() && p.phase_run == PHASE_BOUCLE) {
            cpu1 = cpu_thread_s();
            t1 = horloge::now();
            pompes = f.pompes();
        }
    });
    releve.start(100);
    w("button_Start")->click();
    if (poste.joinable())
        poste.join();
    std::remove(p.config_en_cours.c_str());

    const bool tot = t_stop == horloge::time_point();
    if (tot)
        std::printf("Le run s'est terminé avant le Stop (%s, %u paquets) : machine trop chargée pour le rythme "
                    "du boîtier simulé ? Chiffres jusqu'à la fin du run.\n",
                    p.anneau.erreur_compteur ? "erreur de compteur" : "fin du flux", p.anneau.num_pkt);
    const double mur = secondes(t0, t1);
    std::printf("Fenêtre sur le boîtier simulé, %d mots par trame, %.0f Hz, niveaux affichés, sans enregistrement\n",
                p.nb_voies, static_cast<double>(p.boitier.frequence));
    std::printf("  paquets reçus                       : %u\n", p.anneau.num_pkt);
    std::printf("  temps CPU du fil de la fenêtre      : %.3f s sur %.3f s, soit %.1f %% d'un cœur\n", cpu1 - cpu0, mur,
                mur > 0 ? 100.0 * (cpu1 - cpu0) / mur : 0.0);
    std::printf("  pompes d'événements                 : %llu, écart maximal %lld ms\n",
                static_cast<unsigned long long>(pompes.nombre), static_cast<long long>(pompes.ecart_max_ms));
    if (!tot)
        std::printf("  Stop pris en compte après           : %.1f ms\n", 1000.0 * secondes(t_post, t_stop));
    std::printf("  fin du run                          : %s\n", p.fin_run == FIN_STOPPEE ? "stoppée" : "autre");
    if (std::getenv("FENETRE_BENCH_PANE"))
        std::printf("%s\n", p.pane.text.c_str());
    return 0;
}
