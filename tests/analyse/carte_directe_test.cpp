#ifdef ONDARIS_FFTW

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "analyse/carte_directe.h"
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
    r.bande = 25; // 22 to 28 Hz between two lines 49 Hz apart
    EXPECT_NE(erreur(r).find("plus étroite que la résolution"), std::string::npos);
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
