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
    std::vector<int> tous(1024);
    for (int m = 0; m < 1024; ++m)
        tous[size_t(m)] = m;
    EXPECT_EQ(erreur(ReglagesCarte(), tous), "aucun micro de la trame dans la géométrie");
}

} // namespace

#endif
