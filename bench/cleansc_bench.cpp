// CLEAN-SC's cost on one thread: 1024 microphones over a 1 m disc, a 41 x 41
// grid 1 m in front, the 4 kHz third-octave band, one second of frames at
// 50 000 Hz (96 snapshots of 1024 frames overlapping by half). The scene:
// two incoherent noises 0.08 m apart, 94 and 88 dB SPL at the centre from
// 3 to 5.2 kHz, over capsule noise. Prints the thread's CPU time and the wall clock of the
// snapshots' transforms, of the delay-and-sum map and of CLEAN-SC, the
// iterations made and the sources found; then CLEAN-SC with no dynamic,
// its lines run to the cap.
// Usage: cleansc_bench [runs, default 3]

#include <fftw3.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "analyse/clean_sc.h"
#include "analyse/spectre.h"
#include "bench/cpu_fil.h"

namespace {

constexpr double PI = 3.14159265358979323846;

double ecart(const Point3& a, const Point3& b) { return std::hypot(a.x - b.x, a.y - b.y, a.z - b.z); }

} // namespace

int main(int argc, char** argv)
{
    using Horloge = std::chrono::steady_clock;
    const int essais = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const double fs = 50000;
    const int points = 1024, n = 1024;
    const std::size_t trames = 50000, nk = trames / 2 + 1;
    Geometrie g;
    std::vector<int> micros;
    for (int m = 0; m < n; ++m) { // a sunflower spiral
        const double r = 0.5 * std::sqrt((m + 0.5) / n), a = m * 2.39996322972865332;
        g.push_back({r * std::cos(a), r * std::sin(a), 0});
        micros.push_back(m);
    }
    Bande bande;
    for (const Bande& b : bandes_tiers_octave(fs / 2))
        if (b.nominale == 4000)
            bande = b;

    // Flat noise from 3 to 5.2 kHz per source, delayed exactly per
    // microphone through its Fourier lines; [microphone][frame], in Pa.
    const Point3 sources[2] = {{0.04, 0.01, 1}, {-0.04, 0.01, 1}};
    const double amplitudes[2] = {1.0, 0.5};
    std::vector<float> x(std::size_t(n) * trames);
    {
        fftwf_complex* entree = fftwf_alloc_complex(nk);
        float* sortie = fftwf_alloc_real(trames);
        fftwf_plan plan = fftwf_plan_dft_c2r_1d(int(trames), entree, sortie, FFTW_ESTIMATE);
        std::mt19937 gen(1);
        std::uniform_real_distribution<double> phase(0, 2 * PI);
        std::normal_distribution<float> bruit(0, 0.05f);
        std::vector<double> phases(2 * nk);
        for (double& p : phases)
            p = phase(gen);
        const std::size_t k0 = std::size_t(3000 * trames / fs), k1 = std::size_t(5200 * trames / fs);
        for (int m = 0; m < n; ++m) {
            for (std::size_t k = 0; k < nk; ++k)
                entree[k][0] = entree[k][1] = 0;
            for (int s = 0; s < 2; ++s) {
                const double r0 = ecart(sources[s], {0, 0, 0}), rm = ecart(sources[s], g[std::size_t(m)]);
                for (std::size_t k = k0; k <= k1; ++k) {
                    const double w = 2 * PI * k * fs / trames;
                    const auto v = std::polar(amplitudes[s] * r0 / rm / std::sqrt(2.0 * double(k1 - k0 + 1)),
                                              phases[s * nk + k] - w * (rm - r0) / CELERITE_SON);
                    entree[k][0] += float(v.real());
                    entree[k][1] += float(v.imag());
                }
            }
            fftwf_execute(plan);
            for (std::size_t t = 0; t < trames; ++t)
                x[std::size_t(m) * trames + t] = sortie[t] + bruit(gen);
        }
        fftwf_destroy_plan(plan);
        fftwf_free(sortie);
        fftwf_free(entree);
    }

    Formation f(fs, g, micros, bande.basse, bande.haute, grille_ouverture(g, micros, 1.0, 41), points);
    std::printf("CLEAN-SC: 1024 microphones, 41 x 41 points, band 4000 Hz (%d lines), 1 s at 50 000 Hz, kernel %s\n",
                f.raies(), nom_chemin(f.chemin()));
    for (int e = 0; e < essais; ++e) {
        f.remet();
        const double c0 = cpu_fil();
        const auto t0 = Horloge::now();
        for (std::size_t o = 0; o + points <= trames; o += points / 2)
            f.ajoute(x.data() + o, trames, 0);
        const double c1 = cpu_fil();
        const auto t1 = Horloge::now();
        const std::vector<double> das = f.carte_sans_diagonale();
        const double c2 = cpu_fil();
        const auto t2 = Horloge::now();
        ReglagesCleanSc r;
        BilanCleanSc b;
        const std::vector<double> propre = f.carte_clean_sc(r, true, &b);
        const double c3 = cpu_fil();
        const auto t3 = Horloge::now();
        auto s = [](Horloge::time_point a, Horloge::time_point b) {
            return std::chrono::duration<double>(b - a).count();
        };
        std::printf("run %d: %d snapshots in %.2f s CPU (%.2f s wall); delay-and-sum map %.2f s CPU (%.2f s wall); "
                    "CLEAN-SC %.2f s CPU (%.2f s wall), %d iterations (at most %d in a line)\n",
                    e + 1, f.instantanes(), c1 - c0, s(t0, t1), c2 - c1, s(t1, t2), c3 - c2, s(t2, t3), b.iterations,
                    b.iterations_raie);
        if (e + 1 == essais)
            for (const SourceCleanSc& k : sources_clean_sc(f.grille(), propre, r.dynamique))
                std::printf("  source at x = %.3f m, y = %.3f m: %.1f dB SPL in the band\n", k.x, k.y,
                            10 * std::log10(k.moyenne / 4e-10));
        if (das.empty())
            return 1;
    }
    // The worst case of the defaults: no dynamic, every line to its cap of
    // 100 iterations unless its maximum stops decreasing.
    ReglagesCleanSc r;
    r.dynamique = 1000;
    BilanCleanSc b;
    const double c0 = cpu_fil();
    const auto t0 = Horloge::now();
    f.carte_clean_sc(r, true, &b);
    std::printf("CLEAN-SC to the cap: %.2f s CPU (%.2f s wall), %d iterations (%d lines at the cap), %.1f ms per "
                "iteration\n",
                cpu_fil() - c0, std::chrono::duration<double>(Horloge::now() - t0).count(), b.iterations,
                b.arret_plafond, 1000 * (cpu_fil() - c0) / std::max(1, b.iterations));
    return 0;
}
