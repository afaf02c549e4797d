// Asynchronous transfers as libusb runs them: order, time-outs,
// cancellation, callbacks that call back into the library.
#include <gtest/gtest.h>

#include "harness.h"

using namespace simtest;

static std::vector<int> slots(const std::vector<Done>& done)
{
    std::vector<int> s;
    for (const Done& d : done)
        s.push_back(d.slot);
    return s;
}

// Data fills the queue in submission order, passing over a cancelled
// transfer; a cancellation completes when made; a queued transfer cannot be
// resubmitted, nor one out of flight cancelled.
TEST(SimulatedBoxTransfers, OrderAndCancellation)
{
    Harness h;
    h.resubmit = false;
    h.select_words(4);
    h.count(2 * 1024 + 512); // two and a half transfers
    h.queue(5, 16384);
    EXPECT_EQ(h.box.submit_transfer(h.transfers[0]), usb::ERROR_BUSY);
    EXPECT_EQ(h.box.cancel_transfer(h.transfers[1]), usb::SUCCESS);
    EXPECT_EQ(h.box.cancel_transfer(h.transfers[1]), usb::ERROR_NOT_FOUND);
    h.start();
    ASSERT_TRUE(h.run_to_end());
    ASSERT_EQ(slots(h.done), (std::vector<int>{1, 0, 2, 3}));
    EXPECT_EQ(h.done[0].status, usb::TRANSFER_CANCELLED);
    EXPECT_EQ(h.done[3].length, 8192);
    EXPECT_EQ(h.data, h.box.stream_copy());

    EXPECT_EQ(h.box.cancel_transfer(h.transfers[0]), usb::ERROR_NOT_FOUND);
    for (int s : {0, 1, 2, 3})
        h.box.submit_transfer(h.transfers[size_t(s)]);
    for (int s : {4, 0, 1, 2, 3})
        EXPECT_EQ(h.box.cancel_transfer(h.transfers[size_t(s)]), 0);
    h.done.clear();
    ASSERT_EQ(h.box.handle_events_timeout(0), 0);
    ASSERT_EQ(slots(h.done), (std::vector<int>{4, 0, 1, 2, 3}));
    for (const Done& d : h.done)
        EXPECT_EQ(d.status, usb::TRANSFER_CANCELLED);

    usb::Transfer* t = h.box.alloc_transfer(0);
    usb::fill_bulk_transfer(t, h.handle, 0x01, h.buffers[0].data(), 64, nullptr, nullptr, 0);
    EXPECT_EQ(h.box.submit_transfer(t), usb::ERROR_IO); // not the data endpoint
    t->endpoint = 0x81;
    t->length = 0;
    EXPECT_EQ(h.box.submit_transfer(t), usb::ERROR_INVALID_PARAM);
    h.box.free_transfer(t);
}

// Each time-out runs from its own submission, 0 is none; a transfer that
// times out part-way keeps what it got and the stream goes on in the next.
TEST(SimulatedBoxTransfers, TimeOutsCountFromEachSubmission)
{
    Harness h;
    const Clock::time_point t0 = Clock::now();
    h.queue(1, 4096, 150);
    std::this_thread::sleep_for(std::chrono::milliseconds(80));
    // The second time-out is far longer, so that a loaded machine oversleeping
    // above cannot make both due at once; it must count from its own submission.
    const Clock::time_point t_second = Clock::now();
    h.queue(1, 4096, 600);
    h.queue(1, 4096, 0);
    EXPECT_EQ(h.box.handle_events(), 0);
    ASSERT_EQ(h.done.size(), 1u);
    EXPECT_EQ(h.done[0].slot, 0);
    EXPECT_EQ(h.done[0].status, usb::TRANSFER_TIMED_OUT);
    EXPECT_GE(ms_since(t0), 150);
    EXPECT_EQ(h.box.handle_events(), 0);
    ASSERT_EQ(h.done.size(), 2u);
    EXPECT_EQ(h.done[1].slot, 1);
    EXPECT_GE(ms_since(t_second), 600);
    const Clock::time_point t1 = Clock::now();
    EXPECT_EQ(h.box.handle_events_timeout(100), 0); // nothing due: waits, then 0
    EXPECT_EQ(h.done.size(), 2u);
    EXPECT_GE(ms_since(t1), 100);

    sim::Options o = unpaced();
    o.paced = true;
    Harness slow(o);
    slow.command({0x01, 249}); // 2000 Hz, one microphone: 8000 bytes/s
    slow.select(0, 0x01);
    slow.queue(1, 1 << 16, 100);
    slow.start();
    ASSERT_TRUE(slow.run([&] { return !slow.done.empty(); }));
    const Done late = slow.done[0];
    EXPECT_EQ(late.status, usb::TRANSFER_TIMED_OUT);
    EXPECT_GT(late.length, 0);
    EXPECT_LT(late.length, 4000);
    slow.queue(1, 1 << 16);
    slow.stop();
    ASSERT_TRUE(slow.run_to_end());
    std::vector<unsigned char> got(slow.buffers[0].begin(), slow.buffers[0].begin() + late.length);
    got.insert(got.end(), slow.data.begin(), slow.data.end());
    EXPECT_EQ(got, slow.box.stream_copy());
}

// The program's ring: each completion resubmitted from its callback, a
// command sent from inside one, and on the short transfer every slot
// cancelled from the callback; all come back cancelled.
TEST(SimulatedBoxTransfers, ReentrantRing)
{
    Harness h;
    h.select_words(1025);
    h.queue(8, 1 << 16);
    int cancelled = 0;
    h.on_completion = [&](Harness& r, usb::Transfer* t) {
        cancelled += t->status == usb::TRANSFER_CANCELLED;
        if (r.done.size() == 20)
            r.stop();
        if (t->status == usb::TRANSFER_COMPLETED && t->actual_length < t->length) {
            r.box.submit_transfer(t);
            for (usb::Transfer* each : r.transfers)
                EXPECT_EQ(r.box.cancel_transfer(each), 0);
        }
    };
    h.start();
    ASSERT_TRUE(h.run([&] { return cancelled == 8; }));
    EXPECT_TRUE(h.ended());
    EXPECT_EQ(h.data.size(), h.box.view().stream.bytes);
    EXPECT_EQ(h.box.view().queued, 0u);
    EXPECT_EQ(h.box.view().misuses, 0u);
}
