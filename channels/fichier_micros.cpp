#include "channels/fichier_micros.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "base/fichier_entier.h"
#include "base/plateforme.h"

int ecrit_fichier_micros(const std::string& chemin, const std::array<uint8_t, 128>& masques, const Journal& j)
{
    // Whole or not at all: a failed write leaves the previous file.
    FichierEntier f;
    std::string erreur;
    if (f.ouvre(chemin, erreur) != 0) {
        j.call_verb("Impossible de créer le fichier de micros " + erreur + "\r\n");
        return -1;
    }
    const bool ok = std::fwrite(masques.data(), 1, masques.size(), f.flux()) == masques.size();
    if (!ok || f.termine(erreur) != 0) {
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
    // The writer writes the 128 masks and nothing else, and any byte is a
    // mask: only the length tells a file it did not write. The size comes
    // first, so that a data file chosen by mistake is not read; one byte
    // past the masks is read for what has no size (a device, a pipe).
    std::error_code ec;
    const std::uintmax_t taille = std::filesystem::file_size(std::filesystem::u8path(chemin), ec);
    std::array<uint8_t, 129> lus{};
    size_t n = ec || taille == 128 ? std::fread(lus.data(), 1, lus.size(), f) : 0;
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
    if (ec ? n != 128 : taille != 128) {
        const std::string vu = ec && n > 128 ? "plus de 128" : compose(j.conv, "{0:N0}", {ec ? n : taille});
        j.call_verb("Le fichier " + chemin + " n'est pas un fichier de micros (" + vu +
                    " octets au lieu de 128) ; sélection inchangée\r\n");
        return -1;
    }
    std::copy(lus.begin(), lus.begin() + 128, masques.begin());
    return 0;
}
