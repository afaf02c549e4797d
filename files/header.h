// The acquisition header record and its file (.Ond): 2097 bytes, fields
// back to back, little-endian.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>

#include "base/texte.h"
#include "channels/selection.h"

#pragma pack(push, 1)
struct type_date_heure {
    uint16_t wYear, wMonth, wDayOfWeek, wDay, wHour, wMinute, wSecond, wMilliseconds;
};

struct type_header_file {
    type_date_heure date_heure;    // 0: start of the run, local time
    uint8_t micros_actifs[128][8]; // 16: microphone 8f + j, 1 = selected
    uint8_t va_actives[4][4];      // 1040: analogue channel 4b + k
    uint8_t compteurs_actifs[4];   // 1056: counters A..D
    float freq;                    // 1060: Hz
    uint32_t nb_ech;               // 1064: whole frames in the data file
    float duree_acq;               // 1068: s, nb_ech / freq
    uint8_t type_float;            // 1072: 1 float samples, 0 integers
    char texte_commentaire[1024];  // 1073: comment, 8-bit code page
};
#pragma pack(pop)

constexpr std::size_t HEADER_FILE_SIZE = 2097;
static_assert(sizeof(type_header_file) == HEADER_FILE_SIZE, "header record must be 2097 bytes");

// Initial values: all zero, microphones selected, comment all spaces.
void init_header(type_header_file& h);

// The 2097 bytes of the header file, little-endian whatever the host.
std::array<uint8_t, HEADER_FILE_SIZE> header_bytes(const type_header_file& h);

// Reads the 2097 bytes of a header file back into a record.
type_header_file header_de_bytes(const uint8_t* bytes);

// Frame count of a data file of `octets` bytes (whole frames only, low 32
// bits) and the duration it stands for, as the end of a run computes them.
uint32_t nb_ech_de(uint64_t octets, int nb_voies);
float duree_de(uint32_t nb_ech, float frequence);

// Writes the 2097 bytes to an open stream; 0 on success, -1 on failure.
int ecrit_header(const type_header_file& h, std::FILE* f);

// The selection of a header's selection bytes (1 = selected); the status
// word has no byte and is left out.
Selection selection_de_header(const type_header_file& h);
// Writes the 1024 + 16 + 4 selection bytes of `h` (1 or 0); nothing else.
void ecrit_selection(type_header_file& h, const Selection& s);
