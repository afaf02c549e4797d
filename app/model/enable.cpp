#include "app/model/enable.h"

#include "app/model/principale.h"

void enable(Principale& p)
{
    Controles& c = p.ctl;
    const auto& e = p.enabled;
    // Order 0, 1, 2, 4, 5, 6, 8, 9, 10, 7, 11; entry 3 governs nothing.
    c.button_Init.enabled = e[0];
    c.button_Sauv_Config.shown = e[0];
    c.button_Lit_Config.shown = e[0];
    c.panel_Init.enabled = e[1];
    c.panel_Duree.enabled = e[2];
    c.checkBox_Definie.enabled = e[2];
    c.groupBox_Data_Type.enabled = e[4];
    c.checkBox_Record.enabled = e[5];
    c.checkBox_Nom_Fich.enabled = e[5];
    c.groupBox_Nom_Fich.enabled = e[6];
    c.button_Fichier.enabled = e[6];
    c.button_Comment.enabled = e[6];
    c.checkBox_Test.enabled = e[8];
    c.groupBox_Test.enabled = e[8];
    c.button_Start.enabled = e[9];
    c.panel_Start.enabled = e[9];
    c.button_Stop.enabled = e[10];
    c.groupBox_Choix.enabled = e[7];
    c.textBox_Info.enabled = e[11];
}

void set_enabled(Principale& p, bool value, int entry, bool entry_value)
{
    p.enabled.fill(value);
    if (entry >= 0 && entry < 12)
        p.enabled[entry] = entry_value;
    enable(p);
}
