// Folder paths of automatic naming, per platform: on Windows "\" and the
// initial folder d:\; elsewhere "/" and the operator's home folder.
#pragma once

#include <string>

#ifdef _WIN32
constexpr char SEPARATEUR = '\\';
#else
constexpr char SEPARATEUR = '/';
#endif

// A character that ends a folder on this platform (Windows takes both).
bool est_separateur(char c);

// The folder with its final separator. An empty folder stays empty: names
// joined to it are then relative to the working directory.
std::string avec_separateur(const std::string& dossier);

// The last piece of a path (the file's name without its folder).
std::string nom_court(const std::string& chemin);

// The initial text of "Répertoire", with its final separator: d:\ on Windows
// when it exists, the home folder (HOME) elsewhere; else the working
// directory, else the root.
std::string dossier_initial();

// Splits the path of a "Fichier" line, leading spaces removed, into its
// folder (with its final separator, empty when there is none) and its last
// piece, kept as written. Both "\" and "/" separate and empty pieces are
// dropped, but leading separators (a root, or the "\\" of a network path)
// are kept. False when the path holds no piece.
bool decoupe_chemin(const std::string& chemin, std::string& dossier, std::string& nom);
