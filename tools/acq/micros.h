// ondaris-acq's modes without a file, over the microphones: the health
// check (--diagnostic) and the calibrator assistant (--calibre). Both run a
// capture whose frames go through the run's tap to a reader on a thread of
// its own, which may leave packets out; the run never waits for it.
#pragma once

#include "device/boitier.h"
#include "files/calibration.h"
#include "files/configuration.h"
#include "tools/acq/console.h"
#include "tools/acq/options.h"

namespace acq {

constexpr double DUREE_DIAGNOSTIC_S = 1.0; // of the health check
constexpr double DELAI_CALIBREUR_S = 20.0; // for a steady reading

// The microphones' health over a capture without a file. The analysis works
// on copies of the frames on a thread of its own and may leave packets out;
// the run never waits for it.
// `geometrie`: the simulated array's positions, or none (the grid).
int diagnostic(Boitier& boitier, const Configuration& cfg, const Geometrie* geometrie, SuiviConsole& suivi,
               Console& console);

// The factors of --calibration: the file's, or the nominal ones when it is
// not there yet and --calibre will make it. False, with the reason
// printed, when it cannot be read.
bool charge_calibration(const Options& o, Calibration& cal);

// The calibrator assistant: which microphone carries the calibrator, its
// steady level through its current factor, and the factor that makes it
// read the calibrator's level, stored in the calibration file. The run
// lasts until the reading is steady, DELAI_CALIBREUR_S at most; the reading
// works on copies of the frames on a thread of its own.
int calibre(Boitier& boitier, const Configuration& cfg, const Options& o, Calibration& cal, SuiviConsole& suivi,
            Console& console);

} // namespace acq
