// Text encodings and line splitting shared by the program's files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Appends the UTF-8 encoding of code point `cp`.
void ajoute_utf8(std::string& out, uint32_t cp);

// The lines of `texte`; lines end at LF, CR LF or CR.
std::vector<std::string> lignes_de(const std::string& texte);

// Windows-1252 encoding of UTF-8 text; characters the code page lacks
// become '?'. Malformed UTF-8 bytes become '?' too.
std::string utf8_vers_cp1252(const std::string& utf8);
// And back: Windows-1252 bytes as UTF-8 (the five unassigned bytes as U+FFFD).
std::string cp1252_vers_utf8(const std::string& cp1252);
