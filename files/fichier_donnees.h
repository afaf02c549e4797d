// The run's three files: the data file (raw frames, "wb+"), the header file
// (.Ond) and the description file (.log), opened together and closed by the
// run that used them.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "base/plateforme.h" // ouvre_fichier

struct Principale;

// The data file's path with its final ".dat" replaced by `ext` (".Ond",
// ".log"); a path without ".dat" keeps its name and takes `ext` after it.
std::string nom_compagnon(const std::string& data_path, const std::string& ext);

// Room kept in the description file from its opening (its text is about
// 5.5 KB, plus the comment).
constexpr std::size_t RESERVE_DESCRIPTION = 16384;

// Opens the data, header and description files of p.acqui_name (closing
// those of an earlier choice first) and sets file_open. The header and
// description files are given their room at once (2097 bytes, and
// RESERVE_DESCRIPTION), so that a data file that fills the disk cannot keep
// them from being written; the streams are left at offset 0. On failure
// nothing stays open, the pane says which file and why, and -1 is returned.
int ouvre_fichiers(Principale& p);

// Closes whichever of the three files are open (data file first, then the
// description file, then the header file); file_open is cleared. The
// header and description files are cut where their writing stopped: empty
// when nothing was written.
void ferme_fichiers(Principale& p);

// Appends one packet to the data file in a single write; bytes accepted.
inline std::size_t ecrit_paquet(std::FILE* f, const unsigned char* data, std::size_t n)
{
    return f ? std::fwrite(data, 1, n, f) : 0;
}
