#include "channels/fichier_micros.h"

#include <array>
#include <cerrno>
#include <cstring>

#include "app/model/principale.h"
#include "channels/canaux.h"
#include "channels/grille.h"
#include "files/fichier_donnees.h"

namespace {

const char* const FILTRE = "micros |*.mic";

} // namespace

int button_Save_Micros_Click(Principale& p)
{
    std::string chemin;
    if (!p.op.choose_save_file(FILTRE, chemin))
        return 0;
    std::array<uint8_t, 128> masques = valide_micros(p);
    std::FILE* f = ouvre_fichier(chemin, "wb");
    if (!f) {
        int err = errno;
        p.call_verb("Impossible de créer le fichier de micros " + chemin + " : " + std::strerror(err) + "\r\n");
        return -1;
    }
    bool ok = std::fwrite(masques.data(), 1, masques.size(), f) == masques.size();
    // Buffered: a full disk may only show when the file is closed.
    ok = std::fclose(f) == 0 && ok;
    if (!ok) {
        p.call_verb("Erreur écriture");
        return -1;
    }
    return 0;
}

int button_Micros_Fichier_Click(Principale& p)
{
    std::string chemin;
    if (!p.op.choose_open_file(FILTRE, chemin))
        return 0;
    p.call_verb("Nom du fichier de choix de micros : " + chemin + "\r\n");
    std::FILE* f = ouvre_fichier(chemin, "rb");
    if (!f) {
        int err = errno;
        p.call_verb("Impossible d'ouvrir le fichier de micros " + chemin + " : " + std::strerror(err) +
                    " ; sélection inchangée\r\n");
        return -1;
    }
    std::array<uint8_t, 128> masques{};
    std::fread(masques.data(), 1, masques.size(), f);
    // A folder opens as a stream on some systems and fails only here; it
    // must not pass for an empty file.
    bool erreur = std::ferror(f) != 0;
    int err = errno;
    std::fclose(f);
    if (erreur) {
        p.call_verb("Impossible de lire le fichier de micros " + chemin + " : " + std::strerror(err) +
                    " ; sélection inchangée\r\n");
        return -1;
    }

    p.nb_micros = 0;
    for (int f = 0; f < NB_FAISCEAUX; ++f) {
        unsigned b = masques[f];
        for (int j = 0; j < 8; ++j, b /= 2) {
            bool on = b % 2 == 1;
            p.ctl.grid[f][j].checked = on;
            p.header_file.micros_actifs[f][j] = on ? 1 : 0;
            p.nb_micros += on;
        }
        micro_valide(p, f, 0);
    }
    button_Retour_Click(p);
    return 0;
}
