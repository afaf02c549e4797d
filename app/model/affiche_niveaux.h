// The colours of the live level display: during a run every selected
// microphone's cell takes the colour of the level the run computed from its
// latest 2000 samples. Window thread.
#pragma once

#include <string>

#include "app/model/controles.h"

struct Principale;
struct ResultatsDirect;

// Fills R_jet, V_jet, B_jet from the jet map (the colour bar is drawn from them).
void init_colorbar(Principale& p);

Couleur couleur_niveau(const Principale& p, int niveau);

// The A-weighted levels of the live analysis on the cell view, during a run.
void applique_niveaux_a(Principale& p, const ResultatsDirect& r);
// The level index of microphone m for the run's index L: through the
// calibration in use when one is loaded.
int niveau_calibre(const Principale& p, int m, int L);

// "dB", "dB SPL", "dB(A)" (calibrated and A-weighted) or "dB A".
std::string unite_niveaux(const Principale& p);
