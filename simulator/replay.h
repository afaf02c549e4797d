// A recording streamed again by the simulated box: each word of a frame the
// selection asks for carries the recorded samples of the same channel,
// recorded frame after recorded frame, so the window, the health check and
// the live views see real data.
//
// What the box does with it, stream by stream:
//  - Every Start replays from the recording's first frame; after its last
//    frame the box goes on from the first again (a box never runs dry): the
//    stream ends, as always, at its sample count or at Stop.
//  - Counter A is the box's own (it counts the stream's frames and goes on
//    across the loop). Counters B to D keep their recorded distance to
//    recorded counter A, so a run that records them gets what the
//    recording holds while counter A keeps its own count. A counter the
//    recording lacks counts as the box's (counter A + c * kCounterStep), and
//    a missing status word is the box's own.
//  - Microphones and analogue channels the recording lacks come as zeros.
//  - Samples follow the stream's sample type: an integer recording streamed
//    as float words holds the same values, a float recording streamed as
//    integers is rounded to the nearest.
//  - Frames come at the stream's frequency: a recording played at another
//    frequency is played faster or slower, as a tape would be.
// replay_notice() tells the operator, at Start, of the last three.
//
// A recording made from the simulated box and replayed with the same
// channels, sample type and frequency right after Init streams the same
// bytes as the recording: counter A starts where the recording's started.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "files/lecture.h"
#include "simulator/firmware.h"

namespace sim {

// A recording checked once, before any stream.
struct Recording {
    std::string dat;            // path of the data file
    std::vector<int32_t> codes; // code of every recorded word (files/lecture.h), in frame order
    uint64_t frames = 0;        // whole frames
    int division = 10;          // of the box's clock: frequency = kBaseClockHz / division
    bool float_samples = false;
    std::vector<std::string> remarks; // what the reader found odd but readable
};

// Reads NAME.dat with its .Ond and .log. "" and fills `recording`, or the
// message naming the file and the fault (no frame, unreadable layout).
std::string load_recording(const std::string& dat, Recording& recording);

// One line on the recording for the operator: its file, channels, frames
// and frequency.
std::string recording_summary(const Recording& recording);

// What the operator must know when a stream with `settings` replays the
// recording: the microphones and analogue channels it lacks, a frequency
// other than the recording's. "" when none. Init's presence test (255
// frames of microphones 0 to 7 at 50 000 Hz) gets none: it only checks that
// the box answers.
std::string replay_notice(const Recording& recording, const Settings& settings);

// The words of one stream, read from the recording by blocks as the box
// thread asks for them. Same interface as FrameSource; one caller at a time.
class ReplaySource {
public:
    struct Params {
        Settings settings;
        int extra_words = 0;
        uint32_t first_counter = 0; // counter A of frame 0
        int64_t skip_frame = -1;    // counters gain one extra step from this frame on
    };

    ReplaySource(std::shared_ptr<const Recording> recording, const Params& params);

    int frame_bytes() const { return frame_bytes_; }
    uint32_t counter(uint64_t frame) const;
    void write(uint64_t offset, unsigned char* dest, size_t n);

private:
    // Where a stream word comes from.
    struct Source {
        enum Kind : uint8_t { Zero, Copy, ToFloat, ToInteger, CounterA, Counter, Status } kind;
        int word;        // in the recorded frame (Copy, ToFloat, ToInteger, Counter, Status), -1: none
        uint32_t offset; // Counter without a recording of it: c * kCounterStep
    };

    const uint32_t* recorded(uint64_t frame); // words of recorded frame `frame`, nullptr on a read error
    void render(uint64_t frame, unsigned char* dest);

    std::shared_ptr<const Recording> recording_;
    std::vector<Source> sources_;
    int frame_bytes_ = 0;
    int recorded_words_ = 0;
    int recorded_counter_a_ = -1; // its word, if recorded
    uint32_t status_ = 0;
    uint32_t first_counter_ = 0;
    int64_t skip_frame_ = -1;

    LecteurTrames reader_;
    bool open_ = false;
    std::vector<uint32_t> block_; // recorded frames [block_first_, block_first_ + block_count_)
    uint64_t block_first_ = 0, block_count_ = 0;
    std::vector<unsigned char> scratch_;
};

} // namespace sim
