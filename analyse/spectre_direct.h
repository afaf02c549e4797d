// The live spectrum of one microphone: Welch's density (spectre.h, segments
// long enough for the 25 Hz band: 65 536 points at 50 kHz), its third-octave bands and its overall levels, unweighted
// (LZ) and A-weighted (LA, acoustique.h's weighting applied bin by bin). Fed on the live analysis thread with the
// frames a PriseTrames hands over.
//
// Levels in dB SPL (re 20 µPa, densities re (20 µPa)²/Hz) with the
// microphone's factor, else in dB re one count squared (per hertz). The
// overall levels leave out bin 0 (the microphone's offset). A SpectreDirect
// belongs to one thread.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "analyse/spectre.h"

struct SpectreMicro {
    int micro = -1;
    bool calibre = false;
    int segments = 0;            // averaged
    int points = 0;              // per segment
    double resolution = 0;       // Hz between bins
    std::vector<double> densite; // dB per hertz, bins 0 .. points / 2
    std::vector<Bande> bandes;   // third-octaves below fs/2
    std::vector<double> niveaux; // dB, one per band
    double lz = 0, la = 0;       // dB, dB(A)
};

class SpectreDirect {
public:
    // `codes`: the code of every word of a frame (microphones 0..1023);
    // `flottant`: float32 samples; `fs`: the frame rate (Hz); `micro`: the
    // microphone shown; `facteur`: its pascals per count, 0 for raw units.
    // `segments_max` > 0: the average is restarted so that it always holds
    // the latest segments_max / 2 to segments_max segments; 0: everything
    // since the start or remet(). `points`: the segment length, 0 for
    // points_spectre(fs).
    SpectreDirect(const std::vector<int32_t>& codes, bool flottant, double fs, int micro, double facteur,
                  int segments_max = 0, int points = 0);
    ~SpectreDirect();

    // The microphone is in the frame.
    bool valide() const { return mot_ >= 0; }

    // `trames` whole frames of codes.size() words. `suite` false: they do
    // not follow the previous ones (the segment begun is dropped).
    void ajoute(const uint32_t* mots, std::size_t trames, bool suite);
    void remet();
    int segments() const;

    SpectreMicro spectre() const;

private:
    const Welch& courant() const;

    std::size_t nb_mots_;
    bool flottant_;
    double fs_;
    int micro_;
    double facteur_;
    int segments_max_;
    int mot_ = -1;
    // Two averages, the second started half a span after the first, each
    // restarted at segments_max: the fuller one is shown.
    std::unique_ptr<Welch> welch_[2];
    bool lance_ = false; // the second has started
    std::vector<float> echantillons_;
};
