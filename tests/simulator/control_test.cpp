// Identity and vendor requests: what the box accepts, refuses and keeps.
#include <gtest/gtest.h>

#include <iterator>

#include "harness.h"

using namespace simtest;
using Bytes = std::vector<unsigned char>;

TEST(SimulatedBoxControl, FoundOnlyUnderItsIds)
{
    sim::SimulatedBox box(unpaced());
    EXPECT_EQ(box.open_device_with_vid_pid(0xFE27, 0xAC01), nullptr);
    EXPECT_EQ(box.open_device_with_vid_pid(0x04B4, 0xAC02), nullptr);
    box.set_faults([] {
        sim::Faults f;
        f.absent = true;
        return f;
    }());
    EXPECT_EQ(box.open_device_with_vid_pid(0xFE27, 0xAC02), nullptr);
    box.set_faults(sim::Faults());
    usb::DeviceHandle h = box.open_device_with_vid_pid(0xFE27, 0xAC02);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(box.claim_interface(h, 0), usb::SUCCESS);
    EXPECT_EQ(box.claim_interface(h, 1), usb::ERROR_NOT_FOUND);
    EXPECT_EQ(box.release_interface(h, 0), usb::SUCCESS);
    box.close(h);
    EXPECT_EQ(box.claim_interface(h, 0), usb::ERROR_INVALID_PARAM); // closed stays closed
}

// Well-formed requests return their byte count and set what they carry;
// malformed ones stall and change nothing.
TEST(SimulatedBoxControl, ChecksEveryRequest)
{
    struct Case {
        const char* what;
        uint8_t type, request;
        uint16_t value, index;
        Bytes data;
        int expected;
    };
    const int PIPE = usb::ERROR_PIPE;
    const Case cases[] = {
        {"reset micros", 0x40, 0xB0, 0, 0, {0x00}, 1},
        {"reset FX3", 0x40, 0xC0, 0, 0, {}, 0},
        {"reset pseudo-hard", 0x40, 0xC4, 0, 0, {}, 0},
        {"clock division", 0x40, 0xB1, 0, 0, {0x01, 0x0B}, 2},
        {"sample count 250000", 0x40, 0xB4, 0, 0, {0x04, 0x90, 0xD0, 0x03, 0x00}, 5},
        {"beam 3", 0x40, 0xB3, 0, 0, {0x05, 0x00, 3, 0xA5}, 4},
        {"block A: counter, status, VA 0 and 3", 0x40, 0xB3, 0, 0, {0x05, 0x00, 255, 0xC9}, 4},
        {"block C: counter, VA 10", 0x40, 0xB3, 0, 0, {0x05, 0x00, 253, 0x84}, 4},
        {"delay", 0x40, 0xB1, 0, 0, {0x07, 0x0C}, 2},
        {"float", 0x40, 0xB1, 0, 0, {0x09, 0x01}, 2},
        {"Faisceaux", 0x40, 0xB2, 0, 0, {0x0A, 0x34, 0x12}, 3},
        {"start Trig2 falling", 0x40, 0xB1, 0, 0, {0x02, 0x42}, 2},
        {"stop", 0x40, 0xB1, 0, 0, {0x03, 0x00}, 2},
        {"IN request type", 0xC0, 0xB1, 0, 0, {0x01, 0x00}, PIPE},
        {"wValue", 0x40, 0xB1, 1, 0, {0x01, 0x00}, PIPE},
        {"wIndex", 0x40, 0xB1, 0, 1, {0x01, 0x00}, PIPE},
        {"length against bRequest", 0x40, 0xB1, 0, 0, {0x01, 0x00, 0x00}, PIPE},
        {"argument count of the command", 0x40, 0xB2, 0, 0, {0x01, 0x00, 0x00}, PIPE},
        {"unknown command", 0x40, 0xB1, 0, 0, {0x06, 0x00}, PIPE},
        {"bRequest B5", 0x40, 0xB5, 0, 0, {0x04, 0, 0, 0, 0, 0}, PIPE},
        {"reset FX3 with data", 0x40, 0xC0, 0, 0, {0x00}, PIPE},
        {"bRequest C1", 0x40, 0xC1, 0, 0, {}, PIPE},
        {"selection address 200", 0x40, 0xB3, 0, 0, {0x05, 0x00, 200, 0x01}, PIPE},
        {"status bit on block B", 0x40, 0xB3, 0, 0, {0x05, 0x00, 254, 0x40}, PIPE},
        {"selection byte 1", 0x40, 0xB3, 0, 0, {0x05, 0x01, 3, 0x01}, PIPE},
        {"trigger source 3", 0x40, 0xB1, 0, 0, {0x02, 0x03}, PIPE},
        {"condition with the soft source", 0x40, 0xB1, 0, 0, {0x02, 0x40}, PIPE},
        {"stop argument", 0x40, 0xB1, 0, 0, {0x03, 0x01}, PIPE},
        {"sample type 2", 0x40, 0xB1, 0, 0, {0x09, 0x02}, PIPE},
        {"clock division, refused", 0x40, 0xB1, 0, 1, {0x01, 0x22}, PIPE},
    };
    Harness h;
    for (const Case& c : cases) {
        Bytes d = c.data;
        EXPECT_EQ(h.box.control_transfer(h.handle, c.type, c.request, c.value, c.index, d.empty() ? nullptr : d.data(),
                                         uint16_t(d.size()), 100),
                  c.expected)
            << c.what;
    }
    EXPECT_EQ(h.box.control_transfer(nullptr, 0x40, 0xB0, 0, 0, nullptr, 0, 100), usb::ERROR_INVALID_PARAM);
    EXPECT_EQ(h.box.control_transfer(h.handle, 0x40, 0xB1, 0, 0, nullptr, 2, 100), usb::ERROR_INVALID_PARAM);

    const sim::Settings s = h.box.view().settings;
    EXPECT_EQ(s.frequency_hz(), 41666);
    EXPECT_EQ(s.sample_count, 250000u);
    EXPECT_EQ(s.selection.beams[3], 0xA5);
    EXPECT_TRUE(s.selection.counter(0) && s.selection.status() && s.selection.analogue(0) && s.selection.analogue(3) &&
                s.selection.counter(2) && s.selection.analogue(10));
    EXPECT_EQ(s.selection.words(), 4 + 4 + 2);
    EXPECT_EQ(s.delay, 0x0C);
    EXPECT_EQ(s.sample_type, sim::SampleType::Float);
    EXPECT_EQ(s.faisceaux, 0x1234);
    EXPECT_EQ(h.box.view().start_byte, 0x42);

    const std::vector<sim::ControlRecord> log = h.box.control_log();
    ASSERT_EQ(log.size(), std::size(cases) + 2);
    EXPECT_EQ(log[4].request, 0xB4);
    EXPECT_EQ(log[4].data, (Bytes{0x04, 0x90, 0xD0, 0x03, 0x00}));
    EXPECT_EQ(log[4].result, 5);
}

// Reset micros stops a stream without closing it and forgets division,
// delay and count; the pseudo-hard reset forgets everything.
TEST(SimulatedBoxControl, Resets)
{
    sim::Options o = unpaced();
    o.paced = true;
    Harness h(o);
    h.command({0x01, 249}); // 2000 Hz
    h.command({0x07, 3});
    h.count(100000);
    h.select(0, 0x01);
    h.select(255, 0x80);
    h.command({0x09, 0x01});
    h.command({0x0A, 0x0F, 0x00});
    h.queue(1, 1 << 16);
    h.start();
    ASSERT_TRUE(h.run([&] { return h.box.view().head_bytes > 0; }));
    h.command({0x00});
    EXPECT_TRUE(h.idle_for(100)); // no closing transfer
    sim::View v = h.box.view();
    EXPECT_EQ(v.phase, sim::Phase::Idle);
    EXPECT_EQ(v.queued, 1u);
    EXPECT_EQ(v.next_counter, 0x00100000u);
    EXPECT_EQ(v.settings.division_byte, 9);
    EXPECT_EQ(v.settings.delay, 10);
    EXPECT_EQ(v.settings.sample_count, 0u);
    EXPECT_EQ(v.settings.selection.words(), 2);
    EXPECT_EQ(v.settings.sample_type, sim::SampleType::Float);
    EXPECT_EQ(v.settings.faisceaux, 0x000F);

    h.box.control_transfer(h.handle, 0x40, 0xC4, 0, 0, nullptr, 0, 100);
    v = h.box.view();
    EXPECT_EQ(v.settings.selection.words(), 0);
    EXPECT_EQ(v.settings.sample_type, sim::SampleType::Integer);
    EXPECT_EQ(v.settings.faisceaux, 0xFFFF);
}
