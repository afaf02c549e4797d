// The channels a run records, as a value: which microphones, analogue
// channels, counters and whether the status word, independent of any control.
// The window's boxes, the configuration file and the header's selection
// bytes all convert to and from it.
#pragma once

#include <array>

struct Selection {
    std::array<std::array<bool, 8>, 128> micros{}; // [beam][position]: microphone 8f + j
    std::array<bool, 16> va{};                     // analogue channel 4b + k (blocks A..D)
    std::array<bool, 4> compteurs{};               // counters A..D
    bool etat = false;                             // the status word
};
