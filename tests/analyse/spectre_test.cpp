#ifdef ONDARIS_FFTW

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "analyse/spectre.h"

namespace {

constexpr double PI = 3.14159265358979323846;

double somme(const std::vector<double>& v, double df)
{
    double s = 0;
    for (double x : v)
        s += x * df;
    return s;
}

// A tone's mean square lands in its own band, whole; white noise's spreads
// evenly; the total is the signal's mean square either way.
TEST(Spectre, PowerOfAToneAndOfNoise)
{
    const double fs = 50000;
    Welch w(fs);
    std::vector<float> x(50000);
    for (std::size_t i = 0; i < x.size(); ++i)
        x[i] = static_cast<float>(3.0 * std::sin(2 * PI * 1000 * i / fs));
    w.ajoute(x.data(), x.size());
    EXPECT_EQ(w.segments(), 23); // (50000 - 4096) / 2048 + 1
    const auto d = w.densite();
    EXPECT_NEAR(niveau_db(somme(d, w.resolution()), 1), 10 * std::log10(4.5), 0.05);
    const auto tiers = bandes_tiers_octave(fs / 2);
    const auto p = puissance_bandes(d, w.resolution(), tiers);
    for (std::size_t b = 0; b < tiers.size(); ++b) {
        if (tiers[b].nominale == 1000)
            EXPECT_NEAR(niveau_db(p[b], 1), 10 * std::log10(4.5), 0.1);
        else
            EXPECT_LT(niveau_db(p[b], 1), 10 * std::log10(4.5) - 40) << tiers[b].nominale << " Hz";
    }

    // Unit white noise, fed in pieces: one unit of mean square over 25 kHz.
    Welch bruit(fs);
    std::mt19937 gen(7);
    std::normal_distribution<float> n(0, 1);
    for (float& v : x)
        v = n(gen);
    for (std::size_t i = 0; i < x.size(); i += 999)
        bruit.ajoute(x.data() + i, std::min<std::size_t>(999, x.size() - i));
    const auto db = bruit.densite();
    EXPECT_NEAR(somme(db, bruit.resolution()), 1.0, 0.03);
    const auto octaves = bandes_octave(fs / 2);
    const auto po = puissance_bandes(db, bruit.resolution(), octaves);
    // Each octave holds its width's share: 1000 Hz spans 707 to 1413 Hz.
    EXPECT_NEAR(po[5] / (octaves[5].haute - octaves[5].basse) * (fs / 2), 1.0, 0.1);
    // Third-octave bands of white noise rise by 1 dB each: the slope of
    // their levels from 500 Hz to 20 kHz.
    const auto bandes = bandes_tiers_octave(fs / 2);
    const auto pt = puissance_bandes(db, bruit.resolution(), bandes);
    double sx = 0, sy = 0, sxx = 0, sxy = 0, k = 0;
    for (std::size_t b = 0; b < bandes.size(); ++b)
        if (bandes[b].nominale >= 500) {
            const double y = niveau_db(pt[b], 1);
            sx += b, sy += y, sxx += double(b) * b, sxy += b * y, ++k;
        }
    EXPECT_NEAR((k * sxy - sx * sy) / (k * sxx - sx * sx), 1.0, 0.05);
}

// One channel of interleaved frames gives the spectrum of that channel.
TEST(Spectre, ChannelOfInterleavedFrames)
{
    const double fs = 10000;
    std::vector<float> trames(3 * 8192), seule(8192);
    for (std::size_t i = 0; i < seule.size(); ++i) {
        seule[i] = static_cast<float>(std::sin(2 * PI * 440 * i / fs));
        trames[3 * i] = 1e6f; // the counter
        trames[3 * i + 1] = seule[i];
        trames[3 * i + 2] = -1e6f;
    }
    Welch a(fs), b(fs);
    a.ajoute(seule.data(), seule.size());
    b.ajoute(trames.data() + 1, seule.size(), 3);
    EXPECT_EQ(a.densite(), b.densite());
    b.remet();
    EXPECT_EQ(b.segments(), 0);
}

TEST(Spectre, NominalBands)
{
    const auto tiers = bandes_tiers_octave(25000);
    ASSERT_EQ(tiers.size(), 30u);
    EXPECT_EQ(tiers.front().nominale, 25);
    EXPECT_EQ(tiers.back().nominale, 20000);
    EXPECT_NEAR(tiers[16].centre, 1000, 1e-9);
    EXPECT_NEAR(tiers[16].haute / tiers[16].basse, std::pow(10.0, 0.1), 1e-12);
    const auto octaves = bandes_octave(25000);
    ASSERT_EQ(octaves.size(), 10u);
    EXPECT_EQ(octaves.front().nominale, 31.5);
    EXPECT_EQ(octaves.back().nominale, 16000);
    EXPECT_EQ(bandes_tiers_octave(5000).back().nominale, 4000); // 5 kHz reaches 5.6 kHz
}

} // namespace

#endif
