// Listening to one point: the array steered at a focus point in the time
// domain, the signal an operator can hear.
//
// With the map's transfer model (formation.h), a source at point g reaches
// microphone m as p0(t - (rm - r0) / c) r0 / rm, p0 being the pressure it
// gives the reference point (the centre of the microphones used). The
// steered signal
//     y(t) = 1/M sum_m (rm / r0) x_m(t + (rm - r0) / c)
// is p0 itself for that source; sound from elsewhere adds up out of phase,
// and noise that differs from one capsule to the next falls by 10 log10(M)
// dB. Delays are fractional: every microphone's samples go through a
// windowed-sinc interpolator of TAPS_ECOUTE taps (flat within 0.05 dB up to
// 0.4 of the sampling rate).
//
// Sample n of the steered signal is the point's pressure at frame n of the
// frames given. Frames before the first one given count as silence.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "files/geometrie.h"

constexpr int TAPS_ECOUTE = 32;

class Pointage {
public:
    // `micros`: the microphones used (indices into g) and `mots` the word of
    // each in a frame of `nb_mots` words; `facteurs`: Pa per unit of each
    // (empty: the samples' own units). `valide()` says whether the point
    // can be steered at (finite, away from every microphone).
    Pointage(double frequence, const Geometrie& g, const std::vector<int>& micros, const std::vector<int>& mots,
             std::size_t nb_mots, bool flottant, const std::vector<float>& facteurs, Point3 point);

    bool valide() const { return valide_; }
    int micros() const { return static_cast<int>(mots_.size()); }
    double distance() const { return r0_; } // m, from the reference point
    // The frames a steered sample needs before and after its own (the
    // latter is its latency).
    int recul() const { return bas_; }
    int avance() const { return haut_; }

    // `n` frames, following the ones given before; the steered samples they
    // complete are appended to `sortie`.
    void ajoute(const uint32_t* trames, std::size_t n, std::vector<float>& sortie);
    // The frames given are all there is (silence after them): the steered
    // samples still owed are appended, one per frame given in all.
    void termine(std::vector<float>& sortie);

private:
    void calcule(std::size_t fin, std::vector<float>& sortie);

    std::size_t nb_mots_;
    bool flottant_;
    bool valide_ = false;
    double r0_ = 0;
    std::vector<int> mots_;
    std::vector<float> gains_;  // (rm / r0) / M times the factor
    std::vector<int> entiers_;  // whole part of each delay, in frames
    std::vector<float> noyaux_; // TAPS_ECOUTE interpolation taps per microphone
    int bas_ = 0, haut_ = 0;    // frames needed before and after a sample
    // Each microphone's samples, frames base_ .. base_ + longueur_ - 1, in
    // rows of capacite_.
    std::vector<float> colonnes_;
    std::size_t capacite_ = 0, longueur_ = 0;
    int64_t base_ = 0;
    uint64_t recues_ = 0, rendues_ = 0; // frames given, steered samples given back
};

// The part of `signal` (at `frequence` Hz) between `bas` and `haut` Hz: its
// Fourier lines outside the band set to zero.
void filtre_bande(std::vector<float>& signal, double frequence, double bas, double haut);

struct DemandeEcoute {
    Point3 point;      // m, in the axes of the geometry file
    double debut = 0;  // s from the start of the recording
    double duree = -1; // s; < 0: to the end
    // A third-octave band's nominal centre (Hz), or 0 for the whole signal.
    double bande = 0;
    // Pa per count of microphone m (0..1023); empty: the samples' own units.
    std::vector<double> facteurs;
};

struct Ecoute {
    double frequence = 0;
    std::vector<float> signal; // Pa with factors, else the samples' units
    int micros = 0;
    double distance = 0; // m, from the point to the array's centre
    double f_basse = 0, f_haute = 0;
    double niveau = 0; // dB of its mean square (re 20 µPa with factors, else re 1 unit)
};

// The steered signal of a recording over the span asked. 0; or -1 with the
// reason in `erreur` (unreadable recording, no microphone, a point on a
// microphone or not finite, no such band, an empty span).
int calcule_ecoute(const std::string& dat, const Geometrie& g, const DemandeEcoute& d, Ecoute& e, std::string& erreur);

// The steered signal of frames in memory, `nb_mots` words each, given in
// pieces of consecutive frames that follow one another; microphone
// micros[i] (indices into g) in word mots[i], scaled by facteurs[i] (Pa
// per unit; empty: the samples' own units), at the point and in the band
// `d` asks; its span and factors are left aside (the frames are the span).
// Frames before and after count as silence. 0; or -1 with the reason in
// `erreur` (no frame, no such band, a point that cannot be steered at).
struct MorceauTrames {
    const uint32_t* mots;
    std::size_t trames;
};
int ecoute_trames(const std::vector<MorceauTrames>& morceaux, std::size_t nb_mots, bool flottant, double frequence,
                  const Geometrie& g, const std::vector<int>& micros, const std::vector<int>& mots,
                  const std::vector<float>& facteurs, const DemandeEcoute& d, Ecoute& e, std::string& erreur);
