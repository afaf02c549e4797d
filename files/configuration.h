// The configuration file: the operator's settings and selection as text,
// written at every Start ("config_en_cours.txt") and read at start-up, or
// saved and loaded on request. The reader recognises lines by their key
// words and skips any line it cannot use; it never stops the program.
#pragma once

#include <cstddef>
#include <string>

#include "base/format.h"

struct Principale;

// Runs the selection pass choix_micros(false) and, with automatic naming,
// refreshes nom_dir and acqui_name (the run relies on both), then writes the
// file. 0 on success; -1, with a message in the pane, when the file cannot
// be created or written.
int ecrit_config(Principale& p, const std::string& config_name);

// Largest file taken for a configuration: the writer's is about 6 KB.
constexpr std::size_t TAILLE_MAX_CONFIG = 1 << 20;

// Sets the controls from the file. A file that cannot be opened or read, or
// one larger than TAILLE_MAX_CONFIG, changes nothing and is reported in the
// pane (-1).
int lit_config(Principale& p, const std::string& config_name);

// "Sauv. Config." and "Lit Config.": the dialog's choice, or nothing when
// it is cancelled.
void button_Sauv_Config_Click(Principale& p);
void button_Lit_Config_Click(Principale& p);

// Numbers of the file, in the conventions of `c`: the grouping separator is
// ignored, the decimal one taken as such. Infinities and NaN do not parse.
bool lit_nombre(const Conventions& c, const std::string& token, double& out);
// An integer that fits in 16 bits (optional sign, digits only).
bool lit_entier16(const std::string& token, int& out);
