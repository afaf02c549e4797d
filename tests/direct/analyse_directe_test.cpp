#ifdef ONDARIS_FFTW

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "direct/analyse_directe.h"
#include "direct/robinet.h"
#include "files/geometrie.h"
#include "simulator/frame_source.h"

namespace {

// The simulated box's frames of a 4 kHz tone from a point source at
// (0.2, -0.1, 1) m over its own array: every microphone and counter A,
// int32 samples at 50 kHz.
struct Ton {
    std::shared_ptr<Geometrie> g = std::make_shared<Geometrie>();
    std::vector<int32_t> codes;
    std::vector<uint32_t> mots; // kPointTableFrames frames

    Ton()
    {
        std::string erreur;
        EXPECT_EQ(lit_geometrie(ONDARIS_SOURCES "/data/geometrie-simulateur.xml", *g, erreur), 0) << erreur;
        sim::FrameSource::Params p;
        p.settings.selection.beams.fill(0xFF);
        p.settings.selection.blocks[0] = 0x80;
        p.scene.points = {sim::PointSource{0.2, -0.1, 1.0, 4000, 94}};
        p.scene.geometry = *g;
        sim::FrameSource source(p);
        for (const sim::Word& w : source.layout())
            codes.push_back(w.kind == sim::Word::Microphone ? w.index : 3000 + w.index);
        mots.resize(size_t(sim::kPointTableFrames) * codes.size());
        source.write(0, reinterpret_cast<unsigned char*>(mots.data()), mots.size() * 4);
    }
};

// With the band left to the spectrum, no map comes before the first
// spectrum; the map is then made in its loudest third-octave and finds the
// source within a grid step. The frames are handed to the consumer's entry
// point directly, in order: nothing is left out.
TEST(AnalyseDirecte, MapInTheSpectrumsLoudestBand)
{
    const Ton t;
    AnalyseDirecte a;
    ReglagesDirect r;
    r.carte = true;
    r.bande_la_plus_forte = true;
    r.reglages_carte.bande = 500; // left aside
    r.geometrie = t.g;
    r.micro_spectre = 17;
    a.reglages(r);
    std::unique_ptr<PriseTrames> prise = a.commence(t.codes, false, 50000);
    ASSERT_TRUE(prise);
    const size_t bloc = 2048, trames = t.mots.size() / t.codes.size();
    size_t donnees = 0;
    for (size_t k = 0; a.resultats().cartes == 0; ++k) {
        ASSERT_LT(donnees, size_t(3 * 50000)) << "pas de carte en 3 s de trames";
        const ResultatsDirect avant = a.resultats();
        if (avant.spectre.micro < 0) {
            EXPECT_TRUE(avant.carte.niveaux.empty());
        }
        a.consomme(t.mots.data() + (k * bloc) % trames * t.codes.size(), bloc, true);
        donnees += bloc;
    }
    a.termine(*prise);
    const ResultatsDirect res = a.resultats();
    EXPECT_EQ(res.spectre.micro, 17);
    EXPECT_EQ(res.carte.reglages.bande, 4000);
    EXPECT_FALSE(res.carte.reglages.octave);
    EXPECT_EQ(res.erreur_carte, "");
    EXPECT_NEAR(res.carte.x_max, 0.2, res.carte.grille.pas_x() * 1.01);
    EXPECT_NEAR(res.carte.y_max, -0.1, res.carte.grille.pas_y() * 1.01);
    EXPECT_FALSE(res.en_cours);
}

// The A-weighted level map against its definition: a tone of 1 Pa rms
// (94 dB SPL) at 31.5 Hz reads 94 - 39.4 dB(A) (IEC 61672-1), at 1 kHz
// 94 dB(A), whatever the microphone's offset; blocks of frames as a
// packet brings them, with a gap between two.
TEST(AnalyseDirecte, AWeightedLevelMap)
{
    const double fs = 50000, crete = 1e6, pi = 3.14159265358979323846;
    const std::vector<int32_t> codes = {3000, 5, 9};
    std::vector<double> facteurs(1024, std::sqrt(2.0) / crete);
    for (double hz : {31.5, 1000.0})
        for (double decalage : {0.0, 20000.0}) {
            AnalyseDirecte a;
            ReglagesDirect r;
            r.ponderation_a = true;
            r.facteurs = facteurs;
            a.reglages(r);
            std::unique_ptr<PriseTrames> prise = a.commence(codes, false, fs);
            ASSERT_TRUE(prise);
            const size_t n = 100000, bloc = 3907;
            std::vector<uint32_t> mots(3 * n);
            for (size_t t = 0; t < n; ++t) {
                const double x = crete * std::sin(2 * pi * hz * double(t) / fs + 0.4);
                mots[3 * t] = uint32_t(t);
                mots[3 * t + 1] = uint32_t(int32_t(std::lround(x + decalage)));
                mots[3 * t + 2] = uint32_t(int32_t(std::lround(0.1 * x)));
            }
            for (size_t t = 0, k = 0; t < n; t += bloc, ++k)
                a.consomme(mots.data() + 3 * t, std::min(bloc, n - t), k != 5);
            a.termine(*prise);
            const ResultatsDirect res = a.resultats();
            ASSERT_EQ(res.niveaux_a.size(), 1024u);
            const double attendu = 20 * std::log10(1 / 20e-6) + (hz == 1000 ? 0.0 : -39.4);
            EXPECT_NEAR(res.niveaux_a[5], attendu, 0.3) << hz << " Hz, offset " << decalage;
            EXPECT_NEAR(res.niveaux_a[9], attendu - 20, 0.3) << hz << " Hz, offset " << decalage;
            EXPECT_TRUE(std::isnan(res.niveaux_a[6]));
        }
}

// The tap hands packets to the consumer attached, and to none once closed:
// a consumer attached after the run's end is refused, so it is never left
// waiting for packets that no longer come.
TEST(Robinet, AttachedUntilClosed)
{
    std::vector<uint32_t> recus;
    PriseTrames prise(2, [&](const uint32_t* mots, size_t n, bool) { recus.insert(recus.end(), mots, mots + 2 * n); });
    Robinet robinet;
    const uint32_t paquet[4] = {1, 2, 3, 4};
    const auto* octets = reinterpret_cast<const unsigned char*>(paquet);
    robinet.paquet(octets, 16, 0); // nobody attached: dropped
    ASSERT_TRUE(robinet.attache(&prise));
    EXPECT_FALSE(robinet.attache(&prise));
    robinet.paquet(octets, 16, 16);
    EXPECT_EQ(robinet.ferme(), &prise);
    robinet.paquet(octets, 16, 32);
    EXPECT_EQ(robinet.ferme(), nullptr);
    EXPECT_FALSE(robinet.attache(&prise));
    EXPECT_TRUE(prise.termine(5000));
    EXPECT_EQ(recus, std::vector<uint32_t>({1, 2, 3, 4}));
}

} // namespace

#endif
