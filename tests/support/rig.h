// A Principale wired to the simulated box, unpaced, with a test clock.
#pragma once

#include <memory>

#include "app/model/principale.h"
#include "simulator/simulated_box.h"
#include "support/doubles.h"

struct Rig {
    explicit Rig(sim::Options options = unpaced());

    static sim::Options unpaced()
    {
        sim::Options o;
        o.paced = false;
        o.trigger_delay_ms = -1;
        o.keep_copy = true;
        return o;
    }

    // Selects `micros` microphones from 0, counter A when `counter`, and the
    // first `analogues` analogue channels; nothing else.
    void selection(int micros, bool counter, int analogues = 0);

    sim::SimulatedBox box;
    ScriptedOperator op;
    TestClock clock;
    DisqueEssai disque;
    std::unique_ptr<Principale> p;
    TempDir dir;
};
