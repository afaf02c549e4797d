// The description file (.log) of a recorded run: sectioned text beside the
// data file, with the same values as the header file.
#pragma once

#include <string>

#include "base/format.h"
#include "files/header.h"

// The description text of a run: `nb_voies` words per frame (the status
// word included), `nb_micros` microphones, the comment as the pane left it
// (empty when it was never closed). Numbers follow `conv`.
std::string texte_description(const Conventions& conv, const type_header_file& h, int nb_voies, int nb_micros,
                              const std::string& commentaire);
