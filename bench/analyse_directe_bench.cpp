// The live analysis's cost on its thread, per second of frames of the
// whole array (counter A and 1024 int32 microphones at 50 000 Hz, noise),
// for each of what it may be asked: the A-weighted level map, one
// microphone's spectrum, the map in the 1 kHz and the 125 Hz bands. Prints
// the segment or snapshot length and the thread's CPU time for 4 s of
// frames, as seconds per second of frames (1 would be all of a core).
// Usage: analyse_directe_bench [seconds of frames, default 4]

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "analyse/formation.h"
#include "analyse/spectre.h"
#include "bench/cpu_fil.h"
#include "direct/analyse_directe.h"
#include "files/geometrie.h"

int main(int argc, char** argv)
{
    const double fs = 50000, secondes = argc > 1 ? std::atof(argv[1]) : 4;
    std::vector<int32_t> codes{3000};
    for (int m = 0; m < 1024; ++m)
        codes.push_back(m);
    // Two blocks of a packet's worth of frames, handed over in turn.
    const size_t bloc = 4096;
    std::vector<uint32_t> mots(2 * bloc * codes.size());
    std::mt19937 gen(5);
    std::normal_distribution<float> bruit(0, 3000);
    for (uint32_t& v : mots)
        v = uint32_t(int32_t(bruit(gen)) + 5000);
    auto g = std::make_shared<Geometrie>();
    std::string erreur;
    if (lit_geometrie(ONDARIS_SOURCES "/data/geometrie-simulateur.xml", *g, erreur) != 0) {
        std::fprintf(stderr, "%s\n", erreur.c_str());
        return 1;
    }
    struct Cas {
        const char* nom;
        ReglagesDirect r;
        int points;
    };
    std::vector<Cas> cas;
    {
        Cas c{"niveaux A, 1024 micros", {}, 16384}; // at 50 kHz
        c.r.ponderation_a = true;
        cas.push_back(c);
    }
    {
        Cas c{"spectre d'un micro", {}, points_spectre(fs)};
        c.r.micro_spectre = 17;
        cas.push_back(c);
    }
    for (double bande : {1000.0, 125.0}) {
        Cas c{bande == 1000 ? "carte 1 kHz, 41 x 41" : "carte 125 Hz, 41 x 41", {}, 0};
        c.r.carte = true;
        c.r.geometrie = g;
        c.r.reglages_carte.bande = bande;
        c.r.reglages_carte.moyenne = 0.25;
        const double b = 1000 * std::pow(10.0, std::round(10 * std::log10(bande / 1000)) / 10);
        c.points = points_instantane(fs, b * std::pow(10.0, -0.05), b * std::pow(10.0, 0.05));
        cas.push_back(c);
    }
    for (const Cas& c : cas) {
        AnalyseDirecte a;
        a.reglages(c.r);
        std::unique_ptr<PriseTrames> prise = a.commence(codes, false, fs);
        const size_t total = size_t(secondes * fs);
        const double t0 = cpu_fil();
        for (size_t t = 0, k = 0; t < total; t += bloc, ++k)
            a.consomme(mots.data() + (k % 2) * bloc * codes.size(), bloc, true);
        const double cpu = cpu_fil() - t0;
        a.termine(*prise);
        const ResultatsDirect r = a.resultats();
        std::printf("%-24s %6d points : %.2f s de CPU pour %.0f s de trames (%.3f s par seconde)%s\n", c.nom, c.points,
                    cpu, secondes, cpu / secondes,
                    c.r.carte ? (", " + std::to_string(r.cartes) + " cartes").c_str() : "");
    }
    return 0;
}
