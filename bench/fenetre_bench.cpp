// fenetre_bench SECONDS [FOLDER [SLOW_MS [ANALYSIS]]]: the real window over
// the simulated box paced at its highest rate (every channel: 1045 words per
// frame, 50 000 Hz, levels on) for SECONDS, then a click on Stop posted from
// another thread. With FOLDER the run records there ("-" or "": not
// recorded); with SLOW_MS every 16 MiB write also waits that long, like a
// disk that falls behind. ANALYSIS opens the analysis window before Start:
//   none        (default) no analysis window
//   diagnostic  its health-check page: every frame it can take is checked
//   carte       its acoustic map page, 41 x 41 points, the 4 kHz
//               third-octave, over the simulated array's geometry
//               (FENETRE_BENCH_GEOMETRIE, default data/geometrie-simulateur.xml)
//               with broadband noise at (0.2, -0.1, 1) m, and the spectrum
//               of microphone 434 (under the source); the health check runs too
// Prints, one figure a line:
//   window gap max: N ms      longest time the window's thread handled no event
//     of which: N ms on a CPU, N ms waiting for one (Linux: its schedstat)
//   window thread cpu: N %    its CPU time as a share of one core
//   click to stop sent: N ms  from the posted click to the Stop request on the wire
//   stop to idle: N ms        from there to the window given back, files written
//   stop to analysis ended: N ms  from there to the analysis's last frames taken (within 5 ms)
// and with an analysis, what it kept up with over the whole run:
//   analysis packets left out: N of M received
//   analysis frames checked: N of M streamed (P %), microphones flagged: N
//   analysis maps made: N, spectra made: N, snapshots per map: N
// (maps and spectra counted by a thread reading the results every 100 ms).
// Offscreen unless a display is set.
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "app/fenetre/application.h"
#include "app/fenetre/fenetre.h"
#include "app/fenetre/fenetre_analyse.h"
#include "app/fenetre/operateur_qt.h"
#include "app/fenetre/page_carte.h"
#include "app/model/acquisition.h"
#include "app/model/instrument.h"
#include "device/commandes.h"
#include "files/chemins.h"
#include "files/geometrie.h"
#include "simulator/simulated_box.h"

#if defined(__linux__)
#include <ctime>
#include <fcntl.h>
#include <unistd.h>
static double cpu_thread_s()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec * 1e-9;
}
// The calling thread's time spent runnable but waiting for a CPU, s; its
// schedstat file, opened once by the thread (-1: unknown).
static int ouvre_schedstat() { return ::open("/proc/thread-self/schedstat", O_RDONLY); }
static double attente_cpu_s(int fd)
{
    char t[96] = {};
    if (fd < 0 || ::pread(fd, t, sizeof t - 1, 0) <= 0)
        return 0;
    unsigned long long sur_cpu = 0, attente = 0;
    if (std::sscanf(t, "%llu %llu", &sur_cpu, &attente) != 2)
        return 0;
    return attente * 1e-9;
}
#else
static double cpu_thread_s() { return 0; }
static int ouvre_schedstat() { return -1; }
static double attente_cpu_s(int) { return 0; }
#endif

using horloge = std::chrono::steady_clock;

namespace {

double ms(horloge::time_point a, horloge::time_point b)
{
    return std::chrono::duration<double, std::milli>(b - a).count();
}

// The simulated box, with the moment the Stop command went out noted.
class BoitierChronometre : public usb::UsbApi {
public:
    explicit BoitierChronometre(usb::UsbApi& b) : b_(b) {}
    std::atomic<int64_t> stop_ns{0};

    int init() override { return b_.init(); }
    void set_debug(int level) override { b_.set_debug(level); }
    void exit() override { b_.exit(); }
    usb::DeviceHandle open_device_with_vid_pid(uint16_t v, uint16_t p) override
    {
        return b_.open_device_with_vid_pid(v, p);
    }
    int claim_interface(usb::DeviceHandle h, int n) override { return b_.claim_interface(h, n); }
    int release_interface(usb::DeviceHandle h, int n) override { return b_.release_interface(h, n); }
    void close(usb::DeviceHandle h) override { b_.close(h); }
    int control_transfer(usb::DeviceHandle h, uint8_t type, uint8_t req, uint16_t v, uint16_t i, unsigned char* d,
                         uint16_t n, unsigned int t) override
    {
        const int r = b_.control_transfer(h, type, req, v, i, d, n, t);
        if (req == 0xB1 && d && d[0] == CMD_STOP && stop_ns == 0)
            stop_ns = horloge::now().time_since_epoch().count();
        return r;
    }
    usb::Transfer* alloc_transfer(int n) override { return b_.alloc_transfer(n); }
    int submit_transfer(usb::Transfer* t) override { return b_.submit_transfer(t); }
    int cancel_transfer(usb::Transfer* t) override { return b_.cancel_transfer(t); }
    void free_transfer(usb::Transfer* t) override { b_.free_transfer(t); }
    int handle_events() override { return b_.handle_events(); }
    int handle_events_timeout(int ms) override { return b_.handle_events_timeout(ms); }

private:
    usb::UsbApi& b_;
};

// A disk that falls behind: every write also waits `lent_ms`.
class DisqueLent : public Disque {
public:
    explicit DisqueLent(int lent_ms) : lent_ms_(lent_ms) {}
    std::size_t ecrit(std::FILE* f, const unsigned char* octets, std::size_t n) override
    {
        if (lent_ms_ > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(lent_ms_));
        return Disque::ecrit(f, octets, n);
    }
    std::size_t ecrit_direct(FichierDirect* f, uint64_t position, const unsigned char* octets, std::size_t n) override
    {
        if (lent_ms_ > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(lent_ms_));
        return Disque::ecrit_direct(f, position, octets, n);
    }

private:
    int lent_ms_;
};

} // namespace

int main(int argc, char** argv)
{
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") && !std::getenv("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    prepare_application(app);
    const double duree = argc > 1 ? std::atof(argv[1]) : 10.0;
    std::string dossier = argc > 2 ? argv[2] : "";
    if (dossier == "-")
        dossier.clear();
    const int lent_ms = argc > 3 ? std::atoi(argv[3]) : 0;
    const std::string analyse = argc > 4 ? argv[4] : "none";
    if (analyse != "none" && analyse != "diagnostic" && analyse != "carte") {
        std::fprintf(stderr, "usage: fenetre_bench SECONDS [FOLDER|- [SLOW_MS [none|diagnostic|carte]]]\n");
        return 2;
    }
    const char* env_geometrie = std::getenv("FENETRE_BENCH_GEOMETRIE");
    const std::string fichier_geometrie = env_geometrie ? env_geometrie : "data/geometrie-simulateur.xml";
    const int micro_spectre = 8 * 54 + 2; // under the source

    sim::SimulatedBox box; // paced
    if (analyse == "carte") {
        sim::Options o = box.options();
        std::string erreur;
        if (lit_geometrie(fichier_geometrie, o.scene.geometry, erreur) != 0) {
            std::fprintf(stderr, "fenetre_bench: %s\n", erreur.c_str());
            return 1;
        }
        sim::PointSource source;
        sim::parse_point("0.2,-0.1,1,bruit", source);
        o.scene.points.push_back(source);
        box.set_options(o);
    }
    BoitierChronometre chrono(box);
    QtOperator op;
    SystemClock clock;
    DisqueLent disque(lent_ms);
    Principale p(chrono, op, clock, Conventions::from_locale(), disque);
    p.config_en_cours = "fenetre_bench_config.txt";
    Fenetre f(p, op);
    f.show();
    auto w = [&](const char* nom) { return f.findChild<QAbstractButton*>(QString::fromLatin1(nom)); };
    w("button_Init")->click();
    QElapsedTimer attente_init;
    attente_init.start();
    while (p.run_en_cours && attente_init.elapsed() < 60000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
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
    if (dossier.empty()) {
        w("checkBox_Record")->click();
    } else {
        // Advanced mode off again (it unticks the status word and leaves
        // automatic naming off): status back on, automatic naming into the
        // folder given.
        w("checkBox_Test")->click();
        p.ctl.checkBox_Status.checked = true;
        f.applique();
        w("checkBox_Nom_Fich")->click();
        p.nom_dir = dossier;
        // An earlier bench's recording would be asked about, in a dialog
        // nobody answers.
        for (const char* ext : {".dat", ".Ond", ".log"}) {
            std::error_code ec;
            std::filesystem::remove(std::filesystem::u8path(avec_separateur(dossier) + "fenetre_bench" + ext), ec);
        }
        p.ctl.textBox_Nom_Fich.text = "fenetre_bench";
        f.findChild<QLineEdit*>(QStringLiteral("textBox_Nom_Fich"))->setText(QStringLiteral("fenetre_bench"));
        p.ctl.textBox_Rep.text = dossier;
    }
    w("checkBox_Definie")->click(); // open-ended

    if (analyse != "none") {
        f.ouvre_analyse();
        FenetreAnalyse& a = *f.fenetre_analyse();
        if (analyse == "carte") {
            if (charge_geometrie(p, fichier_geometrie) != 0) {
                std::fprintf(stderr, "fenetre_bench: %s\n", p.pane.text.c_str());
                return 1;
            }
            a.onglets()->setCurrentIndex(FenetreAnalyse::CARTE);
            a.page_carte()->bande(4000);
            // The spectrum beside the map in view (a click would bring its page forward).
            p.micro_spectre = micro_spectre;
            regle_analyse(p);
        }
        QCoreApplication::processEvents();
        const ReglagesDirect r = p.direct.reglages();
        if (!r.sante ||
            (analyse == "carte" && (!r.carte || !r.geometrie || r.reglages_carte.n != 41 || r.reglages_carte.octave ||
                                    r.reglages_carte.bande != 4000 || r.micro_spectre != micro_spectre))) {
            std::fprintf(stderr, "fenetre_bench: the analysis is not set as asked\n");
            return 1;
        }
    }
    // Maps and spectra made over the run: a result differing from the last
    // one seen. After Stop, every 5 ms: when the analysis ended.
    std::atomic<bool> fin_lecture{false};
    int cartes = 0, spectres = 0, instantanes = 0;
    horloge::time_point t_fin_analyse{};
    std::thread lecteur([&] {
        std::vector<double> carte, spectre;
        bool commencee = false;
        while (!fin_lecture) {
            std::this_thread::sleep_for(std::chrono::milliseconds(chrono.stop_ns != 0 ? 5 : 100));
            if (analyse == "none")
                continue;
            const ResultatsDirect r = p.direct.resultats();
            commencee = commencee || r.en_cours;
            if (commencee && !r.en_cours && chrono.stop_ns != 0 && t_fin_analyse == horloge::time_point())
                t_fin_analyse = horloge::now();
            if (!r.carte.niveaux.empty() && r.carte.niveaux != carte) {
                carte = r.carte.niveaux;
                instantanes = r.carte.instantanes;
                ++cartes;
            }
            if (!r.spectre.densite.empty() && r.spectre.densite != spectre) {
                spectre = r.spectre.densite;
                ++spectres;
            }
        }
    });

    QPushButton* stop = f.findChild<QPushButton*>(QStringLiteral("button_Stop"));
    std::atomic<int64_t> clic_ns{0};
    horloge::time_point t_idle{};
    double cpu0 = 0, cpu1 = 0;
    horloge::time_point t0{}, t1{};
    bool mesure = false;
    // The window thread's event handling: a 5 ms timer whose longest
    // interval is the longest time the thread handled nothing.
    QElapsedTimer ecart;
    qint64 ecart_max = 0;
    // What the thread did during the longest gap: ran, or waited for a CPU
    // (the rest it slept or was blocked).
    const int schedstat = ouvre_schedstat();
    double cpu_tic = 0, attente_tic = 0, ecart_cpu = 0, ecart_attente = 0;
    QTimer sonde;
    QObject::connect(&sonde, &QTimer::timeout, [&] {
        const double cpu = cpu_thread_s(), attente = attente_cpu_s(schedstat);
        if (mesure && ecart.isValid()) {
            const qint64 e = ecart.restart();
            if (e > ecart_max) {
                ecart_max = e;
                ecart_cpu = cpu - cpu_tic;
                ecart_attente = attente - attente_tic;
            }
        } else {
            ecart.restart();
        }
        cpu_tic = cpu;
        attente_tic = attente;
        if (mesure && clic_ns == 0) {
            cpu1 = cpu_thread_s();
            t1 = horloge::now();
        }
        if (t_idle == horloge::time_point() && clic_ns != 0 && !p.run_en_cours) {
            t_idle = horloge::now();
            mesure = false;
            QCoreApplication::quit();
        }
    });
    sonde.start(5);

    std::thread poste;
    // Two seconds in (the ring primed, the stream steady), start measuring.
    QTimer::singleShot(2000, &f, [&] {
        if (!p.run_en_cours) {
            QCoreApplication::quit();
            return;
        }
        mesure = true;
        cpu0 = cpu_thread_s();
        t0 = horloge::now();
        poste = std::thread([&] {
            // The operator clicks Stop at a moment the window did not choose.
            std::this_thread::sleep_for(std::chrono::duration<double>(duree));
            const QPointF centre(stop->width() / 2.0, stop->height() / 2.0);
            clic_ns = horloge::now().time_since_epoch().count();
            QCoreApplication::postEvent(stop, new QMouseEvent(QEvent::MouseButtonPress, centre, centre, Qt::LeftButton,
                                                              Qt::LeftButton, Qt::NoModifier));
            QCoreApplication::postEvent(stop, new QMouseEvent(QEvent::MouseButtonRelease, centre, centre,
                                                              Qt::LeftButton, Qt::NoButton, Qt::NoModifier));
        });
    });
    w("button_Start")->click();
    app.exec();
    if (poste.joinable())
        poste.join();
    fin_lecture = true;
    lecteur.join();
    std::remove(p.config_en_cours.c_str());

    const auto instant = [](int64_t ns) { return horloge::time_point(horloge::duration(ns)); };
    const double mur = std::chrono::duration<double>(t1 - t0).count();
    std::printf("Fenêtre sur le boîtier simulé, %d mots par trame, %.0f Hz, niveaux affichés, %s, analyse: %s\n",
                p.nb_voies, static_cast<double>(p.boitier.frequence),
                dossier.empty()
                    ? "sans enregistrement"
                    : (lent_ms > 0 ? ("enregistré, écriture ralentie de " + std::to_string(lent_ms) + " ms").c_str()
                                   : "enregistré"),
                analyse.c_str());
    std::printf("paquets reçus: %u, fin: %s\n", p.dernier.num_pkt,
                p.fin_run == FIN_STOPPEE ? "stoppée" : "autre (le run a fini avant le Stop ?)");
    std::printf("window gap max: %lld ms\n", static_cast<long long>(ecart_max));
    std::printf("  of which: %.1f ms on a CPU, %.1f ms waiting for one (the rest asleep or blocked)\n",
                1000 * ecart_cpu, 1000 * ecart_attente);
    std::printf("window thread cpu: %.1f %%\n", mur > 0 ? 100.0 * (cpu1 - cpu0) / mur : 0.0);
    if (clic_ns != 0 && chrono.stop_ns != 0) {
        std::printf("click to stop sent: %.1f ms\n", ms(instant(clic_ns), instant(chrono.stop_ns)));
        std::printf("stop to idle: %.1f ms\n", ms(instant(chrono.stop_ns), t_idle));
        if (t_fin_analyse != horloge::time_point())
            std::printf("stop to analysis ended: %.1f ms\n", ms(instant(chrono.stop_ns), t_fin_analyse));
    }
    if (analyse != "none") {
        const ResultatsDirect r = p.direct.resultats();
        const uint64_t trames = p.nb_voies > 0 ? p.dernier.ntr / (4ull * uint64_t(p.nb_voies)) : 0;
        std::printf("analysis (%s) packets left out: %llu of %u received\n", analyse.c_str(),
                    static_cast<unsigned long long>(r.paquets_ignores), p.dernier.num_pkt);
        int signales = 0;
        for (const StatistiquesMicro& s : r.bilan)
            signales += s.defauts ? 1 : 0;
        std::printf("analysis frames checked: %llu of %llu streamed (%.1f %%), microphones flagged: %d\n",
                    static_cast<unsigned long long>(r.trames_sante), static_cast<unsigned long long>(trames),
                    trames ? 100.0 * double(r.trames_sante) / double(trames) : 0.0, signales);
        if (analyse == "carte")
            std::printf("analysis maps made: %d, spectra made: %d, snapshots per map: %d%s\n", cartes, spectres,
                        instantanes, r.erreur_carte.empty() ? "" : (", " + r.erreur_carte).c_str());
    }
    if (std::getenv("FENETRE_BENCH_PANE"))
        std::printf("%s\n", p.pane.text.c_str());
    return 0;
}
