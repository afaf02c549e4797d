#ifdef ONDARIS_FFTW

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#include "analyse/formation.h"

namespace {

constexpr double PI = 3.14159265358979323846;

// 64 microphones scattered over a 0.6 m square in the plane z = 0.
Geometrie reseau()
{
    Geometrie g;
    std::mt19937 gen(3);
    std::uniform_real_distribution<double> u(-0.3, 0.3);
    for (int m = 0; m < 64; ++m)
        g.push_back({u(gen), u(gen), 0});
    return g;
}

// A tone on an FFT line from a point source, with the transfer model the
// map inverts: at grid point (i, j) it is found there, at the mean square
// it gives the reference point, and nowhere louder.
TEST(Formation, SourceOnAGridPointReadsItsTrueLevel)
{
    const double fs = 50000;
    const int points = 1024;
    const Geometrie g = reseau();
    std::vector<int> micros(g.size());
    for (std::size_t m = 0; m < g.size(); ++m)
        micros[m] = static_cast<int>(m);
    const Grille grille = grille_ouverture(g, micros, 1.0, 21);
    const double f = 80 * fs / points; // 3906 Hz, a line of the 4 kHz third-octave
    Formation carte(fs, g, micros, 3548, 4467, grille, points);

    for (auto [i, j] : {std::pair<int, int>{14, 5}, {3, 17}}) {
        const Point3 s = grille.point(i, j);
        Point3 ref;
        for (const Point3& p : g) {
            ref.x += p.x / g.size();
            ref.y += p.y / g.size();
        }
        auto dist = [](const Point3& a, const Point3& b) { return std::hypot(a.x - b.x, a.y - b.y, a.z - b.z); };
        const double r0 = dist(s, ref), amplitude = 2.0;
        std::vector<float> trames(static_cast<std::size_t>(points) * g.size());
        for (int t = 0; t < points; ++t)
            for (std::size_t m = 0; m < g.size(); ++m) {
                const double rm = dist(s, g[m]);
                trames[t * g.size() + m] = static_cast<float>(
                    amplitude * r0 / rm * std::sin(2 * PI * f * (t / fs - (rm - r0) / CELERITE_SON)));
            }
        carte.remet();
        carte.ajoute(trames.data(), static_cast<int>(g.size()), micros);
        const auto c = carte.carte();
        const auto max = std::max_element(c.begin(), c.end()) - c.begin();
        EXPECT_EQ(max, j * grille.nx + i);
        EXPECT_NEAR(10 * std::log10(c[j * grille.nx + i]), 10 * std::log10(amplitude * amplitude / 2), 0.1);
    }
}

// Noise on every microphone, with 1 to 9 snapshots (a part-filled group of
// four, one, two and three groups), on grids whose last block of points is
// part-filled, in an even and an odd number of blocks (the AVX-512 path
// takes them two by two): every path of the kernel gives the plain
// formula's map within 1e-5 of its maximum (3.6e-7 seen), and the paths
// agree with each other within 2e-6 (2.2e-7 seen).
TEST(Formation, KernelPathsGiveThePlainFormulasMap)
{
    const double fs = 50000;
    const int points = 512;
    const Geometrie g = reseau();
    std::vector<int> micros;
    for (int m = 0; m < 61; ++m) // not a multiple of anything
        micros.push_back(m);
    std::vector<CheminCarte> chemins = {CheminCarte::Portable};
    for (CheminCarte c : {CheminCarte::Avx2Fma, CheminCarte::Avx512})
        if (chemin_disponible(c))
            chemins.push_back(c);
        else
            std::printf("%s not available here\n", nom_chemin(c));
    for (int cote : {13, 9}) { // 169 points: 21 blocks and one; 81: 10 and one
        SCOPED_TRACE(cote);
        Grille grille = grille_ouverture(g, micros, 0.8, cote);
        Formation carte(fs, g, micros, 2800, 5600, grille, points);
        ASSERT_GT(carte.raies(), 4);
        std::mt19937 gen(5);
        std::normal_distribution<float> bruit(0, 1);
        std::vector<float> trames(static_cast<std::size_t>(points) * micros.size());
        for (int instantanes : {1, 2, 3, 4, 5, 6, 8, 9}) {
            SCOPED_TRACE(instantanes);
            carte.remet();
            for (int s = 0; s < instantanes; ++s) {
                for (float& v : trames)
                    v = bruit(gen);
                carte.ajoute(trames.data(), static_cast<int>(micros.size()), micros);
            }
            const auto reference = carte.carte_formule();
            const double max = *std::max_element(reference.begin(), reference.end());
            ASSERT_GT(max, 0);
            std::vector<std::vector<double>> cartes;
            for (CheminCarte c : chemins) {
                carte.choisit_chemin(c);
                cartes.push_back(carte.carte());
                ASSERT_EQ(cartes.back().size(), reference.size());
                for (std::size_t k = 0; k < reference.size(); ++k)
                    ASSERT_NEAR(cartes.back()[k], reference[k], 1e-5 * max) << nom_chemin(c) << " point " << k;
            }
            for (std::size_t c = 1; c < cartes.size(); ++c)
                for (std::size_t k = 0; k < reference.size(); ++k)
                    ASSERT_NEAR(cartes[c][k], cartes[0][k], 2e-6 * max) << nom_chemin(chemins[c]) << " point " << k;
        }
    }
}

// The map's distance is measured from the microphones' mean plane, not
// from z = 0: an array lifted to z = 1 m puts a 1 m map at z = 2 m, over the
// same aperture (at z = 1 the plane would cross the microphones).
TEST(Formation, DistanceFromTheArraysMeanPlane)
{
    Geometrie g = reseau();
    std::vector<int> micros(g.size());
    for (std::size_t m = 0; m < g.size(); ++m)
        micros[m] = static_cast<int>(m);
    const Grille a_plat = grille_ouverture(g, micros, 1.0, 21);
    for (std::size_t m = 0; m < g.size(); ++m)
        g[m].z = 1.0 + (m % 2 ? 0.01 : -0.01);
    const Grille leve = grille_ouverture(g, micros, 1.0, 21);
    EXPECT_DOUBLE_EQ(a_plat.z, 1.0);
    EXPECT_DOUBLE_EQ(leve.z, 2.0);
    EXPECT_EQ(leve.x0, a_plat.x0);
    EXPECT_EQ(leve.y1, a_plat.y1);
}

// Without the diagonal, the noise of each capsule on its own leaves the
// map (its mean at least 10 dB lower), while a source on a grid point reads
// its true level: with 8 microphones the renormalisation is 0.58 dB.
TEST(Formation, DiagonalRemoved)
{
    const double fs = 50000;
    const int points = 256;
    const Geometrie g = reseau();
    std::vector<int> tous(g.size());
    for (std::size_t m = 0; m < g.size(); ++m)
        tous[m] = static_cast<int>(m);
    {
        Formation bruit(fs, g, tous, 3548, 4467, grille_ouverture(g, tous, 1.0, 11), points);
        std::mt19937 gen(9);
        std::normal_distribution<float> n(0, 1);
        std::vector<float> trames(static_cast<std::size_t>(points) * g.size());
        for (int s = 0; s < 300; ++s) {
            for (float& v : trames)
                v = n(gen);
            bruit.ajoute(trames.data(), static_cast<int>(g.size()), tous);
        }
        const auto avec = bruit.carte(), sans = bruit.carte_sans_diagonale();
        double a = 0, b = 0;
        for (std::size_t k = 0; k < avec.size(); ++k) {
            a += avec[k];
            b += sans[k];
            EXPECT_GE(sans[k], 0);
        }
        EXPECT_LT(10 * std::log10(b / a), -10);
    }

    const std::vector<int> huit = {0, 9, 18, 27, 36, 45, 54, 63};
    const Grille grille = grille_ouverture(g, huit, 1.0, 21);
    Formation carte(fs, g, huit, 3548, 4467, grille, points);
    const Point3 s = grille.point(12, 7);
    Point3 ref;
    for (int m : huit) {
        ref.x += g[m].x / 8;
        ref.y += g[m].y / 8;
    }
    auto dist = [](const Point3& a, const Point3& b) { return std::hypot(a.x - b.x, a.y - b.y, a.z - b.z); };
    const double r0 = dist(s, ref), f = 20 * fs / points; // 3906 Hz, on a line
    std::vector<float> trames(static_cast<std::size_t>(points) * g.size());
    for (int t = 0; t < points; ++t)
        for (int m : huit) {
            const double rm = dist(s, g[m]);
            trames[t * g.size() + m] =
                static_cast<float>(r0 / rm * std::sin(2 * PI * f * (t / fs - (rm - r0) / CELERITE_SON)));
        }
    carte.ajoute(trames.data(), static_cast<int>(g.size()), huit);
    const auto c = carte.carte_sans_diagonale();
    const auto max = std::max_element(c.begin(), c.end()) - c.begin();
    EXPECT_EQ(max, 7 * grille.nx + 12);
    EXPECT_NEAR(10 * std::log10(c[7 * grille.nx + 12]), 10 * std::log10(0.5), 0.05);
}

} // namespace

#endif
