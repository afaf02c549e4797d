// What the simulated box streams: a synthetic scene over the 128 x 8 array,
// rendered once per stream into a table of frames. Streaming copies the
// table and patches only the counter and analogue words, so no sample is
// computed while the data flow.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "files/geometrie.h"
#include "simulator/firmware.h"
#include "simulator/microphones.h"

namespace sim {

// A point source of the physical scene, in the array's own axes, metres;
// z > 0 is in front of the array (the source side).
struct PointSource {
    double x = 0, y = 0, z = 1;
    double tone_hz = 0;   // > 0: a tone, rounded like the scene's; 0: broadband noise
    double level_db = 94; // dB SPL (rms) at 1 m
};

// Parses the runner's --sim-point text X,Y,Z,bruit or X,Y,Z,HZ (metres,
// z > 0; HZ > 0), then optionally ,DB (the level at 1 m, dB SPL, 0 to 160;
// 94 when left out), e.g. "0.2,-0.1,1,bruit" or "0,0.08,0.01,bruit,70".
// Returns "" and fills `p`, or the message naming the option (`p`
// untouched).
std::string parse_point(const std::string& text, PointSource& p);

// One tone source above the array, independent noise on every microphone,
// a slow sine on the analogue channels. Positions are in microphone pitches:
// beam f lies at x = f (0..127), microphone j of a beam at y = j (0..7).
// Level = 10 log10(mean square) - 15 dB: the defaults give about 110 dB
// right under the source, falling 1.5 dB per pitch to the noise floor of
// about 20 dB, so a level map shows a spot around beam 40.
struct Scene {
    double tone_hz = 1000.0;           // rounded so whole periods fill the table
    double tone_amplitude = 2.5e6;     // peak, at the distance `source_height`
    double source_beam = 40.0;         // x
    double source_row = 3.5;           // y
    double source_height = 2.0;        // above the array, > 0
    double falloff_db_per_pitch = 1.5; // amplitude loss per pitch beyond the height
    double pitch_m = 0.02;             // microphone spacing, for the propagation delay
    double noise_rms = 56.0;           // per microphone, in sample units
    double analogue_hz = 2.0;
    double analogue_amplitude = 1.0e6; // peak
    uint64_t seed = 1;                 // of the noise
    int table_frames = 2048;           // period of the rendered scene, 16..65536

    // The physical scene: with points and a geometry of 1024 microphones,
    // the points replace the tone above (they propagate to each microphone
    // of `geometry` with the delay r/c and the amplitude 1/r) and the table
    // holds at least kPointTableFrames frames; noise, faults, sensitivity
    // and calibrator apply as they do to the tone. Broadband noise is one
    // periodic white noise per source, delayed per microphone by a
    // windowed-sinc interpolator when the table is rendered, so nothing is
    // interpolated while the data flow.
    std::vector<PointSource> points;
    Geometrie geometry;

    // Every word carries a fixed code instead of the scene, to check the
    // layout: microphone m = 10000 + m, analogue v = 20000 + v, filler 30000.
    // Of the microphone faults only swaps apply (a word carries the code of
    // the microphone it hears).
    bool test_pattern = false;

    // The array (microphones.h). None of these by default: the stream is
    // then the scene's alone.
    std::vector<MicFault> faults;
    Calibrator calibrator;
    double sensitivity_spread_db = 0; // standard deviation of the microphones' gains
};

// Counts per pascal of microphone m: the nominal sensitivity times its gain,
// drawn from the scene's seed and the microphone's number, so that it does
// not depend on which microphones a stream holds; kDeafDb less for a deaf
// capsule, negative for an inverted one.
double microphone_sensitivity(const Scene& scene, int microphone);

constexpr int kPointTableFrames = 8192; // 164 ms at 50 kHz

constexpr uint32_t kPatternMicrophone = 10000;
constexpr uint32_t kPatternAnalogue = 20000;
constexpr uint32_t kPatternFiller = 30000;

// Counter c of a frame is counter A + c * kCounterStep: all four count frames
// (+1 per frame, 32-bit wrap) and stay distinguishable in a dump.
constexpr uint32_t kCounterStep = 0x40000000;

// Status word: bit 0 = acquiring, bits 8-15 = the delay setting.
uint32_t status_word(const Settings& settings);

// Microphone and analogue words follow the sample type (a float word holds
// the integer sample's value); counter and status words are always integers.
class FrameSource {
public:
    struct Params {
        Settings settings;
        Scene scene;
        int extra_words = 0;        // words the selection did not ask for
        uint32_t first_counter = 0; // counter A of frame 0
        int64_t skip_frame = -1;    // counters gain one extra step from this frame on
    };

    explicit FrameSource(const Params& params);

    const std::vector<Word>& layout() const { return layout_; }
    int frame_bytes() const { return frame_bytes_; }
    uint32_t counter(uint64_t frame) const; // counter A of a frame

    // Writes bytes [offset, offset + n) of the stream into dest. Uses an
    // internal scratch frame: one caller at a time.
    void write(uint64_t offset, unsigned char* dest, size_t n);

private:
    struct Patch {
        int byte; // offset in the frame
        Word word;
    };

    void render_frames(uint64_t frame, uint64_t count, unsigned char* dest) const;
    void patch(uint64_t frame, unsigned char* frame_bytes) const;

    std::vector<Word> layout_;
    int frame_bytes_ = 0;
    uint64_t table_frames_ = 0;
    std::vector<unsigned char> table_; // table_frames_ whole frames
    std::vector<unsigned char> scratch_;
    std::vector<Patch> patches_;
    std::vector<int32_t> sine_; // one period of the analogue sine
    uint32_t phase_step_ = 0;   // analogue phase per frame, 2^32 = one period
    bool float_samples_ = false;
    uint32_t first_counter_ = 0;
    int64_t skip_frame_ = -1;
};

} // namespace sim
