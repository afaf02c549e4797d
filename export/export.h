// Export of a recording's frames for analysis: the chosen words of every
// frame of a time span, gathered by blocks into two tables, the samples
// (microphones and analogue channels, in the recording's sample type) and
// the integer words (counters, status). Memory stays constant whatever the
// recording's length.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "files/calibration.h"
#include "files/geometrie.h"
#include "files/lecture.h"

struct Choix {
    std::vector<int> echantillons; // frame words of the sample columns, in column order
    std::vector<int> entiers;      // frame words of the integer columns
    uint64_t premiere = 0;         // first frame
    uint64_t nb_trames = 0;
    // Not empty: each sample column is written as float32, its value times
    // its factor (pascals from counts).
    std::vector<double> facteurs;
};

// The sample columns are written as float32: recorded so, or scaled.
inline bool echantillons_flottants(const Enregistrement& e, const Choix& c)
{
    return e.flottant || !c.facteurs.empty();
}

// The factors of the sample columns from `cal`, one factor per microphone:
// a microphone's column in pascals, an analogue channel's left in counts
// (factor 1).
std::vector<double> facteurs_pascals(const Disposition& d, const Choix& c, const Calibration& cal);

// The words for "micros" (the microphones in ascending number, the
// default), "tout" (every word in frame order) or a list of channel codes
// and ranges ("0-7,2000,3000"; 3000 is counter A, 4000 the status word).
// Samples and integer words go to their own tables. -1 with the reason.
int choisit_voies(const Disposition& d, const std::string& voies, Choix& c, std::string& erreur);

// The frames from `debut` s on, for `duree` s (negative: to the end).
int choisit_plage(const Enregistrement& e, double debut, double duree, Choix& c, std::string& erreur);

// Where the tables go. `ecrit` receives `n` frames: n x echantillons words
// (raw bits, host order) and n x entiers words, which it may convert in
// place.
class Sortie {
public:
    virtual ~Sortie() = default;
    virtual int ecrit(uint32_t* echantillons, uint32_t* entiers, size_t n, std::string& erreur) = 0;
};

// Reads the chosen frames by blocks and hands them to `sortie`.
int exporte(const Enregistrement& e, const Choix& c, Sortie& sortie, std::string& erreur,
            const std::function<void(uint64_t)>& progression = {});

// What an export carries beside its samples, column by column for the
// sample columns of a choice.
struct Metadonnees {
    // The geometry file and the position of every microphone column (NaN
    // for the others, and for all without a geometry).
    std::string geometrie;
    std::vector<Point3> positions;
    // The calibration file, its date (the file's own, or its
    // modification's when it has none) and the calibrator's level (dB SPL,
    // 0: not known); every column's factor applied (Pa per count, 1 for
    // the columns left in counts); empty `calibration`: none.
    std::string calibration, date_calibration;
    double niveau_calibreur = 0;
    std::vector<double> facteurs;
    std::vector<std::string> unites; // "Pa" or "point" per column
    // Nothing of the air is recorded by the box: the speed of sound the
    // program's maps take (CELERITE_SON), the temperature unknown.
    double celerite = 0;
    bool celerite_supposee = true;
};

// The metadata of choice `c`: the geometry and the calibration's origin
// are those loaded (an empty path: none), the factors applied c.facteurs.
Metadonnees metadonnees(const Enregistrement& e, const Choix& c, const std::string& chemin_geometrie,
                        const Geometrie& g, const std::string& chemin_calibration, const OrigineCalibration& origine);

// The header's local date and time as ISO 8601, and as UTC through this
// machine's time zone ("2026-12-07T08:05:03.250Z"); false when the date is
// not a valid one.
std::string iso_local(const type_date_heure& d);
bool iso_utc(const type_date_heure& d, std::string& out);
