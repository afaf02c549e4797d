// Where the logic writes the information pane's messages. Every layer
// reports through one of these; the owner decides where the text goes (the
// window's pane, the runner's terminal, the run's hand-over to the window).
#pragma once

#include <atomic>
#include <functional>
#include <initializer_list>
#include <string>

#include "base/format.h"

// A flag one thread writes and another reads (docs/fils.md): the window
// writes the advanced mode while the run's thread reads it. It orders
// nothing else, so a relaxed atomic; copied as a value.
class DrapeauPartage {
public:
    DrapeauPartage(bool v = false) : v_(v) {}
    DrapeauPartage(const DrapeauPartage& o) : v_(o) {}
    DrapeauPartage& operator=(const DrapeauPartage& o) { return *this = static_cast<bool>(o); }
    DrapeauPartage& operator=(bool v)
    {
        v_.store(v, std::memory_order_relaxed);
        return *this;
    }
    operator bool() const { return v_.load(std::memory_order_relaxed); }

private:
    std::atomic<bool> v_;
};

struct Journal {
    Conventions conv;
    // Advanced mode: the diagnostic messages are written only then. The
    // window's thread writes it (the advanced-mode box, which the enable
    // table also leaves off during a run), the run's thread reads it.
    DrapeauPartage detail = false;
    // Receives each message; level 0 appends to the pane, level 1 also
    // raises an alert box. Empty: messages are dropped.
    std::function<void(const std::string& text, int flag)> sortie;

    void call_verb(const std::string& text, int flag = 0) const
    {
        if (sortie)
            sortie(text, flag);
    }
    // Formats with the regional conventions and writes.
    void verb(const std::string& pattern, std::initializer_list<FmtArg> args, int flag = 0) const
    {
        call_verb(compose(conv, pattern, args), flag);
    }
};
