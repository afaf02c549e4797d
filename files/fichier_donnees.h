// The run's three files: the data file (raw frames, "wb+"), the header file
// (.Ond) and the description file (.log), opened together and closed by the
// run that used them.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "base/plateforme.h" // ouvre_fichier

// The data file's path with its final ".dat" replaced by `ext` (".Ond",
// ".log"); a path without ".dat" keeps its name and takes `ext` after it.
std::string nom_compagnon(const std::string& data_path, const std::string& ext);

// Room kept in the description file from its opening (its text is about
// 5.5 KB, plus the comment).
constexpr std::size_t RESERVE_DESCRIPTION = 16384;
