// Start-up of the main window's state, in the window's order: defaults,
// handlers run once, colour map, control states, then the current
// configuration file when there is one, and a word in the pane when the
// recording it names was cut short. The box is not contacted.
#pragma once

struct Principale;

void construction(Principale& p);
