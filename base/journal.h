// Where the logic writes the information pane's messages. Every layer
// reports through one of these; the owner decides where the text goes (the
// window's pane, the runner's terminal, the run's hand-over to the window).
#pragma once

#include <functional>
#include <initializer_list>
#include <string>

#include "base/format.h"

struct Journal {
    Conventions conv;
    // Advanced mode: the diagnostic messages are written only then.
    bool detail = false;
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
