// Sampling parameters: the frequency table, the duration and the sample
// count sent to the box, and which of them the box already holds.
#pragma once

#include <cstdint>

#include "device/boitier.h"

constexpr int NB_FREQ = 17;
extern const int FREQ[NB_FREQ];  // clock division of each row of the list
extern const int DELAY[NB_FREQ]; // delay value of each row

// 500 000 / division, integer quotient, as the box samples.
inline float frequence_de_division(int division) { return static_cast<float>(500000 / division); }
// Longest duration whose sample count fits in 32 bits.
inline float duree_max_de(float frequence) { return 4294967296.0f / frequence; }
// Samples per channel for `duree` s at `frequence` Hz, held at 2^32 - 1.
uint32_t calcule_nb_echantillons(float duree, float frequence);

// Sends the clock division of row `row` (0 for a row out of the list) and
// waits 500 ms for the box to settle; the box then holds that frequency
// (clock_def) and no sample count (count_def).
void envoie_frequence(Boitier& b, int row);
// Sends the sample count (0: open-ended); the request's result.
int envoie_nb_echantillons(Boitier& b, uint32_t count);
