// Calibration files in acoular's XML format: a <Calib name="..."> element
// holding one <pos Name="Point 1" factor="..."/> per channel, in channel
// order. A factor is in pascals per unit of the samples (per count): a
// column of counts times its factor is in pascals.
//
// The runner keeps one factor per microphone, 0 to 1023, in microphone
// order; an export writes one per exported column, in column order.
//
// Files are read and written through pugixml. A build without it (the
// Windows cross build) refuses both with a message that says so.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// Pascals per count of a microphone of the box's nominal sensitivity
// (281 170.66 counts per pascal).
constexpr double FACTEUR_NOMINAL = 1.0 / 281170.66;
// A microphone's factor lies within this many dB of the nominal one (a
// factor of 100 either way); beyond, it is not a microphone of the box.
constexpr double ECART_FACTEUR_DB = 40;

// `v` is a plausible microphone factor (Pa per count). Else false, with in
// `raison` why, naming the inverse unit when 1/v would be plausible.
bool facteur_plausible(double v, std::string& raison);

struct Calibration {
    std::string nom;              // the Calib element's name
    std::vector<double> facteurs; // Pa per count, in channel order
};

// Where a calibration came from, when known (attributes of the Calib
// element that acoular leaves aside): when it was made (ISO 8601, local
// time), the calibrator's level (dB SPL; 0: not known).
struct OrigineCalibration {
    std::string date;
    double niveau_calibreur = 0;
};

// Reads `chemin` (UTF-8 path). With `attendus` > 0 it must hold exactly that
// many factors. `origine`, when given, receives where it came from; without
// a date attribute, the date is the file's last modification's. Every factor is a positive number; in a file of the
// box's 1024 microphones (`attendus` 1024), a plausible one (facteur_plausible). 0; or -1, `c` untouched, with the
// file, the line and the reason in `erreur`.
int lit_calibration(const std::string& chemin, size_t attendus, Calibration& c, std::string& erreur,
                    OrigineCalibration* origine = nullptr);

// Writes `c` to `chemin`, replacing it whole or not at all (an error leaves
// the old file); the factors as their shortest exact decimal. 0, or -1 with
// the reason in `erreur`.
int ecrit_calibration(const std::string& chemin, const Calibration& c, std::string& erreur,
                      const OrigineCalibration* origine = nullptr);

// A file's last modification as local ISO 8601 ("2026-12-07T08:05:03"),
// empty when not known; the present moment the same way.
std::string date_modification(const std::string& chemin);
std::string date_maintenant();

// This build reads and writes calibration files.
bool calibration_disponible();
