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

struct Calibration {
    std::string nom;              // the Calib element's name
    std::vector<double> facteurs; // Pa per count, in channel order
};

// Reads `chemin` (UTF-8 path). With `attendus` > 0 it must hold exactly that
// many factors. Every factor is a positive number. 0; or -1, `c` untouched,
// with the file, the line and the reason in `erreur`.
int lit_calibration(const std::string& chemin, size_t attendus, Calibration& c, std::string& erreur);

// Writes `c` to `chemin`, replacing it; the factors as their shortest exact
// decimal. 0, or -1 with the reason in `erreur`.
int ecrit_calibration(const std::string& chemin, const Calibration& c, std::string& erreur);

// This build reads and writes calibration files.
bool calibration_disponible();
