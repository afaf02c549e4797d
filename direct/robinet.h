// The tap: the one place where a run hands its frames to the live analysis.
//
// A run's observer owns one Robinet and forwards every packet to it from
// ObservateurRun::paquet, on the run's thread. A consumer (a PriseTrames,
// with its own thread) is attached from another thread, at Start or later,
// and taken back by the run's thread once the run has ended.
//
// paquet() never blocks the run's thread: it loads one pointer and, when a
// consumer is attached, PriseTrames::paquet copies the packet's frames into
// a free buffer or leaves the packet out. The analysis may miss frames; the
// recording, which the run writes before it tells its observer, never does.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "direct/prise_trames.h"

class Robinet {
public:
    // The run's thread: `n` bytes of the stream from byte `position`.
    void paquet(const unsigned char* octets, uint32_t n, uint64_t position)
    {
        if (PriseTrames* q = prise_.load(std::memory_order_acquire))
            q->paquet(octets, n, position);
    }

    // Any thread but the run's: `prise` receives the packets from now on.
    // False when one is attached already or the tap is closed (the run has
    // ended): the caller keeps it and ends it.
    bool attache(PriseTrames* prise)
    {
        std::lock_guard<std::mutex> l(m_);
        if (ferme_ || prise_.load())
            return false;
        prise_.store(prise, std::memory_order_release);
        return true;
    }

    // The run's thread, once the run has ended (no paquet() after): the
    // consumer attached, or nullptr; none can be attached afterwards.
    PriseTrames* ferme()
    {
        std::lock_guard<std::mutex> l(m_);
        ferme_ = true;
        return prise_.exchange(nullptr);
    }

private:
    std::atomic<PriseTrames*> prise_{nullptr};
    std::mutex m_;
    bool ferme_ = false; // under m_
};
