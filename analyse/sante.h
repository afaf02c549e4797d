// The health of the microphones, from their samples alone. Per microphone:
// mean, RMS, peak, share of samples at full scale, longest run of one value,
// its level in the upper band against the median of its neighbours on the
// array, and how its sound follows its nearest neighbours'. From these, the
// faults of a microphone.
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
// Its output is also summed in blocks of TRAMES_BLOC frames: the median of
// the blocks' levels (the typical level) does not move for a few bangs, the
// loudest block shows them.
//
// The low band: a 2nd-order Butterworth low-pass at fs/25, taken every
// DECIMATION-th frame (fs/5, its Nyquist frequency 2.5 times the cut-off).
// There nearby microphones hear a sound nearly in phase: their correlation
// there shows an inverted capsule. With the sampling rate known, its Hann-
// windowed blocks of DUREE_BLOC_S give the levels at 50, 100, 150 Hz and
// 60, 120, 180 Hz (hum), between them and at the calibrator's frequency.
//
// Neighbours. With a geometry (metres, index = microphone), the ring of a
// microphone is the VOISINS_ANNEAU recorded microphones nearest to it, across
// beams, and its close neighbours the VOISINS_PROCHES nearest. Without one,
// the array is taken as a grid of 128 beams (columns) by 8 positions (rows),
// microphone m = 8f + j at column f, row j: ring and close neighbours are
// the recorded microphones among positions j - 1 and j + 1 of beam f, and
// j - 1, j, j + 1 of beams f - 1 and f + 1 (eight inside the grid, five on
// an edge, three in a corner). The reference of a figure is its median over
// the ring: up to half of the ring faulty does not move it.
//
// A real source raises a microphone's close neighbours with it, coherently:
// their band levels rise and fall together, block by block. A faulty
// microphone's own noise is alone. So a microphone loud in the band is not
// noisy when a close neighbour, SEUIL_BRUYANT_DB / 2 or more above the
// reference too, follows it (the correlation of their block levels at least
// SEUIL_COHERENCE, over BLOCS_COHERENCE blocks at least).
//
// Faults, in this order. A stuck microphone is only stuck, a dead one has no
// other fault, a saturated or clipping one is not also intermittent; neither
// these nor an intermittent one are also impulsive, noisy, inverted, humming
// or off in sensitivity (their flat tops and gaps spoil those figures):
//  - stuck (FIGE): one value other than 0 for at least SEUIL_PALIER samples
//    in a row (or the whole recording when shorter, from 2 samples). A
//    working microphone's noise never repeats that long; 0 for ever is dead.
//  - dead (MUET): its RMS below SEUIL_MUET_RMS (nothing, or all zeros: any
//    microphone's own noise is well above one count), or its band level
//    SEUIL_MUET_DB or more below the reference.
//  - saturated (SATURE): at least SEUIL_SATURE of its samples at full scale
//    (at or beyond 2^23 - 1 or -2^23): a microphone driven into its rails,
//    not one clipped bang.
//  - clipping (ECRETE): its largest or its smallest value held, in runs of
//    two samples or more, by at least SEUIL_SATURE of its samples (and
//    ECRETE_MIN), at SEUIL_CONTINU or more from 0: a flat top below full
//    scale, an analogue stage clipping. A tone's peaks do not repeat.
//  - intermittent (COUPURE): one value, 0 included, for SEUIL_COUPURE samples
//    or more in a row: a contact that opens.
//  - DC offset (CONTINU): a mean of SEUIL_CONTINU or more, as far from the
//    reference of the means, each neighbour's mean scaled by the ratio of
//    their RMS (a sound the ring hears, a low tone's partial period or a
//    loud noise's, moves its means with its levels); with no neighbour, a
//    mean of that size and no smaller than its RMS.
//  - impulsive (IMPULSIF): its loudest block SEUIL_IMPULSIF_DB or more above
//    its typical level, while over the ring the loudest blocks stand less
//    than half of that above the typical levels (a bang in the room is heard
//    by all).
//  - noisy (BRUYANT): a typical band level SEUIL_BRUYANT_DB or more above the
//    reference, and no close neighbour follows it (above).
//  - inverted (INVERSE): in the low band, the median of its correlations
//    with its close neighbours at -SEUIL_POLARITE or below.
//  - hum (RONFLE): its levels at 50 Hz and harmonics, or at 60 Hz and
//    harmonics, SEUIL_RONFLE_DB or more above the reference and above its
//    own levels between them (75, 135, 165 Hz: a bang is flat there).
//  - sensitivity (SENSIBILITE): at the calibrator's frequency, off the
//    reference by SEUIL_SENSIBILITE_DB or more, where the ring hears a tone
//    there (SEUIL_TON_DB over its own noise, the ring's levels within
//    SEUIL_SENSIBILITE_DB / 3 of the reference in median).
// A microphone with no recorded neighbour is judged on its own figures only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "files/geometrie.h"

constexpr double PLEINE_ECHELLE = 8388608.0;            // 2^23, 24-bit samples: 123 dB on the level map
constexpr double SEUIL_SATURE = 1e-3;                   // share of samples at full scale, or at a flat top
constexpr uint64_t ECRETE_MIN = 8;                      // samples at a flat top, at least
constexpr uint64_t SEUIL_PALIER = 1000;                 // samples of one value other than 0: stuck
constexpr uint64_t SEUIL_COUPURE = 100;                 // samples of one value, 0 included: intermittent
constexpr double SEUIL_MUET_RMS = 1.0;                  // counts
constexpr double SEUIL_MUET_DB = 20.0;                  // below the reference
constexpr double SEUIL_BRUYANT_DB = 10.0;               // above the reference
constexpr double SEUIL_CONTINU = PLEINE_ECHELLE / 1000; // 60 dB below full scale
constexpr double SEUIL_IMPULSIF_DB = 20.0;              // loudest block above the typical level
constexpr double SEUIL_COHERENCE = 0.5;                 // correlation of block levels: one source
constexpr double SEUIL_POLARITE = 0.3;                  // low-band correlation at or below minus this
constexpr double SEUIL_RONFLE_DB = 10.0;                // hum above the reference
constexpr double SEUIL_SENSIBILITE_DB = 6.0;            // at the calibrator's frequency, from the reference
constexpr double SEUIL_TON_DB = 20.0;                   // a tone there over the microphones' own noise
constexpr int VOISINS_ANNEAU = 16;                      // the ring, with a geometry
constexpr int VOISINS_PROCHES = 4;                      // the close neighbours, with a geometry
constexpr int TRAMES_AMORCE = 64;                       // the band filter settles
constexpr int TRAMES_BLOC = 32;                         // frames of a block of the band
constexpr int BLOCS_COHERENCE = 16;                     // blocks for a correlation of block levels
constexpr int DECIMATION = 5;                           // the low band, every 5th frame
constexpr double DUREE_BLOC_S = 0.2;                    // a block of the low band's levels
constexpr double NIVEAU_PLANCHER = -100.0;              // dB: a band level of nothing

enum Defaut : unsigned {
    MUET = 1u << 0,
    FIGE = 1u << 1,
    SATURE = 1u << 2,
    BRUYANT = 1u << 3,
    CONTINU = 1u << 4,
    COUPURE = 1u << 5,
    ECRETE = 1u << 6,
    IMPULSIF = 1u << 7,
    INVERSE = 1u << 8,
    RONFLE = 1u << 9,
    SENSIBILITE = 1u << 10,
};
constexpr int NB_DEFAUTS = 11;

struct StatistiquesMicro {
    int micro = 0;
    uint64_t n = 0;                       // samples
    double moyenne = 0;                   // counts
    double rms = 0;                       // about the mean, counts
    double crete = 0;                     // largest |sample|
    double part_pleine_echelle = 0;       // 0..1
    uint64_t palier = 0;                  // longest run of one value, samples
    double valeur_palier = 0;             // that value
    uint64_t palier_non_nul = 0;          // longest run of one value other than 0
    double valeur_non_nulle = 0;          // that value
    double plat = 0;                      // the largest or smallest value held most often
    uint64_t nb_plat = 0;                 // samples at it that repeat the one before
    double niveau_bande = 0;              // dB; NIVEAU_PLANCHER until the filter has settled
    double niveau_typique = 0;            // dB, the median of its blocks' levels
    double niveau_pointe = 0;             // dB, its loudest block
    double correlation = 0;               // low band, median over its close neighbours (0 without)
    double ronfle = NIVEAU_PLANCHER;      // dB, 50 or 60 Hz and harmonics, the larger
    double entre_raies = NIVEAU_PLANCHER; // dB, at 75, 135 and 165 Hz
    double niveau_1k = NIVEAU_PLANCHER;   // dB, at the calibrator's frequency
    int nb_voisins = 0;                   // recorded microphones of its ring
    double mediane_voisins = 0;           // dB, their band levels' median (when nb_voisins > 0)
    double reference_typique = 0;         // dB, their typical levels' median
    double reference_moyenne = 0;         // counts, their means' median, each scaled by their RMS to its
    double reference_ronfle = NIVEAU_PLANCHER;
    double reference_1k = NIVEAU_PLANCHER;
    unsigned defauts = 0; // Defaut bits
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
    // left out). `flottant`: the samples are float32. `geometrie`: the
    // microphones' positions (index = microphone, copied), or none: the
    // grid. `fe`: the sampling rate in Hz, or 0: hum and sensitivity are
    // then not judged.
    AnalyseMicros(const std::vector<int32_t>& codes, bool flottant, const Geometrie* geometrie = nullptr,
                  double fe = 0);

    // `trames` whole frames of codes.size() words each, host order.
    // `suite` false: they do not follow the frames given before (a live
    // consumer left some out); the band filter starts again on them and
    // leaves out its first TRAMES_AMORCE outputs again, the blocks under
    // way are dropped.
    void ajoute(const uint32_t* mots, size_t trames, bool suite = true);

    uint64_t trames() const { return trames_; }

    // The figures and faults of every microphone of the frame, ascending.
    std::vector<StatistiquesMicro> bilan() const;

    // Its ring (ranks in bilan()'s order) and its close neighbours.
    const std::vector<int>& anneau(size_t rang) const { return anneaux_[rang]; }
    const std::vector<int>& proches(size_t rang) const { return proches_[rang]; }

private:
    static constexpr int NB_RAIES = 10; // 50, 100, 150, 60, 120, 180 Hz, the calibrator's, 3 between
    struct Etat {
        double origine = 0; // the first sample; sums are taken from it
        double somme = 0, carres = 0;
        double crete = 0;
        uint64_t pleine = 0;
        double valeur = 0; // of the current run
        uint64_t longueur = 0, palier = 0, palier_non_nul = 0;
        double valeur_palier = 0, valeur_non_nulle = 0;
        double haut = 0, bas = 0;         // largest and smallest value
        uint64_t nb_haut = 0, nb_bas = 0; // samples at each that repeat the one before
        double z[4] = {};                 // the band filter's two sections
        double depart = 0;                // its input is taken from this sample
        double bande = 0;                 // sum of squares of its output
        double bloc = 0;                  // of the block under way
        double p1 = 0, p2 = 0;            // sums of the blocks' energies and their squares
        double pointe = NIVEAU_PLANCHER;  // dB, the loudest block
        double zb[2] = {};                // the low-pass
        double l = 0, l2 = 0;             // sums of its decimated outputs and their squares
    };

    std::vector<int32_t> mots_micros_; // frame word of each microphone
    std::vector<int32_t> micros_;      // ascending with mots_micros_
    std::vector<Etat> etats_;
    std::vector<std::vector<int>> anneaux_, proches_;  // ranks
    std::vector<std::pair<int, int>> paires_;          // close neighbours, each pair once
    std::vector<double> produits_bloc_, produits_bas_; // per pair: sums of block energies', low band's products
    std::vector<uint32_t> histogrammes_;               // per microphone, its blocks' levels
    size_t nb_mots_ = 0;
    bool flottant_ = false;
    double fe_ = 0;
    uint64_t trames_ = 0;
    uint64_t troncon_ = 0;  // frames since the band filter (re)started
    uint64_t en_bande_ = 0; // frames summed into `bande`
    uint64_t blocs_ = 0;    // blocks summed into p1, p2 and the pairs
    int dans_bloc_ = 0;     // frames of the block under way
    uint64_t bas_ = 0;      // low-band samples summed
    // The low band's Hann blocks: per microphone and line, the sum under way
    // (re, im) and the sum of |X|^2 over the blocks done.
    uint64_t longueur_raies_ = 0, dans_raies_ = 0, blocs_raies_ = 0;
    double somme_w_ = 0, somme_w2_ = 0, enbw_ = 0;
    std::vector<double> raies_, puissances_raies_;
    std::vector<double> sommes_bloc_raies_;   // per microphone, its low band over the block
    double fenetre_raies_[2 * NB_RAIES] = {}; // sum of w e^{-j w n} over the block
    double omega_[NB_RAIES] = {};             // radians per low-band sample; 0: above its Nyquist frequency
    std::vector<double> bas_courant_;         // the low band's sample of each microphone

    void ferme_bloc();
    void ferme_bloc_raies();
};

// "muet", "figé", "saturé", "bruyant", "décalage continu", "coupures",
// "écrêté", "impulsion", "polarité inversée", "ronflement", "sensibilité",
// comma-separated.
std::string noms_defauts(unsigned defauts);

// The faults with their figures: "saturé (66.7 % à pleine échelle)".
std::string raisons(const StatistiquesMicro& s);

// The microphones flagged: "aucun signalé", or "2 signalés (muet 1, figé 1)".
std::string compte_signales(const std::vector<StatistiquesMicro>& bilan);

// The thresholds above, one per line, for the health page.
std::string texte_seuils();
