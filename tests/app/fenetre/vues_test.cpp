// The live map's and spectrum's widgets on the offscreen platform: clicks
// read back as bands, points and microphones; the viewpoint's caption and
// the mirrored x of the map as drawn.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QSpinBox>
#include <QHelpEvent>
#include <QLabel>
#include <QPushButton>
#include <QToolTip>
#include <QSignalSpy>
#include <QtTest>
#include <cmath>

#include "app/fenetre/application.h"
#include "app/fenetre/page_carte.h"
#include "app/fenetre/page_spectre.h"
#include "app/fenetre/vue_carte.h"
#include "app/fenetre/vue_spectre.h"
#include "app/fenetre/vue_cellules.h"
#include "analyse/sante.h"

namespace {

// A 21 x 21 map over 1 m whose maximum is at (0.3, 0.1), with four
// microphones at the corners of a 0.8 m square and one in the middle.
ImageCarte carte(Geometrie& g)
{
    g = {{-0.4, -0.4, 0}, {0.4, -0.4, 0}, {-0.4, 0.4, 0}, {0.4, 0.4, 0}, {0, 0, 0}};
    ImageCarte c;
    c.grille.nx = c.grille.ny = 21;
    c.micros = {0, 1, 2, 3, 4};
    for (int j = 0; j < 21; ++j)
        for (int i = 0; i < 21; ++i) {
            const Point3 p = c.grille.point(i, j);
            c.niveaux.push_back(80 - 40 * std::hypot(p.x - 0.3, p.y - 0.1));
        }
    c.i_max = 16, c.j_max = 12;
    c.x_max = 0.3, c.y_max = 0.1, c.niveau_max = 80;
    c.instantanes = 8;
    return c;
}

bool blanc(const QImage& im, QPointF p)
{
    const QColor c = im.pixelColor(p.toPoint());
    return c.red() > 240 && c.green() > 240 && c.blue() > 240;
}

} // namespace

class TestVues : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void clic_sur_une_barre_donne_sa_bande();
    void point_de_vue_renverse_x_et_sa_legende();
    void bande_choisie_hors_de_la_page();
    void cellule_signalee_nomme_ses_defauts();
    void diagonale_choisie_et_maximum_au_bord_dit();
    void point_clique_ecoute_et_distance_trouvee();
    void grille_et_propagation_choisies();
};

// A flagged cell's tooltip names its faults, each by its word.
void TestVues::cellule_signalee_nomme_ses_defauts()
{
    VueCellules v(nullptr);
    v.resize(760, 950);
    v.show();
    QVERIFY(QTest::qWaitForWindowExposed(&v));
    std::array<unsigned, 1024> s{};
    s[8 * 40 + 3] = COUPURE | INVERSE;
    v.signales(s);
    const QPoint p = VueCellules::position(40, 3) + QPoint(2, 2);
    QCOMPARE(VueCellules::micro_en(p), 8 * 40 + 3);
    QHelpEvent e(QEvent::ToolTip, p, v.mapToGlobal(p));
    QApplication::sendEvent(&v, &e);
    QCOMPARE(QToolTip::text(), QStringLiteral("Micro 323 : coupures, polarité inversée"));
}

void TestVues::clic_sur_une_barre_donne_sa_bande()
{
    PageSpectre page;
    page.resize(760, 480);
    SpectreMicro s;
    s.micro = 12;
    s.segments = 10;
    s.resolution = 50000.0 / 4096;
    s.densite.assign(2049, 20.0);
    s.bandes = bandes_tiers_octave(25000);
    for (const Bande& b : s.bandes)
        s.niveaux.push_back(b.nominale == 1000 ? 90 : 50);
    page.montre(s);
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    QSignalSpy bandes(&page, &PageSpectre::bande_cliquee);
    VueSpectre* v = page.vue();
    for (double f : {1000.0, 125.0}) {
        const QRectF b = v->barre(f);
        QVERIFY(!b.isEmpty());
        QTest::mouseClick(v, Qt::LeftButton, {}, b.center().toPoint());
    }
    // Above a short bar, in its column, still names it.
    QTest::mouseClick(v, Qt::LeftButton, {}, QPoint(int(v->barre(4000).center().x()), int(v->barre(1000).top())));
    QCOMPARE(bandes.size(), 3);
    QCOMPARE(bandes[0][0].toDouble(), 1000.0);
    QCOMPARE(bandes[1][0].toDouble(), 125.0);
    QCOMPARE(bandes[2][0].toDouble(), 4000.0);
    // The 1 kHz bar stands higher than its neighbours as drawn.
    QVERIFY(v->barre(1000).top() < v->barre(800).top() - 50);
}

void TestVues::point_de_vue_renverse_x_et_sa_legende()
{
    PageCarte page;
    page.resize(1000, 600);
    Geometrie g;
    const ImageCarte c = carte(g);
    page.vue()->geometrie(g);
    page.montre(c);
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    VueCarte* v = page.vue();
    QSignalSpy reglages(&page, &PageCarte::reglages);
    QSignalSpy points(v, &VueCarte::point_clique), micros(v, &VueCarte::micro_clique);

    const double milieu = v->ecran(0, 0).x();
    QCOMPARE(v->legende(), QStringLiteral("Vue de face (depuis la source)"));
    const QPointF face = v->ecran(0.3, 0.1);
    QVERIFY(face.x() > milieu + 50);
    QVERIFY(blanc(v->grab().toImage(), face));

    page.findChild<QComboBox*>(QStringLiteral("point_de_vue"))->setCurrentIndex(1);
    QCOMPARE(reglages.size(), 1);
    QVERIFY(reglages[0][0].value<ReglagesCarte>().derriere);
    QCOMPARE(v->legende(), QStringLiteral("Vue de dos (derrière l'antenne)"));
    const QPointF dos = v->ecran(0.3, 0.1);
    QVERIFY(std::fabs(dos.x() - (2 * milieu - face.x())) < 1);
    QCOMPARE(dos.y(), face.y());
    const QImage im = v->grab().toImage();
    QVERIFY(blanc(im, dos));
    QVERIFY(!blanc(im, face));

    // Clicks read the plane through the mirror: near microphone 1 (0.4, -0.4).
    QTest::mouseClick(v, Qt::LeftButton, {}, v->ecran(0.38, -0.37).toPoint());
    QCOMPARE(points.size(), 1);
    QVERIFY(std::fabs(points[0][0].toDouble() - 0.38) < 0.01);
    QVERIFY(std::fabs(points[0][1].toDouble() + 0.37) < 0.01);
    QCOMPARE(micros.size(), 1);
    QCOMPARE(micros[0][0].toInt(), 1);
}

void TestVues::bande_choisie_hors_de_la_page()
{
    PageCarte page;
    QSignalSpy reglages(&page, &PageCarte::reglages);
    page.frequence(10000); // third-octaves up to 4 kHz
    page.findChild<QComboBox*>(QStringLiteral("largeur_bande"))->setCurrentIndex(1);
    QCOMPARE(page.reglages_courants().bande, 1000.0);
    QVERIFY(page.reglages_courants().octave);
    // A third-octave from the spectrum: back to third-octaves.
    page.bande(630);
    QCOMPARE(page.reglages_courants().bande, 630.0);
    QVERIFY(!page.reglages_courants().octave);
    // Beyond the rate's bands: the nearest one.
    page.bande(8000);
    QCOMPARE(page.reglages_courants().bande, 4000.0);
    QCOMPARE(reglages.size(), 3);
}

// The microphones' own terms are left out unless unticked, the setting
// reaching the analysis; a maximum on the grid's border is warned of in
// red under the maximum's line.
void TestVues::diagonale_choisie_et_maximum_au_bord_dit()
{
    PageCarte page;
    page.resize(1000, 600);
    QVERIFY(page.reglages_courants().sans_diagonale);
    QSignalSpy reglages(&page, &PageCarte::reglages);
    page.findChild<QCheckBox*>(QStringLiteral("sans_diagonale"))->setChecked(false);
    QCOMPARE(reglages.size(), 1);
    QVERIFY(!reglages[0][0].value<ReglagesCarte>().sans_diagonale);

    Geometrie g;
    ImageCarte c = carte(g);
    page.vue()->geometrie(g);
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    const auto rouges = [&] {
        const QImage im = page.vue()->grab().toImage();
        int n = 0;
        for (int y = 66; y < 86; ++y)
            for (int x = 0; x < im.width(); ++x) {
                const QColor k = im.pixelColor(x, y);
                n += k.red() > 200 && k.green() < 60 && k.blue() < 60;
            }
        return n;
    };
    page.montre(c);
    QCOMPARE(rouges(), 0);
    c.i_max = 20; // on the right-hand edge
    c.x_max = c.grille.point(20, c.j_max).x;
    page.montre(c);
    QVERIFY(rouges() > 100);
}

// A click on the map chooses the point (marked, said, its button enabled);
// "Écouter ce point…" asks for it; a job running disables both buttons;
// the distance found becomes the map's z.
void TestVues::point_clique_ecoute_et_distance_trouvee()
{
    PageCarte page;
    page.resize(1000, 600);
    Geometrie g;
    page.vue()->geometrie(g);
    page.montre(carte(g));
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    auto* ecoute = page.findChild<QPushButton*>(QStringLiteral("ecoute_point"));
    auto* distance = page.findChild<QPushButton*>(QStringLiteral("distance_auto"));
    QVERIFY(ecoute && distance);
    QVERIFY(!ecoute->isEnabled());
    QVERIFY(distance->isEnabled());
    QSignalSpy ecoutes(&page, &PageCarte::ecoute), distances(&page, &PageCarte::distance_demandee),
        reglages(&page, &PageCarte::reglages);

    const QImage avant = page.vue()->grab().toImage();
    const QPointF ici = page.vue()->ecran(-0.2, 0.25);
    QTest::mouseClick(page.vue(), Qt::LeftButton, {}, ici.toPoint());
    QVERIFY(page.point_choisi());
    QVERIFY(std::fabs(page.x_choisi() + 0.2) < 0.01 && std::fabs(page.y_choisi() - 0.25) < 0.01);
    QCOMPARE(page.findChild<QLabel*>(QStringLiteral("point_choisi"))->text(),
             QStringLiteral("Point : x = %1 m, y = %2 m")
                 .arg(QLocale(QLocale::French).toString(page.x_choisi(), 'f', 3),
                      QLocale(QLocale::French).toString(page.y_choisi(), 'f', 3)));
    const QImage apres = page.vue()->grab().toImage();
    const QColor bord = apres.pixelColor((ici + QPointF(6, 0)).toPoint());
    QVERIFY(bord != avant.pixelColor((ici + QPointF(6, 0)).toPoint()));
    QVERIFY(ecoute->isEnabled());
    QTest::mouseClick(ecoute, Qt::LeftButton);
    QCOMPARE(ecoutes.size(), 1);
    QCOMPARE(ecoutes[0][0].toDouble(), page.x_choisi());
    QCOMPARE(ecoutes[0][1].toDouble(), page.y_choisi());

    page.tache(true, QStringLiteral("Recherche de la distance…"));
    QVERIFY(!ecoute->isEnabled() && !distance->isEnabled());
    page.tache(false, QStringLiteral("fini"));
    QTest::mouseClick(distance, Qt::LeftButton);
    QCOMPARE(distances.size(), 1);
    page.distance(1.5);
    QCOMPARE(page.reglages_courants().z, 1.5);
    QCOMPARE(reglages.size(), 1);
}

// The grid's extent and step, the snapshots, the speed of sound from the
// air and the level's reference reach the analysis as set; the values not
// chosen are left out (0: the aperture, the band's step).
void TestVues::grille_et_propagation_choisies()
{
    PageCarte page;
    const ReglagesCarte defaut = page.reglages_courants();
    QCOMPARE(defaut.n, 0);
    QCOMPARE(defaut.pas, 0.0);
    QCOMPARE(defaut.points, 0);
    QVERIFY(defaut == ReglagesCarte());
    auto* pas = page.findChild<QDoubleSpinBox*>(QStringLiteral("pas_grille"));
    auto* n = page.findChild<QSpinBox*>(QStringLiteral("grille_n"));
    auto* x0 = page.findChild<QDoubleSpinBox*>(QStringLiteral("etendue_x0"));
    QVERIFY(pas && n && x0);
    QVERIFY(!pas->isEnabled() && !n->isEnabled() && !x0->isEnabled());
    QSignalSpy reglages(&page, &PageCarte::reglages);

    page.findChild<QComboBox*>(QStringLiteral("etendue"))->setCurrentIndex(1);
    x0->setValue(-1);
    page.findChild<QDoubleSpinBox*>(QStringLiteral("etendue_x1"))->setValue(1.5);
    page.findChild<QDoubleSpinBox*>(QStringLiteral("etendue_y0"))->setValue(-0.6);
    page.findChild<QDoubleSpinBox*>(QStringLiteral("etendue_y1"))->setValue(0.8);
    page.findChild<QComboBox*>(QStringLiteral("mode_grille"))->setCurrentIndex(1);
    QVERIFY(pas->isEnabled() && !n->isEnabled());
    pas->setValue(0.04);
    auto* instantane = page.findChild<QComboBox*>(QStringLiteral("instantane"));
    instantane->setCurrentIndex(instantane->findData(4096));
    page.findChild<QComboBox*>(QStringLiteral("propagation"))->setCurrentIndex(1);
    page.findChild<QDoubleSpinBox*>(QStringLiteral("temperature"))->setValue(-5);
    page.findChild<QComboBox*>(QStringLiteral("reference_niveau"))->setCurrentIndex(1);
    QVERIFY(reglages.size() >= 10);
    ReglagesCarte r = reglages.last()[0].value<ReglagesCarte>();
    QVERIFY(r == page.reglages_courants());
    QCOMPARE(r.x0, -1.0);
    QCOMPARE(r.x1, 1.5);
    QCOMPARE(r.y0, -0.6);
    QCOMPARE(r.y1, 0.8);
    QCOMPARE(r.pas, 0.04);
    QCOMPARE(r.n, 0);
    QCOMPARE(r.points, 4096);
    QVERIFY(r.selon_temperature);
    QCOMPARE(r.temperature, -5.0);
    QCOMPARE(r.celerite_son(), celerite_air(-5));
    QVERIFY(r.reference == ReferenceNiveau::Source);

    // Points per side rather than a step; the aperture again.
    page.findChild<QComboBox*>(QStringLiteral("mode_grille"))->setCurrentIndex(2);
    n->setValue(61);
    page.findChild<QComboBox*>(QStringLiteral("etendue"))->setCurrentIndex(0);
    r = reglages.last()[0].value<ReglagesCarte>();
    QCOMPARE(r.n, 61);
    QCOMPARE(r.pas, 0.0);
    QVERIFY(r.x0 == 0 && r.x1 == 0 && r.y0 == 0 && r.y1 == 0);
    QVERIFY(!x0->isEnabled());
    QVERIFY(r.selon_temperature && r.points == 4096);
}

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    prepare_application(app);
    TestVues t;
    return QTest::qExec(&t, argc, argv);
}

#include "vues_test.moc"
