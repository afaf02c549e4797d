#include "app/model/construction.h"

#include <filesystem>
#include <system_error>

#include "app/model/affiche_niveaux.h"
#include "app/model/config_controles.h"
#include "app/model/enable.h"
#include "app/model/grille.h"
#include "app/model/nommage_controles.h"
#include "app/model/principale.h"
#include "files/reparation.h"

void construction(Principale& p)
{
    init_dossier_initial(p);
    // The page's two buttons live on the page, which is hidden until "Micros".
    p.ctl.button_Retour.shown = true;
    p.ctl.button_Save_Micros.shown = true;
    p.boitier.initialisation_FX3 = false;
    p.boitier.initialisation = false;
    p.boitier.count = 0;
    p.journal.detail = p.ctl.checkBox_Test.checked;
    checkBox_Nom_Fich_CheckedChanged(p);
    checkBox_Test_CheckedChanged(p);
    p.boitier.TimeOut = 2000;
    affiche_micros(p, false);
    p.commentaires = false;
    init_colorbar(p);
    set_enabled(p, false, 0, true);
    std::error_code ec;
    if (std::filesystem::exists(std::filesystem::u8path(p.config_en_cours), ec))
        lit_config(p, p.config_en_cours);
    checkBox_Record_CheckedChanged(p);
    // The last recording, cut short, is told of with its repair.
    const std::string avis = avis_interruption(p.config_en_cours, p.journal.conv);
    if (!avis.empty())
        p.call_verb(avis);
}
