// Sound files for listening: WAVE, one channel of 32-bit floats
// (WAVE_FORMAT_IEEE_FLOAT), little-endian, as every audio tool reads them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The whole file's bytes; "" when the samples do not fit in one RIFF file
// (4 GiB).
std::string wav_flottant(const std::vector<float>& echantillons, uint32_t frequence);

// Written whole or not at all (base/fichier_entier.h). 0; or -1 with the
// reason in `erreur`.
int ecrit_wav(const std::string& chemin, const std::vector<float>& echantillons, uint32_t frequence,
              std::string& erreur);
