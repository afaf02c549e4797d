// Start-up of the main window's state, in the window's order: defaults,
// handlers run once, colour map, control states, then the current
// configuration file when there is one. The box is not contacted.
#pragma once

struct Principale;

void construction(Principale& p);
