// A tiny host for the simulated box: a few small transfers on the data
// endpoint, a record of their completions, command helpers.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstring>
#include <functional>
#include <vector>

#include "simulator/simulated_box.h"

namespace simtest {

using Clock = std::chrono::steady_clock;

inline int ms_since(Clock::time_point t0)
{
    return int(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0).count());
}

inline sim::Options unpaced()
{
    sim::Options o;
    o.paced = false;
    o.keep_copy = true;
    o.keep_checksum = true;
    o.counter_start = 0x00100000; // clear of the test-pattern codes
    return o;
}

struct Done {
    int slot, status, length;
};

class Harness {
public:
    explicit Harness(const sim::Options& options = unpaced()) : box(options)
    {
        handle = box.open_device_with_vid_pid(sim::kVendorId, sim::kProductId);
    }
    ~Harness()
    {
        for (usb::Transfer* t : transfers)
            box.cancel_transfer(t);
        box.handle_events_timeout(0);
        for (usb::Transfer* t : transfers)
            box.free_transfer(t);
    }

    int command(std::vector<unsigned char> b)
    {
        return box.control_transfer(handle, 0x40, uint8_t(0xB0 + b.size() - 1), 0, 0, b.data(), uint16_t(b.size()),
                                    1000);
    }
    void select(int address, int mask) { command({0x05, 0x00, uint8_t(address), uint8_t(mask)}); }
    void count(uint32_t n) { command({0x04, uint8_t(n), uint8_t(n >> 8), uint8_t(n >> 16), uint8_t(n >> 24)}); }
    void start(uint8_t tt = 0) { command({0x02, tt}); }
    void stop() { command({0x03, 0x00}); }

    // The first k channels of: microphones, counter A, analogue, counters B-D, status.
    void select_words(int k)
    {
        int beams[128] = {}, aux[4] = {};
        for (int m = 0; m < 1024 && k > 0; ++m, --k)
            beams[m / 8] |= 1 << (m % 8);
        if (k-- > 0)
            aux[0] |= 0x80;
        for (int v = 0; v < 16 && k > 0; ++v, --k)
            aux[v / 4] |= 1 << (v % 4);
        for (int c = 1; c < 4 && k > 0; ++c, --k)
            aux[c] |= 0x80;
        if (k-- > 0)
            aux[0] |= 0x40;
        for (int f = 0; f < 128; ++f)
            select(f, beams[f]);
        for (int b = 3; b >= 0; --b)
            select(255 - b, aux[b]);
    }

    // Allocates and submits n transfers of `length` bytes.
    void queue(int n, int length, unsigned timeout_ms = 0)
    {
        for (int i = 0; i < n; ++i) {
            buffers.emplace_back(size_t(length), 0xEE);
            usb::Transfer* t = box.alloc_transfer(0);
            usb::fill_bulk_transfer(t, handle, 0x81, buffers.back().data(), length, &on_done, this, timeout_ms);
            transfers.push_back(t);
            submit_results.push_back(box.submit_transfer(t));
        }
    }

    // Turns the event handling until `until` holds or ms pass.
    bool run(const std::function<bool()>& until, int ms = 5000)
    {
        const Clock::time_point t0 = Clock::now();
        while (!until()) {
            const int left = ms - ms_since(t0);
            if (left <= 0)
                return false;
            box.handle_events_timeout(std::min(left, 20));
        }
        return true;
    }
    bool idle_for(int ms)
    {
        return !run([] { return false; }, ms);
    }
    // Until a transfer completes short: the end of the stream.
    bool run_to_end(int ms = 5000)
    {
        return run([this] { return ended(); }, ms);
    }
    bool ended() const
    {
        return std::any_of(done.begin(), done.end(), [this](const Done& d) {
            return d.status == usb::TRANSFER_COMPLETED && d.length < transfers[size_t(d.slot)]->length;
        });
    }

    std::vector<uint32_t> words() const
    {
        std::vector<uint32_t> w(data.size() / 4);
        std::memcpy(w.data(), data.data(), w.size() * 4);
        return w;
    }

    sim::SimulatedBox box;
    usb::DeviceHandle handle = nullptr;
    std::vector<usb::Transfer*> transfers;
    std::vector<std::vector<unsigned char>> buffers;
    std::vector<int> submit_results;
    std::vector<Done> done;
    std::vector<unsigned char> data; // bytes of the COMPLETED transfers, in order
    bool keep_data = true;
    bool resubmit = true;                                        // resubmit each full COMPLETED transfer
    std::function<void(Harness&, usb::Transfer*)> on_completion; // more work in the callback

private:
    static void on_done(usb::Transfer* t)
    {
        Harness& h = *static_cast<Harness*>(t->user_data);
        const int slot = int(std::find(h.transfers.begin(), h.transfers.end(), t) - h.transfers.begin());
        h.done.push_back({slot, t->status, t->actual_length});
        if (t->status == usb::TRANSFER_COMPLETED) {
            if (h.keep_data)
                h.data.insert(h.data.end(), t->buffer, t->buffer + t->actual_length);
            if (h.resubmit && t->actual_length == t->length)
                h.box.submit_transfer(t);
        }
        if (h.on_completion)
            h.on_completion(h, t);
    }
};

} // namespace simtest
