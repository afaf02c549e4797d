// Listening to a point on one thread: 1024 microphones over a 1 m disc,
// frames of 1045 words at 50 000 Hz (the box's largest), the array steered
// at a point 1 m in front, off its axis. Prints the thread's CPU time per
// second of recording, best and median of the runs.
// Usage: ecoute_bench [runs, default 5]

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

#include "analyse/ecoute.h"
#include "bench/cpu_fil.h"

int main(int argc, char** argv)
{
    const int essais = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    constexpr double fs = 50000;
    constexpr std::size_t nb_mots = 1045, trames = 50000, bloc = 1000;
    Geometrie g;
    std::vector<int> micros, mots;
    uint32_t graine = 12345;
    auto hasard = [&graine] {
        graine = graine * 1664525u + 1013904223u;
        return (graine >> 8) / double(1 << 24);
    };
    while (g.size() < 1024) {
        const double x = hasard() - 0.5, y = hasard() - 0.5;
        if (x * x + y * y > 0.25)
            continue;
        micros.push_back(int(g.size()));
        mots.push_back(int(g.size()) + 1);
        g.push_back({x, y, 0});
    }
    std::vector<uint32_t> t(trames * nb_mots);
    for (uint32_t& v : t) {
        const float x = float(hasard() - 0.5);
        std::memcpy(&v, &x, 4);
    }
    std::vector<double> temps;
    std::size_t echantillons = 0;
    for (int e = 0; e < essais; ++e) {
        Pointage p(fs, g, micros, mots, nb_mots, true, {}, {0.2, -0.1, 1});
        std::vector<float> y;
        y.reserve(trames);
        const double debut = cpu_fil();
        for (std::size_t k = 0; k < trames; k += bloc)
            p.ajoute(t.data() + k * nb_mots, std::min(bloc, trames - k), y);
        p.termine(y);
        temps.push_back(cpu_fil() - debut);
        echantillons = y.size();
    }
    std::sort(temps.begin(), temps.end());
    std::printf("écoute d'un point, 1024 micros, %zu trames de %zu mots à %.0f Hz (%zu échantillons rendus)\n", trames,
                nb_mots, fs, echantillons);
    std::printf("  CPU du fil par seconde d'enregistrement : %.3f s au mieux, %.3f s en médiane (objectif : < 1 s)\n",
                temps.front(), temps[temps.size() / 2]);
    return 0;
}
