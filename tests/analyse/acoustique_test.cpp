// A-weighting against the values IEC 61672-1 tabulates (at the exact
// frequencies of its nominal ones: 31.5 Hz is 10^1.5), and the band level
// of tones inside, outside and between the lines of the transform.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "analyse/acoustique.h"

TEST(Acoustique, AWeightingOfTheStandard)
{
    const struct {
        double f, db;
    } cas[] = {{31.62, -39.4}, {100, -19.1}, {1000, 0.0}, {3981, 1.0}, {10000, -2.5}};
    for (const auto& c : cas)
        EXPECT_NEAR(ponderation_a(c.f), c.db, 0.1) << c.f << " Hz";
}

// At 50 000 Hz over 0.25 s (4 Hz lines): the third-octave band at 1 kHz
// holds a tone of 1000.98 Hz (off the lines) whole, and nothing of one at
// 1250 Hz, the next band's centre.
TEST(Acoustique, ThirdOctaveBandLevel)
{
    const double fs = 50000, pi = 3.14159265358979323846;
    double bas, haut;
    bornes_bande(1000, 3, bas, haut);
    EXPECT_NEAR(bas, 890.9, 0.1);
    EXPECT_NEAR(haut, 1122.5, 0.1);
    std::vector<double> x(12500);
    for (size_t i = 0; i < x.size(); ++i)
        x[i] = 3.0 * std::sin(2 * pi * 1000.98 * i / fs + 0.3) + 50.0 * std::sin(2 * pi * 1250 * i / fs);
    EXPECT_NEAR(10 * std::log10(moyenne_carres_bande(x.data(), x.size(), fs, bas, haut) / 4.5), 0.0, 0.001);
    EXPECT_NEAR(niveau_spl(1.0), 93.98, 0.01);
}
