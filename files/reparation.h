// Repair of an interrupted recording: when the run dies before its end (the
// program killed, the PC losing power) the data file holds the frames but
// the header and description files stay empty. They are rebuilt from the
// configuration written at that run's Start and from the data file itself.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "files/configuration.h"
#include "files/header.h"

// A run's settings as its configuration file gives them: the selection
// bytes, the frequency and the sample type in `header`, and the frame size
// without the status word, which a configuration does not hold.
struct Reglages {
    type_header_file header{};
    int nb_voies = 0;
    int nb_micros = 0;
    bool compteur_a = false;
};

// The settings of a configuration read over a default (nothing said)
// Configuration. -1, with the reason, when it lacks the frequency or the
// sample type; `config_name` names the file in that reason.
int reglages_de(const Configuration& cfg, const std::string& config_name, Reglages& r, std::string& erreur);

// Rebuilds NAME.Ond and NAME.log beside `dat` for frames of the settings'
// size (one word more with `etat`). Refuses (-1) when a companion is not
// empty, or when counter A was recorded and its words do not follow from
// frame to frame at that size. `messages` tells what was done, what could
// not be known, or why nothing was written.
int repare(const std::string& dat, const Reglages& r, bool etat, std::vector<std::string>& messages);

// Last modification of a file: seconds since 1970 (UTC) and milliseconds.
bool date_modification(const std::string& chemin, int64_t& secondes, int& millisecondes);
