// Sampling parameters: the frequency table, the duration and the sample
// count sent to the box, and which of them the box already holds.
#pragma once

#include <cstdint>

struct Principale;

constexpr int NB_FREQ = 17;
extern const int FREQ[NB_FREQ];  // clock division of each row of the list
extern const int DELAY[NB_FREQ]; // delay value of each row

// 500 000 / division, integer quotient, as the box samples.
inline float frequence_de_division(int division) { return static_cast<float>(500000 / division); }
// Longest duration whose sample count fits in 32 bits.
inline float duree_max_de(float frequence) { return 4294967296.0f / frequence; }
// Samples per channel for `duree` s at `frequence` Hz, held at 2^32 - 1.
uint32_t calcule_nb_echantillons(float duree, float frequence);

void listBox_Freq_Click(Principale& p);
void numericUpDown_Delay_ValueChanged(Principale& p);
void calcul_count(Principale& p);
void numericUpDown_Duree_ValueChanged(Principale& p);
void checkBox_Definie_CheckedChanged(Principale& p);
void radioButton_Start_Soft_CheckedChanged(Principale& p);

// Sets the duration spinner as the toolkit would: clamped to its range, the
// change handler run when the value changes.
void set_duree(Principale& p, double value);
// Widens or narrows the spinner's maximum (clamping the value as above).
void set_duree_maximum(Principale& p, double maximum);
