// The faults a test can switch on.
#include <gtest/gtest.h>

#include "harness.h"

using namespace simtest;

static sim::Faults with(void (*set)(sim::Faults&))
{
    sim::Faults f;
    set(f);
    return f;
}

// Silent: commands are answered, nothing streams, Stop closes nothing.
TEST(SimulatedBoxFaults, SilentBoxTimesOut)
{
    Harness h;
    h.box.set_faults(with([](sim::Faults& f) { f.silent = true; }));
    h.select(0, 0xFF);
    h.count(255);
    h.queue(2, 1 << 16, 100);
    h.start();
    ASSERT_TRUE(h.run([&] { return h.done.size() == 2; }));
    for (const Done& d : h.done)
        EXPECT_EQ(d.status, usb::TRANSFER_TIMED_OUT);
    for (const Done& d : h.done)
        EXPECT_EQ(d.length, 0);
    h.stop();
    EXPECT_EQ(h.box.view().phase, sim::Phase::Idle);
}

// The presence test's stream with a word too many: an analogue channel
// nobody asked for, at its place in the frame.
TEST(SimulatedBoxFaults, ExtraChannel)
{
    sim::Options o = unpaced();
    o.scene.test_pattern = true;
    Harness h(o);
    h.box.set_faults(with([](sim::Faults& f) { f.extra_words = 1; }));
    h.select(0, 0xFF);
    h.count(255);
    h.queue(2, 1 << 16);
    h.start();
    ASSERT_TRUE(h.run_to_end());
    EXPECT_EQ(h.data.size(), 255u * 9 * 4);
    EXPECT_EQ(h.words()[8], sim::kPatternAnalogue + 0);
}

// A failed transfer comes back empty with its status; the stream carries
// on in the next one and loses nothing.
TEST(SimulatedBoxFaults, FailedTransfer)
{
    for (int status : {usb::TRANSFER_TIMED_OUT, usb::TRANSFER_STALL, usb::TRANSFER_ERROR}) {
        SCOPED_TRACE(status);
        Harness h;
        sim::Faults f;
        f.fail_transfer = 2;
        f.fail_status = status;
        h.box.set_faults(f);
        h.select_words(1025);
        h.count(100);
        h.queue(4, 1 << 16);
        h.start();
        ASSERT_TRUE(h.run_to_end());
        ASSERT_GE(h.done.size(), 4u);
        EXPECT_EQ(h.done[2].status, status);
        EXPECT_EQ(h.done[2].length, 0);
        EXPECT_EQ(h.done[3].status, usb::TRANSFER_COMPLETED);
        EXPECT_EQ(h.data.size(), 100u * 4100);
        EXPECT_EQ(h.data, h.box.stream_copy());
    }
}

// Unplugged at transfer 1: it and every queued transfer end NO_DEVICE, and
// everything else fails at once until the box is plugged back.
TEST(SimulatedBoxFaults, Unplugged)
{
    Harness h;
    h.box.set_faults(with([](sim::Faults& f) {
        f.fail_transfer = 1;
        f.fail_status = usb::TRANSFER_NO_DEVICE;
    }));
    h.resubmit = false;
    h.select_words(8);
    h.queue(4, 4096);
    h.start();
    ASSERT_TRUE(h.run([&] { return h.done.size() == 4; }));
    EXPECT_EQ(h.done[0].status, usb::TRANSFER_COMPLETED);
    for (int i = 1; i < 4; ++i)
        EXPECT_EQ(h.done[size_t(i)].slot, i);
    for (int i = 1; i < 4; ++i)
        EXPECT_EQ(h.done[size_t(i)].status, usb::TRANSFER_NO_DEVICE);
    const Clock::time_point t0 = Clock::now();
    EXPECT_EQ(h.box.handle_events(), usb::ERROR_NO_DEVICE);
    EXPECT_LT(ms_since(t0), 1000);
    EXPECT_EQ(h.command({0x00}), usb::ERROR_NO_DEVICE);
    EXPECT_EQ(h.box.submit_transfer(h.transfers[0]), usb::ERROR_NO_DEVICE);
    EXPECT_EQ(h.box.claim_interface(h.handle, 0), usb::ERROR_NO_DEVICE);
    EXPECT_EQ(h.box.open_device_with_vid_pid(sim::kVendorId, sim::kProductId), nullptr);

    h.box.replug();
    usb::DeviceHandle fresh = h.box.open_device_with_vid_pid(sim::kVendorId, sim::kProductId);
    ASSERT_NE(fresh, nullptr);
    EXPECT_EQ(h.command({0x00}), usb::ERROR_NO_DEVICE); // the old handle stays dead
    unsigned char reset = 0x00;
    EXPECT_EQ(h.box.control_transfer(fresh, 0x40, 0xB0, 0, 0, &reset, 1, 100), 1);
    EXPECT_EQ(h.box.view().settings.selection.words(), 0);
}

// The counters step twice into frame 5, once everywhere else.
TEST(SimulatedBoxFaults, CounterSkip)
{
    Harness h;
    h.box.set_faults(with([](sim::Faults& f) { f.counter_skip_frame = 5; }));
    h.select(0, 0x01);
    h.select(255, 0x80);
    h.select(254, 0x80);
    h.count(10);
    h.queue(1, 4096);
    h.start();
    ASSERT_TRUE(h.run_to_end());
    const std::vector<uint32_t> w = h.words();
    ASSERT_EQ(w.size(), 30u);
    for (size_t f = 1; f < 10; ++f) {
        EXPECT_EQ(w[3 * f] - w[3 * f - 3], f == 5 ? 2u : 1u) << "frame " << f;
        EXPECT_EQ(w[3 * f + 2], w[3 * f] + sim::kCounterStep);
    }
}

// Stop without a closing transfer: the queue stays as it was, and what the
// box says it sent is what was delivered plus what sits in the oldest
// pending buffer, however the Stop falls against the box's writes.
TEST(SimulatedBoxFaults, NoEndAfterStop)
{
    for (int round = 0; round < 20; ++round) {
        Harness h;
        h.box.set_faults(with([](sim::Faults& f) { f.no_end_on_stop = true; }));
        h.select_words(8);
        h.queue(2, 1 << 20);
        h.start();
        ASSERT_TRUE(h.run([&] { return h.done.size() >= size_t(1 + round % 3); }));
        h.stop();
        h.idle_for(5); // what was already on its way
        const size_t before = h.done.size();
        ASSERT_FALSE(h.run([&] { return h.done.size() > before; }, round == 0 ? 100 : 5));
        const sim::View v = h.box.view();
        EXPECT_EQ(v.phase, sim::Phase::Idle);
        EXPECT_EQ(v.queued, 2u);
        std::vector<unsigned char> sent = h.box.stream_copy();
        ASSERT_EQ(sent.size(), h.data.size() + size_t(v.head_bytes));
        sent.resize(h.data.size());
        ASSERT_EQ(sent, h.data);
    }
}

// The third submission after set_faults is refused and leaves its transfer idle.
TEST(SimulatedBoxFaults, RefusedSubmission)
{
    Harness h;
    sim::Faults f;
    f.refuse_submit = 2;
    f.refuse_error = usb::ERROR_NO_MEM;
    h.box.set_faults(f);
    h.queue(4, 4096);
    EXPECT_EQ(h.submit_results, (std::vector<int>{0, 0, usb::ERROR_NO_MEM, 0}));
    EXPECT_EQ(h.box.cancel_transfer(h.transfers[2]), usb::ERROR_NOT_FOUND);
    EXPECT_EQ(h.box.submit_transfer(h.transfers[2]), usb::SUCCESS);
    EXPECT_EQ(h.box.view().queued, 4u);
}
