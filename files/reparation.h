// Repair of an interrupted recording: when the run dies before its end (the
// program killed, the PC losing power) the data file holds the frames and the
// header and description files only what the run wrote at its start, its
// settings with no frame counted. They are completed from themselves and
// from the data file. Companions left blank (nothing of them reached the
// disk) are rebuilt from the configuration written at that run's Start.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/format.h"
#include "files/configuration.h"
#include "files/header.h"

// A run's settings: the selection bytes, the frequency and the sample type
// in `header`, and the frame size without the status word.
struct Reglages {
    type_header_file header{};
    int nb_voies = 0;
    int nb_micros = 0;
    bool compteur_a = false;
    // Read from the run's own companions, which also give the status word,
    // the start time, the comment and how numbers were written.
    bool des_compagnons = false;
    bool etat = false;
    // The description was blank, cut short or unreadable: the settings are
    // the header's alone (the status word as the caller says, the comment
    // from the header's own field) and the description is written anew.
    bool description_refaite = false;
    std::string commentaire; // the description's comment line(s), as written
    Conventions conventions = Conventions::from_locale();
};

// The settings the run of `dat` wrote in its companions when it started (or
// at its end); from the header file alone when the description is blank or
// damaged. -1, with the reason, when the header does not hold a run's
// settings, or the description disagrees with it.
int reglages_des_compagnons(const std::string& dat, Reglages& r, std::string& erreur);

// The settings of a configuration read over a default (nothing said)
// Configuration. -1, with the reason, when it lacks the frequency or the
// sample type; `config_name` names the file in that reason.
int reglages_de(const Configuration& cfg, const std::string& config_name, Reglages& r, std::string& erreur);

// Writes NAME.Ond and NAME.log beside `dat` for frames of the settings'
// size (one word more with `etat` or the settings' own status word), with
// the frame count of the data file. Refuses (-1) when the recording was not
// interrupted (files/lecture.h), or when counter A was recorded and its words
// do not follow from frame to frame at that size. Each file is written whole
// or not at all: an error leaves it as it was. `messages` tells what was
// done, what could not be known, or why nothing was written.
int repare(const std::string& dat, const Reglages& r, bool etat, std::vector<std::string>& messages);

// The pane's notice at start-up when the recording the configuration file
// names (automatic naming) was interrupted: what was found and the command
// that repairs it. Empty otherwise.
std::string avis_interruption(const std::string& config_name, const Conventions& conv);

// Last modification of a file: seconds since 1970 (UTC) and milliseconds.
bool date_modification(const std::string& chemin, int64_t& secondes, int& millisecondes);
