// ondaris-acq's settings: the configuration the options make, the files a
// run is given and what is printed of them.
#pragma once

#include <string>

#include "acquisition/run.h"
#include "base/format.h"
#include "base/journal.h"
#include "files/configuration.h"
#include "files/fichiers_run.h"
#include "tools/acq/console.h"
#include "tools/acq/options.h"

namespace acq {

// The row of the box's frequency within 1 Hz of `hz`, else -1.
int rang_frequence(double hz);

// The frequency of the configuration's row, Hz.
float frequence_de(const Configuration& cfg);

// The run's three files and their sizes, on stdout.
void liste_fichiers(const std::string& data);

// The duration within the range the window's spinner takes.
void fixe_duree(Configuration& cfg, double valeur);

// The duration keeps one decimal, as the window's spinner: the
// configuration writes it so, and a value read back as 0 would mean an
// open-ended run. A duration that is not 0 stays at 0.1 s at least.
void arrondit_duree(Configuration& cfg, const Conventions& conv);

// The data file of manual naming (advanced mode): the options' folder and
// name.
std::string fichier_manuel(const Options& o);

// The data file a run would write, as the run will name it.
std::string fichier_prevu(const Configuration& cfg, const Options& o);

// The settings in force, on stdout, before Init.
void affiche_reglages(const Configuration& cfg, const Options& o, const Conventions& cv);

// The settings of the run: the built-in ones, then the configuration (the
// working folder's config_en_cours.txt, or the one given, which applies
// over the built-in settings alone), then the options. -1 when the
// configuration given cannot be read, or the duration asked for is beyond
// the frequency's longest.
int reglages(Options& o, int rang, const Journal& journal, Configuration& cfg);

// The files of the run, as Start asks for them: the data file's name and,
// with manual naming, the files opened. False when the run must not start.
bool choisit_fichiers(const Configuration& cfg, const Options& o, Console& console, const Journal& journal,
                      std::string& acqui_name, FichiersRun& fichiers);

// The run's parameters, with its header and selection.
ParametresRun parametres_du_run(const Configuration& cfg, const Journal& journal);

// A capture without a file for a live consumer of its frames: the
// configured frequency, channels and sample type, a start at once, `duree`
// seconds.
void reglages_sans_fichier(Configuration& cfg, double duree);

} // namespace acq
