// The run's three files: the data file (raw frames, "wb+"), the header file
// (.Ond) and the description file (.log), opened together and closed by the
// run that used them.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "device/plateforme.h" // ouvre_fichier

struct Principale;

// The data file's path with its final ".dat" replaced by `ext` (".Ond",
// ".log"); a path without ".dat" keeps its name and takes `ext` after it.
std::string nom_compagnon(const std::string& data_path, const std::string& ext);

// Opens the data, header and description files of p.acqui_name (closing
// those of an earlier choice first) and sets file_open. On failure nothing
// stays open, the pane says which file and why, and -1 is returned.
int ouvre_fichiers(Principale& p);

// Closes whichever of the three files are open (data file first, then the
// description file, then the header file); file_open is cleared.
void ferme_fichiers(Principale& p);

// Appends one packet to the data file in a single write; bytes accepted.
inline std::size_t ecrit_paquet(std::FILE* f, const unsigned char* data, std::size_t n)
{
    return f ? std::fwrite(data, 1, n, f) : 0;
}
