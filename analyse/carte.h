// The acoustic map of a recording: delay-and-sum (formation.h) over the
// recording's microphones, in one third-octave band, over a span of it.
//
// Snapshots of `points` frames with 50 % overlap, averaged; the grid n by n
// over the aperture of the microphones recorded, at distance z in front of
// the array, in the array's own axes.
#pragma once

#include <string>
#include <vector>

#include "analyse/formation.h"
#include "files/lecture.h"

struct DemandeCarte {
    double bande = 1000; // nominal centre of the third-octave band, Hz
    double z = 1;        // m, > 0
    double debut = 0;    // s from the start of the recording
    double duree = -1;   // s; < 0: to the end
    int n = 41;
    int points = 0; // frames per snapshot; 0: points_instantane for the band
    // Pa per count of microphone m (0..1023); empty: the samples' own units.
    std::vector<double> facteurs;
    // The microphones' own terms left out (Formation::carte_sans_diagonale).
    bool sans_diagonale = true;
};

struct Carte {
    Grille grille;
    std::vector<double> moyennes; // mean square per focus point (units² or Pa²), entry j * nx + i
    double f_basse = 0, f_haute = 0;
    int instantanes = 0;
    int micros = 0;
    int i_max = 0, j_max = 0;    // the maximum's focus point
    double x_max = 0, y_max = 0; // m
    double niveau_max = 0;       // dB re 1 unit², or dB SPL with factors
    bool sans_diagonale = false;
};

// A recording's microphones that the geometry places: the code of each,
// its word in a frame and, when `facteurs` (Pa per count of microphone m)
// is given, its factor (0 for one past the list).
struct MicrosEnregistres {
    Enregistrement e;
    std::vector<int> micros;
    std::vector<int32_t> mots;
    std::vector<float> facteurs;
};
// 0; or -1 with the reason in `erreur` (unreadable recording, no microphone).
int micros_enregistres(const std::string& dat, const Geometrie& g, const std::vector<double>& facteurs,
                       MicrosEnregistres& m, std::string& erreur);

// 0; or -1 with the reason in `erreur` (unreadable recording, no such band,
// a span too short for one snapshot, no microphone).
int calcule_carte(const std::string& dat, const Geometrie& g, const DemandeCarte& d, Carte& c, std::string& erreur);
