// The simulated box's firmware: the settings its vendor requests change, the
// checks it makes on every request, and the layout of the frames it streams.
// Pure data and functions; SimulatedBox adds the USB side and the threads.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace sim {

// The protocol's constants are written here again, from the box's
// description, rather than taken from device/: the simulated box is an
// independent check of the program's side, and a wrong code there must not
// be copied into the box that tests it.
constexpr uint16_t kVendorId = 0xFE27;
constexpr uint16_t kProductId = 0xAC02;
constexpr uint8_t kRequestType = 0x40; // host to device, vendor, device
constexpr unsigned char kDataEndpoint = 0x81;
constexpr int kBaseClockHz = 500000; // frequency = kBaseClockHz / division

// Command codes (byte 0 of the data stage of requests 0xB0 + n).
enum Command : uint8_t {
    CMD_RESET_MICROS = 0x00,
    CMD_CLOCK_DIVISION = 0x01,
    CMD_START = 0x02,
    CMD_STOP = 0x03,
    CMD_SAMPLE_COUNT = 0x04,
    CMD_SELECTION = 0x05,
    CMD_DELAY = 0x07,
    CMD_SAMPLE_TYPE = 0x09,
    CMD_FAISCEAUX = 0x0A,
};
// Requests with no data stage.
constexpr uint8_t kRequestResetFx3 = 0xC0;
constexpr uint8_t kRequestResetPseudoHard = 0xC4;

// Start byte: bits 0-1 source, bits 6-7 condition (external sources only).
enum TriggerSource : uint8_t { TRIGGER_SOFT = 0, TRIGGER_TRIG1 = 1, TRIGGER_TRIG2 = 2 };

enum class SampleType : uint8_t { Integer = 0, Float = 1 };

// The channel selection as the box holds it: one mask per address.
struct Selection {
    // Address f = 0..127: bit j selects microphone 8f + j.
    std::array<uint8_t, 128> beams{};
    // Block b = 0..3 (A..D) lives at address 255 - b: bits 0-3 analogue
    // channels 4b..4b+3, bit 7 counter b, bit 6 (block A only) the status word.
    std::array<uint8_t, 4> blocks{};

    bool microphone(int m) const { return (beams[m / 8] >> (m % 8)) & 1; }
    bool analogue(int v) const { return (blocks[v / 4] >> (v % 4)) & 1; }
    bool counter(int c) const { return (blocks[c] >> 7) & 1; }
    bool status() const { return (blocks[0] >> 6) & 1; }
    int words() const; // 32-bit words per frame
};

// Settings held by the box. The defaults are its power-up state.
struct Settings {
    Selection selection;       // nothing selected
    uint8_t division_byte = 9; // division = byte + 1 (50 000 Hz)
    uint8_t delay = 10;
    uint32_t sample_count = 0; // samples per channel; 0 = until Stop
    SampleType sample_type = SampleType::Integer;
    uint16_t faisceaux = 0xFFFF;

    int division() const { return division_byte + 1; }
    int frequency_hz() const { return kBaseClockHz / division(); }
};

// What a well-formed request asks of the box beyond changing Settings.
enum class Action { None, Start, Stop, ResetMicros, ResetFx3, ResetPseudoHard };

struct Decoded {
    int result = 0; // bytes transferred, or usb::ERROR_PIPE (refused)
    Action action = Action::None;
    uint8_t start_byte = 0; // for Action::Start
};

// Checks one control request and applies the settings it carries. A request
// is refused (ERROR_PIPE, the box stalls it) unless: request type 0x40,
// wValue and wIndex 0; bRequest 0xC0/0xC4 with no data, or 0xB0 + n with
// n + 1 bytes where byte 0 is a command that takes exactly n arguments.
// The firmware also refuses reserved bits and values: a Start byte with
// source 3, bits 2-5 set, or condition bits with the soft source; a Stop
// argument other than 0; a Selection whose byte 1 is not 0, whose address is
// not 0..127 or 252..255, or whose auxiliary mask sets an unused bit; a
// sample type other than 0 or 1. A refused request changes nothing.
// `data` may be null only when `length` is 0.
Decoded decode_request(Settings& settings, uint8_t request_type, uint8_t request, uint16_t value, uint16_t index,
                       const unsigned char* data, uint16_t length);

// One word of a frame.
struct Word {
    enum Kind : uint8_t { Microphone, Analogue, Counter, Status, Filler } kind;
    int index; // microphone 0..1023, analogue 0..15, counter 0..3

    bool operator==(const Word& o) const { return kind == o.kind && index == o.index; }
};

// The words of one frame, in stream order: counter A first; then for each
// quarter q = 0..3: counter q (q > 0), the quarter's microphones ascending,
// analogue block q ascending; the status word last.
// `extra` words the selection did not ask for (a faulty box): the lowest
// unselected analogue channels join the frame at their place, and any extra
// beyond those is a Filler word at the end.
std::vector<Word> frame_layout(const Selection& selection, int extra = 0);

} // namespace sim
