// ondaris-acq's recording: Start as the window's button does it (the
// settings saved, every refusal before the run, the files chosen), the run
// with its live map when asked for, then the link closed and the files
// listed.
#pragma once

#include "base/journal.h"
#include "device/boitier.h"
#include "files/configuration.h"
#include "tools/acq/console.h"
#include "tools/acq/options.h"

namespace acq {

// The exit code of the run (EXIT_OK for one complete, or stopped by Ctrl-C
// or at the disk's limit). The link is closed when this returns.
int enregistre(Boitier& boitier, Configuration& cfg, const Options& o, Console& console, SuiviConsole& suivi,
               const Journal& journal);

} // namespace acq
