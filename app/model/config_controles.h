// The configuration file seen from the window: the controls as a
// Configuration and back, the writer run at every Start and the two buttons.
#pragma once

#include <string>

#include "files/configuration.h"

struct Controles;
struct Principale;

// The settings as the controls hold them; the selection from the boxes
// (with "Status", which the file does not carry).
Configuration configuration_de(const Controles& c);

// Sets the controls to `cfg`, touching only what differs: the boxes whose
// state changes run their change handlers, the duration box widens its
// range first when it must; the frequency list's handler is not run. The
// microphone boxes are all set, and their beam, group and all boxes, the
// header's microphone bytes and the cells follow. The folder and name, and
// nom_dir, are set only with CLE_FICHIER in `cles`.
void applique_configuration(Principale& p, const Configuration& cfg, unsigned cles);

// Runs the selection pass choix_micros(false) and, with automatic naming,
// refreshes nom_dir and acqui_name (the run relies on both), then writes the
// file. 0 on success; -1, with a message in the pane, when the file cannot
// be created or written.
int ecrit_config(Principale& p, const std::string& config_name);

// Sets the controls from the file, line by line as the file gives them. A
// file that cannot be opened or read, one larger than TAILLE_MAX_CONFIG, or
// one that is not a configuration changes nothing and is reported in the
// pane (-1). A frequency or duration refused keeps its control as it was,
// with a message in the pane.
int lit_config(Principale& p, const std::string& config_name);

// "Sauv. Config." and "Lit Config.": the dialog's choice, or nothing when
// it is cancelled.
void button_Sauv_Config_Click(Principale& p);
void button_Lit_Config_Click(Principale& p);
