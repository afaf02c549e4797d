// fenetre_bench SECONDS [FOLDER [SLOW_MS [ANALYSIS]]]: the real window over
// the simulated box paced at its highest rate (every channel: 1045 words per
// frame, 50 000 Hz, levels on) for SECONDS, then a click on Stop posted from
// another thread. With FOLDER the run records there ("-" or "": not
// recorded); with SLOW_MS every 16 MiB write also waits that long, like a
// disk that falls behind. ANALYSIS opens the analysis window before Start:
//   none        (default) no analysis window
//   diagnostic  its health-check page: every frame it can take is checked
//   carte       its acoustic map page, 41 x 41 points, the 4 kHz
//               third-octave, over the simulated array's geometry
//               (FENETRE_BENCH_GEOMETRIE, default data/geometrie-simulateur.xml)
//               with broadband noise at (0.2, -0.1, 1) m, and the spectrum
//               of microphone 434 (under the source); the health check runs too
// Prints, one figure a line:
//   window gap max: N ms      longest time the window's thread handled no event
//     of which: N ms on a CPU, N ms waiting for one (Linux: its schedstat)
//   window thread cpu: N %    its CPU time as a share of one core
//   click to stop sent: N ms  from the posted click to the Stop request on the wire
//   stop to idle: N ms        from there to the window given back, files written
//   stop to analysis ended: N ms  from there to the analysis's last frames taken (within 5 ms)
// and with an analysis, what it kept up with over the whole run:
//   analysis packets left out: N of M received
//   analysis frames checked: N of M streamed (P %), microphones flagged: N
//   analysis maps made: N, spectra made: N, snapshots per map: N
// (maps and spectra counted by a thread reading the results every 100 ms).
// Offscreen unless a display is set.

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/fenetre/banc/banc_fenetre.h"

namespace {

void imprime(const BancFenetre& b, const FiguresFenetre& r)
{
    const std::string enregistrement =
        b.dossier.empty()
            ? "sans enregistrement"
            : (b.lent_ms > 0 ? "enregistré, écriture ralentie de " + std::to_string(b.lent_ms) + " ms" : "enregistré");
    std::printf("Fenêtre sur le boîtier simulé, %d mots par trame, %.0f Hz, niveaux affichés, %s, analyse: %s\n",
                r.nb_voies, r.frequence, enregistrement.c_str(), b.analyse.c_str());
    std::printf("paquets reçus: %u, fin: %s\n", r.paquets,
                r.stoppee ? "stoppée" : "autre (le run a fini avant le Stop ?)");
    std::printf("window gap max: %.0f ms\n", r.ecart_max_ms);
    std::printf("  of which: %.1f ms on a CPU, %.1f ms waiting for one (the rest asleep or blocked)\n", r.ecart_cpu_ms,
                r.ecart_attente_ms);
    std::printf("window thread cpu: %.1f %%\n", 100.0 * r.cpu_fenetre);
    if (r.clic_stop_ms >= 0) {
        std::printf("click to stop sent: %.1f ms\n", r.clic_stop_ms);
        std::printf("stop to idle: %.1f ms\n", r.stop_repos_ms);
        if (r.stop_fin_analyse_ms >= 0)
            std::printf("stop to analysis ended: %.1f ms\n", r.stop_fin_analyse_ms);
    }
    if (b.analyse == "none")
        return;
    std::printf("analysis (%s) packets left out: %llu of %u received\n", b.analyse.c_str(),
                static_cast<unsigned long long>(r.paquets_ignores), r.paquets);
    std::printf("analysis frames checked: %llu of %llu streamed (%.1f %%), microphones flagged: %d\n",
                static_cast<unsigned long long>(r.trames_sante), static_cast<unsigned long long>(r.trames),
                r.trames ? 100.0 * double(r.trames_sante) / double(r.trames) : 0.0, r.signales);
    if (b.analyse == "carte")
        std::printf("analysis maps made: %d, spectra made: %d, snapshots per map: %d%s\n", r.cartes, r.spectres,
                    r.instantanes, r.erreur_carte.empty() ? "" : (", " + r.erreur_carte).c_str());
}

} // namespace

int main(int argc, char** argv)
{
    BancFenetre b;
    b.duree = argc > 1 ? std::atof(argv[1]) : 10.0;
    b.dossier = argc > 2 ? argv[2] : "";
    if (b.dossier == "-")
        b.dossier.clear();
    b.lent_ms = argc > 3 ? std::atoi(argv[3]) : 0;
    b.analyse = argc > 4 ? argv[4] : "none";
    if (b.analyse != "none" && b.analyse != "diagnostic" && b.analyse != "carte") {
        std::fprintf(stderr, "usage: fenetre_bench SECONDS [FOLDER|- [SLOW_MS [none|diagnostic|carte]]]\n");
        return 2;
    }
    if (const char* g = std::getenv("FENETRE_BENCH_GEOMETRIE"))
        b.geometrie = g;
    FiguresFenetre r;
    std::string erreur;
    if (mesure_fenetre(argc, argv, b, r, erreur) != 0) {
        std::fprintf(stderr, "fenetre_bench: %s\n", erreur.c_str());
        return 1;
    }
    imprime(b, r);
    if (std::getenv("FENETRE_BENCH_PANE"))
        std::printf("%s\n", r.pane.c_str());
    return 0;
}
