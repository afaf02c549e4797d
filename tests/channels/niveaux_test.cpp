#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "channels/niveaux.h"

namespace {

TEST(Levels, MeanSquareToLevel)
{
    struct Row {
        double amplitude;
        int level;
    };
    const Row rows[] = {
        {0, 0}, {5.9, 0}, {100, 25}, {1000, 45}, {8388608, 123}, {2147483647.0, 127}, {2147483648.0, 127},
    };
    for (const Row& r : rows)
        EXPECT_EQ(niveau_de(r.amplitude * r.amplitude), r.level) << r.amplitude;
    EXPECT_EQ(niveau_de(35.4), 0); // below 10^1.55
    EXPECT_EQ(niveau_de(35.6), 1);
    EXPECT_EQ(niveau_de(-1), 0);
}

TEST(Levels, ColourMapAnchors)
{
    struct Row {
        int level;
        uint8_t r, v, b;
    };
    const Row rows[] = {
        {0, 0, 0, 143},   {14, 0, 0, 255},  {46, 0, 255, 255}, {78, 255, 255, 0},
        {110, 255, 0, 0}, {127, 119, 0, 0}, {47, 8, 255, 247}, {109, 255, 7, 0},
    };
    for (const Row& r : rows) {
        const CouleurJet c = carte_jet()[r.level];
        EXPECT_EQ(c.r, r.r) << r.level;
        EXPECT_EQ(c.v, r.v) << r.level;
        EXPECT_EQ(c.b, r.b) << r.level;
    }
}

TEST(Levels, FramesOfABuffer)
{
    // Counter A, microphone 5, analogue 1, microphones 700 and 701: the
    // microphones' words 1, 3 and 4.
    const int32_t liste[] = {5, 2001, 700, 701};
    DispositionNiveaux d;
    d.dispose(liste, 4, 5);
    const int32_t amplitude[5] = {9, 100, 1 << 20, 1000, 8388608};
    std::vector<unsigned char> trames(4 * 5 * 2000);
    for (size_t w = 0; w < trames.size() / 4; ++w) {
        const int32_t v = amplitude[w % 5] * (w / 5 % 2 ? -1 : 1);
        std::memcpy(&trames[4 * w], &v, 4);
    }
    std::array<int, NB_MICROS> niveaux;
    niveaux.fill(99);
    EXPECT_FALSE(calcule_niveaux(trames.data(), trames.size() - 1, d, niveaux));
    EXPECT_EQ(niveaux[5], 99);
    ASSERT_TRUE(calcule_niveaux(trames.data(), trames.size(), d, niveaux));
    for (int m = 0; m < NB_MICROS; ++m)
        EXPECT_EQ(niveaux[m], m == 5 ? 25 : m == 700 ? 45 : m == 701 ? 123 : -1) << m;
}

} // namespace
