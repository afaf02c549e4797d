// Pictures drawn with Qt Gui, without a window, for the command-line
// programs: the acoustic map of a recording as a PNG.
#pragma once

#include <string>

#include "analyse/carte.h"

// The map `c` (in `unite`, of the band of nominal centre `bande` Hz on the
// plane at `z` m) as PNG bytes into `png`: seen from in front of the array
// (the source side), x to the right, y up, 10 dB below the maximum, which is
// circled; the caption gives the levels' unit and reference, c and the grid,
// and AVERTISSEMENT_BORD when the maximum lies on the border. Starts Qt Gui on the offscreen platform unless another is
// set
// (`argc`, `argv`: Qt's arguments). False when no picture could be made.
bool png_de_carte(int argc, char** argv, const Carte& c, const std::string& unite, double bande, double z,
                  std::string& png);
