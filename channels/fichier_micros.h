// The microphone selection file (.mic): the 128 beam masks, raw, bit j of
// byte f for microphone 8f + j; nothing else (analogue channels, counters
// and status are not part of it). Failures are reported through the journal
// at level 0.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "base/journal.h"

// Creates or replaces the file with the 128 masks. 0 when written; -1 when
// it cannot be created or written.
int ecrit_fichier_micros(const std::string& chemin, const std::array<uint8_t, 128>& masques, const Journal& j);

// Reads the 128 masks into `masques`. 0 when read; -1 when the file cannot
// be opened or read, or is not 128 bytes long (no file the writer made),
// `masques` then being unchanged.
int lit_fichier_micros(const std::string& chemin, std::array<uint8_t, 128>& masques, const Journal& j);
