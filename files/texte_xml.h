// What the readers of acoular's XML files share: the file's bytes, the line
// of an offset for messages, and a number attribute.
#pragma once

#include <cstddef>
#include <string>

// The whole file in `texte`. -1, with "chemin : reason" in `erreur`, when it
// cannot be opened or read.
int lit_texte_fichier(const std::string& chemin, std::string& texte, std::string& erreur);

// The line (from 1) that holds byte `offset` of the text.
int ligne_de(const std::string& texte, std::ptrdiff_t offset);

// A finite number in C notation, spaces or tabs around it and a leading '+'
// allowed.
bool lit_nombre_xml(const char* s, double& v);
