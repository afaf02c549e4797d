#ifdef ONDARIS_FFTW

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "analyse/acoustique.h"
#include "analyse/carte_directe.h"
#include "analyse/sante.h"
#include "files/geometrie.h"
#include "simulator/frame_source.h"

namespace {

// The simulated box's frames of broadband noise from one point source over
// its own array: every microphone and counter A, int32 samples at 50 kHz.
struct Scene {
    Geometrie g;
    std::vector<int32_t> codes;
    std::vector<uint32_t> mots; // kPointTableFrames frames

    Scene(double x, double y)
    {
        std::string erreur;
        EXPECT_EQ(lit_geometrie(ONDARIS_SOURCES "/data/geometrie-simulateur.xml", g, erreur), 0) << erreur;
        sim::FrameSource::Params p;
        p.settings.selection.beams.fill(0xFF);
        p.settings.selection.blocks[0] = 0x80;
        p.scene.points = {sim::PointSource{x, y, 1.0, 0, 94}};
        p.scene.geometry = g;
        sim::FrameSource source(p);
        for (const sim::Word& w : source.layout())
            codes.push_back(w.kind == sim::Word::Microphone ? w.index : 3000 + w.index);
        mots.resize(size_t(sim::kPointTableFrames) * codes.size());
        source.write(0, reinterpret_cast<unsigned char*>(mots.data()), mots.size() * 4);
    }
    size_t trames() const { return mots.size() / codes.size(); }
};

// The live map finds a source within a grid step, and follows it when it
// moves; frames that do not follow the previous ones (a gap) cost a
// snapshot, not the map.
TEST(CarteDirecte, MaximumOnTheSourceAndFollowsIt)
{
    ReglagesCarte r;
    r.bande = 2000;
    r.moyenne = 0.25; // 12 500 frames
    for (auto [x, y] : {std::pair<double, double>{0.2, -0.1}, {-0.3, 0.25}}) {
        const Scene s(x, y);
        CarteDirecte c(s.g, s.codes, false, 50000, {}, {}, r);
        ASSERT_TRUE(c.valide()) << c.erreur();
        EXPECT_EQ(c.micros().size(), 1024u);
        // 12 500 frames in blocks of 3000 from the table, a gap after the second.
        size_t donnees = 0, bloc = 0;
        while (!c.nouvelle()) {
            ASSERT_LT(donnees, 20000u);
            const size_t debut = (bloc * 3000) % (s.trames() - 3000);
            c.ajoute(s.mots.data() + debut * s.codes.size(), 3000, bloc != 2);
            donnees += 3000, ++bloc;
        }
        EXPECT_EQ(donnees, 15000u);
        const ImageCarte im = c.derniere();
        EXPECT_FALSE(c.nouvelle());
        EXPECT_FALSE(im.calibre);
        EXPECT_GE(im.instantanes, 5);
        EXPECT_NEAR(im.x_max, x, im.grille.pas_x() * 1.01) << y;
        EXPECT_NEAR(im.y_max, y, im.grille.pas_y() * 1.01) << x;
        EXPECT_NEAR(im.f_basse, 1778, 1);
        ASSERT_EQ(im.niveaux.size(), 41u * 41u);
        EXPECT_EQ(im.niveau_max, im.niveaux[size_t(im.j_max * 41 + im.i_max)]);
    }
}

// The maps of a stream in blocks of every size, with a gap, are those of a
// Formation fed the snapshots the plain rule takes: all frames converted
// and cut into snapshots overlapping by half, and of those completed in a
// period the ones with 0, k, 2k... completed before them there. At 50 kHz
// one in three (int32 counts); at 16 kHz every one, so that overlapping
// snapshots are both taken (float32 samples with factors). The first maps
// leave the microphones' own terms out (the default), the second keep them.
TEST(CarteDirecte, MapsOfTheSnapshotsTheRuleTakes)
{
    Geometrie g;
    std::string erreur;
    ASSERT_EQ(lit_geometrie(ONDARIS_SOURCES "/data/geometrie-simulateur.xml", g, erreur), 0) << erreur;
    std::vector<int32_t> codes{3000};
    for (int m = 0; m < 48; ++m)
        codes.push_back((m * 37) % 1024);
    std::vector<int32_t> micros, colonnes;
    micros_du_cadre(codes, micros, colonnes);
    std::vector<double> facteurs(1024);
    for (int m = 0; m < 1024; ++m)
        facteurs[size_t(m)] = 1e-3 * (1 + m % 7);
    for (const bool flottant : {false, true}) {
        const double fs = flottant ? 16000 : 50000;
        ReglagesCarte r;
        r.bande = 4000;
        r.n = 11;
        r.moyenne = 0.25;
        r.sans_diagonale = !flottant;
        const std::vector<double> f = flottant ? facteurs : std::vector<double>{};
        CarteDirecte c(g, codes, flottant, fs, {}, f, r);
        ASSERT_TRUE(c.valide()) << c.erreur();
        EXPECT_EQ(c.un_sur(), flottant ? 1 : 3);
        const int POINTS_CARTE = c.points();
        EXPECT_EQ(POINTS_CARTE, POINTS_INSTANTANE);
        const size_t periode = size_t(std::lround(r.moyenne * fs)), total = 3 * periode + 700;
        const size_t nm = codes.size(), gap = periode + 2000;
        std::mt19937 gen(7);
        std::normal_distribution<float> bruit(0, 1000);
        std::vector<uint32_t> mots(total * nm);
        for (uint32_t& v : mots) {
            const float x = bruit(gen);
            const int32_t n = int32_t(x);
            std::memcpy(&v, flottant ? static_cast<const void*>(&x) : &n, 4);
        }
        std::vector<std::vector<double>> cartes;
        for (size_t t = 0, k = 0; t < total; ++k) {
            const size_t n = std::min({total - t, size_t(1) + (k * 977) % 5000, t < gap ? gap - t : total});
            c.ajoute(mots.data() + t * nm, n, t != gap);
            if (c.nouvelle())
                cartes.push_back(c.derniere().niveaux);
            t += n;
        }
        ASSERT_EQ(cartes.size(), 3u);

        // The plain rule.
        Formation reference(fs, g, c.micros(), c.derniere().f_basse, c.derniere().f_haute,
                            grille_ouverture(g, c.micros(), r.z, r.n), POINTS_CARTE);
        std::vector<float> fm;
        for (int32_t m : micros)
            fm.push_back(flottant ? float(facteurs[size_t(m)]) : 1.0f);
        std::vector<int> mot(colonnes.begin(), colonnes.end());
        std::vector<float> instantane(size_t(POINTS_CARTE) * nm);
        size_t carte = 0, troncon = 0, vus = 0;
        for (size_t t = 0; t < total; ++t) {
            if (t == gap)
                troncon = 0;
            ++troncon;
            if (troncon >= size_t(POINTS_CARTE) && (troncon - POINTS_CARTE) % (POINTS_CARTE / 2) == 0) {
                if (vus++ % size_t(c.un_sur()) == 0) {
                    for (size_t u = 0; u < size_t(POINTS_CARTE); ++u)
                        for (size_t w = 0; w < nm; ++w) {
                            const uint32_t v = mots[(t + 1 - POINTS_CARTE + u) * nm + w];
                            float x;
                            if (flottant)
                                std::memcpy(&x, &v, 4);
                            else
                                x = float(int32_t(v));
                            instantane[u * nm + w] = x;
                        }
                    reference.ajoute(instantane.data(), int(nm), mot, flottant ? fm : std::vector<float>{});
                }
            }
            if ((t + 1) % periode == 0) {
                vus = 0;
                if (reference.instantanes() == 0)
                    continue;
                const std::vector<double> m = r.sans_diagonale ? reference.carte_sans_diagonale() : reference.carte();
                reference.remet();
                ASSERT_LT(carte, cartes.size());
                ASSERT_EQ(cartes[carte].size(), m.size());
                const double ref = flottant ? PRESSION_REFERENCE * PRESSION_REFERENCE : 1.0;
                for (size_t p = 0; p < m.size(); ++p)
                    ASSERT_DOUBLE_EQ(cartes[carte][p], 10 * std::log10(std::max(m[p], 1e-30) / ref))
                        << "map " << carte << " point " << p;
                ++carte;
            }
        }
        EXPECT_EQ(carte, cartes.size());
    }
}

// The first map of a scene's frames.
ImageCarte premiere(const Scene& s, const ReglagesCarte& r)
{
    CarteDirecte c(s.g, s.codes, false, 50000, {}, {}, r);
    EXPECT_TRUE(c.valide()) << c.erreur();
    if (!c.valide())
        return {};
    // Blocks of 3000 frames round the table, a gap where it wraps.
    for (size_t k = 0, fin = 0; !c.nouvelle() && k < 20; ++k) {
        const size_t debut = (k * 3000) % (s.trames() - 3000);
        c.ajoute(s.mots.data() + debut * s.codes.size(), 3000, debut == fin);
        fin = debut + 3000;
    }
    EXPECT_TRUE(c.nouvelle());
    return c.derniere();
}

// A source beyond the aperture: the aperture's map puts its maximum on the
// border, a map over a wider extent at a given step finds it within a step;
// an n x n grid keeps that extent.
TEST(CarteDirecte, ExtentAndStepAskedFindASourceOutsideTheAperture)
{
    const Scene s(0.8, 0.1);
    ReglagesCarte r;
    r.bande = 2000;
    r.moyenne = 0.25;
    const ImageCarte ouverture = premiere(s, r);
    ASSERT_FALSE(ouverture.niveaux.empty());
    EXPECT_TRUE(au_bord(ouverture.grille, ouverture.i_max, ouverture.j_max));
    EXPECT_NEAR(ouverture.grille.x1, 0.5, 1e-3);

    r.x0 = -0.2, r.x1 = 1.2, r.y0 = -0.4, r.y1 = 0.4;
    r.pas = 0.05;
    const ImageCarte large = premiere(s, r);
    ASSERT_FALSE(large.niveaux.empty());
    EXPECT_EQ(large.grille.nx, 29);
    EXPECT_EQ(large.grille.ny, 17);
    EXPECT_NEAR(large.grille.pas_x(), 0.05, 1e-12);
    EXPECT_FALSE(au_bord(large.grille, large.i_max, large.j_max));
    EXPECT_NEAR(large.x_max, 0.8, 0.05 * 1.01);
    EXPECT_NEAR(large.y_max, 0.1, 0.05 * 1.01);
    EXPECT_EQ(large.points, POINTS_INSTANTANE);
    EXPECT_FALSE(large.grille_limitee);

    r.pas = 0;
    r.n = 21;
    r.points = 4096;
    const ImageCarte n = premiere(s, r);
    ASSERT_FALSE(n.niveaux.empty());
    EXPECT_EQ(n.grille.nx, 21);
    EXPECT_EQ(n.grille.x0, -0.2);
    EXPECT_EQ(n.grille.y1, 0.4);
    EXPECT_EQ(n.points, 4096);
    EXPECT_NEAR(n.x_max, 0.8, n.grille.pas_x() * 1.01);
}

// Levels at 1 m from the source: every point's level at the centre raised
// by 20 log10(r0 / 1 m), r0 its distance to the centre of the microphones
// used (here the array's whole, centred on 0 in its plane).
TEST(CarteDirecte, LevelsReferredToOneMetreFromTheSource)
{
    const Scene s(0.3, -0.2);
    ReglagesCarte r;
    r.bande = 2000;
    r.moyenne = 0.25;
    r.n = 11;
    r.sans_diagonale = false; // every mean square positive, every level a number
    const ImageCarte centre = premiere(s, r);
    r.reference = ReferenceNiveau::Source;
    const ImageCarte source = premiere(s, r);
    ASSERT_EQ(centre.niveaux.size(), 121u);
    ASSERT_EQ(source.niveaux.size(), 121u);
    EXPECT_EQ(source.reglages.reference, ReferenceNiveau::Source);
    Point3 c;
    for (const Point3& p : s.g) {
        c.x += p.x / double(s.g.size());
        c.y += p.y / double(s.g.size());
        c.z += p.z / double(s.g.size());
    }
    for (int j = 0; j < 11; ++j)
        for (int i = 0; i < 11; ++i) {
            const Point3 p = centre.grille.point(i, j);
            const double r0 =
                std::sqrt((p.x - c.x) * (p.x - c.x) + (p.y - c.y) * (p.y - c.y) + (p.z - c.z) * (p.z - c.z));
            const size_t k = size_t(j * 11 + i);
            EXPECT_NEAR(source.niveaux[k] - centre.niveaux[k], 20 * std::log10(r0), 1e-9) << i << ", " << j;
        }
    // The source's own point at its distance, as the map of a recording has it.
    std::vector<double> un(121, 1.0);
    refere_niveaux(s.g, source.micros, source.grille, ReferenceNiveau::Source, un);
    const size_t k = size_t(source.j_max * 11 + source.i_max);
    EXPECT_NEAR(source.niveau_max, centre.niveaux[k] + 10 * std::log10(un[k]), 1e-9);
}

// Sound from the air's temperature: the same map as at that speed given,
// another at 343 m/s.
TEST(CarteDirecte, SpeedOfSoundGivenOrFromTemperature)
{
    const Scene s(0.2, 0.1);
    ReglagesCarte r;
    r.bande = 4000;
    r.moyenne = 0.25;
    r.n = 11;
    r.celerite = celerite_air(-10);
    const ImageCarte donnee = premiere(s, r);
    r.celerite = CELERITE_SON;
    r.selon_temperature = true;
    r.temperature = -10;
    const ImageCarte air = premiere(s, r);
    r.selon_temperature = false;
    const ImageCarte defaut = premiere(s, r);
    ASSERT_EQ(air.niveaux.size(), 121u);
    EXPECT_EQ(air.niveaux, donnee.niveaux);
    EXPECT_NEAR(air.celerite, 325.2, 0.05);
    EXPECT_NE(air.niveaux, defaut.niveaux);
    EXPECT_EQ(defaut.celerite, CELERITE_SON);
}

// A live map's grid is bounded: the default step at 16 kHz over a wide
// extent is made coarser to fit, a step asked beyond it is refused.
TEST(CarteDirecte, GridBoundedForLiveUse)
{
    const Scene s(0, 0);
    ReglagesCarte r;
    r.bande = 16000;
    r.moyenne = 0.25;
    r.x0 = -1.5, r.x1 = 1.5, r.y0 = -1.5, r.y1 = 1.5;
    const ImageCarte c = premiere(s, r);
    EXPECT_TRUE(c.grille_limitee);
    EXPECT_LE(double(c.grille.nx) * c.grille.ny * 1024, PLAFOND_POINTS_MICROS_DIRECT);
    EXPECT_GE(c.grille.nx, 95);
    EXPECT_EQ(c.grille.x0, -1.5);
    r.pas = 0.01;
    CarteDirecte fin(s.g, s.codes, false, 50000, {}, {}, r);
    EXPECT_FALSE(fin.valide());
    EXPECT_NE(fin.erreur().find("301 x 301 points sur 1024 micros"), std::string::npos) << fin.erreur();
    EXPECT_NE(fin.erreur().find("159 Mio"), std::string::npos) << fin.erreur();
}

// Two settings are the same only when every field is.
TEST(CarteDirecte, SettingsEqualOnEveryField)
{
    const std::vector<void (*)(ReglagesCarte&)> changes = {
        [](ReglagesCarte& r) { r.bande = 2000; },    [](ReglagesCarte& r) { r.octave = true; },
        [](ReglagesCarte& r) { r.n = 21; },          [](ReglagesCarte& r) { r.z = 2; },
        [](ReglagesCarte& r) { r.moyenne = 1; },     [](ReglagesCarte& r) { r.dynamique = 20; },
        [](ReglagesCarte& r) { r.derriere = true; }, [](ReglagesCarte& r) { r.sans_diagonale = false; },
        [](ReglagesCarte& r) { r.x0 = -1; },         [](ReglagesCarte& r) { r.x1 = 1; },
        [](ReglagesCarte& r) { r.y0 = -1; },         [](ReglagesCarte& r) { r.y1 = 1; },
        [](ReglagesCarte& r) { r.pas = 0.02; },      [](ReglagesCarte& r) { r.points = 4096; },
        [](ReglagesCarte& r) { r.celerite = 340; },  [](ReglagesCarte& r) { r.selon_temperature = true; },
        [](ReglagesCarte& r) { r.temperature = 5; }, [](ReglagesCarte& r) { r.reference = ReferenceNiveau::Source; },
    };
    for (size_t k = 0; k < changes.size(); ++k) {
        ReglagesCarte r;
        changes[k](r);
        EXPECT_NE(r, ReglagesCarte()) << k;
        EXPECT_FALSE(r == ReglagesCarte()) << k;
    }
    EXPECT_EQ(ReglagesCarte(), ReglagesCarte());
}

TEST(CarteDirecte, Refusals)
{
    const Scene s(0, 0);
    auto erreur = [&](ReglagesCarte r, const std::vector<int>& exclus = {}) {
        CarteDirecte c(s.g, s.codes, false, 50000, exclus, {}, r);
        return c.erreur();
    };
    ReglagesCarte r;
    EXPECT_EQ(erreur(r), "");
    r.bande = 1100;
    EXPECT_EQ(erreur(r), "pas de bande de tiers d'octave de 1100 Hz sous 25000 Hz");
    r.bande = 20000;
    r.octave = true; // 16 kHz is the last octave below 25 kHz
    EXPECT_EQ(erreur(r), "pas de bande d'octave de 20000 Hz sous 25000 Hz");
    r = ReglagesCarte();
    r.bande = 25; // 22 to 28 Hz: snapshots long enough to hold lines of it
    EXPECT_EQ(erreur(r), "");
    r = ReglagesCarte();
    r.n = 102;
    EXPECT_NE(erreur(r), "");
    // Each setting out of range, named in French.
    const std::vector<std::pair<void (*)(ReglagesCarte&), const char*>> hors = {
        {[](ReglagesCarte& x) { x.n = 5; }, "grille de 5 points de côté (11 à 101)"},
        {[](ReglagesCarte& x) { x.pas = -0.1; }, "pas de grille de -0.1 m (positif)"},
        {[](ReglagesCarte& x) { x.x0 = 0.5, x.x1 = -0.5; }, "étendue en x de 0.5 à -0.5 m (minimum sous le maximum)"},
        {[](ReglagesCarte& x) { x.y1 = NAN; }, "étendue en y de 0 à nan m (minimum sous le maximum)"},
        {[](ReglagesCarte& x) { x.x0 = -200, x.x1 = 200; }, "grille en x : au-delà de"},
        {[](ReglagesCarte& x) { x.points = 3000; }, "instantanés de 3000 points (puissance de deux de 256 à 16384)"},
        {[](ReglagesCarte& x) { x.points = 32768; }, "instantanés de 32768 points"},
        {[](ReglagesCarte& x) { x.celerite = 100; }, "vitesse du son de 100 m/s (200 à 2000 m/s)"},
        {[](ReglagesCarte& x) { x.selon_temperature = true, x.temperature = 80; },
         "température de l'air de 80 °C (-50 à 60 °C)"},
    };
    for (const auto& [change, message] : hors) {
        r = ReglagesCarte();
        change(r);
        const std::string e = erreur(r);
        EXPECT_EQ(e.find(message), 0u) << message << " : " << e;
    }
    r = ReglagesCarte();
    r.celerite = 100;
    r.selon_temperature = true; // the speed given is then not used
    EXPECT_EQ(erreur(r), "");
    std::vector<int> tous(1024);
    for (int m = 0; m < 1024; ++m)
        tous[size_t(m)] = m;
    EXPECT_EQ(erreur(ReglagesCarte(), tous), "aucun micro de la trame dans la géométrie");
}

} // namespace

#endif
