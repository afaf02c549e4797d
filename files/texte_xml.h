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

#ifdef ONDARIS_XML
#include <pugixml.hpp>

// A file read and parsed, kept with its text for the lines of messages.
struct FichierXml {
    std::string chemin, texte;
    pugi::xml_document doc;
    // "chemin, ligne N : raison", N the line of byte `offset`.
    std::string refus(std::ptrdiff_t offset, const std::string& raison) const;
};

// Reads and parses `chemin` and finds its root element `racine`. -1, with
// the reason (and its line) in `erreur`, when one of these fails.
int ouvre_xml(const std::string& chemin, const char* racine, FichierXml& f, pugi::xml_node& noeud, std::string& erreur);
#endif
