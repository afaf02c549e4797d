// Channel numbering and the selection model: the boxes of the window become
// the header's selection bytes, the 132 selection commands, the frame size
// nb_voies and the channel list in frame order.
#pragma once

#include <array>
#include <cstdint>

#include "files/header.h"

struct Principale;

constexpr int NB_FAISCEAUX = 128;
constexpr int NB_MICROS = 1024;
constexpr int NB_VA = 16;
constexpr int CODE_VA = 2000;       // analogue channel v -> 2000 + v
constexpr int CODE_COMPTEUR = 3000; // counter c -> 3000 + c (B..D only)

extern const char* const BLOC[4]; // "Bloc_A" .. "Bloc_D"

// Microphone bytes of the header and nb_micros from the microphone boxes;
// returns the 128 beam masks (bit j of byte f = microphone 8f + j).
std::array<uint8_t, 128> valide_micros(Principale& p);

// The channel list in frame order (the words after counter A) from the
// header's selection bytes: per quarter its counter (B..D), its microphones
// ascending, its analogue block. `liste` holds at least 1043 entries;
// returns how many were written.
int liste_voies(const type_header_file& h, int32_t* liste);

// Full pass over the selection: every selection byte of the header,
// nb_micros, num_mic_valid, nb_voies, compteur and the channel list; with
// `active` the 132 selection commands are sent too. Pauses 300 ms.
void choix_micros(Principale& p, bool active);
