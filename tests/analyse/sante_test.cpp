// The microphones' health: over the simulated box's stream, with and without
// faults; each threshold on both of its sides; the neighbours on the grid;
// with the array's positions, faults in groups, a source close to a capsule
// and each kind of fault the box's stream can carry.
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

constexpr double FE = 50000; // the simulated box's default rate

// 4096 frames (or `trames`) of every microphone and counter A from the
// simulated box at 50 000 Hz (two periods of its scene), through its USB
// interface.
std::vector<uint32_t> flux(const sim::Scene& scene, bool flottant, uint32_t trames = 4096)
{
    sim::Options o = simtest::unpaced();
    o.scene = scene;
    simtest::Harness h(o);
    h.select_words(1025);
    h.command({0x09, uint8_t(flottant ? 1 : 0)});
    h.count(trames);
    h.queue(4, 1 << 22);
    h.start();
    EXPECT_TRUE(h.run_to_end(60000));
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
        int palier;         // samples of `valeur` from frame 100
        int pleine_echelle; // samples at full scale, spread out
        double continu;     // added to every sample
        unsigned attendu;
        double valeur = 5;
    } const cas[] = {
        {"bruit +9 dB", 9, 0, 0, 0, 0},
        {"bruit +11 dB", 11, 0, 0, 0, BRUYANT},
        {"bruit -19 dB", -19, 0, 0, 0, 0},
        {"bruit -21 dB", -21, 0, 0, 0, MUET},
        {"99 fois 5", 0, 99, 0, 0, 0},
        {"100 fois 5 : une coupure", 0, 100, 0, 0, COUPURE},
        {"999 fois 5 : une coupure", 0, 999, 0, 0, COUPURE},
        {"1000 fois 5", 0, 1000, 0, 0, FIGE},
        {"99 fois 0", 0, 99, 0, 0, 0, 0.0},
        {"100 fois 0", 0, 100, 0, 0, COUPURE, 0.0},
        {"3000 fois 0 : un contact", 0, 3000, 0, 0, COUPURE, 0.0},
        {"9 à pleine échelle : des claquements", 0, 0, 9, 0, IMPULSIF},
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
                    x = c.valeur;
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

namespace {

const Geometrie& geometrie()
{
    static Geometrie g;
    if (g.empty()) {
        std::string erreur;
        EXPECT_EQ(lit_geometrie(ONDARIS_SOURCES "/data/geometrie-simulateur.xml", g, erreur), 0) << erreur;
    }
    return g;
}

// The physical scene over the array's positions: a 1 kHz tone from 1 m
// away, off the axis, at `db` dB SPL at 1 m (below the upper band, where
// the microphones' own noise shows), and `defauts`.
sim::Scene scene_physique(const std::string& defauts, double db = 94)
{
    sim::Scene s;
    s.geometry = geometrie();
    s.points = {sim::PointSource{0.3, -0.2, 1.0, 1000, db}};
    if (!defauts.empty()) {
        EXPECT_EQ(sim::parse_faults(defauts, s.faults), "");
    }
    return s;
}

// "B:KIND" for every microphone of beams `de`..`a`, positions `j0`..`j1`.
std::string bloc(int de, int a, int j0, int j1, const char* quoi, std::map<int, unsigned>& attendus, unsigned bit)
{
    std::string t;
    for (int f = de; f <= a; ++f)
        for (int j = j0; j <= j1; ++j) {
            t += (t.empty() ? "" : ",") + std::to_string(8 * f + j) + ":" + quoi;
            attendus[8 * f + j] = bit;
        }
    return t;
}

} // namespace

// Faults that neighbour each other on the array: all of them found, nothing
// else, when the neighbours come from the positions. (On the grid, with
// eight neighbours of which half or more are faulty, they hid each other.)
TEST(SanteMicros, GroupedFaultsFoundWithPositions)
{
    const std::vector<int32_t> codes = codes_tous_micros();
    struct Cas {
        const char* quoi;
        int de, a, j0, j1;
        const char* defaut;
        unsigned bit;
    } const cas[] = {
        {"deux faisceaux voisins muets", 40, 41, 0, 7, "muet", MUET},
        {"trois faisceaux voisins bruyants", 60, 62, 0, 7, "bruit", BRUYANT},
        {"un bloc de 2 x 4 micros bruyants", 90, 91, 2, 5, "bruit", BRUYANT},
    };
    for (const Cas& c : cas) {
        SCOPED_TRACE(c.quoi);
        std::map<int, unsigned> attendus;
        const std::string defauts = bloc(c.de, c.a, c.j0, c.j1, c.defaut, attendus, c.bit);
        const std::vector<uint32_t> mots = flux(scene_physique(defauts), false);
        AnalyseMicros a(codes, false, &geometrie(), FE);
        a.ajoute(mots.data(), mots.size() / codes.size());
        EXPECT_EQ(signales(a.bilan()), attendus);
    }
}

// The ring: the nearest microphones by distance, across beams, nearest
// first; only recorded ones.
TEST(SanteMicros, NeighboursFromPositions)
{
    const Geometrie& g = geometrie();
    std::vector<int32_t> codes;
    for (int m = 0; m < 1024; m += (m == 9 ? 2 : 1)) // microphone 10 left out
        codes.push_back(m);
    AnalyseMicros a(codes, false, &g);
    for (size_t rang : {size_t(0), size_t(9), size_t(500), codes.size() - 1}) {
        const int m = codes[rang];
        std::vector<std::pair<double, int>> d;
        for (int o : codes)
            if (o != m)
                d.push_back({std::hypot(g[size_t(o)].x - g[size_t(m)].x, g[size_t(o)].y - g[size_t(m)].y), o});
        std::sort(d.begin(), d.end());
        std::vector<int> attendu, lu;
        for (int i = 0; i < VOISINS_ANNEAU; ++i)
            attendu.push_back(d[size_t(i)].second);
        for (int r : a.anneau(rang))
            lu.push_back(codes[size_t(r)]);
        EXPECT_EQ(lu, attendu) << m;
        ASSERT_EQ(a.proches(rang).size(), size_t(VOISINS_PROCHES));
        EXPECT_TRUE(std::equal(a.proches(rang).begin(), a.proches(rang).end(), a.anneau(rang).begin()));
    }
}

// A broadband source 1 cm in front of a capsule, 110 dB there (70 dB at
// 1 m): that capsule and its neighbours are loud together, and nothing is
// flagged; on the inner ring, the outer one, and between.
TEST(SanteMicros, CloseSourceNotFlagged)
{
    const std::vector<int32_t> codes = codes_tous_micros();
    const Geometrie& g = geometrie();
    for (int m : {0, 3, 7, 8 * 77 + 7}) {
        SCOPED_TRACE(m);
        sim::Scene s;
        s.geometry = g;
        const Point3 p = g[size_t(m)];
        s.points = {sim::PointSource{p.x, p.y, 0.01, 0, 70}};
        const std::vector<uint32_t> mots = flux(s, false);
        AnalyseMicros a(codes, false, &g, FE);
        a.ajoute(mots.data(), mots.size() / codes.size());
        const std::vector<StatistiquesMicro> b = a.bilan();
        // 110 dB SPL at the capsule: 20 uPa 10^(110/20) at the nominal sensitivity.
        const double attendu = 20e-6 * std::pow(10.0, 110.0 / 20) * sim::kNominalSensitivity;
        EXPECT_NEAR(20 * std::log10(b[size_t(m)].rms / attendu), 0.0, 0.5);
        EXPECT_EQ(signales(b), (std::map<int, unsigned>{}));
    }
}

// Each kind of fault the stream can carry, with the array's positions and
// the sampling rate: found on its microphone, for that reason alone, and
// named; nothing else flagged; in both sample types. The room: a 1 kHz tone
// of 110 dB at 1 m, louder than the offset. Then the five kinds of the
// box's documentation, as exactly as on the grid.
TEST(SanteMicros, EachKindFoundAndNamed)
{
    const std::vector<int32_t> codes = codes_tous_micros();
    struct Cas {
        int micro;
        const char* defaut;
        unsigned bit;
        const char* nom;
    } const cas[] = {
        {100, "coupure", COUPURE, "coupures ("},          {200, "ecrete", ECRETE, "écrêté ("},
        {300, "continu", CONTINU, "décalage continu ("},  {400, "sourd", SENSIBILITE, "sensibilité (-10."},
        {500, "inverse", INVERSE, "polarité inversée ("}, {600, "claque", IMPULSIF, "impulsion ("},
        {700, "ronfle", RONFLE, "ronflement ("},
    };
    std::string defauts;
    std::map<int, unsigned> attendus;
    for (const Cas& c : cas) {
        defauts += (defauts.empty() ? "" : ",") + std::to_string(c.micro) + ":" + c.defaut;
        attendus[c.micro] = c.bit;
    }
    // One block of the low band's lines at least: 0.2 s.
    const uint32_t trames = 12288;
    const std::vector<uint32_t> flottants = flux(scene_physique(defauts, 110), true, trames);
    AnalyseMicros f(codes, true, &geometrie(), FE);
    f.ajoute(flottants.data(), trames);
    EXPECT_EQ(signales(f.bilan()), attendus) << "float32";
    const std::vector<uint32_t> mots = flux(scene_physique(defauts, 110), false, trames);
    AnalyseMicros a(codes, false, &geometrie(), FE);
    a.ajoute(mots.data(), trames);
    const std::vector<StatistiquesMicro> b = a.bilan();
    EXPECT_EQ(signales(b), attendus);
    for (const Cas& c : cas) {
        const StatistiquesMicro& s = b[size_t(c.micro)];
        EXPECT_EQ(raisons(s).rfind(c.nom, 0), 0u) << raisons(s);
    }
    // The truth written in: 3000 zeros, a flat top at 71 % of full scale,
    // the offset under a tone louder than it, an inverted capsule.
    EXPECT_EQ(b[100].palier, uint64_t(sim::kDropoutFrames));
    EXPECT_EQ(b[100].valeur_palier, 0.0);
    EXPECT_NEAR(std::fabs(b[200].plat), sim::kAnalogueClip * sim::kFullScale, 1.0);
    EXPECT_NEAR(b[300].moyenne, sim::kDcOffset, 1000);
    EXPECT_GT(b[300].rms, b[300].moyenne);
    EXPECT_LT(b[500].correlation, -0.8);
    EXPECT_EQ(compte_signales(b), "7 signalés (décalage continu 1, coupures 1, écrêté 1, impulsion 1, "
                                  "polarité inversée 1, ronflement 1, sensibilité 1)");

    const std::vector<uint32_t> cinq = flux(scene_physique("3:muet,17:sature,200:bruit,511:continu,700:fige"), false);
    AnalyseMicros d(codes, false, &geometrie(), FE);
    d.ajoute(cinq.data(), cinq.size() / codes.size());
    EXPECT_EQ(signales(d.bilan()),
              (std::map<int, unsigned>{{3, MUET}, {17, SATURE}, {200, BRUYANT}, {511, CONTINU}, {700, FIGE}}));
}

// The live analysis may leave packets out: the faults found over frames
// with gaps are the same five, and nothing else.
TEST(SanteMicros, FramesWithGaps)
{
    const std::vector<int32_t> codes = codes_tous_micros();
    sim::Scene defauts;
    defauts.sensitivity_spread_db = 1.0;
    ASSERT_EQ(sim::parse_faults("3:muet,17:sature,200:bruit,511:continu,700:fige", defauts.faults), "");
    const std::vector<uint32_t> mots = flux(defauts, false, 16384);
    for (size_t bloc : {size_t(300), size_t(1024), size_t(2048)}) {
        SCOPED_TRACE(bloc);
        AnalyseMicros a(codes, false, nullptr, FE);
        bool suite = true;
        for (size_t t = 0, k = 0; t < 16384; t += bloc, ++k) {
            // One block in three left out.
            if (k % 3 == 1) {
                suite = false;
                continue;
            }
            a.ajoute(mots.data() + t * 1025, std::min<size_t>(bloc, 16384 - t), suite);
            suite = true;
        }
        const std::map<int, unsigned> attendus = {{3, MUET}, {17, SATURE}, {200, BRUYANT}, {511, CONTINU}, {700, FIGE}};
        EXPECT_EQ(signales(a.bilan()), attendus);
    }
}
