// A tiny host for the simulated box: a handful of small transfers on the
// data endpoint, a completion record, and command helpers.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstring>
#include <functional>
#include <vector>

#include "simulator/simulated_box.h"

namespace simtest {

inline sim::Options unpaced()
{
    sim::Options o;
    o.paced = false;
    o.keep_copy = true;
    o.counter_start = 0x00100000;  // clear of the test-pattern codes
    return o;
}

struct Done {
    int slot;
    int status;
    int length;
};

class Harness {
public:
    explicit Harness(const sim::Options& options = unpaced()) : box(options)
    {
        handle = box.open_device_with_vid_pid(sim::kVendorId, sim::kProductId);
        box.claim_interface(handle, 0);
    }
    ~Harness()
    {
        for (usb::Transfer* t : transfers) box.cancel_transfer(t);
        box.handle_events_timeout(0);
        for (usb::Transfer* t : transfers) box.free_transfer(t);
    }

    int command(std::vector<unsigned char> bytes)
    {
        return box.control_transfer(handle, 0x40, uint8_t(0xB0 + bytes.size() - 1), 0, 0,
                                    bytes.data(), uint16_t(bytes.size()), 1000);
    }
    void select(int address, int mask) { command({0x05, 0x00, uint8_t(address), uint8_t(mask)}); }
    void count(uint32_t n)
    {
        command({0x04, uint8_t(n), uint8_t(n >> 8), uint8_t(n >> 16), uint8_t(n >> 24)});
    }
    void start(uint8_t tt = 0) { command({0x02, tt}); }
    void stop() { command({0x03, 0x00}); }

    // The first k channels: microphones, then counter A, the analogue
    // channels, counters B-D, status.
    void select_words(int k)
    {
        int beams[128] = {}, aux[4] = {};
        for (int m = 0; m < 1024 && k > 0; ++m, --k) beams[m / 8] |= 1 << (m % 8);
        if (k-- > 0) aux[0] |= 0x80;
        for (int v = 0; v < 16 && k > 0; ++v, --k) aux[v / 4] |= 1 << (v % 4);
        for (int c = 1; c < 4 && k > 0; ++c, --k) aux[c] |= 0x80;
        if (k-- > 0) aux[0] |= 0x40;
        for (int f = 0; f < 128; ++f) select(f, beams[f]);
        for (int b = 3; b >= 0; --b) select(255 - b, aux[b]);
    }

    // Allocates and submits n transfers of `length` bytes.
    void queue(int n, int length, unsigned timeout_ms = 0)
    {
        for (int i = 0; i < n; ++i) {
            buffers.emplace_back(size_t(length), 0xEE);
            usb::Transfer* t = box.alloc_transfer(0);
            usb::fill_bulk_transfer(t, handle, 0x81, buffers.back().data(), length, &on_done,
                                    this, timeout_ms);
            transfers.push_back(t);
            submit_results.push_back(box.submit_transfer(t));
        }
    }

    // Turns the event handling until `until` holds or ms pass.
    bool run(const std::function<bool()>& until, int ms = 5000)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (!until()) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                end - std::chrono::steady_clock::now());
            if (left.count() <= 0) return false;
            box.handle_events_timeout(int(std::min<long long>(left.count(), 20)));
        }
        return true;
    }
    // Until a transfer completes short, i.e. the end of the stream.
    bool run_to_end(int ms = 5000)
    {
        return run([this] { return !done.empty() && ended(); }, ms);
    }
    bool ended() const
    {
        for (const Done& d : done)
            if (d.status == usb::TRANSFER_COMPLETED && d.length < length_of(d.slot)) return true;
        return false;
    }
    int length_of(int slot) const { return transfers[size_t(slot)]->length; }

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
    std::vector<unsigned char> data;  // bytes of the COMPLETED transfers, in order
    bool keep_data = true;
    bool resubmit = true;             // resubmit each COMPLETED full transfer
    std::function<void(Harness&, usb::Transfer*)> on_completion;  // extra work in the callback

private:
    static void on_done(usb::Transfer* t)
    {
        Harness& h = *static_cast<Harness*>(t->user_data);
        int slot = 0;
        while (h.transfers[size_t(slot)] != t) ++slot;
        h.done.push_back({slot, t->status, t->actual_length});
        if (t->status == usb::TRANSFER_COMPLETED) {
            if (h.keep_data) h.data.insert(h.data.end(), t->buffer, t->buffer + t->actual_length);
            if (h.resubmit && t->actual_length == t->length) h.box.submit_transfer(t);
        }
        if (h.on_completion) h.on_completion(h, t);
    }
};

}  // namespace simtest
