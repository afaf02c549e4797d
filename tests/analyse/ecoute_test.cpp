#ifdef ONDARIS_FFTW

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "analyse/ecoute.h"
#include "analyse/formation.h"
#include "files/wav.h"

namespace {

constexpr double PI = 3.14159265358979323846;
constexpr double FS = 50000;

double dist(const Point3& a, const Point3& b) { return std::hypot(a.x - b.x, a.y - b.y, a.z - b.z); }

// 256 microphones scattered over a 1 m square in the plane z = 0.
struct Reseau {
    Geometrie g;
    std::vector<int> micros, mots;
    Point3 centre;
    Reseau()
    {
        std::mt19937 gen(11);
        std::uniform_real_distribution<double> u(-0.5, 0.5);
        for (int m = 0; m < 256; ++m) {
            g.push_back({u(gen), u(gen), 0});
            micros.push_back(m);
            mots.push_back(m + 1); // word 0 is the counter
            centre.x += g.back().x / 256;
            centre.y += g.back().y / 256;
        }
    }
    std::size_t nb_mots() const { return micros.size() + 1; }
};

struct Source {
    Point3 p;
    double f, amplitude; // Hz; amplitude at the array's centre
};

// Frames of float samples with the map's transfer model: each source
// reaches microphone m as its pressure at the centre, r0 / rm, delayed by
// (rm - r0) / c; `bruit` adds noise of that RMS to every capsule on its own.
std::vector<uint32_t> trames(const Reseau& r, const std::vector<Source>& sources, std::size_t n, double bruit = 0)
{
    std::vector<uint32_t> t(n * r.nb_mots());
    std::mt19937 gen(5);
    std::normal_distribution<double> b(0, bruit > 0 ? bruit : 1);
    for (std::size_t k = 0; k < n; ++k) {
        t[k * r.nb_mots()] = uint32_t(k);
        for (std::size_t m = 0; m < r.micros.size(); ++m) {
            double x = bruit > 0 ? b(gen) : 0;
            for (const Source& s : sources) {
                const double r0 = dist(s.p, r.centre), rm = dist(s.p, r.g[m]);
                x += s.amplitude * r0 / rm * std::sin(2 * PI * s.f * (k / FS - (rm - r0) / CELERITE_SON));
            }
            const float v = float(x);
            std::memcpy(&t[k * r.nb_mots() + m + 1], &v, 4);
        }
    }
    return t;
}

// Mean square of the part of y at f Hz, over y[a, b).
double ton(const std::vector<float>& y, double f, std::size_t a, std::size_t b)
{
    double c = 0, s = 0;
    for (std::size_t k = a; k < b; ++k) {
        c += y[k] * std::cos(2 * PI * f * k / FS);
        s += y[k] * std::sin(2 * PI * f * k / FS);
    }
    const double n = double(b - a);
    return 2 * (c * c + s * s) / (n * n);
}

double db(double x) { return 10 * std::log10(x); }

// Steered at one source, the signal carries it at its level at the centre
// (fractional delays included, up to 12.5 kHz), the other far below.
TEST(Ecoute, SteeredSignalCarriesThePointsSourceOnly)
{
    const Reseau r;
    const std::vector<Source> sources = {
        {{0.2, -0.1, 1}, 2000, 1.0}, {{-0.25, 0.2, 1}, 3150, 1.0}, {{0.05, 0.35, 0.7}, 12500, 0.5}};
    const std::size_t n = 20000;
    const std::vector<uint32_t> t = trames(r, sources, n);
    for (std::size_t s = 0; s < sources.size(); ++s) {
        Pointage p(FS, r.g, r.micros, r.mots, r.nb_mots(), true, {}, sources[s].p);
        ASSERT_TRUE(p.valide());
        EXPECT_EQ(p.micros(), 256);
        std::vector<float> y;
        p.ajoute(t.data(), n, y);
        p.termine(y);
        ASSERT_EQ(y.size(), n);
        // Away from the ends, where the frames before and after are missing.
        const std::size_t a = 1000, b = n - 1000;
        const double voulu = sources[s].amplitude * sources[s].amplitude / 2;
        EXPECT_NEAR(db(ton(y, sources[s].f, a, b)), db(voulu), 0.2) << sources[s].f << " Hz";
        for (std::size_t o = 0; o < sources.size(); ++o) {
            if (o == s)
                continue;
            EXPECT_LT(db(ton(y, sources[o].f, a, b)), db(voulu) - 15)
                << "steered at " << sources[s].f << " Hz, " << sources[o].f << " Hz";
        }
    }
}

// Frames given in uneven pieces give the same samples, bit for bit, as
// all at once; noise of each capsule on its own falls as the weights say
// (about 10 log10(256) = 24 dB).
TEST(Ecoute, PiecesAndNoise)
{
    const Reseau r;
    const std::size_t n = 30000;
    const Point3 point{-0.1, 0.15, 0.8};
    const std::vector<uint32_t> t = trames(r, {}, n, 1.0);
    Pointage entier(FS, r.g, r.micros, r.mots, r.nb_mots(), true, {}, point);
    std::vector<float> a;
    entier.ajoute(t.data(), n, a);
    entier.termine(a);
    Pointage morceaux(FS, r.g, r.micros, r.mots, r.nb_mots(), true, {}, point);
    std::vector<float> b;
    for (std::size_t k = 0, pas = 1; k < n; k += pas, pas = pas * 7 % 5003 + 1)
        morceaux.ajoute(t.data() + k * r.nb_mots(), std::min(pas, n - k), b);
    EXPECT_LE(b.size(), n - std::size_t(morceaux.avance()) + 1);
    morceaux.termine(b);
    ASSERT_EQ(b.size(), n);
    EXPECT_EQ(a, b);

    double poids = 0;
    const double r0 = dist(point, r.centre);
    for (const Point3& m : r.g)
        poids += std::pow(dist(point, m) / r0 / 256, 2);
    double carres = 0;
    for (std::size_t k = 1000; k < n - 1000; ++k)
        carres += double(a[k]) * a[k];
    // The interpolators pass white noise below 0.4 fs only: up to 1 dB less.
    const double niveau = db(carres / double(n - 2000));
    EXPECT_LT(niveau, db(poids) + 0.2);
    EXPECT_GT(niveau, db(poids) - 1.0);
}

// Counts scaled by each microphone's factor; a microphone without one is
// left out; a point on a microphone or not finite cannot be steered at.
TEST(Ecoute, FactorsAndRefusedPoints)
{
    const Reseau r;
    const std::size_t n = 8000;
    const Source s{{0.1, 0.1, 1}, 1000, 0.5};
    std::vector<uint32_t> t(n * r.nb_mots());
    for (std::size_t k = 0; k < n; ++k)
        for (std::size_t m = 0; m < r.micros.size(); ++m) {
            const double r0 = dist(s.p, r.centre), rm = dist(s.p, r.g[m]);
            const double pa = s.amplitude * r0 / rm * std::sin(2 * PI * s.f * (k / FS - (rm - r0) / CELERITE_SON));
            // Counts of a capsule of 1000 counts per pascal, the odd ones dead.
            t[k * r.nb_mots() + m + 1] = uint32_t(int32_t(std::lround(m % 2 ? 0.0 : pa * 1000)));
        }
    std::vector<float> facteurs(r.micros.size(), 1e-3f);
    for (std::size_t m = 1; m < facteurs.size(); m += 2)
        facteurs[m] = 0;
    Pointage p(FS, r.g, r.micros, r.mots, r.nb_mots(), false, facteurs, s.p);
    ASSERT_TRUE(p.valide());
    EXPECT_EQ(p.micros(), 128);
    std::vector<float> y;
    p.ajoute(t.data(), n, y);
    p.termine(y);
    EXPECT_NEAR(db(ton(y, s.f, 1000, n - 1000)), db(s.amplitude * s.amplitude / 2), 0.2);

    EXPECT_FALSE(Pointage(FS, r.g, r.micros, r.mots, r.nb_mots(), true, {}, r.g[7]).valide());
    EXPECT_FALSE(Pointage(FS, r.g, r.micros, r.mots, r.nb_mots(), true, {}, {std::nan(""), 0, 1}).valide());
    EXPECT_FALSE(Pointage(FS, r.g, r.micros, r.mots, r.nb_mots(), true, std::vector<float>(256, 0.0f), s.p).valide());
    EXPECT_FALSE(Pointage(FS, r.g, {}, {}, r.nb_mots(), true, {}, s.p).valide());
}

TEST(Ecoute, BandFilter)
{
    std::vector<float> x(25000);
    for (std::size_t k = 0; k < x.size(); ++k)
        x[k] = float(std::sin(2 * PI * 1000 * k / FS) + 0.5 * std::sin(2 * PI * 4000 * k / FS));
    filtre_bande(x, FS, 3548, 4467);
    EXPECT_NEAR(db(ton(x, 4000, 0, x.size())), db(0.125), 0.05);
    EXPECT_LT(db(ton(x, 1000, 0, x.size())), db(0.5) - 60);
}

// A float WAV that readers take: its chunks, its rate and its samples.
TEST(Ecoute, FloatWave)
{
    const std::vector<float> s = {0.0f, 0.5f, -1.25f, 3e-6f};
    const std::string w = wav_flottant(s, 50000);
    ASSERT_EQ(w.size(), 58u + 16u);
    auto u32 = [&](std::size_t o) {
        uint32_t v = 0;
        for (int k = 3; k >= 0; --k)
            v = v << 8 | uint8_t(w[o + std::size_t(k)]);
        return v;
    };
    auto u16 = [&](std::size_t o) { return uint16_t(uint8_t(w[o]) | uint8_t(w[o + 1]) << 8); };
    EXPECT_EQ(w.substr(0, 4), "RIFF");
    EXPECT_EQ(u32(4), w.size() - 8);
    EXPECT_EQ(w.substr(8, 8), "WAVEfmt ");
    EXPECT_EQ(u32(16), 18u);
    EXPECT_EQ(u16(20), 3); // IEEE float
    EXPECT_EQ(u16(22), 1);
    EXPECT_EQ(u32(24), 50000u);
    EXPECT_EQ(u32(28), 200000u);
    EXPECT_EQ(u16(32), 4);
    EXPECT_EQ(u16(34), 32);
    EXPECT_EQ(w.substr(38, 4), "fact");
    EXPECT_EQ(u32(46), 4u);
    EXPECT_EQ(w.substr(50, 4), "data");
    EXPECT_EQ(u32(54), 16u);
    for (std::size_t k = 0; k < s.size(); ++k) {
        const uint32_t v = u32(58 + 4 * k);
        float f;
        std::memcpy(&f, &v, 4);
        EXPECT_EQ(f, s[k]);
    }
}

} // namespace

#endif
