// The runner's live log: once a second of the run, the live map's maximum
// (its position on the map's plane and its level) and the third-octave
// levels of one microphone's spectrum, on stdout. The map's band is the
// loudest third-octave of that spectrum, its grid and plane those the
// analysis window starts with (over the array's aperture, the step
// following the band, 41 x 41 points at least,
// 1 m in front of it). Each map averages MOYENNE_JOURNAL_S, the shortest
// the window offers, and the analysis holds TAMPONS_JOURNAL packets: a box
// faster than real time (the simulated one, free running) leaves the
// analysis little more than the packets it holds when the run starts
// (8 x 4092 frames at 1025 words), and a map still comes of them: the band
// from the first 4096 frames, the map from the next 12 500 at 50 kHz.
//
// Threads: the analysis runs on the thread of the consumer attached to the
// run's tap (direct/robinet.h); the lines are made on the run's thread, from
// its observer (seconde(), fin()), out of the latest results taken as values.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/format.h"
#include "direct/analyse_directe.h"
#include "files/geometrie.h"

constexpr double MOYENNE_JOURNAL_S = 0.25;
constexpr int TAMPONS_JOURNAL = 8; // of 16 MiB

class JournalDirect {
public:
    // `codes`: the code of every word of a frame; `fs` in Hz.
    JournalDirect(std::shared_ptr<const Geometrie> geometrie, const std::vector<int32_t>& codes, bool flottant,
                  double fs, const Conventions& conv);

    // The consumer of the run's frames, to attach to the run's tap; nullptr
    // when the frame holds no microphone of the geometry.
    std::unique_ptr<PriseTrames> commence();

    // The run's thread: a second of the run has passed. The lines to write
    // when a map was made since the last ones, else "".
    std::string seconde(uint32_t secondes);
    // The run's thread, once the run has ended: the consumer's last frames
    // taken, its thread ended; the lines of a map not yet written, and what
    // the analysis left out.
    std::string fin(PriseTrames& prise);

    // The microphone of the spectrum (the frame's first), -1 when none.
    int micro() const { return micro_; }
    // Maps written.
    int cartes_ecrites() const { return lignes_; }

private:
    std::string lignes(uint32_t secondes, const ResultatsDirect& r);

    AnalyseDirecte analyse_;
    std::vector<int32_t> codes_;
    bool flottant_;
    double fs_;
    const Conventions& conv_;
    int micro_ = -1;
    uint64_t vue_ = 0;    // the results' version when last looked at
    uint64_t cartes_ = 0; // maps written
    uint32_t secondes_ = 0;
    int lignes_ = 0;
};

// "Carte 2 s : maximum à x = 0,20 m, y = -0,10 m, 80,1 dB SPL (tiers d'octave
// de 4000 Hz, 41 x 41 points à 1,00 m)".
std::string ligne_carte(const Conventions& conv, uint32_t secondes, const ImageCarte& c);
// "Spectre du micro 0 (dB, tiers d'octave) : 25 Hz 40,1 ; 31,5 Hz 41,0 ; ...".
std::string ligne_spectre(const Conventions& conv, const SpectreMicro& s);
