#ifdef ONDARIS_FFTW

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "analyse/acoustique.h"
#include "analyse/spectre_direct.h"

namespace {

constexpr double PI = 3.14159265358979323846;
constexpr double FS = 50000;

// Frames of three words: counter A, microphone 5, microphone 7 (int32).
const std::vector<int32_t> CODES = {3000, 5, 7};

std::vector<uint32_t> trames(size_t n, double hz, double crete, double bruit = 0, size_t depuis = 0)
{
    std::vector<uint32_t> m(3 * n);
    std::mt19937 gen(4);
    std::normal_distribution<double> b(0, 1);
    for (size_t t = 0; t < n; ++t) {
        m[3 * t] = uint32_t(depuis + t);
        m[3 * t + 1] = uint32_t(int32_t(std::lround(crete * std::sin(2 * PI * hz * double(depuis + t) / FS))));
        m[3 * t + 2] = uint32_t(int32_t(std::lround(bruit * b(gen))));
    }
    return m;
}

double puissance(double db) { return std::pow(10.0, db / 10); }

// A 94 dB SPL tone through its factor: the lines around the peak and LZ
// read 94 dB, and so does the 1 kHz band (the 100 Hz band is two lines
// wide: a tone leaks out of it); A-weighting leaves 1 kHz alone and takes
// 19.1 dB off 100 Hz.
TEST(SpectreDirect, LevelsOfTones)
{
    const double crete = 1e6, facteur = std::sqrt(2.0) / crete; // 1 Pa rms
    for (double hz : {1000.0, 100.0}) {
        SpectreDirect s(CODES, false, FS, 5, facteur, 0, POINTS_WELCH);
        ASSERT_TRUE(s.valide());
        const auto m = trames(50000, hz, crete);
        s.ajoute(m.data(), 50000, true);
        const SpectreMicro r = s.spectre();
        EXPECT_TRUE(r.calibre);
        EXPECT_EQ(r.segments, 23);
        EXPECT_NEAR(r.lz, 94, 0.05);
        for (size_t b = 0; b < r.bandes.size(); ++b)
            if (r.bandes[b].nominale == 1000 && hz == 1000) {
                EXPECT_NEAR(r.niveaux[b], 94, 0.1);
            }
        const size_t pic = size_t(std::lround(hz / r.resolution));
        double raies = 0;
        for (size_t k = pic - 3; k <= pic + 3; ++k)
            raies += puissance(r.densite[k]) * r.resolution;
        EXPECT_NEAR(10 * std::log10(raies), 94, 0.1);
        EXPECT_NEAR(r.la - r.lz, hz == 1000 ? 0.0 : -19.1, 0.1) << hz;
    }
}

// White noise in counts: third-octave levels rise by 1 dB a band; a gap in
// the frames drops the segment begun, not the average.
TEST(SpectreDirect, NoiseInCounts)
{
    SpectreDirect s(CODES, false, FS, 7, 0, 0, POINTS_WELCH);
    const auto m = trames(100000, 1000, 1, 100);
    s.ajoute(m.data(), 60000, true);
    s.ajoute(m.data() + 3 * 60000, 40000, false);
    const SpectreMicro r = s.spectre();
    EXPECT_FALSE(r.calibre);
    EXPECT_EQ(r.segments, 28 + 18);
    double n1000 = 0, n4000 = 0;
    for (size_t b = 0; b < r.bandes.size(); ++b) {
        n1000 = r.bandes[b].nominale == 1000 ? r.niveaux[b] : n1000;
        n4000 = r.bandes[b].nominale == 4000 ? r.niveaux[b] : n4000;
    }
    EXPECT_NEAR(n4000 - n1000, 6.0, 0.4);
    EXPECT_NEAR(r.lz, 40, 0.1); // 100 counts rms
    EXPECT_FALSE(SpectreDirect(CODES, false, FS, 6, 0).valide());
}

// With a limit, the average holds only the latest segments: a tone that
// falls by 20 dB reads its new level once a limit's worth has passed.
TEST(SpectreDirect, AverageOfTheLatestSegments)
{
    SpectreDirect s(CODES, false, FS, 5, 0, 10, POINTS_WELCH);
    auto fort = trames(40000, 1000, 1e5), faible = trames(60000, 1000, 1e4, 0, 40000);
    s.ajoute(fort.data(), 40000, true);
    EXPECT_GE(s.segments(), 5);
    EXPECT_LE(s.segments(), 10);
    const double avant = s.spectre().lz;
    for (size_t t = 0; t < 60000; t += 5000) {
        s.ajoute(faible.data() + 3 * t, 5000, true);
        EXPECT_GE(s.segments(), 5);
        EXPECT_LE(s.segments(), 10);
    }
    EXPECT_NEAR(avant, 20 * std::log10(1e5 / std::sqrt(2.0)), 0.05);
    EXPECT_NEAR(s.spectre().lz, avant - 20, 0.05);
}

} // namespace

#endif
