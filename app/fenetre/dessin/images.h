// The window's icon and its two logos, drawn with Qt Gui (the images are
// committed in app/fenetre/images/; drawn again by hand).
#pragma once

// Writes icone.png, logo_talvore.png and logo_morvelan.png into the folder
// argv[1] (else the working folder); `argc`, `argv` are also Qt's. 0, or 1
// when one could not be written.
int dessine_images(int argc, char** argv);
