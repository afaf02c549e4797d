// Spectra that hold at every band: against levels written from their
// definitions (a tone's mean square is A^2 / 2, noise's its own sample
// variance, A-weighting at 31.5 Hz is -39.4 dB in IEC 61672-1's table),
// never from the program's own functions.
#ifdef ONDARIS_FFTW

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "analyse/carte.h"
#include "analyse/carte_directe.h"
#include "analyse/spectre_direct.h"
#include "files/geometrie.h"

namespace {

constexpr double PI = 3.14159265358979323846;

// Frames of two words: counter A, microphone 5 (int32).
const std::vector<int32_t> CODES = {3000, 5};

std::vector<uint32_t> trames(const std::vector<double>& x)
{
    std::vector<uint32_t> m(2 * x.size());
    for (size_t t = 0; t < x.size(); ++t) {
        m[2 * t] = uint32_t(t);
        m[2 * t + 1] = uint32_t(int32_t(std::lround(x[t])));
    }
    return m;
}

SpectreMicro spectre(const std::vector<double>& x, double fs)
{
    SpectreDirect s(CODES, false, fs, 5, 0);
    const auto m = trames(x);
    s.ajoute(m.data(), x.size(), true);
    return s.spectre();
}

// The offset of a microphone is in no line: LZ of the same noise reads the
// same whatever the offset, and what the noise alone holds.
TEST(Bandes, OffsetLeftOut)
{
    const double fs = 50000;
    std::mt19937 gen(11);
    std::normal_distribution<double> bruit(0, 56);
    std::vector<double> n(4 * 65536);
    double moyenne = 0, carres = 0;
    for (double& v : n) {
        v = std::round(bruit(gen));
        moyenne += v;
    }
    moyenne /= double(n.size());
    for (double v : n)
        carres += (v - moyenne) * (v - moyenne);
    const double attendu = 10 * std::log10(carres / double(n.size()));
    for (double decalage : {0.0, 100.0, 1000.0, 10000.0}) {
        std::vector<double> x = n;
        for (double& v : x)
            v += decalage;
        const SpectreMicro s = spectre(x, fs);
        ASSERT_GT(s.segments, 0);
        EXPECT_NEAR(s.lz, attendu, 0.1) << decalage;
        // Nothing in the lowest band but the noise's share of it.
        EXPECT_LT(s.niveaux.front(), attendu - 25) << decalage;
    }
}

// A tone at a band's centre reads its level there within 0.2 dB, and its
// neighbours at least 20 dB below, from 25 Hz to 10 kHz.
TEST(Bandes, TonesAtBandCentres)
{
    for (double fs : {50000.0, 25000.0}) {
        for (int k = -16; k <= 10; ++k) {
            const double fc = 1000 * std::pow(10.0, k / 10.0), a = 10000;
            std::vector<double> x(size_t(4.2 * fs));
            for (size_t t = 0; t < x.size(); ++t)
                x[t] = a * std::sin(2 * PI * fc * double(t) / fs + 0.7);
            const SpectreMicro s = spectre(x, fs);
            const double niveau = 10 * std::log10(a * a / 2);
            size_t b = 0;
            while (b < s.bandes.size() && std::fabs(s.bandes[b].centre - fc) > 1e-6 * fc)
                ++b;
            ASSERT_LT(b, s.bandes.size()) << fc;
            EXPECT_NEAR(s.niveaux[b], niveau, 0.2) << fc << " Hz at " << fs;
            if (b > 0) {
                EXPECT_LT(s.niveaux[b - 1], niveau - 20) << fc << " Hz at " << fs;
            }
            if (b + 1 < s.niveaux.size()) {
                EXPECT_LT(s.niveaux[b + 1], niveau - 20) << fc << " Hz at " << fs;
            }
        }
    }
}

// 31.5 Hz: LA is LZ less 39.4 dB.
TEST(Bandes, AWeightedToneAt31Hz)
{
    const double fs = 50000, f = 31.5;
    std::vector<double> x(size_t(4 * fs));
    for (size_t t = 0; t < x.size(); ++t)
        x[t] = 20000 * std::sin(2 * PI * f * double(t) / fs + 0.2) + 3000;
    const SpectreMicro s = spectre(x, fs);
    EXPECT_NEAR(s.lz, 10 * std::log10(20000.0 * 20000 / 2), 0.1);
    EXPECT_NEAR(s.la - s.lz, -39.4, 0.3);
}

// The map of the 125 Hz band at 50 kHz: its snapshots hold lines of the
// band, and a map of a recording's noise is made there; a snapshot length
// forced too short for the band is still refused.
TEST(Bandes, MapAt125HzAt50kHz)
{
    Geometrie g;
    std::string erreur;
    ASSERT_EQ(lit_geometrie(ONDARIS_SOURCES "/data/geometrie-simulateur.xml", g, erreur), 0) << erreur;
    std::vector<int32_t> codes{3000};
    for (int m = 0; m < 64; ++m)
        codes.push_back(m);
    ReglagesCarte r;
    r.bande = 125;
    r.n = 11;
    r.moyenne = 0.25;
    CarteDirecte c(g, codes, false, 50000, {}, {}, r);
    ASSERT_TRUE(c.valide()) << c.erreur();
    // 112 to 141 Hz: at least four lines apart by 50 000 / points.
    EXPECT_GE(28.9 / (50000.0 / c.points()), 4.0);
    std::mt19937 gen(3);
    std::normal_distribution<double> bruit(0, 1000);
    const size_t n = 40000;
    std::vector<uint32_t> mots(n * codes.size());
    for (size_t t = 0; t < n; ++t) {
        mots[t * codes.size()] = uint32_t(t);
        for (size_t w = 1; w < codes.size(); ++w)
            mots[t * codes.size() + w] = uint32_t(int32_t(std::lround(bruit(gen))));
    }
    for (size_t t = 0; t < n; t += 4000)
        c.ajoute(mots.data() + t * codes.size(), 4000, true);
    ASSERT_TRUE(c.nouvelle());
    const ImageCarte& image = c.derniere();
    EXPECT_GT(image.instantanes, 0);
    EXPECT_NEAR(image.f_basse, 112.2, 0.1);
    for (double v : image.niveaux)
        EXPECT_TRUE(std::isfinite(v));

    // Too short a snapshot (1024 frames, 48.8 Hz lines) for the 25 Hz band.
    Formation courte(50000, g, {0, 1, 2, 3}, 22.4, 28.2, Grille(), 1024);
    EXPECT_LE(courte.raies(), 0);
}

} // namespace

#endif
