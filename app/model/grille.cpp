#include "app/model/grille.h"

#include "app/model/choix_micros.h"
#include "app/model/principale.h"
#include "channels/canaux.h"

namespace {

constexpr int NB_GROUPES = 16;

bool faisceau_complet(const Controles& c, int f)
{
    for (const auto& b : c.grid[f])
        if (!b.checked)
            return false;
    return true;
}

// Group box g from its 8 beam boxes, then the all box from the 16 groups.
void recalcule_groupe_et_tout(Controles& c, int g)
{
    bool groupe = true;
    for (int f = 8 * g; f < 8 * g + 8; ++f)
        groupe = groupe && c.faisceaux_T[f].checked;
    c.bloc_T[g].checked = groupe;
    bool tout = true;
    for (const auto& b : c.bloc_T)
        tout = tout && b.checked;
    c.paq_T.checked = tout;
}

void donne_au_faisceau(Controles& c, int f, bool etat)
{
    c.faisceaux_T[f].checked = etat;
    for (auto& b : c.grid[f])
        b.checked = etat;
}

} // namespace

void micro_valide(Principale& p, int f, int j)
{
    if (f < 0 || f >= NB_FAISCEAUX || j < 0 || j >= 8)
        return;
    Controles& c = p.ctl;
    c.faisceaux_T[f].checked = faisceau_complet(c, f);
    recalcule_groupe_et_tout(c, f / 8);
}

void faisceaux_valide(Principale& p, int f)
{
    if (f < 0 || f >= NB_FAISCEAUX)
        return;
    Controles& c = p.ctl;
    donne_au_faisceau(c, f, c.faisceaux_T[f].checked);
    recalcule_groupe_et_tout(c, f / 8);
}

void blocs_valide(Principale& p, int g)
{
    if (g < 0 || g >= NB_GROUPES)
        return;
    Controles& c = p.ctl;
    bool etat = c.bloc_T[g].checked;
    for (int f = 8 * g; f < 8 * g + 8; ++f)
        donne_au_faisceau(c, f, etat);
    bool tout = true;
    for (const auto& b : c.bloc_T)
        tout = tout && b.checked;
    c.paq_T.checked = tout;
}

void tout_valide(Principale& p, bool etat)
{
    Controles& c = p.ctl;
    for (int f = 0; f < NB_FAISCEAUX; ++f)
        donne_au_faisceau(c, f, etat);
    for (auto& b : c.bloc_T)
        b.checked = etat;
}

void affiche_micros(Principale& p, bool aff)
{
    Controles& c = p.ctl;
    c.groupBox_Choix_Micros.shown = aff;
    c.groupBox_Micros.shown = !aff;
    if (aff)
        return;
    for (int f = 0; f < NB_FAISCEAUX; ++f)
        for (int j = 0; j < 8; ++j)
            c.grid_n[f][j] = p.header_file.micros_actifs[f][j] != 0 ? DeepPink : White;
}

void button_Micros_Click(Principale& p)
{
    affiche_micros(p, true);
    p.ctl.paq_T.checked = p.ctl.checkBox_Tous.checked;
}

void button_Retour_Click(Principale& p)
{
    valide_micros(p);
    affiche_micros(p, false);
    p.ctl.checkBox_Tous.checked = p.ctl.paq_T.checked;
}

void checkBox_Tous_Click(Principale& p)
{
    tout_valide(p, p.ctl.checkBox_Tous.checked);
    valide_micros(p);
    affiche_micros(p, false);
}

void cases_de_selection(Principale& p, const Selection& s)
{
    Controles& c = p.ctl;
    for (int v = 0; v < NB_VA; ++v)
        c.grid_VA[v].checked = s.va[v];
    CheckBox* compteurs[4] = {&c.checkBox_CptA, &c.checkBox_CptB, &c.checkBox_CptC, &c.checkBox_CptD};
    for (int k = 0; k < 4; ++k)
        compteurs[k]->checked = s.compteurs[k];
    c.checkBox_Status.checked = s.etat;
    for (int f = 0; f < NB_FAISCEAUX; ++f) {
        for (int j = 0; j < 8; ++j)
            c.grid[f][j].checked = s.micros[f][j];
        micro_valide(p, f, 0);
    }
}
