// The selection boxes of the window and the channel fields of Principale:
// the boxes are the selection; the header's selection bytes, the counts,
// the lists and the box's selection commands are derived from them.
#pragma once

#include <array>
#include <cstdint>

#include "channels/selection.h"

struct Controles;
struct Principale;

// What the microphone, analogue, counter and status boxes show.
Selection selection_des_cases(const Controles& c);

// Microphone bytes of the header and nb_micros from the microphone boxes;
// returns the 128 beam masks (bit j of byte f = microphone 8f + j).
std::array<uint8_t, 128> valide_micros(Principale& p);

// Full pass over the selection: every selection byte of the header,
// nb_micros, num_mic_valid, nb_voies, compteur and the channel list; with
// `active` the 132 selection commands are sent too, and the box is given
// 300 ms.
void choix_micros(Principale& p, bool active);
