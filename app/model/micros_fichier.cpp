#include "app/model/micros_fichier.h"

#include <array>

#include "app/model/choix_micros.h"
#include "app/model/grille.h"
#include "app/model/principale.h"
#include "channels/canaux.h"
#include "channels/fichier_micros.h"

namespace {

const char* const FILTRE = "micros |*.mic";

} // namespace

int button_Save_Micros_Click(Principale& p)
{
    std::string chemin;
    if (!p.op.choose_save_file(FILTRE, chemin))
        return 0;
    return ecrit_fichier_micros(chemin, valide_micros(p), p.journal);
}

int button_Micros_Fichier_Click(Principale& p)
{
    std::string chemin;
    if (!p.op.choose_open_file(FILTRE, chemin))
        return 0;
    p.call_verb("Nom du fichier de choix de micros : " + chemin + "\r\n");
    std::array<uint8_t, 128> masques{};
    if (lit_fichier_micros(chemin, masques, p.journal) != 0)
        return -1;

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
