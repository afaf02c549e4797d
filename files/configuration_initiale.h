// The settings the program starts with before any configuration file is
// read: the window's built-in defaults, which the runner shares.
#pragma once

#include "files/configuration.h"

// 50 000 Hz, 5 s defined (at most 300 s), software start on a rising edge,
// int32, recording with automatic naming "Test" in dossier_initial(), every
// microphone and counter A selected.
Configuration configuration_initiale();
