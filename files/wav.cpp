#include "files/wav.h"

#include <cstring>

#include "base/fichier_entier.h"

namespace {

void mot16(std::string& s, uint16_t v)
{
    s.push_back(char(v & 0xFF));
    s.push_back(char(v >> 8));
}

void mot32(std::string& s, uint32_t v)
{
    for (int k = 0; k < 4; ++k)
        s.push_back(char((v >> (8 * k)) & 0xFF));
}

} // namespace

std::string wav_flottant(const std::vector<float>& echantillons, uint32_t frequence)
{
    constexpr uint32_t ENTETE = 58; // RIFF, fmt (18), fact and data headers
    const uint64_t donnees = uint64_t(echantillons.size()) * 4;
    if (donnees + ENTETE - 8 > 0xFFFFFFFFull)
        return std::string();
    std::string s;
    s.reserve(size_t(ENTETE + donnees));
    s += "RIFF";
    mot32(s, uint32_t(ENTETE - 8 + donnees));
    s += "WAVE";
    s += "fmt ";
    mot32(s, 18);
    mot16(s, 3); // IEEE float
    mot16(s, 1); // one channel
    mot32(s, frequence);
    mot32(s, frequence * 4); // bytes per second
    mot16(s, 4);             // bytes per frame
    mot16(s, 32);
    mot16(s, 0); // no extension
    // Every format but PCM carries its sample count.
    s += "fact";
    mot32(s, 4);
    mot32(s, uint32_t(echantillons.size()));
    s += "data";
    mot32(s, uint32_t(donnees));
    for (float v : echantillons) {
        uint32_t u;
        std::memcpy(&u, &v, 4);
        mot32(s, u);
    }
    return s;
}

int ecrit_wav(const std::string& chemin, const std::vector<float>& echantillons, uint32_t frequence,
              std::string& erreur)
{
    if (frequence == 0) {
        erreur = chemin + " : fréquence d'échantillonnage nulle";
        return -1;
    }
    const std::string octets = wav_flottant(echantillons, frequence);
    if (octets.empty()) {
        erreur = chemin + " : trop d'échantillons pour un fichier WAV (4 Gio au plus)";
        return -1;
    }
    return ecrit_fichier_entier(chemin, octets, erreur);
}
