// The health of the microphones, from their samples alone. Per microphone:
// mean, RMS, peak, share of samples at full scale, longest run of one value,
// and its level in the upper band against the median of its neighbours on
// the array. From these, the faults of a microphone: dead, stuck, saturated,
// noisy, DC offset.
//
// Frames go in by blocks, in stream order, as a reader of a data file or a
// live consumer (on copies of the frames) has them; the figures can be
// taken at any time. An AnalyseMicros belongs to one thread.
//
// Units: samples are counts, whatever the sample type (a float32 word holds
// the integer sample's value). Levels are in the level map's decibels,
// 10 log10(mean square) - 15, which read dB SPL for a microphone of the
// nominal sensitivity.
//
// The upper band is fs/4 to fs/2, the half of the spectrum where sound in a
// room is weakest and what a microphone shows is mostly its own noise: a
// 4th-order Butterworth high-pass at fs/4 (-96 dB at fs/50, 1 kHz at
// 50 000 Hz), whose first TRAMES_AMORCE outputs are left out of the level.
// A noisy microphone stands out there; a loud source below the band does
// not hide it, one inside the band (a low sampling rate) can.
//
// Neighbours. The array is taken as a grid of 128 beams (columns) by 8
// positions (rows), microphone m = 8f + j at column f, row j. Its
// neighbours are the recorded microphones among positions j - 1 and j + 1
// of beam f, and j - 1, j, j + 1 of beams f - 1 and f + 1: eight inside the
// grid, five on an edge, three in a corner. A real source raises a
// microphone's neighbours with it, a faulty microphone stands alone; the
// median of up to eight ignores one faulty neighbour.
//
// Faults, in this order; a stuck microphone is only stuck, a dead one is
// not also noisy or offset, a saturated one is not also noisy:
//  - stuck (FIGE): one value other than 0 for at least SEUIL_PALIER samples
//    in a row (or the whole recording when shorter, from 2 samples). A
//    working microphone's noise never repeats that long; 0 for ever is dead.
//  - dead (MUET): not stuck, and its RMS below SEUIL_MUET_RMS (nothing, or
//    all zeros: any microphone's own noise is well above one count), or its
//    band level SEUIL_MUET_DB or more below its neighbours' median.
//  - saturated (SATURE): not stuck, and at least SEUIL_SATURE of its samples
//    at full scale (at or beyond 2^23 - 1 or -2^23): a microphone driven into
//    its rails, not one clipped bang.
//  - DC offset (CONTINU): neither stuck nor dead, a mean of at least
//    SEUIL_CONTINU counts in size, and no smaller than its RMS: sound has no
//    mean, and the partial period of a low tone in a short recording leaves
//    one below its RMS.
//  - noisy (BRUYANT): neither stuck, dead nor saturated, and a band level
//    SEUIL_BRUYANT_DB or more above its neighbours' median.
// A microphone with no recorded neighbour is judged on its own figures only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

constexpr double PLEINE_ECHELLE = 8388608.0;            // 2^23, 24-bit samples: 123 dB on the level map
constexpr double SEUIL_SATURE = 1e-3;                   // share of samples at full scale
constexpr uint64_t SEUIL_PALIER = 1000;                 // samples of one value
constexpr double SEUIL_MUET_RMS = 1.0;                  // counts
constexpr double SEUIL_MUET_DB = 20.0;                  // below the neighbours
constexpr double SEUIL_BRUYANT_DB = 10.0;               // above the neighbours
constexpr double SEUIL_CONTINU = PLEINE_ECHELLE / 1000; // 60 dB below full scale
constexpr int TRAMES_AMORCE = 64;                       // the band filter settles
constexpr double NIVEAU_PLANCHER = -100.0;              // dB: a band level of nothing

enum Defaut : unsigned {
    MUET = 1u << 0,
    FIGE = 1u << 1,
    SATURE = 1u << 2,
    BRUYANT = 1u << 3,
    CONTINU = 1u << 4,
};

struct StatistiquesMicro {
    int micro = 0;
    uint64_t n = 0;                 // samples
    double moyenne = 0;             // counts
    double rms = 0;                 // about the mean, counts
    double crete = 0;               // largest |sample|
    double part_pleine_echelle = 0; // 0..1
    uint64_t palier = 0;            // longest run of one value, samples
    double valeur_palier = 0;       // that value
    double niveau_bande = 0;        // dB; NIVEAU_PLANCHER until the filter has settled
    int nb_voisins = 0;             // recorded neighbours
    double mediane_voisins = 0;     // dB, their band levels' median (when nb_voisins > 0)
    unsigned defauts = 0;           // Defaut bits
};

// The neighbours of microphone `micro` on the grid (see above), ascending,
// into `voisins` (room for 8); returns how many.
int voisins_grille(int micro, int* voisins);

// The microphones of a frame whose words carry the channel `codes` (0..1023
// microphones), ascending, with the word of each.
void micros_du_cadre(const std::vector<int32_t>& codes, std::vector<int32_t>& micros, std::vector<int32_t>& mots);

class AnalyseMicros {
public:
    // `codes`: the code of every word of a frame, in frame order (files/
    // lecture.h's Disposition: microphones 0..1023; every other code is
    // left out). `flottant`: the samples are float32.
    AnalyseMicros(const std::vector<int32_t>& codes, bool flottant);

    // `trames` whole frames of codes.size() words each, host order.
    // `suite` false: they do not follow the frames given before (a live
    // consumer left some out); the band filter starts again on them and
    // leaves out its first TRAMES_AMORCE outputs again.
    void ajoute(const uint32_t* mots, size_t trames, bool suite = true);

    uint64_t trames() const { return trames_; }

    // The figures and faults of every microphone of the frame, ascending.
    std::vector<StatistiquesMicro> bilan() const;

private:
    struct Etat {
        double origine = 0; // the first sample; sums are taken from it
        double somme = 0, carres = 0;
        double crete = 0;
        uint64_t pleine = 0;
        double valeur = 0; // of the current run
        uint64_t longueur = 0, palier = 0;
        double valeur_palier = 0;
        double z[4] = {};  // the band filter's two sections
        double depart = 0; // its input is taken from this sample
        double bande = 0;  // sum of squares of its output
    };

    std::vector<int32_t> mots_micros_; // frame word of each microphone
    std::vector<int32_t> micros_;      // ascending with mots_micros_
    std::vector<Etat> etats_;
    size_t nb_mots_ = 0;
    bool flottant_ = false;
    uint64_t trames_ = 0;
    uint64_t troncon_ = 0;  // frames since the band filter (re)started
    uint64_t en_bande_ = 0; // frames summed into `bande`
};

// "muet", "figé", "saturé", "bruyant", "décalage continu", comma-separated.
std::string noms_defauts(unsigned defauts);

// The faults with their figures: "saturé (66.7 % à pleine échelle)".
std::string raisons(const StatistiquesMicro& s);

// The microphones flagged: "aucun signalé", or "2 signalés (muet 1, figé 1)".
std::string compte_signales(const std::vector<StatistiquesMicro>& bilan);
