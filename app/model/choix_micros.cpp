#include "app/model/choix_micros.h"

#include "app/model/principale.h"
#include "channels/canaux.h"
#include "device/commandes.h"

static_assert(CODE_SELECTION == CMD_SELECTION, "one code for the Selection command");

Selection selection_des_cases(const Controles& c)
{
    Selection s;
    for (int f = 0; f < NB_FAISCEAUX; ++f)
        for (int j = 0; j < 8; ++j)
            s.micros[f][j] = c.grid[f][j].checked;
    for (int v = 0; v < NB_VA; ++v)
        s.va[v] = c.grid_VA[v].checked;
    s.compteurs = {c.checkBox_CptA.checked, c.checkBox_CptB.checked, c.checkBox_CptC.checked, c.checkBox_CptD.checked};
    s.etat = c.checkBox_Status.checked;
    return s;
}

std::array<uint8_t, 128> valide_micros(Principale& p)
{
    const Selection s = selection_des_cases(p.ctl);
    for (int f = 0; f < NB_FAISCEAUX; ++f)
        for (int j = 0; j < 8; ++j)
            p.header_file.micros_actifs[f][j] = s.micros[f][j] ? 1 : 0;
    p.nb_micros = s.nb_micros();
    return s.masques();
}

void choix_micros(Principale& p, bool active)
{
    const Selection s = selection_des_cases(p.ctl);
    ecrit_selection(p.header_file, s);
    p.nb_micros = s.liste_micros(p.num_mic_valid.data());
    p.nb_voies = s.nb_voies();
    p.compteur = s.compteur_a();
    if (active)
        for (const CommandeSelection& c : s.commandes())
            envoie(p.boitier, c[0], {c[1], c[2], c[3]});
    // The box's settling time after its selection commands.
    if (active)
        p.clock.sleep_ms(300);
    p.nb_voies_valid = s.liste_voies(p.num_voies_valid.data());
}
