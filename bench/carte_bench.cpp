// The acoustic map's cost on one thread: 1024 microphones over a 1 m disc,
// a 41 x 41 grid, the 4 kHz third-octave band, snapshots of 1024 frames at
// 50 000 Hz (20 ms each). Prints the time of one map from one snapshot and
// from four, and maps per second; then the live map (CarteDirecte) over one
// second of frames averaged by 0.25 s, and the maps it makes per second.
// Usage: carte_bench [maps, default 20]

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "analyse/carte_directe.h"
#include "analyse/formation.h"
#include "analyse/spectre.h"

int main(int argc, char** argv)
{
    using Horloge = std::chrono::steady_clock;
    const int cartes = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
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
    std::vector<float> trames(static_cast<std::size_t>(points) * (n + 1));
    std::mt19937 gen(1);
    std::normal_distribution<float> bruit(0, 100);
    for (float& v : trames)
        v = bruit(gen);

    for (int par_carte : {1, 4}) {
        double total = 0, snapshots = 0;
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
            if (carte.empty())
                return 1;
        }
        std::printf("map of %d snapshot%s (%d lines, 41 x 41, 1024 microphones): %.1f ms, of which FFTs %.1f ms; "
                    "%.1f maps per second\n",
                    par_carte, par_carte > 1 ? "s" : "", f.raies(), 1000 * total / cartes, 1000 * snapshots / cartes,
                    cartes / total);
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
    r.moyenne = 0.25;
    const auto t0 = Horloge::now();
    CarteDirecte direct(g, codes, false, fs, {}, {}, r);
    const auto t1 = Horloge::now();
    int faites = 0, instantanes = 0;
    for (int t = 0; t < fs; t += 4096) {
        direct.ajoute(trames_live.data() + (t / 4096 % 2) * 4096 * codes.size(), 4096, true);
        if (direct.nouvelle()) {
            ++faites;
            instantanes = direct.derniere().instantanes;
        }
    }
    const double duree = std::chrono::duration<double>(Horloge::now() - t1).count();
    std::printf("live map, 0.25 s averaging (%d snapshots of %d): steering %.0f ms, one second of frames in %.0f ms, "
                "%.1f maps per second\n",
                instantanes, instantanes * direct.un_sur(), 1000 * std::chrono::duration<double>(t1 - t0).count(),
                1000 * duree, faites / duree);
    return 0;
}
