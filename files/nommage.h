// Naming of the run's files and the comment they carry, as values: what the
// window's naming handlers and the comment editor rely on.
#pragma once

#include <cstddef>
#include <string>

// An existing folder (an empty text is none).
bool dossier_existe(const std::string& dossier);

// The path ends in ".dat", in any case.
bool finit_par_dat(const std::string& chemin);

// The comment as stored: line ends as CR LF whatever the editor gives, cut
// at 1024 characters, padded with spaces to 1023 characters.
std::string commentaire_de(const std::string& saisi);

// Size of the header's comment field.
constexpr std::size_t TAILLE_COMMENTAIRE = 1024;

// The header's comment field from a stored comment: its first 1024 bytes in
// the system's code page (Windows-1252 off Windows) with a terminating 0.
void champ_commentaire(const std::string& commentaire, char (&champ)[TAILLE_COMMENTAIRE]);
