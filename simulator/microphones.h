// The simulated array's microphones as the scene renders them: the faults
// an array has (dead, stuck, clipping, noisy, DC offset, dropout, flat top,
// deaf, inverted, bang, hum, two channels swapped), their sensitivity and a calibrator held on one of them; and the
// option texts that set them.
//
// Sensitivity. The scene's amplitudes are counts at the nominal
// sensitivity, which is chosen so that the level map's decibels
// (10 log10(mean square) - 15) read dB SPL re 20 uPa. Each microphone's
// own sensitivity departs from it by a seeded gain (Scene::sensitivity_spread_db,
// 0 by default); the gain scales what the microphone hears, not its own
// noise.
//
// Samples are those of 24-bit converters: the faults and the calibrator clip
// at [-2^23, 2^23 - 1]. The default scene stays far inside.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sim {

constexpr int32_t kFullScale = 1 << 23;
constexpr double kReferencePa = 20e-6;
constexpr double kNominalSensitivity = 281170.66; // counts per pascal: 10^(15/20) / 20 uPa

// What each fault does to its microphone. Every microphone word still
// draws its noise sample, so a fault leaves the other microphones' samples
// as they were.
constexpr double kDeadNoise = 0.01;            // dead: its own noise 40 dB down, nothing heard
constexpr int32_t kStuckValue = 100000;        // stuck: this value for ever
constexpr double kClippingDrive = 2.0;         // clipping: a 1 kHz oscillation of twice full scale
constexpr double kNoisyGain = 10.0;            // noisy: its own noise 20 dB up
constexpr int32_t kDcOffset = kFullScale / 10; // DC offset: added to every sample
constexpr double kCalibratorHz = 1000.0;       // rounded, like the scene's tone, to whole periods
constexpr int kDropoutFrames = 3000;           // dropout: zeros from a quarter of the table on (half of it at most)
constexpr double kAnalogueClip = 0.71; // flat top: the clipping oscillation, clipped at this share of full scale
constexpr double kDeafDb = 10.0;       // deaf: hears this much less (its own noise unchanged)
constexpr int kBangSamples = 7;        // bang: one period of a sine over these samples, once per table,
constexpr double kBangPeak = kFullScale / 4.0; // at half the table, of this peak
constexpr double kHumHz = 50.0;                // hum: 50 Hz and its 2nd and 3rd harmonics, rounded to whole
constexpr double kHumPeak = 2000.0;            // periods, peaks of this, half and a third of it

struct MicFault {
    enum Kind : uint8_t { Dead, Stuck, Clipping, Noisy, DcOffset, Swap, Dropout, FlatTop, Deaf, Inverted, Bang, Hum };
    Kind kind = Dead;
    int microphone = 0; // 0..1023
    int other = -1;     // Swap: each of the two words carries the other's signal

    bool operator==(const MicFault& o) const
    {
        return kind == o.kind && microphone == o.microphone && other == o.other;
    }
};

// A 1 kHz tone at `level_db` dB SPL re 20 uPa on one microphone, in place of
// the scene (the calibrator's cavity shuts the room out); its own noise stays.
struct Calibrator {
    int microphone = -1; // -1: none
    double level_db = 94.0;
};

// Parses the runner's --sim-defauts text: comma-separated MICRO:DEFAUT with
// DEFAUT one of muet (dead), fige (stuck), sature (clipping), bruit (noisy),
// continu (DC offset), coupure (dropout), ecrete (flat top), sourd (deaf),
// inverse (inverted), claque (bang), ronfle (hum), or A-B:permute for two
// swapped microphones; e.g.
// "3:muet,17:sature,200:bruit,511:continu,700:fige,12-13:permute". A
// microphone takes one fault and one swap at most. Returns "" and fills
// `faults`, or a message naming the option and the bad item (`faults`
// untouched).
std::string parse_faults(const std::string& text, std::vector<MicFault>& faults);

// The same text back from faults (for a run's listing of its settings).
std::string faults_text(const std::vector<MicFault>& faults);

// Parses the runner's --sim-calibreur text MICRO:DB, e.g. "17:94" (dB SPL,
// 0 to 160). Returns "" and fills `calibrator`, or the message.
std::string parse_calibrator(const std::string& text, Calibrator& calibrator);

// The microphone whose signal word `microphone` carries: itself, or its
// partner in a swap.
int heard_by(const std::vector<MicFault>& faults, int microphone);

// Its fault other than a swap, or nullptr.
const MicFault* fault_of(const std::vector<MicFault>& faults, int microphone);

} // namespace sim
