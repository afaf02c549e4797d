#include "app/fenetre/captures/captures.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QPushButton>
#include <QRadioButton>
#include <QElapsedTimer>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

#include "app/fenetre/application.h"
#include "app/fenetre/fenetre.h"
#include "app/fenetre/fenetre_analyse.h"
#include "app/fenetre/page_carte.h"
#include "app/model/acquisition.h"
#include "app/model/instrument.h"
#include "files/geometrie.h"
#include "simulator/frame_source.h"
#include "simulator/microphones.h"
#include "simulator/replay.h"
#include <QTabWidget>
#include "app/fenetre/operateur_qt.h"
#include "app/model/parametres.h"
#include "device/parametres.h"
#include "simulator/simulated_box.h"

namespace {

template <class W> W* trouve(QWidget& f, const char* nom)
{
    W* w = f.findChild<W*>(QString::fromLatin1(nom));
    if (!w) {
        std::fprintf(stderr, "ondaris-captures : %s introuvable\n", nom);
        std::exit(1);
    }
    return w;
}

bool sauve(QWidget& f, const QString& dossier, const char* nom)
{
    const QString chemin = dossier + QLatin1Char('/') + QString::fromLatin1(nom);
    const bool ok = f.grab().save(chemin);
    std::printf("%s %s\n", ok ? "écrit :" : "ÉCHEC :", qPrintable(chemin));
    return ok;
}

// Init and the run go on their own thread: the window's events until it
// has ended (a minute at most).
bool attend_fin(Principale& p)
{
    QElapsedTimer attente;
    attente.start();
    while (p.run_en_cours && attente.elapsed() < 60000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    return !p.run_en_cours;
}

// The window's events for `ms` milliseconds (the timer takes results).
void attend(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

// One session of the window over the simulated box, stage by stage; `ok`
// falls to false at the first picture not written or result not shown.
class Seance {
public:
    Seance(Fenetre& f, Principale& p, sim::SimulatedBox& box, const QString& dossier)
        : f_(f), p_(p), box_(box), dossier_(dossier)
    {}
    bool ok = true;

    // Init, the selection page, advanced mode, a run on its way.
    void fenetre_principale()
    {
        trouve<QPushButton>(f_, "button_Init")->click();
        ok &= attend_fin(p_);
        ok &= sauve(f_, dossier_, "fenetre-init.png");

        trouve<QPushButton>(f_, "button_Micros")->click();
        // A selection worth seeing: two groups and a few beams off.
        const char* const cases[] = {"bloc_T_3",      "bloc_T_9",   "faisceaux_T_2",
                                     "faisceaux_T_5", "grid_100_4", "grid_101_2"};
        for (const char* nom : cases)
            trouve<QCheckBox>(f_, nom)->click();
        ok &= sauve(f_, dossier_, "page-selection.png");
        for (const char* nom : cases)
            trouve<QCheckBox>(f_, nom)->click();
        trouve<QPushButton>(f_, "button_Retour")->click();

        // Advanced mode, an external trigger, and the comment editor open.
        trouve<QCheckBox>(f_, "checkBox_Test")->click();
        trouve<QAbstractButton>(f_, "radioButton_Start_Trig1")->click();
        trouve<QPushButton>(f_, "button_Comment")->click();
        ok &= sauve(f_, dossier_, "fenetre-avance.png");
        trouve<QPushButton>(f_, "button_Comment")->click();
        trouve<QAbstractButton>(f_, "radioButton_Start_Soft")->click();
        trouve<QCheckBox>(f_, "checkBox_Nom_Fich")->click();
        run_en_cours();
    }

    // The analysis window: the health check of an array with five faulty
    // microphones, then the calibrator assistant on microphone 300.
    void diagnostic_et_calibration()
    {
        sim::Options o = box_.options();
        sim::parse_faults("3:muet,17:sature,200:bruit,511:continu,700:fige", o.scene.faults);
        box_.set_options(o);
        f_.ouvre_analyse();
        FenetreAnalyse& a = *f_.fenetre_analyse();
        a.resize(900, 640);
        trouve<QPushButton>(a, "button_Diagnostic")->click();
        ok &= attend_fin(p_);
        attend(600);
        ok &= sauve(a, dossier_, "analyse-diagnostic.png");
        ok &= sauve(f_, dossier_, "fenetre-diagnostic.png");

        o.scene.faults.clear();
        o.scene.calibrator = sim::Calibrator{300, 94.0};
        o.scene.sensitivity_spread_db = 1.0;
        o.scene.tone_amplitude = 0;
        box_.set_options(o);
        a.onglets()->setCurrentIndex(FenetreAnalyse::CALIBRATION);
        trouve<QPushButton>(a, "button_Assistant")->click();
        QElapsedTimer attente;
        attente.start();
        while (p_.direct.resultats().calibres.empty() && attente.elapsed() < 30000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        attend(300);
        ok &= !p_.direct.resultats().calibres.empty();
        trouve<QPushButton>(a, "button_Assistant")->click();
        ok &= attend_fin(p_);
        attend(300);
        ok &= sauve(a, dossier_, "analyse-calibration.png");
    }

    // The level map through that calibration, A-weighted.
    void niveaux_a()
    {
        pondere_niveaux(p_, true);
        sim::Options o = box_.options();
        o.scene = sim::Scene();
        box_.set_options(o);
        capture_sans_fichier(p_, 0);
        f_.applique();
        QElapsedTimer t;
        t.start();
        while ((p_.phase_run != PHASE_BOUCLE || p_.direct.resultats().niveaux_a.empty()) && t.elapsed() < 30000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        attend(500);
        ok &= sauve(f_, dossier_, "fenetre-niveaux-a.png");
        button_Stop_Click(p_);
        ok &= attend_fin(p_);
        pondere_niveaux(p_, false);
        oublie_calibration(p_);
    }

    // The acoustic map and a spectrum over a physical scene: broadband noise
    // at (0.2, -0.1) m and a 2 kHz tone at (-0.25, 0.2) m, 1 m in front of
    // the simulated array.
    int carte(const std::string& geometrie)
    {
        sim::Options o = box_.options();
        o.scene = sim::Scene();
        std::string erreur;
        if (lit_geometrie(geometrie, o.scene.geometry, erreur) != 0) {
            std::fprintf(stderr, "ondaris-captures : %s\n", erreur.c_str());
            return 1;
        }
        for (const char* point : {"0.2,-0.1,1,bruit", "-0.25,0.2,1,2000"}) {
            sim::PointSource source;
            sim::parse_point(point, source);
            o.scene.points.push_back(source);
        }
        box_.set_options(o);
        charge_geometrie(p_, geometrie);
        FenetreAnalyse& a = *f_.fenetre_analyse();
        a.onglets()->setCurrentIndex(FenetreAnalyse::CARTE);
        a.page_carte()->bande(4000);
        attend(100);
        carte_et_spectre("analyse-carte.png", "analyse-spectre.png");
        return 0;
    }

    // The same scene recorded for 3 s, then replayed through the box in
    // place of its scene.
    int rejeu()
    {
        const QString enregistrements = QDir::temp().filePath(QStringLiteral("ondaris-captures"));
        QDir(enregistrements).removeRecursively();
        QDir().mkpath(enregistrements);
        p_.ctl.textBox_Rep.text = enregistrements.toStdString() + "/";
        p_.nom_dir = p_.ctl.textBox_Rep.text;
        p_.ctl.textBox_Nom_Fich.text = "scene";
        p_.ctl.numericUpDown_Duree.value = 3;
        numericUpDown_Duree_ValueChanged(p_);
        f_.applique();
        trouve<QPushButton>(f_, "button_Start")->click();
        ok &= attend_fin(p_);
        auto enregistrement = std::make_shared<sim::Recording>();
        const std::string refus = sim::load_recording(enregistrements.toStdString() + "/scene.dat", *enregistrement);
        if (!refus.empty()) {
            std::fprintf(stderr, "ondaris-captures : %s\n", refus.c_str());
            return 1;
        }
        sim::Options o = box_.options();
        o.replay = enregistrement;
        o.scene.points.clear();
        box_.set_options(o);
        carte_et_spectre("analyse-carte-rejeu.png", "analyse-spectre-rejeu.png");
        QDir(enregistrements).removeRecursively();
        return 0;
    }

private:
    // A 10 s run, not recorded, grabbed once some seconds of the stream have
    // been shown (progress and levels), then stopped.
    void run_en_cours()
    {
        trouve<QCheckBox>(f_, "checkBox_Record")->click();
        p_.ctl.numericUpDown_Duree.value = 10;
        numericUpDown_Duree_ValueChanged(p_);
        f_.applique();
        QTimer pendant;
        QObject::connect(&pendant, &QTimer::timeout, &f_, [&] {
            if (p_.phase_run != PHASE_BOUCLE || !p_.run || p_.run->num_pkt() < 50)
                return;
            pendant.stop();
            ok &= sauve(f_, dossier_, "fenetre-acquisition.png");
            trouve<QPushButton>(f_, "button_Stop")->click();
        });
        pendant.start(50);
        trouve<QPushButton>(f_, "button_Start")->click();
        ok &= attend_fin(p_);
        trouve<QCheckBox>(f_, "checkBox_Record")->click();
    }

    // A map and a spectrum over a capture without a file.
    void carte_et_spectre(const char* png_carte, const char* png_spectre)
    {
        FenetreAnalyse& a = *f_.fenetre_analyse();
        capture_sans_fichier(p_, 0);
        f_.applique();
        QElapsedTimer t;
        t.start();
        while (p_.direct.resultats().carte.instantanes == 0 && t.elapsed() < 30000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        attend(1500);
        ok &= p_.direct.resultats().carte.instantanes > 0;
        ok &= sauve(a, dossier_, png_carte);
        a.spectre_de(8 * 54 + 2); // under the broadband source
        t.restart();
        while (p_.direct.resultats().spectre.micro != 8 * 54 + 2 && t.elapsed() < 30000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        attend(1500);
        ok &= sauve(a, dossier_, png_spectre);
        a.onglets()->setCurrentIndex(FenetreAnalyse::CARTE);
        button_Stop_Click(p_);
        ok &= attend_fin(p_);
    }

    Fenetre& f_;
    Principale& p_;
    sim::SimulatedBox& box_;
    QString dossier_;
};

} // namespace

int execute_captures(int argc, char** argv)
{
    if (!std::getenv("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    prepare_application(app);
    const QString dossier = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("docs");
    QDir().mkpath(dossier);

    sim::SimulatedBox box; // paced, with its scene
    QtOperator op;
    SystemClock clock;
    Principale p(box, op, clock);
    p.config_en_cours = QDir::temp().filePath(QStringLiteral("ondaris-captures-config.txt")).toStdString();
    std::remove(p.config_en_cours.c_str());
    Fenetre f(p, op, QStringLiteral("  —  BOÎTIER SIMULÉ"));
    p.ctl.textBox_Rep.text = "/data/mesures/"; // not the home folder of whoever runs this
    f.show();
    f.applique();

    Seance s(f, p, box, dossier);
    s.fenetre_principale();
    s.diagnostic_et_calibration();
    s.niveaux_a();
    const std::string geometrie = argc > 2 ? argv[2] : ONDARIS_SOURCES "/data/geometrie-simulateur.xml";
    if (s.carte(geometrie) != 0 || s.rejeu() != 0)
        return 1;
    std::remove(p.config_en_cours.c_str());
    return s.ok ? 0 : 1;
}
