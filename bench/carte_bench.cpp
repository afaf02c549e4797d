// The acoustic map's cost on one thread: 1024 microphones over a 1 m disc,
// a 41 x 41 grid, the 4 kHz third-octave band, snapshots of 1024 frames at
// 50 000 Hz (20 ms each). Prints the time of one map from one snapshot and
// from four, and maps per second, with the kernel's GFLOP/s against the
// core's peak for the path it took (64 flops a cycle with AVX-512, 32 with
// AVX2 and FMA, 8 for the portable one at the clock the system reports);
// then the live map (CarteDirecte) over one second of frames averaged by
// 0.25 s: the maps it makes per second and the thread's CPU time for that
// second of frames. CARTE_BENCH_CHEMIN=portable or avx2 forces that path;
// CARTE_BENCH_RAIES=fft or directes how the lines are taken (formation.h).
// Usage: carte_bench [maps, default 20; 0: the live map only]

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "analyse/carte_directe.h"
#include "analyse/formation.h"
#include "analyse/spectre.h"
#include "bench/cpu_fil.h"

namespace {

// The clock of the first core as the system reports it, in GHz; 0 when it
// does not.
double ghz()
{
    std::ifstream f("/proc/cpuinfo");
    std::string l;
    while (std::getline(f, l))
        if (l.rfind("cpu MHz", 0) == 0) {
            const auto p = l.find(':');
            if (p != std::string::npos)
                return std::atof(l.c_str() + p + 1) / 1000;
        }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    using Horloge = std::chrono::steady_clock;
    const int cartes = argc > 1 ? std::max(0, std::atoi(argv[1])) : 20;
    const double fs = 50000;
    const int points = 1024, n = 1024;
    Geometrie g;
    std::vector<int> micros, mots;
    for (int m = 0; m < n; ++m) { // a sunflower spiral
        const double r = 0.5 * std::sqrt((m + 0.5) / n), a = m * 2.39996322972865332;
        g.push_back({r * std::cos(a), r * std::sin(a), 0});
        micros.push_back(m);
        mots.push_back(m + 1); // word 0: the counter
    }
    Bande bande;
    for (const Bande& b : bandes_tiers_octave(fs / 2))
        if (b.nominale == 4000)
            bande = b;
    Formation f(fs, g, micros, bande.basse, bande.haute, grille_ouverture(g, micros, 1.0, 41), points);
    const char* force = std::getenv("CARTE_BENCH_CHEMIN");
    if (force && std::strcmp(force, "portable") == 0)
        f.choisit_chemin(CheminCarte::Portable);
    if (force && std::strcmp(force, "avx2") == 0 && avx2_fma_disponible())
        f.choisit_chemin(CheminCarte::Avx2Fma);
    const char* raies = std::getenv("CARTE_BENCH_RAIES");
    if (raies && std::strcmp(raies, "fft") == 0)
        f.choisit_raies_directes(false);
    if (raies && std::strcmp(raies, "directes") == 0)
        f.choisit_raies_directes(true);
    const double horloge = ghz();
    const double pic = horloge * (f.chemin() == CheminCarte::Avx512 ? 64 : f.chemin() == CheminCarte::Avx2Fma ? 32 : 8);
    std::printf("kernel path: %s (AVX2+FMA %s, AVX-512 %s); core clock %.2f GHz, peak %.0f GFLOP/s for this path; "
                "lines by %s\n",
                nom_chemin(f.chemin()), avx2_fma_disponible() ? "available" : "not available",
                avx512_disponible() ? "available" : "not available", horloge, pic,
                f.raies_directes() ? "direct DFT" : "FFT");
    std::vector<float> trames(static_cast<std::size_t>(points) * (n + 1));
    std::mt19937 gen(1);
    std::normal_distribution<float> bruit(0, 100);
    for (float& v : trames)
        v = bruit(gen);

    for (int par_carte : {1, 4}) {
        if (cartes == 0)
            break;
        double total = 0, snapshots = 0;
        std::vector<double> noyau;
        for (int c = 0; c < cartes; ++c) {
            f.remet();
            const auto t0 = Horloge::now();
            for (int s = 0; s < par_carte; ++s)
                f.ajoute(trames.data(), n + 1, mots);
            const auto t1 = Horloge::now();
            const auto carte = f.carte();
            const auto t2 = Horloge::now();
            snapshots += std::chrono::duration<double>(t1 - t0).count();
            total += std::chrono::duration<double>(t2 - t0).count();
            noyau.push_back(std::chrono::duration<double>(t2 - t1).count());
            if (carte.empty())
                return 1;
        }
        std::printf("map of %d snapshot%s (%d lines, 41 x 41, 1024 microphones): %.1f ms, of which lines %.1f ms; "
                    "%.1f maps per second\n",
                    par_carte, par_carte > 1 ? "s" : "", f.raies(), 1000 * total / cartes, 1000 * snapshots / cartes,
                    cartes / total);
        std::sort(noyau.begin(), noyau.end());
        const double median = noyau[noyau.size() / 2];
        const double gflops = f.operations(par_carte) / median / 1e9;
        std::printf("  kernel: %.1f MFLOP in %.1f ms (median): %.1f GFLOP/s, %.0f %% of the peak\n",
                    f.operations(par_carte) / 1e6, 1000 * median, gflops, pic > 0 ? 100 * gflops / pic : 0.0);
    }

    // The live map: int32 frames of counter A and the 1024 microphones, a
    // table of 8192 frames fed in blocks of 4096 for one second.
    std::vector<int32_t> codes{3000};
    for (int m = 0; m < n; ++m)
        codes.push_back(m);
    std::vector<uint32_t> trames_live(8192 * codes.size());
    for (uint32_t& v : trames_live)
        v = static_cast<uint32_t>(static_cast<int32_t>(bruit(gen)));
    ReglagesCarte r;
    r.bande = 4000;
    r.n = 41;
    r.moyenne = 0.25;
    const auto t0 = Horloge::now();
    CarteDirecte direct(g, codes, false, fs, {}, {}, r);
    direct.choisit_chemin(f.chemin());
    if (raies)
        direct.choisit_raies_directes(f.raies_directes());
    const auto t1 = Horloge::now();
    const double c0 = cpu_fil();
    int faites = 0, instantanes = 0;
    for (int t = 0; t < fs; t += 4096) {
        direct.ajoute(trames_live.data() + (t / 4096 % 2) * 4096 * codes.size(), 4096, true);
        if (direct.nouvelle()) {
            ++faites;
            instantanes = direct.derniere().instantanes;
        }
    }
    const double duree = std::chrono::duration<double>(Horloge::now() - t1).count();
    const double cpu = cpu_fil() - c0;
    std::printf("live map, 0.25 s averaging (%d snapshots of %d): steering %.0f ms, one second of frames in %.0f ms, "
                "%.1f maps per second\n",
                instantanes, instantanes * direct.un_sur(), 1000 * std::chrono::duration<double>(t1 - t0).count(),
                1000 * duree, faites / duree);
    std::printf("live map: one second of frames took %.0f ms of the thread's CPU (%.2f s per second of frames)\n",
                1000 * cpu, cpu);
    return 0;
}
