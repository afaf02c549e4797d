// ondaris-acq's options: what the command line asks for, read and checked
// before anything is done, and the program's exit codes.
#pragma once

#include <string>
#include <vector>

#include "files/geometrie.h"
#include "simulator/frame_source.h"
#include "simulator/microphones.h"

namespace acq {

// Exit codes.
enum {
    EXIT_OK = 0,
    EXIT_USAGE = 64,
    EXIT_NO_BOX = 2,
    EXIT_REFUSED = 3,
    EXIT_INCOMPLETE = 4,
    EXIT_ABANDONED = 5,
    EXIT_COUNTER = 6,
    EXIT_WRITE = 7,
    EXIT_MICROS_SIGNALES = 8,
    EXIT_CALIBRAGE = 9,
    EXIT_INTERRUPTED = 130,
};

struct Options {
    std::string config;
    bool simulateur = false;
    std::string dossier;
    std::string nom;
    bool dossier_donne = false, nom_donne = false;
    double duree = -1;     // s; 0 = open-ended
    double frequence = -1; // Hz
    bool avance = false;
    int enregistrement = -1;
    bool ecraser = false;
    bool progression = true;
    int source = -1;    // 0 Soft, 1 Trig1, 2 Trig2
    int condition = -1; // 0 rising edge, 1 falling edge, 2 high level, 3 low level
    int compteurs = -1; // bit k: counter A + k recorded; -1: as configured
    bool etat = false;  // status channel
    // Simulated box.
    bool sim_temps_reel = true;
    int sim_declenchement_ms = 1000;
    int sim_lenteur_ms = 0;
    double sim_ton_hz = -1, sim_amplitude = -1, sim_faisceau = -1, sim_rangee = -1, sim_bruit = -1;
    std::vector<sim::MicFault> sim_defauts;
    sim::Calibrator sim_calibreur;
    double sim_ecart_db = -1;
    std::string sim_rejoue; // a recording streamed instead of the scene
    Geometrie sim_geometrie;
    std::vector<sim::PointSource> sim_points;
    // The microphones, without a file.
    bool diagnostic = false;
    std::string calibration; // acoular's XML, one factor per microphone
    double calibre = -1;     // dB SPL of the calibrator
    // The live map's log, over the array of --geometrie (else --sim-geometrie).
    bool carte_directe = false;
    Geometrie geometrie;
};

// The options into `o`: LigneCommande::CONTINUER, or the exit code once the
// help, the version or a refusal is printed.
int lit_options(const std::vector<std::string>& argv, Options& o);

} // namespace acq
