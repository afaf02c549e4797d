#include "app/model/affiche_niveaux.h"

#include "app/model/principale.h"
#include "channels/niveaux.h"

void init_colorbar(Principale& p)
{
    const auto& carte = carte_jet();
    for (int i = 0; i < NB_NIVEAUX; ++i) {
        p.R_jet[i] = carte[i].r;
        p.V_jet[i] = carte[i].v;
        p.B_jet[i] = carte[i].b;
    }
}

Couleur couleur_niveau(const Principale& p, int L)
{
    return Couleur{static_cast<uint8_t>(p.R_jet[L]), static_cast<uint8_t>(p.V_jet[L]), static_cast<uint8_t>(p.B_jet[L]),
                   255};
}
