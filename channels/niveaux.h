// The level colour map and the live level display: during a run every
// selected microphone's cell takes the colour of the mean power of its
// latest 2000 samples.
#pragma once

#include <cstdint>
#include <vector>

#include "app/model/controles.h"

struct Principale;

constexpr int NB_NIVEAUX = 128;
constexpr int ECHANTILLONS_NIVEAU = 2000;

// Fills R_jet, V_jet, B_jet (blue to red, 128 steps).
void init_colorbar(Principale& p);

// Level index 0..127 of a mean square: round(10 log10(P) - 15), P below 1
// counted as 1, clamped to the map.
int niveau_de(double moyenne_carres);

Couleur couleur_niveau(const Principale& p, int niveau);

// Levels of the microphones over ECHANTILLONS_NIVEAU frames of `nb_voies`
// words starting at `trames` (word n + 1 of a frame is channel voies[n]):
// `codes` receives the microphone codes in list order, `niveaux` their
// level index (niveau_de of the mean square). Any thread; about 0.4 ms for
// 1044 microphones.
void calcule_niveaux(const unsigned char* trames, int nb_voies, const int32_t* voies, int nb_voies_valid,
                     std::vector<int32_t>& codes, std::vector<int16_t>& niveaux);
