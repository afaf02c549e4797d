// The window driven through its real widgets on the offscreen platform:
// clicks, keys, the dialogs answered as an operator would, colours read
// back from the drawn cell view.
#include <QAbstractSpinBox>
#include <QApplication>
#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSet>
#include <QStyleOptionGroupBox>
#include <QTimer>
#include <QtTest>
#include <csignal>
#include <functional>
#include <memory>

#include "app/model/acquisition.h"
#include "app/fenetre/application.h"
#include "app/fenetre/fenetre.h"
#include "app/fenetre/fenetre_analyse.h"
#include <QTabWidget>
#include <QTableWidget>
#include "simulator/microphones.h"
#include "app/fenetre/operateur_qt.h"
#include "app/fenetre/vue_cellules.h"
#include "simulator/simulated_box.h"
#include "support/doubles.h"

namespace {

sim::Options options_boitier(bool paced)
{
    sim::Options o;
    o.paced = paced;
    o.trigger_delay_ms = -1;
    o.keep_copy = !paced;
    return o;
}

// A window over the simulated box, shown, with a test clock (sleeps are
// instant) and its configuration file in a temporary folder.
struct Banc {
    explicit Banc(bool paced = false) : box(options_boitier(paced))
    {
        p = std::make_unique<Principale>(box, op, clock, Conventions::french());
        p->config_en_cours = dir.file("config_en_cours.txt");
        f = std::make_unique<Fenetre>(*p, op);
        f->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.get()));
    }
    ~Banc() { f.reset(); }

    template <class W = QWidget> W* w(const QString& nom)
    {
        W* x = f->findChild<W*>(nom);
        if (!x)
            qFatal("no widget %s", qPrintable(nom));
        return x;
    }
    void clic(const QString& nom) { QTest::mouseClick(w(nom), Qt::LeftButton); }
    // Clicks a check box on its indicator, as the operator does.
    void coche(const QString& nom) { QTest::mouseClick(w(nom), Qt::LeftButton, {}, QPoint(7, w(nom)->height() / 2)); }
    void init()
    {
        clic("button_Init");
        QTRY_VERIFY_WITH_TIMEOUT(!p->run_en_cours, 20000); // Init goes on the run's thread
        QVERIFY(p->boitier.initialisation);
    }
    // Colour of cell (beam, position) as drawn.
    QColor cellule(const QImage& im, int f_, int j)
    {
        return im.pixelColor(VueCellules::position(f_, j) + QPoint(4, 4));
    }
    QImage vue() { return f->vue_cellules()->grab().toImage(); }
    QString pane() { return w<QPlainTextEdit>("textBox_Info")->toPlainText(); }

    sim::SimulatedBox box;
    QtOperator op;
    TestClock clock;
    TempDir dir;
    std::unique_ptr<Principale> p;
    std::unique_ptr<Fenetre> f;
};

// Answers the next modal dialog of type D once it shows.
template <class D> void repond(std::function<void(D*)> reponse)
{
    auto* t = new QTimer;
    QObject::connect(t, &QTimer::timeout, [t, reponse] {
        if (auto* d = qobject_cast<D*>(QApplication::activeModalWidget())) {
            t->stop();
            t->deleteLater();
            reponse(d);
        }
    });
    t->start(5);
}

// Widgets the operator can act on: shown and enabled, of an input kind.
QSet<QString> actifs(Fenetre& f)
{
    QSet<QString> noms;
    for (QWidget* w : f.findChildren<QWidget*>()) {
        const bool entree = qobject_cast<QAbstractButton*>(w) || qobject_cast<QAbstractSpinBox*>(w) ||
                            qobject_cast<QListWidget*>(w) || qobject_cast<QLineEdit*>(w) ||
                            qobject_cast<QPlainTextEdit*>(w);
        if (entree && w->isVisible() && w->isEnabled() && !w->objectName().isEmpty() &&
            !w->objectName().startsWith(QLatin1String("qt_")))
            noms.insert(w->objectName());
    }
    return noms;
}

const QColor ROSE(255, 20, 147), BLANC(255, 255, 255);

} // namespace

class TestFenetre : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void construction_seuls_init_et_configuration();
    void legendes_et_cases_aux_tailles_de_la_disposition();
    void init_active_tous_les_groupes();
    void enregistrement_d_une_seconde_par_clics();
    void stop_pendant_un_run_ouvert_et_couleurs_de_niveau();
    void abort_pendant_l_attente_du_declenchement();
    void fermeture_pendant_un_run_enregistre();
    void fermeture_pendant_init_attend_sa_fin();
    void pane_suit_le_modele_au_dela_de_sa_limite();
    void mode_avance_et_fichier_automatique_se_remplacent();
    void page_de_selection_propage_les_clics();
    void dialogues_repondus();
    void fenetre_d_analyse_hors_de_la_disposition_et_diagnostic_sur_la_vue();
};

void TestFenetre::legendes_et_cases_aux_tailles_de_la_disposition()
{
    Banc b;
    QVERIFY(!VueCellules::police_legendes().bold()); // not the "Micros" group's bold
    QCOMPARE(VueCellules::police_legendes().pointSize(), 8);
    for (const char* groupe :
         {"groupBox_Data_Type", "groupBox_Delay", "groupBox_FV", "groupBox_VA", "groupBox_Comment"})
        QCOMPARE(b.w(QString::fromLatin1(groupe))->font().pointSize(), 14);
    for (const char* petit : {"radioButton_Integer", "radioButton_Float", "checkBox_CptA", "checkBox_CptD",
                              "checkBox_Status", "label_dB_120", "label_dB_60", "label_dB_0"})
        QCOMPARE(b.w(QString::fromLatin1(petit))->font().pointSize(), 12);
    for (int v : {0, 7, 15})
        QCOMPARE(b.w(QStringLiteral("grid_VA_%1").arg(v))->geometry(),
                 QRect(10 + 50 * (v % 4), 20 + 20 * (v / 4), 45, 15));
    // The analogue group's caption stays clear of its side borders.
    auto* va = b.w<QGroupBox>("groupBox_VA");
    QStyleOptionGroupBox opt;
    opt.initFrom(va);
    opt.text = va->title();
    opt.textAlignment = va->alignment();
    opt.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
    const QRect titre = va->style()->subControlRect(QStyle::CC_GroupBox, &opt, QStyle::SC_GroupBoxLabel, va);
    QVERIFY2(titre.left() >= 4 && titre.right() <= va->width() - 4,
             qPrintable(QStringLiteral("%1..%2 in %3").arg(titre.left()).arg(titre.right()).arg(va->width())));
}

void TestFenetre::construction_seuls_init_et_configuration()
{
    Banc b;
    QCOMPARE(b.f->windowTitle(), QString::fromUtf8(Fenetre::TITRE));
    QCOMPARE(b.f->size(), QSize(1292, 767));
    QCOMPARE(actifs(*b.f), (QSet<QString>{"button_Init", "button_Sauv_Config", "button_Lit_Config", "button_Analyse"}));
    QVERIFY(!b.w("textBox_Info")->isEnabled());
    QVERIFY(!b.w("panel_dB")->isVisible());
    QVERIFY(!b.f->page_selection()->isVisible());
    const QImage im = b.vue();
    for (int f : {0, 63, 127})
        for (int j : {0, 7})
            QCOMPARE(b.cellule(im, f, j), ROSE);
    QCOMPARE(b.w<QListWidget>("listBox_Freq")->count(), 17);
}

void TestFenetre::init_active_tous_les_groupes()
{
    Banc b;
    b.init();
    QVERIFY(b.pane().contains(QStringLiteral("Ondaris 1024 détecté")));
    QVERIFY(b.w("textBox_Info")->isEnabled());
    // Every control on show can act; Stop is hidden.
    for (QWidget* w : b.f->findChildren<QWidget*>())
        if (w->isVisible() && !w->objectName().isEmpty() && !w->objectName().startsWith(QLatin1String("qt_")))
            QVERIFY2(w->isEnabled(), qPrintable(w->objectName()));
    QVERIFY(!b.w("button_Stop")->isVisible());
    QVERIFY(actifs(*b.f).contains("groupBox_Choix") || b.w("button_Micros")->isEnabled());
}

void TestFenetre::enregistrement_d_une_seconde_par_clics()
{
    Banc b;
    b.init();
    // No microphone, analogue channel 0 and counter A: a small file.
    b.coche("checkBox_Tous");
    b.coche("grid_VA_0");
    auto* duree = b.w<QDoubleSpinBox>("numericUpDown_Duree");
    duree->selectAll();
    QTest::keyClicks(duree, "1");
    QTest::keyClick(duree, Qt::Key_Enter);
    QCOMPARE(b.p->ctl.numericUpDown_Duree.value, 1.0);
    for (auto [nom, texte] :
         {std::pair<const char*, QString>{"textBox_Rep", QString::fromStdString(b.dir.path() + "/")},
          std::pair<const char*, QString>{"textBox_Nom_Fich", QStringLiteral("Essai")}}) {
        auto* e = b.w<QLineEdit>(nom);
        e->selectAll();
        QTest::keyClicks(e, texte);
    }
    b.clic("button_Start");
    QTRY_VERIFY_WITH_TIMEOUT(!b.p->run_en_cours, 60000);

    QCOMPARE(b.p->fin_run, static_cast<int>(FIN_COMPLETE));
    const std::vector<uint8_t> donnees = read_bytes(b.dir.file("Essai.dat"));
    QCOMPARE(donnees.size(), size_t(4) * b.p->nb_voies * 50000);
    QVERIFY(donnees == b.box.stream_copy());
    QCOMPARE(read_bytes(b.dir.file("Essai.Ond")).size(), size_t(2097));
    QVERIFY(!read_text(b.dir.file("Essai.log")).empty());
    // The window is back: everything but Stop acts, the cells are white.
    QVERIFY(b.w("button_Start")->isEnabled());
    QVERIFY(!b.w("button_Stop")->isVisible());
    QVERIFY(!b.w("panel_dB")->isVisible());
    QVERIFY(!b.w("panel_Progress")->isVisible());
    QVERIFY(b.w("groupBox_Choix")->isEnabled());
    QCOMPARE(b.cellule(b.vue(), 10, 3), BLANC);
}

void TestFenetre::stop_pendant_un_run_ouvert_et_couleurs_de_niveau()
{
    Banc b(true);
    b.init();
    b.coche("checkBox_Record");
    b.coche("checkBox_Definie");
    QImage pendant;
    bool stop_actif = false;
    // Once two packets have come (the levels shown), grab and Stop.
    QTimer attente;
    QObject::connect(&attente, &QTimer::timeout, b.f.get(), [&] {
        if (!b.p->run || b.p->run->num_pkt() < 2)
            return;
        attente.stop();
        pendant = b.vue();
        stop_actif = b.w("button_Stop")->isVisible() && b.w("button_Stop")->isEnabled() &&
                     b.w("panel_dB")->isVisible() && !b.w("button_Start")->isEnabled();
        b.clic("button_Stop");
    });
    attente.start(20);
    b.clic("button_Start");
    QTRY_VERIFY_WITH_TIMEOUT(!b.p->run_en_cours, 60000);
    QVERIFY(stop_actif);
    QCOMPARE(b.p->fin_run, static_cast<int>(FIN_STOPPEE));
    // During the run: level colours (the scene's source near beam 40 is
    // louder than the far end of the array).
    const QColor source = b.cellule(pendant, 40, 3), loin = b.cellule(pendant, 127, 7);
    for (const QColor& c : {source, loin})
        QVERIFY2(c != ROSE && c != BLANC, qPrintable(c.name()));
    QVERIFY(source.red() > loin.red() && loin.blue() > source.blue());
    // After it: pink again, the bar hidden, Start usable.
    QCOMPARE(b.cellule(b.vue(), 40, 3), ROSE);
    QVERIFY(!b.w("panel_dB")->isVisible());
    QVERIFY(b.w("button_Start")->isEnabled());
    QVERIFY(!b.w("button_Stop")->isVisible());
}

void TestFenetre::abort_pendant_l_attente_du_declenchement()
{
    Banc b;
    b.init();
    b.coche("checkBox_Record");
    b.coche("radioButton_Start_Trig1");
    QVERIFY(b.w("groupBox_Condition")->isVisible());
    bool abort_montre = false;
    b.clic("button_Start");
    // The run goes on its own thread; the window shows Abort once it waits.
    QTRY_VERIFY_WITH_TIMEOUT(b.w("button_Abort")->isVisible(), 10000);
    abort_montre = b.w("button_Abort")->isEnabled();
    b.clic("button_Abort");
    QTRY_VERIFY_WITH_TIMEOUT(!b.p->run_en_cours, 60000);
    QVERIFY(abort_montre);
    QCOMPARE(b.p->fin_run, static_cast<int>(FIN_ABANDONNEE));
    QVERIFY(b.pane().contains(QStringLiteral("Acquisition arrêtée avant le déclenchement")));
    QVERIFY(!b.w("button_Abort")->isVisible());
    QVERIFY(b.w("button_Start")->isEnabled());
}

void TestFenetre::fermeture_pendant_un_run_enregistre()
{
    Banc b(true);
    b.init();
    b.coche("checkBox_Definie");
    auto* rep = b.w<QLineEdit>("textBox_Rep");
    rep->selectAll();
    QTest::keyClicks(rep, QString::fromStdString(b.dir.path() + "/"));
    // Closed once the recording has data; where the system has them, by a
    // kill (SIGTERM), which the window takes as its close button.
    ferme_sur_demande_fin(*b.f);
    QTimer ferme;
    QObject::connect(&ferme, &QTimer::timeout, b.f.get(), [&] {
        if (b.p->run && b.p->run->num_pkt() >= 1) {
            ferme.stop();
#ifdef _WIN32
            b.f->close();
#else
            raise(SIGTERM);
#endif
        }
    });
    ferme.start(20);
    b.clic("button_Start");
    QTRY_VERIFY_WITH_TIMEOUT(!b.p->run_en_cours, 60000);
    QCOMPARE(b.p->fin_run, static_cast<int>(FIN_STOPPEE));
    QTRY_VERIFY(!b.f->isVisible());
    QVERIFY(b.p->boitier.handle == nullptr); // torn down
    // Everything the box sent is on disk, with its header and description.
    const uint64_t envoye = b.box.view().stream.bytes;
    QVERIFY(envoye > 0);
    QCOMPARE(static_cast<uint64_t>(read_bytes(b.dir.file("Test.dat")).size()), envoye);
    QCOMPARE(read_bytes(b.dir.file("Test.Ond")).size(), size_t(2097));
}

void TestFenetre::fermeture_pendant_init_attend_sa_fin()
{
    Banc b;
    // Closed while Init goes on: the link is not torn down under Init's
    // feet; the window closes once Init has finished.
    b.clic("button_Init");
    QVERIFY(b.p->run_en_cours);
    b.f->close();
    QVERIFY(b.f->isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(!b.f->isVisible(), 20000);
    QVERIFY(b.p->boitier.initialisation);
    QVERIFY(b.p->boitier.handle == nullptr);
}

void TestFenetre::pane_suit_le_modele_au_dela_de_sa_limite()
{
    Banc b;
    b.init();
    for (int i = 0; i < 2000; ++i) // past the 60 000 characters: the oldest text goes
        b.p->verb("Ligne {0:G} du panneau d'information\r\n", {i});
    b.f->applique();
    QString attendu = QString::fromStdString(b.p->pane.text);
    attendu.remove(QLatin1Char('\r'));
    QVERIFY(b.p->pane.characters() <= 60000);
    QCOMPARE(b.pane(), attendu);
    b.p->call_verb("fin\r\n");
    QVERIFY(b.pane().endsWith(QStringLiteral("fin\n")));
}

void TestFenetre::mode_avance_et_fichier_automatique_se_remplacent()
{
    Banc b;
    b.init();
    QCOMPARE(b.w("groupBox_Test")->pos(), b.w("groupBox_Nom_Fich")->pos());
    b.coche("checkBox_Test");
    QVERIFY(b.w("groupBox_Test")->isVisible());
    QVERIFY(!b.w("groupBox_Nom_Fich")->isVisible());
    QVERIFY(!b.w<QCheckBox>("checkBox_Nom_Fich")->isChecked());
    QVERIFY(b.w("button_Fichier")->isVisible());
    b.coche("checkBox_Status");
    QVERIFY(b.p->ctl.checkBox_Status.checked);

    b.coche("checkBox_Nom_Fich");
    QVERIFY(!b.w("groupBox_Test")->isVisible());
    QVERIFY(b.w("groupBox_Nom_Fich")->isVisible());
    QVERIFY(!b.w<QCheckBox>("checkBox_Test")->isChecked());
    QVERIFY(!b.w<QCheckBox>("checkBox_Status")->isChecked());
    QVERIFY(!b.w("button_Fichier")->isVisible());
}

void TestFenetre::page_de_selection_propage_les_clics()
{
    Banc b;
    b.init();
    b.clic("button_Micros");
    QWidget* page = b.f->page_selection();
    QVERIFY(page->isVisible());
    QVERIFY(!b.w("groupBox_Micros")->isVisible());
    QVERIFY(page->geometry().contains(QRect(2, 2, 1288, 763)));
    auto coche = [&](const QString& nom) { return b.w<QCheckBox>(nom)->isChecked(); };

    b.coche("grid_9_3"); // one microphone off: its beam, group and all box follow
    QVERIFY(!coche("grid_9_3") && !coche("faisceaux_T_9") && !coche("bloc_T_1") && !coche("paq_T"));
    QVERIFY(coche("faisceaux_T_8") && coche("bloc_T_0"));
    b.coche("grid_9_3");
    QVERIFY(coche("faisceaux_T_9") && coche("bloc_T_1") && coche("paq_T"));

    b.coche("bloc_T_2"); // beams 16..23 off, then beam 17 back on
    for (int f = 16; f < 24; ++f)
        for (int j = 0; j < 8; ++j)
            QVERIFY(!coche(QStringLiteral("grid_%1_%2").arg(f).arg(j)));
    b.coche("faisceaux_T_17");
    QVERIFY(coche("grid_17_0") && coche("grid_17_7") && !coche("bloc_T_2") && !coche("paq_T"));

    b.clic("button_Retour");
    QVERIFY(!page->isVisible());
    QVERIFY(!b.w<QCheckBox>("checkBox_Tous")->isChecked());
    const QImage im = b.vue();
    QCOMPARE(b.cellule(im, 16, 0), BLANC);
    QCOMPARE(b.cellule(im, 23, 7), BLANC);
    QCOMPARE(b.cellule(im, 17, 4), ROSE);
    QCOMPARE(b.cellule(im, 24, 0), ROSE);

    b.coche("checkBox_Tous"); // all on again
    QCOMPARE(b.cellule(b.vue(), 16, 0), ROSE);
    b.coche("checkBox_Tous"); // all off
    QCOMPARE(b.cellule(b.vue(), 99, 5), BLANC);
    QCOMPARE(b.p->nb_micros, 0);
}

void TestFenetre::dialogues_repondus()
{
    Banc b;
    b.init();
    // The alert box: no channel chosen.
    b.coche("checkBox_Test");
    b.coche("checkBox_CptA");
    b.coche("checkBox_Tous");
    QString alerte, titre;
    QMessageBox::Icon icone = QMessageBox::NoIcon;
    int boutons = 0;
    repond<QMessageBox>([&](QMessageBox* m) {
        alerte = m->text();
        titre = m->windowTitle();
        icone = m->icon();
        boutons = m->buttons().size();
        m->button(QMessageBox::Ok)->click();
    });
    b.clic("button_Start");
    QCOMPARE(alerte, QStringLiteral("Alerte : Pas de voie choisie !"));
    QCOMPARE(titre, QStringLiteral("Erreur"));
    QCOMPARE(icone, QMessageBox::Warning);
    QCOMPARE(boutons, 1);
    QVERIFY(b.pane().contains(QStringLiteral("Pas de voie choisie !")));

    // A .mic file saved from the page, then loaded back.
    b.coche("checkBox_Tous");
    b.clic("button_Micros");
    b.coche("bloc_T_0");
    const QString mic = QString::fromStdString(b.dir.file("choix.mic"));
    QStringList filtres;
    repond<QFileDialog>([&](QFileDialog* d) {
        filtres = d->nameFilters();
        QCOMPARE(d->acceptMode(), QFileDialog::AcceptSave);
        d->selectFile(mic);
        static_cast<QDialog*>(d)->accept();
    });
    b.clic("button_Save_Micros");
    QCOMPARE(filtres, QStringList{"micros (*.mic)"});
    const std::vector<uint8_t> octets = read_bytes(mic.toStdString());
    QCOMPARE(octets.size(), size_t(128));
    QCOMPARE(int(octets[0]), 0);
    QCOMPARE(int(octets[8]), 0xFF);
    b.clic("button_Retour");
    b.coche("checkBox_Tous");
    QCOMPARE(b.cellule(b.vue(), 3, 3), ROSE);
    repond<QFileDialog>([&](QFileDialog* d) {
        filtres = d->nameFilters();
        d->selectFile(mic);
        static_cast<QDialog*>(d)->accept();
    });
    b.clic("button_Micros_Fichier");
    QCOMPARE(filtres, QStringList{"micros (*.mic)"});
    QCOMPARE(b.cellule(b.vue(), 3, 3), BLANC);
    QCOMPARE(b.cellule(b.vue(), 8, 0), ROSE);

    // The folder dialog on a double click in "Répertoire".
    b.coche("checkBox_Nom_Fich");
    const QString dossier = QString::fromStdString(b.dir.path());
    repond<QFileDialog>([&](QFileDialog* d) {
        QCOMPARE(d->fileMode(), QFileDialog::Directory);
        d->selectFile(dossier);
        static_cast<QDialog*>(d)->accept();
    });
    QTest::mouseDClick(b.w("textBox_Rep"), Qt::LeftButton);
    QCOMPARE(b.w<QLineEdit>("textBox_Rep")->text(), dossier);
    QCOMPARE(QString::fromStdString(b.p->nom_dir).chopped(1), dossier);

    // A cancelled save dialog for the configuration writes nothing.
    repond<QFileDialog>([&](QFileDialog* d) {
        filtres = d->nameFilters();
        d->reject();
    });
    b.clic("button_Sauv_Config");
    QCOMPARE(filtres, QStringList{"configuration (*.txt)"});
}

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    prepare_application(app);
    TestFenetre t;
    return QTest::qExec(&t, argc, argv);
}

void TestFenetre::fenetre_d_analyse_hors_de_la_disposition_et_diagnostic_sur_la_vue()
{
    Banc b;
    // The button sits where no control of the layout is drawn (the
    // selection page, raised when shown, covers it).
    QWidget* bouton = b.w("button_Analyse");
    for (QWidget* w : b.f->findChildren<QWidget*>()) {
        if (w == bouton || !w->isVisible() || w->objectName().isEmpty() ||
            w->objectName() == QLatin1String("groupBox_Micros") || w->isAncestorOf(bouton) || bouton->isAncestorOf(w))
            continue;
        const QRect r(w->mapTo(b.f.get(), QPoint(0, 0)), w->size());
        QVERIFY2(!r.intersects(bouton->geometry()), qPrintable(w->objectName()));
    }

    b.init();
    sim::Options o = b.box.options();
    o.keep_copy = false;
    sim::parse_faults("3:muet,17:sature,200:bruit,511:continu,700:fige", o.scene.faults);
    b.box.set_options(o);
    b.clic("button_Analyse");
    FenetreAnalyse* a = b.f->fenetre_analyse();
    QVERIFY(a && a->isVisible());
    QTest::mouseClick(a->findChild<QPushButton*>("button_Diagnostic"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!b.p->run_en_cours, 30000);
    QTRY_COMPARE_WITH_TIMEOUT(a->findChild<QTableWidget*>("table_Signales")->rowCount(), 5, 5000);
    // Flagged cells crossed out in black, the others as they were.
    const QImage im = b.vue();
    QCOMPARE(b.cellule(im, 511 / 8, 511 % 8), QColor(Qt::black));
    QCOMPARE(b.cellule(im, 512 / 8, 512 % 8), ROSE);
    QVERIFY(b.p->ctl.grid[700 / 8][700 % 8].checked);

    // One action deselects them all.
    QVERIFY(a->findChild<QPushButton*>("button_Deselectionne")->isEnabled());
    QTest::mouseClick(a->findChild<QPushButton*>("button_Deselectionne"), Qt::LeftButton);
    QVERIFY(!b.p->ctl.grid[700 / 8][700 % 8].checked);
    QCOMPARE(b.p->nb_micros, 1019);

    // A cell clicked shows its microphone's spectrum.
    QTest::mouseClick(b.f->vue_cellules(), Qt::LeftButton, {}, VueCellules::position(54, 2) + QPoint(4, 4));
    QCOMPARE(b.p->micro_spectre, 8 * 54 + 2);
    QCOMPARE(a->onglets()->currentIndex(), int(FenetreAnalyse::SPECTRE));

    // It closes with the main window: nothing keeps the program open.
    QVERIFY(b.f->close());
    QVERIFY(!a->isVisible());
}

#include "fenetre_test.moc"
