#ifdef ONDARIS_FFTW

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#include "analyse/formation.h"
#include "analyse/raies_directes.h"

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

// The direct DFT against the lines in double precision, near the bottom
// (line 1, where the Hann window takes in the offset), in the middle and
// near the top, at 1024 and 16384 frames, on frames of noise with a large
// offset and a loud tone outside the band: a float sum of `points` terms,
// within 1e-7 sqrt(points) of the windowed frames' norm plus the largest of
// its partial sums (under the offset, at the lowest lines, many times the
// norm: the reason formation.cpp leaves those to the FFT). The frames'
// kernel (with factors) and the rows' kernel (a ring begun anywhere) give
// the same floats on each path: the live map is the plain map exactly.
TEST(Formation, DirectLinesAreTheDfts)
{
    struct Cas {
        int points, k0, raies;
    };
    std::vector<CheminCarte> chemins = {CheminCarte::Portable};
    if (chemin_disponible(CheminCarte::Avx2Fma))
        chemins.push_back(CheminCarte::Avx2Fma);
    for (const Cas& k : {Cas{1024, 73, 19}, Cas{1024, 1, 5}, Cas{1024, 500, 11}, Cas{16384, 3, 5}, Cas{256, 9, 1}}) {
        SCOPED_TRACE(k.points);
        SCOPED_TRACE(k.k0);
        const std::size_t np = std::size_t(k.points), nm = 21, pas = 37, ligne = np + 5;
        std::vector<float> w(np);
        for (std::size_t t = 0; t < np; ++t)
            w[t] = float(0.5 - 0.5 * std::cos(2 * PI * double(t) / double(np)));
        std::mt19937 gen(11);
        std::normal_distribution<float> bruit(0, 1);
        std::vector<float> trames(np * pas), facteurs(16);
        for (std::size_t t = 0; t < np; ++t)
            for (std::size_t j = 0; j < pas; ++j)
                trames[t * pas + j] = 300 + bruit(gen) + 100 * float(std::sin(2 * PI * 0.37 * double(t)));
        for (std::size_t j = 0; j < 16; ++j)
            facteurs[j] = 0.5f + 0.1f * float(j);
        const RaiesDirectes d(w.data(), k.points, k.k0, k.raies);
        const std::size_t lg = std::size_t(d.largeur()), rangees = std::size_t(d.rangees());
        for (CheminCarte c : chemins) {
            SCOPED_TRACE(nom_chemin(c));
            // Microphones 0..15 from word 2, scaled; and the ring of the same
            // scaled frames begun at entry `debut`.
            std::vector<float> parTrames((rangees + 6) * 16);
            d.trames(c, trames.data() + 2, pas, facteurs.data(), parTrames.data());
            const std::size_t debut = np / 3 + 1;
            std::vector<float> anneau(nm * ligne), parLignes(nm * lg, -1.0f);
            for (std::size_t i = 0; i < nm; ++i)
                for (std::size_t t = 0; t < np; ++t)
                    anneau[i * ligne + (debut + t) % np] = trames[t * pas + 2 + i] * (i < 16 ? facteurs[i] : 1.0f);
            d.colonnes(c, anneau.data(), ligne, nm, int(debut), parLignes.data());
            for (std::size_t i = 0; i < nm; ++i) {
                double norme = 0;
                std::vector<std::complex<double>> x(std::size_t(k.raies));
                std::vector<double> partielle(std::size_t(k.raies));
                for (std::size_t t = 0; t < np; ++t) {
                    const double v = double(anneau[i * ligne + (debut + t) % np]) * w[t];
                    norme += v * v;
                    for (std::size_t r = 0; r < std::size_t(k.raies); ++r) {
                        x[r] += v * std::polar(1.0, -2 * PI * double((std::size_t(k.k0) + r) * t % np) / double(np));
                        partielle[r] = std::max(partielle[r], std::abs(x[r]));
                    }
                }
                norme = std::sqrt(norme);
                for (std::size_t r = 0; r < std::size_t(k.raies); ++r) {
                    const double tolerance = 1e-7 * std::sqrt(double(np)) * (norme + partielle[r]);
                    ASSERT_NEAR(parLignes[i * lg + 2 * r], x[r].real(), tolerance) << i << " line " << r;
                    ASSERT_NEAR(parLignes[i * lg + 2 * r + 1], x[r].imag(), tolerance) << i << " line " << r;
                    if (i < 16) {
                        ASSERT_EQ(parTrames[2 * r * 16 + i], parLignes[i * lg + 2 * r]) << i << " line " << r;
                        ASSERT_EQ(parTrames[(2 * r + 1) * 16 + i], parLignes[i * lg + 2 * r + 1]) << i << " line " << r;
                    }
                }
                for (std::size_t q = rangees; q < lg; ++q)
                    ASSERT_EQ(parLignes[i * lg + q], 0.0f);
            }
        }
    }
}

// The map from the direct DFT's lines is the map from the FFT's, for
// frames (words out of order, factors on part of the microphones) and for
// rows begun anywhere, in a band that takes line 1 and one of the 4 kHz
// third-octave, with 1 and 5 snapshots.
TEST(Formation, DirectLinesGiveTheFftsMap)
{
    const double fs = 50000;
    const Geometrie g = reseau();
    std::vector<int> micros, mot;
    for (int m = 0; m < 53; ++m) {
        micros.push_back(m);
        mot.push_back((m * 7) % 53 + 1);
    }
    std::vector<float> facteurs(30);
    for (std::size_t i = 0; i < facteurs.size(); ++i)
        facteurs[i] = 1.0f + 0.05f * float(i);
    struct Cas {
        double basse, haute;
        int points;
    };
    for (const Cas& k : {Cas{3548, 4467, 1024}, Cas{20, 250, 2048}}) {
        SCOPED_TRACE(k.points);
        const Grille grille = grille_ouverture(g, micros, 1.0, 11);
        Formation fft(fs, g, micros, k.basse, k.haute, grille, k.points),
            directe(fs, g, micros, k.basse, k.haute, grille, k.points);
        fft.choisit_raies_directes(false);
        directe.choisit_raies_directes(true);
        ASSERT_FALSE(fft.raies_directes());
        ASSERT_TRUE(directe.raies_directes());
        std::mt19937 gen(13);
        std::normal_distribution<float> bruit(0, 1);
        const std::size_t np = std::size_t(k.points), nm = micros.size(), mots = 54, ligne = np + 3;
        std::vector<float> trames(np * mots), colonnes(nm * ligne);
        for (int instantanes : {1, 5}) {
            for (int forme = 0; forme < 2; ++forme) {
                SCOPED_TRACE(forme);
                fft.remet();
                directe.remet();
                for (int s = 0; s < instantanes; ++s) {
                    for (float& v : trames)
                        v = 10 + bruit(gen);
                    const int debut = 17 * (s + 1);
                    for (std::size_t i = 0; i < nm; ++i)
                        for (std::size_t t = 0; t < np; ++t)
                            colonnes[i * ligne + (std::size_t(debut) + t) % np] =
                                trames[t * mots + std::size_t(mot[i])];
                    for (Formation* f : {&fft, &directe})
                        if (forme == 0)
                            f->ajoute(trames.data(), int(mots), mot, facteurs);
                        else
                            f->ajoute(colonnes.data(), ligne, debut);
                }
                const auto a = fft.carte(), b = directe.carte();
                const double max = *std::max_element(a.begin(), a.end());
                ASSERT_GT(max, 0);
                for (std::size_t p = 0; p < a.size(); ++p)
                    ASSERT_NEAR(b[p], a[p], 1e-5 * max) << p;
            }
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
