// The acoustic map of a recording: delay-and-sum (formation.h) over the
// recording's microphones, in one third-octave band, over a span of it.
//
// Snapshots of `points` frames with 50 % overlap, averaged; the grid
// (reglages_carte.h) at distance z in front of the array, in the array's
// own axes, over the aperture of the microphones recorded unless told.
#pragma once

#include <string>
#include <vector>

#include "analyse/clean_sc.h"
#include "analyse/formation.h"
#include "analyse/reglages_carte.h"
#include "files/lecture.h"

struct DemandeCarte {
    double bande = 1000;            // nominal centre of the third-octave band, Hz
    double z = 1;                   // m, > 0
    double debut = 0;               // s from the start of the recording
    double duree = -1;              // s; < 0: to the end
    DemandeGrille grille;           // by default the step follows the band
    int points = 0;                 // frames per snapshot; 0: points_instantane for the band
    double celerite = CELERITE_SON; // m/s
    ReferenceNiveau reference = ReferenceNiveau::Centre;
    // Pa per count of microphone m (0..1023); empty: the samples' own units.
    std::vector<double> facteurs;
    // The microphones' own terms left out (Formation::carte_sans_diagonale).
    bool sans_diagonale = true;
    // CLEAN-SC (clean_sc.h) rather than the delay-and-sum map.
    bool clean_sc = false;
    ReglagesCleanSc reglages_clean_sc;
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
    // A CLEAN-SC map: `moyennes` is the clean map, its sources listed
    // strongest first down to the stop rule's dynamic below the strongest.
    bool clean_sc = false;
    BilanCleanSc bilan;
    std::vector<SourceCleanSc> sources;
    // What the map was made with, for its outputs.
    double bande = 0, z = 0; // nominal centre, Hz; plane distance from the mean plane, m
    double frequence = 0;    // of the recording, Hz
    int points = 0;          // frames per snapshot
    double celerite = 0;     // m/s
    ReferenceNiveau reference = ReferenceNiveau::Centre;
    bool calibree = false;
    double faisceau = 0;         // m, beam width at f_haute
    bool grille_limitee = false; // the default step made coarser (PLAFOND_POINTS_MICROS)
    bool au_bord = false;        // the maximum on the grid's border (AVERTISSEMENT_BORD)
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
