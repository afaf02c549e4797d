// The description file (.log) of a recorded run: sectioned text beside the
// data file, with the same values as the header file.
#pragma once

struct Principale;

// Writes the header record's 2097 bytes to p.fichier_header, then the
// description text to p.log (both left open: the run closes them). Numbers
// follow p.conv. 0 on success; -1, with a message in the pane, when a file
// is not open or not every byte reached it.
int ecrit_log(Principale& p);
