// The real window over the simulated box paced at its highest rate (every
// channel: 1045 words per frame, 50 000 Hz, levels on), run until a click
// on Stop posted from another thread; what the window's thread and the
// live analysis kept up with. No Qt in this header: the benchmark that
// prints the figures includes it.
#pragma once

#include <cstdint>
#include <string>

struct BancFenetre {
    double duree = 10;   // s of streaming measured, from 2 s after Start to the click
    std::string dossier; // records there; empty: not recorded
    int lent_ms = 0;     // every write of the data file also waits that long
    // "none", "diagnostic" (the health-check page: every frame it can take
    // is checked) or "carte" (the map page, 41 x 41 points, the 4 kHz
    // third-octave, broadband noise at (0.2, -0.1, 1) m over `geometrie`,
    // and the spectrum of the microphone under the source).
    std::string analyse = "none";
    std::string geometrie = "data/geometrie-simulateur.xml";
};

struct FiguresFenetre {
    int nb_voies = 0;
    double frequence = 0;
    uint32_t paquets = 0; // received by the run
    bool stoppee = false; // the run ended on the Stop
    // The window's thread: its longest time without handling an event, how
    // much of it on a CPU and waiting for one, its CPU share of one core.
    double ecart_max_ms = 0, ecart_cpu_ms = 0, ecart_attente_ms = 0;
    double cpu_fenetre = 0;
    // From the posted click to Stop on the wire, from there to the window
    // given back (files written) and to the analysis's last frames taken;
    // negative when not seen.
    double clic_stop_ms = -1, stop_repos_ms = -1, stop_fin_analyse_ms = -1;
    // The analysis over the whole run.
    uint64_t paquets_ignores = 0, trames = 0, trames_sante = 0;
    int signales = 0;
    int cartes = 0, spectres = 0, instantanes = 0;
    std::string erreur_carte;
    std::string pane; // the information pane at the end
};

// Runs the bench (offscreen unless a display is set); 0, or 1 with the
// reason in `erreur`. `argc` and `argv` go to the application.
int mesure_fenetre(int& argc, char** argv, const BancFenetre& banc, FiguresFenetre& figures, std::string& erreur);
