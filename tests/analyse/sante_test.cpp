// The microphones' health: over the simulated box's stream, with and without
// faults; each threshold on both of its sides; the neighbours on the grid.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <random>

#include "analyse/sante.h"
#include "channels/selection.h"
#include "files/lecture.h"
#include "simulator/harness.h"

namespace {

// 4096 frames of every microphone and counter A from the simulated box at
// 50 000 Hz (two periods of its scene), through its USB interface.
std::vector<uint32_t> flux(const sim::Scene& scene, bool flottant)
{
    sim::Options o = simtest::unpaced();
    o.scene = scene;
    simtest::Harness h(o);
    h.select_words(1025);
    h.command({0x09, uint8_t(flottant ? 1 : 0)});
    h.count(4096);
    h.queue(4, 1 << 22);
    h.start();
    EXPECT_TRUE(h.run_to_end(20000));
    return h.words();
}

std::vector<int32_t> codes_tous_micros()
{
    Selection s;
    for (auto& faisceau : s.micros)
        faisceau.fill(true);
    s.compteurs[0] = true;
    std::vector<int32_t> codes(1 + 1043);
    codes[0] = CODE_COMPTEUR_A;
    codes.resize(1 + static_cast<size_t>(s.liste_voies(codes.data() + 1)));
    return codes;
}

std::map<int, unsigned> signales(const std::vector<StatistiquesMicro>& bilan)
{
    std::map<int, unsigned> r;
    for (const StatistiquesMicro& s : bilan)
        if (s.defauts)
            r[s.micro] = s.defauts;
    return r;
}

} // namespace

// One fault of each kind flags its microphone, for that reason alone, and
// no other; the default scene, its loud spot around beam 40 and a 1 dB
// spread of sensitivities flag nothing. In both sample types.
TEST(SanteMicros, FaultsOfTheSimulatedArray)
{
    const std::vector<int32_t> codes = codes_tous_micros();
    ASSERT_EQ(codes.size(), 1025u);
    sim::Scene scene;
    scene.sensitivity_spread_db = 1.0;
    for (bool flottant : {false, true}) {
        SCOPED_TRACE(flottant ? "float32" : "int32");
        std::vector<uint32_t> mots = flux(scene, flottant);
        AnalyseMicros sain(codes, flottant);
        sain.ajoute(mots.data(), mots.size() / 1025);
        ASSERT_EQ(sain.trames(), 4096u);
        const std::vector<StatistiquesMicro> b = sain.bilan();
        ASSERT_EQ(b.size(), 1024u);
        EXPECT_TRUE(signales(b).empty());
        // The spot is there: under the source far above the corner.
        EXPECT_GT(b[8 * 40 + 3].rms, 100 * b[0].rms);

        sim::Scene defauts = scene;
        ASSERT_EQ(sim::parse_faults("3:muet,17:sature,200:bruit,511:continu,700:fige", defauts.faults), "");
        mots = flux(defauts, flottant);
        AnalyseMicros analyse(codes, flottant);
        // In blocks, as a reader has them.
        for (size_t t = 0; t < 4096; t += 1000)
            analyse.ajoute(mots.data() + t * 1025, std::min<size_t>(1000, 4096 - t));
        const std::vector<StatistiquesMicro> d = analyse.bilan();
        const std::map<int, unsigned> attendus = {{3, MUET}, {17, SATURE}, {200, BRUYANT}, {511, CONTINU}, {700, FIGE}};
        EXPECT_EQ(signales(d), attendus);
        EXPECT_EQ(d[700].valeur_palier, sim::kStuckValue);
        EXPECT_EQ(d[700].palier, 4096u);
        EXPECT_NEAR(d[511].moyenne, sim::kDcOffset, 1000);
        EXPECT_NEAR(d[200].niveau_bande - d[200].mediane_voisins, 20.0, 1.0);
        EXPECT_EQ(raisons(d[17]).rfind("saturé (", 0), 0u);
    }
}

// Each threshold, just short of it and just past it, on one microphone in
// the middle of a patch of five beams with 100 counts of noise.
TEST(SanteMicros, Thresholds)
{
    constexpr int TRAMES = 10000;
    const int cible = 8 * 62 + 3;
    std::vector<int32_t> codes;
    for (int m = 8 * 60; m < 8 * 65; ++m)
        codes.push_back(m);
    const size_t k = static_cast<size_t>(cible - 8 * 60);

    struct Cas {
        const char* quoi;
        double gain_db;     // of the target's noise
        int palier;         // samples of 5 from frame 100
        int pleine_echelle; // samples at full scale, spread out
        double continu;     // added to every sample
        unsigned attendu;
    } const cas[] = {
        {"bruit +9 dB", 9, 0, 0, 0, 0},
        {"bruit +11 dB", 11, 0, 0, 0, BRUYANT},
        {"bruit -19 dB", -19, 0, 0, 0, 0},
        {"bruit -21 dB", -21, 0, 0, 0, MUET},
        {"999 fois 5", 0, 999, 0, 0, 0},
        {"1000 fois 5", 0, 1000, 0, 0, FIGE},
        {"9 à pleine échelle : des claquements", 0, 0, 9, 0, BRUYANT},
        {"10 à pleine échelle", 0, 0, 10, 0, SATURE},
        {"continu 0,9 seuil", 0, 0, 0, 0.9 * SEUIL_CONTINU, 0},
        {"continu 1,1 seuil", 0, 0, 0, 1.1 * SEUIL_CONTINU, CONTINU},
        {"rien que des zéros", -400, 0, 0, 0, MUET},
    };
    for (const Cas& c : cas) {
        SCOPED_TRACE(c.quoi);
        std::mt19937 gen(42);
        std::normal_distribution<double> bruit(0.0, 100.0);
        std::vector<uint32_t> mots(TRAMES * codes.size());
        for (size_t i = 0; i < mots.size(); ++i) {
            double x = bruit(gen);
            if (i % codes.size() == k) {
                const size_t t = i / codes.size();
                x = x * std::pow(10.0, c.gain_db / 20) + c.continu;
                if (t >= 100 && t < 100 + static_cast<size_t>(c.palier))
                    x = 5;
                if (t % 997 == 500 && static_cast<int>(t / 997) < c.pleine_echelle)
                    x = (t / 997) % 2 ? PLEINE_ECHELLE - 1 : -PLEINE_ECHELLE;
            }
            mots[i] = static_cast<uint32_t>(static_cast<int32_t>(std::lround(x)));
        }
        AnalyseMicros a(codes, false);
        a.ajoute(mots.data(), TRAMES);
        const std::map<int, unsigned> s = signales(a.bilan());
        const std::map<int, unsigned> attendus =
            c.attendu ? std::map<int, unsigned>{{cible, c.attendu}} : std::map<int, unsigned>{};
        EXPECT_EQ(s, attendus) << noms_defauts(s.count(cible) ? s.at(cible) : 0);
    }
}

// Eight neighbours inside the grid, five on an edge, three in a corner.
TEST(SanteMicros, NeighboursOnTheGrid)
{
    struct Cas {
        int micro;
        std::vector<int> voisins;
    } const cas[] = {
        {0, {1, 8, 9}},
        {4, {3, 5, 11, 12, 13}},
        {8 * 40 + 3, {314, 315, 316, 322, 324, 330, 331, 332}},
        {8 * 40 + 7, {318, 319, 326, 334, 335}},
        {1023, {1014, 1015, 1022}},
    };
    for (const Cas& c : cas) {
        int v[8];
        const int n = voisins_grille(c.micro, v);
        EXPECT_EQ(std::vector<int>(v, v + n), c.voisins) << c.micro;
    }
}
