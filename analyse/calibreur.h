// The calibrator assistant's reading: which microphone carries a 1 kHz
// calibrator, and the level it reads there through its current factor.
//
// Frames go in by blocks, in stream order, as a live consumer has them.
//  - Search: over the first DUREE_RECHERCHE_S of frames that follow each
//    other, the third-octave band level at 1 kHz of every microphone. The
//    loudest carries the calibrator when it stands SEUIL_CALIBREUR_DB or
//    more above the next one (a calibrator's cavity shuts the room out of its
//    microphone, and the room is far quieter at its neighbours); otherwise
//    there is none (ABSENT), and the reading ends there.
//  - Readings: that microphone alone, in band levels of DUREE_LECTURE_S each.
//    The reading is steady (STABLE) once the last LECTURES_STABLES of them
//    lie within ECART_STABLE_DB; its level is their mean.
// Frames that do not follow the ones before start the search or the reading
// in progress again.
//
// Levels are dB SPL: counts times the microphone's factor (Pa per count).
// A Calibreur belongs to one thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "analyse/acoustique.h" // FREQUENCE_CALIBREUR
#include "files/calibration.h"

constexpr double DUREE_RECHERCHE_S = 0.0625;
constexpr double DUREE_LECTURE_S = 0.25;
constexpr double SEUIL_CALIBREUR_DB = 10.0;
constexpr double ECART_STABLE_DB = 0.05;
constexpr int LECTURES_STABLES = 4;

// Every microphone at the nominal sensitivity: the calibration a new file
// starts from.
Calibration calibration_nominale();

// The sampling rate leaves the calibrator's band below half of it.
bool frequence_calibrable(double fs);

// The factor under which a microphone that read `mesure` dB SPL through
// `facteur` reads `reference`: sound pressures, amplitudes, scale as
// 10^(dB / 20).
double facteur_calibre(double facteur, double mesure, double reference);

class Calibreur {
public:
    enum Etat { RECHERCHE, LECTURE, STABLE, ABSENT };

    // `codes`: the code of every word of a frame (files/lecture.h); samples
    // in float32 when `flottant`; `fs` Hz; `facteurs`: Pa per count of
    // microphones 0 to 1023.
    Calibreur(const std::vector<int32_t>& codes, bool flottant, double fs, std::vector<double> facteurs);

    // `trames` whole frames; `suite` false when they do not follow the ones
    // given before. Nothing more is taken once STABLE or ABSENT.
    void ajoute(const uint32_t* mots, size_t trames, bool suite);

    Etat etat() const { return etat_; }
    bool fini() const { return etat_ == STABLE || etat_ == ABSENT; }

    // After the search: the loudest microphone and the next one (-1 when
    // there is no other), with their band levels in dB SPL.
    int micro() const { return micro_; }
    double niveau_micro() const { return niveau_micro_; }
    int suivant() const { return suivant_; }
    double niveau_suivant() const { return niveau_suivant_; }

    // The readings so far (dB SPL), and once STABLE their steady level.
    const std::vector<double>& lectures() const { return lectures_; }
    double niveau() const { return niveau_; }

private:
    double echantillon(uint32_t mot) const;
    void recherche();
    void lecture();

    std::vector<int32_t> mots_micros_, micros_; // word of each microphone of the frame, ascending
    size_t nb_mots_;
    bool flottant_;
    double fs_, bas_, haut_;
    std::vector<double> facteurs_;
    size_t n_recherche_, n_lecture_;

    Etat etat_ = RECHERCHE;
    std::vector<std::vector<double>> signaux_; // the search: one per microphone; a reading: one
    int micro_ = -1, suivant_ = -1;
    size_t mot_micro_ = 0;
    double niveau_micro_ = 0, niveau_suivant_ = 0, niveau_ = 0;
    std::vector<double> lectures_;
};
