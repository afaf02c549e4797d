// Channel numbering: microphones 8f + j in 128 beams, analogue channels
// 4b + k in blocks A..D, counters A..D, and the codes of the channel list
// (the Selection value gives the list itself).
#pragma once

constexpr int NB_FAISCEAUX = 128;
constexpr int NB_MICROS = 1024;
constexpr int NB_VA = 16;
constexpr int CODE_VA = 2000;       // analogue channel v -> 2000 + v
constexpr int CODE_COMPTEUR = 3000; // counter c -> 3000 + c (B..D only)

extern const char* const BLOC[4]; // "Bloc_A" .. "Bloc_D"
