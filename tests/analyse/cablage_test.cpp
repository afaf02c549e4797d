// The wiring check over frames drawn from the propagation model: a tone from
// a known point over the simulated array's geometry, a 1 dB spread of
// sensitivities and some noise on every microphone.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <random>

#include "analyse/cablage.h"
#include "files/lecture.h"

namespace {

constexpr double PI = 3.14159265358979323846;
constexpr double FE = 50000, F = 3000;
constexpr uint64_t TRAMES = 4096;
const Point3 SOURCE{0.4, -0.3, 1.0};

const Geometrie& geometrie()
{
    static Geometrie g;
    if (g.empty()) {
        std::string erreur;
        EXPECT_EQ(lit_geometrie(std::string(ONDARIS_SOURCES) + "/data/geometrie-simulateur.xml", g, erreur), 0)
            << erreur;
    }
    return g;
}

// Counter A then microphones 0..1023; the word of microphone m carries what
// microphone entend[m] hears (-1: nothing at all).
struct Scene {
    Point3 source = SOURCE;
    std::map<int, int> entend;
    std::vector<int> inverses; // of the wrong polarity
    bool flottant = false;
};

BilanCablage verifie(const Scene& s)
{
    const Geometrie& g = geometrie();
    std::vector<int32_t> codes{CODE_COMPTEUR_A};
    for (int m = 0; m < 1024; ++m)
        codes.push_back(m);
    std::mt19937 alea(7);
    std::normal_distribution<double> normale;
    std::vector<double> gain(1024), r(1024);
    for (int m = 0; m < 1024; ++m) {
        gain[m] = std::pow(10.0, 1.0 * normale(alea) / 20);
        const Point3& p = g[static_cast<size_t>(m)];
        r[m] = std::hypot(s.source.x - p.x, s.source.y - p.y, s.source.z - p.z);
    }
    std::vector<uint32_t> mots(TRAMES * codes.size());
    const double w = 2 * PI * F / FE;
    for (uint64_t n = 0; n < TRAMES; ++n) {
        uint32_t* trame = &mots[n * codes.size()];
        trame[0] = static_cast<uint32_t>(n);
        for (int m = 0; m < 1024; ++m) {
            const auto it = s.entend.find(m);
            const int h = it == s.entend.end() ? m : it->second;
            double x = 0;
            const double signe = std::count(s.inverses.begin(), s.inverses.end(), m) ? -1 : 1;
            if (h >= 0)
                x = signe * 4e5 * gain[m] / r[h] * std::cos(w * double(n) - 2 * PI * F * r[h] / VITESSE_SON) +
                    3e3 * normale(alea);
            if (s.flottant) {
                const float v = static_cast<float>(x);
                std::memcpy(&trame[1 + m], &v, 4);
            } else {
                trame[1 + m] = static_cast<uint32_t>(static_cast<int32_t>(std::lround(x)));
            }
        }
    }
    VerificationCablage v(codes, s.flottant, FE, F, TRAMES);
    // In two blocks, as a reader gives them.
    v.ajoute(mots.data(), 1000);
    v.ajoute(mots.data() + 1000 * codes.size(), TRAMES - 1000);
    return v.bilan(g, s.source);
}

using Paires = std::vector<std::pair<int, int>>;

} // namespace

// Two swapped pairs, a neighbouring one and a far one, are found and nothing
// else; with every microphone in its place, nothing is; in both sample types.
TEST(Cablage, SwappedPairsFoundAndNothingElse)
{
    Scene s;
    s.entend = {{12, 13}, {13, 12}, {100, 900}, {900, 100}};
    BilanCablage b = verifie(s);
    EXPECT_FALSE(b.aveugle);
    EXPECT_EQ(b.juges, 1024);
    EXPECT_GT(b.part_visible, 0.8);
    EXPECT_EQ(b.permutes, (Paires{{12, 13}, {100, 900}}));
    EXPECT_TRUE(b.incoherents.empty());
    // Micro 12 shows 360 f (r12 - r13) / c, -54 degrees from this source.
    EXPECT_NEAR(b.micros[12].residu, -54.3, 3);
    EXPECT_NEAR(b.micros[13].residu, 54.3, 3);
    EXPECT_EQ(b.micros[12].avec, 13);
    EXPECT_EQ(compte_cablage(b), "2 paires permutées, 0 micro incohérent");

    for (bool flottant : {false, true}) {
        Scene juste;
        juste.flottant = flottant;
        b = verifie(juste);
        EXPECT_TRUE(b.permutes.empty() && b.incoherents.empty()) << flottant;
        double pire = 0;
        for (const MicroCablage& m : b.micros)
            pire = std::max(pire, std::fabs(m.residu));
        EXPECT_LT(pire, 2.0);
        EXPECT_EQ(compte_cablage(b), "aucun micro permuté");
    }
}

// A dead microphone is not judged; one carrying another's signal whose own
// word is in place has no partner and is incoherent.
TEST(Cablage, DeadNotJudgedAndUnpairedIncoherent)
{
    Scene s;
    s.entend = {{40, -1}, {500, 700}};
    const BilanCablage b = verifie(s);
    EXPECT_EQ(b.micros[40].verdict, VerdictCablage::SANS_TON);
    EXPECT_EQ(b.juges, 1023);
    EXPECT_TRUE(b.permutes.empty());
    EXPECT_EQ(b.incoherents, std::vector<int>{500});
    EXPECT_EQ(compte_cablage(b), "0 paire permutée, 1 micro incohérent");
}

// A capsule of the wrong polarity is half a period off wherever it is: said
// as such, not as a place; next to a swap, both are found.
TEST(Cablage, InvertedSaidAsSuch)
{
    Scene s;
    s.inverses = {300, 301};
    s.entend = {{12, 13}, {13, 12}};
    const BilanCablage b = verifie(s);
    EXPECT_EQ(b.inverses, (std::vector<int>{300, 301}));
    EXPECT_EQ(b.micros[300].verdict, VerdictCablage::INVERSE);
    EXPECT_NEAR(std::fabs(b.micros[300].residu), 180.0, 3);
    EXPECT_TRUE(b.incoherents.empty());
    EXPECT_EQ(b.permutes, (Paires{{12, 13}}));
    EXPECT_EQ(compte_cablage(b), "1 paire permutée, 0 micro incohérent, 2 polarités inversées");
}

// A far source on the array's axis reaches every microphone nearly together:
// nothing is judged, even a swap.
TEST(Cablage, FarSourceOnAxisIsBlind)
{
    Scene s;
    s.source = {0, 0, 10};
    s.entend = {{12, 13}, {13, 12}};
    const BilanCablage b = verifie(s);
    EXPECT_TRUE(b.aveugle);
    EXPECT_LT(b.etendue, SEUIL_ETENDUE_DEG);
    EXPECT_TRUE(b.permutes.empty() && b.incoherents.empty());
}

TEST(Cablage, ToneRefusedAtOrAboveHalfTheRateOrTooShort)
{
    EXPECT_EQ(refus_ton(3000, 50000, 5000), "");
    EXPECT_NE(refus_ton(25000, 50000, 5000), "");
    EXPECT_NE(refus_ton(0, 50000, 5000), "");
    EXPECT_NE(refus_ton(3000, 50000, 100), ""); // 6 periods
}
