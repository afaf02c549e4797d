#include "app/fenetre/banc/banc_fenetre.h"

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
#include "base/plateforme.h"
#include "device/commandes.h"
#include "files/chemins.h"
#include "files/geometrie.h"
#include "simulator/simulated_box.h"

using horloge = std::chrono::steady_clock;

namespace {

constexpr int MICRO_SPECTRE = 8 * 54 + 2; // under the source

double ms(horloge::time_point a, horloge::time_point b)
{
    return std::chrono::duration<double, std::milli>(b - a).count();
}

horloge::time_point instant(int64_t ns) { return horloge::time_point(horloge::duration(ns)); }

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
        attend();
        return Disque::ecrit(f, octets, n);
    }
    std::size_t ecrit_direct(FichierDirect* f, uint64_t position, const unsigned char* octets, std::size_t n) override
    {
        attend();
        return Disque::ecrit_direct(f, position, octets, n);
    }

private:
    void attend() const
    {
        if (lent_ms_ > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(lent_ms_));
    }
    int lent_ms_;
};

// The map's scene: broadband noise at (0.2, -0.1, 1) m over the geometry.
int scene_carte(sim::SimulatedBox& box, const std::string& geometrie, std::string& erreur)
{
    sim::Options o = box.options();
    if (lit_geometrie(geometrie, o.scene.geometry, erreur) != 0)
        return 1;
    sim::PointSource source;
    sim::parse_point("0.2,-0.1,1,bruit", source);
    o.scene.points.push_back(source);
    box.set_options(o);
    return 0;
}

QAbstractButton* bouton(Fenetre& f, const char* nom) { return f.findChild<QAbstractButton*>(QString::fromLatin1(nom)); }

int initialise(Fenetre& f, Principale& p, std::string& erreur)
{
    bouton(f, "button_Init")->click();
    QElapsedTimer attente;
    attente.start();
    while (p.run_en_cours && attente.elapsed() < 60000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    if (p.boitier.initialisation)
        return 0;
    erreur = "Init a échoué";
    return 1;
}

// Every channel (1024 microphones, 16 analogue, 4 counters, status), open
// ended, recorded into `dossier` under automatic naming or not recorded.
void regle_voies(Fenetre& f, Principale& p, const std::string& dossier)
{
    bouton(f, "checkBox_Test")->click();
    for (const char* nom : {"checkBox_CptB", "checkBox_CptC", "checkBox_CptD", "checkBox_Status"})
        bouton(f, nom)->click();
    for (int v = 0; v < 16; ++v)
        f.findChild<QCheckBox*>(QStringLiteral("grid_VA_%1").arg(v))->click();
    if (dossier.empty()) {
        bouton(f, "checkBox_Record")->click();
    } else {
        // Advanced mode off again (it unticks the status word and leaves
        // automatic naming off): status back on, automatic naming into the
        // folder given.
        bouton(f, "checkBox_Test")->click();
        p.ctl.checkBox_Status.checked = true;
        f.applique();
        bouton(f, "checkBox_Nom_Fich")->click();
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
    bouton(f, "checkBox_Definie")->click();
}

int ouvre_analyse(Fenetre& f, Principale& p, const BancFenetre& banc, std::string& erreur)
{
    f.ouvre_analyse();
    FenetreAnalyse& a = *f.fenetre_analyse();
    const bool carte = banc.analyse == "carte";
    if (carte) {
        if (charge_geometrie(p, banc.geometrie) != 0) {
            erreur = p.pane.text;
            return 1;
        }
        a.onglets()->setCurrentIndex(FenetreAnalyse::CARTE);
        a.page_carte()->bande(4000);
        // The spectrum beside the map in view (a click would bring its page forward).
        p.micro_spectre = MICRO_SPECTRE;
        regle_analyse(p);
    }
    QCoreApplication::processEvents();
    const ReglagesDirect r = p.direct.reglages();
    if (!r.sante || (carte && (!r.carte || !r.geometrie || r.reglages_carte.n != 0 || r.reglages_carte.octave ||
                               r.reglages_carte.bande != 4000 || r.micro_spectre != MICRO_SPECTRE))) {
        erreur = "the analysis is not set as asked";
        return 1;
    }
    return 0;
}

// Maps and spectra made over the run, read every 100 ms (a result differing
// from the last one seen); after Stop every 5 ms, for when the analysis ended.
class LecteurAnalyse {
public:
    LecteurAnalyse(Principale& p, const BoitierChronometre& chrono, bool actif)
    {
        fil_ = std::thread([this, &p, &chrono, actif] { lit(p, chrono, actif); });
    }
    void arrete()
    {
        fin_ = true;
        fil_.join();
    }
    int cartes = 0, spectres = 0, instantanes = 0;
    horloge::time_point fin_analyse{};

private:
    void lit(Principale& p, const BoitierChronometre& chrono, bool actif)
    {
        std::vector<double> carte, spectre;
        bool commencee = false;
        while (!fin_) {
            std::this_thread::sleep_for(std::chrono::milliseconds(chrono.stop_ns != 0 ? 5 : 100));
            if (!actif)
                continue;
            const ResultatsDirect r = p.direct.resultats();
            commencee = commencee || r.en_cours;
            if (commencee && !r.en_cours && chrono.stop_ns != 0 && fin_analyse == horloge::time_point())
                fin_analyse = horloge::now();
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
    }
    std::atomic<bool> fin_{false};
    std::thread fil_;
};

// The window thread's event handling: a 5 ms timer whose longest interval
// is the longest time the thread handled nothing, with what the thread did
// then (ran, or waited for a CPU; the rest it slept or was blocked), and its
// CPU share while measuring. Once the click is posted and the run has given
// the window back, the application quits.
class Sonde {
public:
    Sonde(Principale& p, QPushButton* stop, const std::atomic<int64_t>& clic_ns) : p_(p), stop_(stop), clic_ns_(clic_ns)
    {
        QObject::connect(&minuterie_, &QTimer::timeout, [this] { tic(); });
        minuterie_.start(5);
    }
    void commence()
    {
        mesure_ = true;
        cpu0_ = cpu_fil_s();
        t0_ = horloge::now();
    }
    qint64 ecart_max = 0;
    double ecart_cpu = 0, ecart_attente = 0;
    std::atomic<bool> stop_actif{false}; // Stop can be clicked, as the window's thread last saw
    horloge::time_point repos{};
    double part_cpu() const
    {
        const double mur = std::chrono::duration<double>(t1_ - t0_).count();
        return mur > 0 ? (cpu1_ - cpu0_) / mur : 0.0;
    }

private:
    void tic()
    {
        const double cpu = cpu_fil_s(), attente = attente_cpu_fil_s();
        stop_actif = stop_->isEnabled();
        if (mesure_ && ecart_.isValid()) {
            const qint64 e = ecart_.restart();
            if (e > ecart_max) {
                ecart_max = e;
                ecart_cpu = cpu - cpu_tic_;
                ecart_attente = attente - attente_tic_;
            }
        } else {
            ecart_.restart();
        }
        cpu_tic_ = cpu;
        attente_tic_ = attente;
        if (mesure_ && clic_ns_ == 0) {
            cpu1_ = cpu;
            t1_ = horloge::now();
        }
        if (repos == horloge::time_point() && clic_ns_ != 0 && !p_.run_en_cours) {
            repos = horloge::now();
            mesure_ = false;
            QCoreApplication::quit();
        }
    }
    Principale& p_;
    QPushButton* stop_;
    const std::atomic<int64_t>& clic_ns_;
    QTimer minuterie_;
    QElapsedTimer ecart_;
    bool mesure_ = false;
    double cpu_tic_ = 0, attente_tic_ = 0, cpu0_ = 0, cpu1_ = 0;
    horloge::time_point t0_{}, t1_{};
};

// The operator's click on Stop, posted from another thread after `duree` s,
// at a moment the window did not choose; on a busy machine the run may not
// have made Stop clickable by then, and the click waits for it.
std::thread poste_clic(QPushButton* stop, const std::atomic<bool>& stop_actif, double duree,
                       std::atomic<int64_t>& clic_ns)
{
    return std::thread([stop, &stop_actif, duree, &clic_ns] {
        std::this_thread::sleep_for(std::chrono::duration<double>(duree));
        for (int k = 0; k < 6000 && !stop_actif; ++k)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        const QPointF centre(stop->width() / 2.0, stop->height() / 2.0);
        clic_ns = horloge::now().time_since_epoch().count();
        QCoreApplication::postEvent(stop, new QMouseEvent(QEvent::MouseButtonPress, centre, centre, Qt::LeftButton,
                                                          Qt::LeftButton, Qt::NoModifier));
        QCoreApplication::postEvent(stop, new QMouseEvent(QEvent::MouseButtonRelease, centre, centre, Qt::LeftButton,
                                                          Qt::NoButton, Qt::NoModifier));
    });
}

void bilan_analyse(const Principale& p, FiguresFenetre& r)
{
    const ResultatsDirect d = p.direct.resultats();
    r.trames = p.nb_voies > 0 ? p.dernier.ntr / (4ull * uint64_t(p.nb_voies)) : 0;
    r.paquets_ignores = d.paquets_ignores;
    r.trames_sante = d.trames_sante;
    for (const StatistiquesMicro& s : d.bilan)
        r.signales += s.defauts ? 1 : 0;
    r.erreur_carte = d.erreur_carte;
}

} // namespace

int mesure_fenetre(int& argc, char** argv, const BancFenetre& banc, FiguresFenetre& r, std::string& erreur)
{
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") && !std::getenv("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    prepare_application(app);
    sim::SimulatedBox box; // paced
    if (banc.analyse == "carte" && scene_carte(box, banc.geometrie, erreur) != 0)
        return 1;
    BoitierChronometre chrono(box);
    QtOperator op;
    SystemClock clock;
    DisqueLent disque(banc.lent_ms);
    Principale p(chrono, op, clock, Conventions::from_locale(), disque);
    p.config_en_cours = "fenetre_bench_config.txt";
    std::remove(p.config_en_cours.c_str()); // an interrupted bench's settings stay out
    Fenetre f(p, op);
    f.show();
    if (initialise(f, p, erreur) != 0)
        return 1;
    regle_voies(f, p, banc.dossier);
    if (banc.analyse != "none" && ouvre_analyse(f, p, banc, erreur) != 0)
        return 1;

    LecteurAnalyse lecteur(p, chrono, banc.analyse != "none");
    std::atomic<int64_t> clic_ns{0};
    QPushButton* stop = f.findChild<QPushButton*>(QStringLiteral("button_Stop"));
    Sonde sonde(p, stop, clic_ns);
    std::thread poste;
    // Two seconds in (the ring primed, the stream steady), start measuring.
    QTimer::singleShot(2000, &f, [&] {
        if (!p.run_en_cours) {
            QCoreApplication::quit();
            return;
        }
        sonde.commence();
        poste = poste_clic(stop, sonde.stop_actif, banc.duree, clic_ns);
    });
    bouton(f, "button_Start")->click();
    app.exec();
    if (poste.joinable())
        poste.join();
    lecteur.arrete();
    std::remove(p.config_en_cours.c_str());

    r.nb_voies = p.nb_voies;
    r.frequence = static_cast<double>(p.boitier.frequence);
    r.paquets = p.dernier.num_pkt;
    r.stoppee = p.fin_run == FIN_STOPPEE;
    r.ecart_max_ms = static_cast<double>(sonde.ecart_max);
    r.ecart_cpu_ms = 1000 * sonde.ecart_cpu;
    r.ecart_attente_ms = 1000 * sonde.ecart_attente;
    r.cpu_fenetre = sonde.part_cpu();
    if (clic_ns != 0 && chrono.stop_ns != 0) {
        r.clic_stop_ms = ms(instant(clic_ns), instant(chrono.stop_ns));
        r.stop_repos_ms = ms(instant(chrono.stop_ns), sonde.repos);
        if (lecteur.fin_analyse != horloge::time_point())
            r.stop_fin_analyse_ms = ms(instant(chrono.stop_ns), lecteur.fin_analyse);
    }
    r.cartes = lecteur.cartes;
    r.spectres = lecteur.spectres;
    r.instantanes = lecteur.instantanes;
    if (banc.analyse != "none")
        bilan_analyse(p, r);
    r.pane = p.pane.text;
    return 0;
}
