// The colours of the live level display: during a run every selected
// microphone's cell takes the colour of the level the run computed from its
// latest 2000 samples. Window thread.
#pragma once

#include "app/model/controles.h"

struct Principale;

// Fills R_jet, V_jet, B_jet from the jet map (the colour bar is drawn from them).
void init_colorbar(Principale& p);

Couleur couleur_niveau(const Principale& p, int niveau);
