// Pieces shared by the program's text files (description and configuration):
// UTF-8 without byte-order mark, every write one line followed by CR LF.
#pragma once

#include <cstdio>
#include <cstdint>
#include <string>
#include <vector>

#include "base/format.h"
#include "base/texte.h"
#include "files/header.h"

// Appends `texte` and CR LF.
void ligne(std::string& out, const std::string& texte);

// The selection sections, from "\n[Micros actifs]" to the "Compteurs" line,
// from the header's selection bytes.
void sections_selection(std::string& out, const Conventions& conv, const type_header_file& h);

// Writes `texte` to `f` and flushes it; 0 when every byte reached the file.
int ecrit_texte(std::FILE* f, const std::string& texte);
