#ifdef ONDARIS_FFTW

#include <gtest/gtest.h>

#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "analyse/clean_sc.h"
#include "analyse/spectre.h"

namespace {

constexpr double PI = 3.14159265358979323846;
constexpr double FS = 50000;
constexpr int POINTS = 1024;
constexpr std::size_t TRAMES = 16384; // 31 snapshots overlapping by half

double dist(const Point3& a, const Point3& b) { return std::hypot(a.x - b.x, a.y - b.y, a.z - b.z); }
double db_spl(double pa2) { return 10 * std::log10(pa2 / (20e-6 * 20e-6)); }

struct Source {
    Point3 p;
    double spl; // dB SPL at the array's centre in the 4 kHz band
};

// The simulated array, in pascals: each source a noise of flat spectrum
// from 3 to 5.2 kHz, periodic over TRAMES frames with random phases (its
// own seed), reaching microphone m as its pressure at the centre times
// r0 / rm, delayed by (rm - r0) / c, exactly (the delay applied to every
// Fourier line); `bruit` Pa RMS of white noise of every capsule on its own.
// The sources' levels at the centre are set as the map reads them: the
// spectrum's density times the width of the band's lines.
struct Scene {
    Geometrie g;
    std::vector<int> micros;
    Point3 centre;
    Bande bande;
    std::vector<float> x; // [microphone][frame]

    Scene(const std::vector<Source>& sources, double bruit)
    {
        std::string erreur;
        EXPECT_EQ(lit_geometrie(std::string(ONDARIS_SOURCES) + "/data/geometrie-simulateur.xml", g, erreur), 0)
            << erreur;
        for (std::size_t m = 0; m < g.size(); ++m) {
            micros.push_back(int(m));
            centre.x += g[m].x / g.size();
            centre.y += g[m].y / g.size();
        }
        for (const Bande& b : bandes_tiers_octave(FS / 2))
            if (b.nominale == 4000)
                bande = b;
        const double df = FS / POINTS;
        const int raies = int(std::floor(bande.haute / df)) - int(std::ceil(bande.basse / df)) + 1;
        const std::size_t nk = TRAMES / 2 + 1;
        std::vector<std::vector<std::complex<double>>> spectres;
        for (std::size_t s = 0; s < sources.size(); ++s) {
            // x(t) = sum 2 A cos(...): 2 A^2 per Fourier line of FS / TRAMES Hz.
            const double carre = 20e-6 * 20e-6 * std::pow(10.0, sources[s].spl / 10);
            const double a = std::sqrt(carre / (2.0 * raies * TRAMES / POINTS));
            std::mt19937 gen(unsigned(17 + s));
            std::uniform_real_distribution<double> phase(0, 2 * PI);
            std::vector<std::complex<double>> sp(nk);
            for (std::size_t k = 0; k < nk; ++k) {
                const double f = k * FS / TRAMES;
                if (f >= 3000 && f <= 5200)
                    sp[k] = std::polar(a, phase(gen));
            }
            spectres.push_back(sp);
        }
        x.assign(g.size() * TRAMES, 0.0f);
        fftwf_complex* entree = fftwf_alloc_complex(nk);
        float* sortie = fftwf_alloc_real(TRAMES);
        fftwf_plan plan = fftwf_plan_dft_c2r_1d(int(TRAMES), entree, sortie, FFTW_ESTIMATE);
        std::mt19937 gen(99);
        std::normal_distribution<float> n(0, float(bruit > 0 ? bruit : 1));
        for (std::size_t m = 0; m < g.size(); ++m) {
            for (std::size_t k = 0; k < nk; ++k)
                entree[k][0] = entree[k][1] = 0;
            for (std::size_t s = 0; s < sources.size(); ++s) {
                const double r0 = dist(sources[s].p, centre), rm = dist(sources[s].p, g[m]);
                for (std::size_t k = 0; k < nk; ++k) {
                    if (spectres[s][k] == 0.0)
                        continue;
                    const double w = 2 * PI * k * FS / TRAMES;
                    const auto v = spectres[s][k] * std::polar(r0 / rm, -w * (rm - r0) / CELERITE_SON);
                    entree[k][0] += float(v.real());
                    entree[k][1] += float(v.imag());
                }
            }
            fftwf_execute(plan);
            for (std::size_t t = 0; t < TRAMES; ++t)
                x[m * TRAMES + t] = sortie[t] + (bruit > 0 ? n(gen) : 0.0f);
        }
        fftwf_destroy_plan(plan);
        fftwf_free(sortie);
        fftwf_free(entree);
    }

    // The band's snapshots of every microphone added to f.
    void ajoute(Formation& f) const
    {
        for (std::size_t o = 0; o + POINTS <= TRAMES; o += POINTS / 2)
            f.ajoute(x.data() + o, TRAMES, 0);
    }
};

// The grid's local maxima (over their 8 neighbours) within `db` of the
// map's maximum.
int maxima_locaux(const Grille& g, const std::vector<double>& c, double db)
{
    const double max = *std::max_element(c.begin(), c.end());
    int n = 0;
    for (int j = 0; j < g.ny; ++j)
        for (int i = 0; i < g.nx; ++i) {
            const double v = c[std::size_t(j * g.nx + i)];
            if (v < max * std::pow(10.0, -db / 10))
                continue;
            bool plus_haut = true;
            for (int b = std::max(0, j - 1); b <= std::min(g.ny - 1, j + 1); ++b)
                for (int a = std::max(0, i - 1); a <= std::min(g.nx - 1, i + 1); ++a)
                    if ((a != i || b != j) && c[std::size_t(b * g.nx + a)] > v)
                        plus_haut = false;
            n += plus_haut;
        }
    return n;
}

// Two incoherent noises at 1 m, 94 and 88 dB SPL, 0.08 m then 0.1 m apart
// (0.75 and 0.95 of the beam's width at 4 kHz): the delay-and-sum map shows
// one spot between them; CLEAN-SC lists both, each within one grid step of
// its place, the stronger within 1.5 dB of its level, and nothing else
// within 10 dB of the weaker. The weaker reads 2.0 dB low at 0.08 m, 0.8
// dB at 0.1 m: the first parts taken out, at the merged maximum between
// the sources, carry some of it to the stronger (CLEAN-SC does not part
// sources inside one beam by itself).
TEST(CleanSc, TwoSourcesTheDelayAndSumMapMerges)
{
    for (const auto& [demi, ecart_faible] : {std::pair<double, double>{0.04, 2.5}, {0.05, 1.5}}) {
        SCOPED_TRACE(2 * demi);
        const std::vector<Source> sources = {{{demi, 0.01, 1}, 94}, {{-demi, 0.01, 1}, 88}};
        const Scene scene(sources, 0.1);
        const Grille grille = grille_ouverture(scene.g, scene.micros, 1.0, 41);
        Formation f(FS, scene.g, scene.micros, scene.bande.basse, scene.bande.haute, grille, POINTS);
        scene.ajoute(f);
        ASSERT_EQ(f.instantanes(), 31);

        EXPECT_EQ(maxima_locaux(grille, f.carte_sans_diagonale(), 3), 1);

        ReglagesCleanSc r;
        BilanCleanSc bilan;
        const std::vector<double> propre = f.carte_clean_sc(r, true, &bilan);
        EXPECT_EQ(bilan.raies, f.raies());
        EXPECT_EQ(bilan.arret_dynamique + bilan.arret_croissance + bilan.arret_plafond + bilan.arret_negatif,
                  f.raies());
        const std::vector<SourceCleanSc> trouvees = sources_clean_sc(grille, propre, r.dynamique);
        ASSERT_GE(trouvees.size(), 2u);
        for (std::size_t s = 0; s < 2; ++s) {
            SCOPED_TRACE(s);
            EXPECT_LE(std::hypot(trouvees[s].x - sources[s].p.x, trouvees[s].y - sources[s].p.y), grille.pas_x());
            EXPECT_DOUBLE_EQ(trouvees[s].z, 1.0);
            EXPECT_NEAR(db_spl(trouvees[s].moyenne), sources[s].spl, s == 0 ? 1.5 : ecart_faible);
        }
        for (std::size_t s = 2; s < trouvees.size(); ++s)
            EXPECT_LT(db_spl(trouvees[s].moyenne), sources[1].spl - 10) << s;
    }
}

// The stop rules. A source on a grid point with a loop gain of 1 is taken
// out whole by its first part, diagonal left out or kept: its level to
// 0.3 dB, and every line stops at once after it (a part that missed the
// source's own terms would leave it in the residual, iteration after
// iteration). Capsule noise alone: every line ends by a rule, within the
// cap, and the clean map stays finite and positive; a cap of 3 holds.
TEST(CleanSc, StopRules)
{
    const Scene vide({}, 0);
    const Grille grille = grille_ouverture(vide.g, vide.micros, 1.0, 41);
    const Point3 p = grille.point(25, 14);
    const Scene source({{p, 94}}, 0.1);
    Formation f(FS, source.g, source.micros, source.bande.basse, source.bande.haute, grille, POINTS);
    source.ajoute(f);
    for (bool sans_diagonale : {true, false}) {
        SCOPED_TRACE(sans_diagonale);
        ReglagesCleanSc r;
        r.gain = 1;
        BilanCleanSc b;
        const std::vector<double> propre = f.carte_clean_sc(r, sans_diagonale, &b);
        const std::vector<SourceCleanSc> t = sources_clean_sc(grille, propre, r.dynamique);
        ASSERT_FALSE(t.empty());
        EXPECT_EQ(t[0].i, 25);
        EXPECT_EQ(t[0].j, 14);
        EXPECT_NEAR(db_spl(t[0].moyenne), 94, 0.3);
        EXPECT_LE(b.iterations_raie, 2);
    }

    const Scene bruit({}, 1.0);
    Formation n(FS, bruit.g, bruit.micros, bruit.bande.basse, bruit.bande.haute, grille, POINTS);
    bruit.ajoute(n);
    for (int plafond : {100, 3}) {
        SCOPED_TRACE(plafond);
        ReglagesCleanSc r;
        r.iterations = plafond;
        BilanCleanSc b;
        const std::vector<double> propre = n.carte_clean_sc(r, true, &b);
        EXPECT_LE(b.iterations_raie, plafond);
        EXPECT_LE(b.iterations, plafond * n.raies());
        EXPECT_EQ(b.arret_dynamique + b.arret_croissance + b.arret_plafond + b.arret_negatif, n.raies());
        if (plafond == 3) {
            EXPECT_GT(b.arret_plafond, 0);
        }
        for (double v : propre)
            ASSERT_TRUE(std::isfinite(v) && v >= 0);
    }
}

} // namespace

#endif
