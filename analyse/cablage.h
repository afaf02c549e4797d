// The wiring of the microphones, against a tone from a known place. Two
// swapped channels (the word of microphone 12 carries microphone 13's signal
// and the reverse) read the same levels as their neighbours; only where the
// sound comes from tells them apart.
//
// A steady tone of f Hz from the point S in front of the array reaches
// microphone i at the distance r_i = |S - p_i| (p_i from the geometry file)
// with the phase -2 pi f r_i / c and an amplitude in 1/r_i (c = VITESSE_SON).
// Its complex amplitude X_i at f, multiplied by r_i exp(+2 pi j f r_i / c),
// is then the same on every microphone, up to its sensitivity and noise.
// The reference is the circular mean of these phases over the microphones
// that hear the tone, taken again without the ones beyond SEUIL_PHASE_DEG of
// the first; each microphone's residual is its phase against it, in degrees
// within (-180, 180]. A microphone that carries microphone j's signal shows
// 360 f (r_i - r_j) / c (modulo 360).
//
// Verdict, for the microphones that hear the tone (its share of their power
// at least SEUIL_PART_TON; a dead microphone does not) and have a place in
// the geometry:
//  - a residual beyond SEUIL_PHASE_DEG flags the microphone;
//  - two flagged microphones whose residuals, each taken with the other's
//    distance, both fall within SEUIL_PHASE_DEG are swapped (the best such
//    partner, in ascending order of microphones);
//  - of the other flagged ones, those within SEUIL_PHASE_DEG of 180 degrees
//    are inverted (a capsule or its wiring of the wrong polarity);
//  - the rest are at an incoherent place (a swap with a microphone not
//    recorded, a wrong geometry, a reflection).
// SEUIL_PHASE_DEG covers the spread of the microphones' own phases and a
// position known to about 2 mm at 5 kHz, not a room whose echoes rival the
// direct sound: the source goes close (about 1 m) in a quiet room.
//
// Blindness. A swap shows only when the two microphones' expected phases
// differ by more than SEUIL_PHASE_DEG (modulo 360): a far source on the
// array's axis reaches all of them nearly together. The report gives the
// spread of the expected phases over the array and the share of pairs of
// microphones whose swap would show; below SEUIL_ETENDUE_DEG of spread
// nothing is judged.
//
// The amplitude is one windowed (Hann) DFT at f over the whole recording:
// the tone must hold its frequency and level through it. Plain C++ (no FFT
// library), one complex product per sample.
#pragma once

#include <complex>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "files/geometrie.h"

constexpr double VITESSE_SON = 343.0;                     // m/s
constexpr double SEUIL_PHASE_DEG = 20.0;                  // residual that flags a microphone
constexpr double SEUIL_ETENDUE_DEG = 2 * SEUIL_PHASE_DEG; // spread of the expected phases below which nothing is judged
constexpr double SEUIL_PART_TON = 0.5;                    // share of a microphone's power in the tone
constexpr double PERIODES_MIN = 10;                       // periods of the tone in the recording

enum class VerdictCablage {
    SANS_TON,       // the tone is not what it hears (dead, drowned): not judged
    HORS_GEOMETRIE, // no place in the geometry: not judged
    EN_PLACE,
    PERMUTE,    // with `avec`
    INCOHERENT, // flagged, with no partner
    INVERSE,    // flagged, half a period off: its polarity
};

struct MicroCablage {
    int micro = 0;
    std::complex<double> amplitude; // peak counts at f, phase from the first frame
    double part_ton = 0;            // 0..1 of its power (about its mean)
    double phase_attendue = 0;      // degrees, 360 f r / c
    double residu = 0;              // degrees, (-180, 180]; 0 when not judged
    VerdictCablage verdict = VerdictCablage::SANS_TON;
    int avec = -1;             // the other microphone of a swap
    double residu_echange = 0; // degrees, its residual at the other's place
};

struct BilanCablage {
    std::vector<MicroCablage> micros; // ascending
    int juges = 0;                    // microphones that hear the tone and have a place
    double etendue = 0;               // degrees, spread of the expected phases over them
    double part_visible = 0;          // 0..1 of their pairs whose swap shows
    bool aveugle = true;              // nothing judged (spread too small, or fewer than 2 judged)
    std::vector<std::pair<int, int>> permutes;
    std::vector<int> incoherents;
    std::vector<int> inverses;
};

// "" when a tone of `f` Hz can be judged in `trames` frames at `fe` Hz:
// below fe/2 and PERIODES_MIN periods at least; otherwise why not.
std::string refus_ton(double f, double fe, uint64_t trames);

class VerificationCablage {
public:
    // `codes`: the code of every word of a frame (as AnalyseMicros).
    // `trames`: the length of the window, the recording's frame count;
    // fewer frames given judge on a truncated window.
    VerificationCablage(const std::vector<int32_t>& codes, bool flottant, double fe, double f, uint64_t trames);

    // Whole frames, in stream order, host order.
    void ajoute(const uint32_t* mots, size_t trames);
    uint64_t trames() const { return n_; }

    // The verdict with the geometry (metres, index = microphone) and the
    // source at `source`.
    BilanCablage bilan(const Geometrie& g, const Point3& source) const;

private:
    struct Somme {
        double origine = 0;
        std::complex<double> x; // sum of w x e^{-j w n}
        double p1 = 0, p2 = 0;  // sums of w^2 (x - origine), w^2 (x - origine)^2
    };
    std::vector<int32_t> micros_, mots_;
    std::vector<Somme> sommes_;
    size_t nb_mots_ = 0;
    bool flottant_ = false;
    double fe_ = 0, f_ = 0;
    uint64_t longueur_ = 0, n_ = 0;
    double sw_ = 0, sw2_ = 0; // sums of w and w^2
};

// "1 paire permutée, 0 micro incohérent", then ", 1 polarité inversée" when
// there is one, or "aucun micro permuté".
std::string compte_cablage(const BilanCablage& b);
