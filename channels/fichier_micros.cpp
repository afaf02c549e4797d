#include "channels/fichier_micros.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "base/plateforme.h"

int ecrit_fichier_micros(const std::string& chemin, const std::array<uint8_t, 128>& masques, const Journal& j)
{
    std::FILE* f = ouvre_fichier(chemin, "wb");
    if (!f) {
        int err = errno;
        j.call_verb("Impossible de créer le fichier de micros " + chemin + " : " + std::strerror(err) + "\r\n");
        return -1;
    }
    bool ok = std::fwrite(masques.data(), 1, masques.size(), f) == masques.size();
    // Buffered: a full disk may only show when the file is closed.
    ok = std::fclose(f) == 0 && ok;
    if (!ok) {
        j.call_verb("Erreur écriture");
        return -1;
    }
    return 0;
}

int lit_fichier_micros(const std::string& chemin, std::array<uint8_t, 128>& masques, const Journal& j)
{
    std::FILE* f = ouvre_fichier(chemin, "rb");
    if (!f) {
        int err = errno;
        j.call_verb("Impossible d'ouvrir le fichier de micros " + chemin + " : " + std::strerror(err) +
                    " ; sélection inchangée\r\n");
        return -1;
    }
    std::array<uint8_t, 128> lus{};
    std::fread(lus.data(), 1, lus.size(), f);
    // A folder opens as a stream on some systems and fails only here; it
    // must not pass for an empty file.
    bool erreur = std::ferror(f) != 0;
    int err = errno;
    std::fclose(f);
    if (erreur) {
        j.call_verb("Impossible de lire le fichier de micros " + chemin + " : " + std::strerror(err) +
                    " ; sélection inchangée\r\n");
        return -1;
    }
    masques = lus;
    return 0;
}
