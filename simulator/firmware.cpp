#include "simulator/firmware.h"

#include "device/usb.h"

namespace sim {

int Selection::words() const
{
    int n = 0;
    for (uint8_t mask : beams)
        for (int j = 0; j < 8; ++j)
            n += (mask >> j) & 1;
    for (int b = 0; b < 4; ++b) {
        for (int k = 0; k < 4; ++k)
            n += (blocks[b] >> k) & 1;
        n += counter(b);
    }
    return n + status();
}

namespace {

// Arguments each command takes; -1 for codes the firmware does not know.
int argument_count(uint8_t code)
{
    switch (code) {
    case CMD_RESET_MICROS:
        return 0;
    case CMD_CLOCK_DIVISION:
    case CMD_START:
    case CMD_STOP:
    case CMD_DELAY:
    case CMD_SAMPLE_TYPE:
        return 1;
    case CMD_FAISCEAUX:
        return 2;
    case CMD_SELECTION:
        return 3;
    case CMD_SAMPLE_COUNT:
        return 4;
    default:
        return -1;
    }
}

bool valid_start_byte(uint8_t tt)
{
    const int source = tt & 0x03;
    if (source == 3 || (tt & 0x3C) != 0)
        return false;
    return source != TRIGGER_SOFT || (tt & 0xC0) == 0;
}

} // namespace

Decoded decode_request(Settings& s, uint8_t request_type, uint8_t request, uint16_t value, uint16_t index,
                       const unsigned char* data, uint16_t length)
{
    Decoded refused;
    refused.result = usb::ERROR_PIPE;
    if (request_type != kRequestType || value != 0 || index != 0)
        return refused;

    Decoded ok;
    if (request == kRequestResetFx3 || request == kRequestResetPseudoHard) {
        if (length != 0)
            return refused;
        ok.action = request == kRequestResetFx3 ? Action::ResetFx3 : Action::ResetPseudoHard;
        return ok;
    }
    if (request < 0xB0 || request > 0xB4)
        return refused;
    const int n = request - 0xB0;
    if (length != n + 1 || data == nullptr || argument_count(data[0]) != n)
        return refused;
    ok.result = length;

    const unsigned char* a = data + 1;
    switch (data[0]) {
    case CMD_RESET_MICROS:
        ok.action = Action::ResetMicros;
        break;
    case CMD_CLOCK_DIVISION:
        s.division_byte = a[0];
        break;
    case CMD_START:
        if (!valid_start_byte(a[0]))
            return refused;
        ok.action = Action::Start;
        ok.start_byte = a[0];
        break;
    case CMD_STOP:
        if (a[0] != 0)
            return refused;
        ok.action = Action::Stop;
        break;
    case CMD_SAMPLE_COUNT:
        s.sample_count = uint32_t(a[0]) | uint32_t(a[1]) << 8 | uint32_t(a[2]) << 16 | uint32_t(a[3]) << 24;
        break;
    case CMD_SELECTION: {
        const int address = a[1];
        const uint8_t mask = a[2];
        if (a[0] != 0)
            return refused;
        if (address < 128) {
            s.selection.beams[address] = mask;
        } else if (address >= 252) {
            const int block = 255 - address;
            const uint8_t allowed = block == 0 ? 0xCF : 0x8F;
            if (mask & ~allowed)
                return refused;
            s.selection.blocks[block] = mask;
        } else {
            return refused;
        }
        break;
    }
    case CMD_DELAY:
        s.delay = a[0];
        break;
    case CMD_SAMPLE_TYPE:
        if (a[0] > 1)
            return refused;
        s.sample_type = a[0] ? SampleType::Float : SampleType::Integer;
        break;
    case CMD_FAISCEAUX:
        s.faisceaux = uint16_t(a[0] | a[1] << 8);
        break;
    }
    return ok;
}

std::vector<Word> frame_layout(const Selection& sel, int extra)
{
    // The lowest unselected analogue channels stand in for the extra words.
    bool analogue[16];
    for (int v = 0; v < 16; ++v) {
        analogue[v] = sel.analogue(v);
        if (!analogue[v] && extra > 0) {
            analogue[v] = true;
            --extra;
        }
    }

    std::vector<Word> words;
    if (sel.counter(0))
        words.push_back({Word::Counter, 0});
    for (int q = 0; q < 4; ++q) {
        if (q > 0 && sel.counter(q))
            words.push_back({Word::Counter, q});
        for (int m = 256 * q; m < 256 * (q + 1); ++m)
            if (sel.microphone(m))
                words.push_back({Word::Microphone, m});
        for (int v = 4 * q; v < 4 * q + 4; ++v)
            if (analogue[v])
                words.push_back({Word::Analogue, v});
    }
    if (sel.status())
        words.push_back({Word::Status, 0});
    for (; extra > 0; --extra)
        words.push_back({Word::Filler, 0});
    return words;
}

} // namespace sim
