#include "app/model/controles.h"

const char* const FREQ_TEXTES[17] = {
    " 50 000",    " 45 454",    " 41 667",    " 38 461",    " 35 714",    " 33 333",
    " 31 250   ", " 25 000   ", " 20 000   ", " 12 500   ", " 10 000   ", " 6 250   ",
    " 5 000   ",  " 4 000   ",  " 3 125   ",  " 2 500   ",  " 2 000",
};

// Built-in defaults of the window, before the configuration file is read.
Controles::Controles()
{
    for (const char* t : FREQ_TEXTES)
        listBox_Freq.items.emplace_back(t);
    button_Init.text = "Init";
    button_Init.font_pt = 16;

    numericUpDown_Duree.value = 5;
    numericUpDown_Duree.minimum = 0;
    numericUpDown_Duree.maximum = 300;
    numericUpDown_Duree.step = 0.1;
    numericUpDown_Duree.decimals = 1;
    checkBox_Definie.checked = true;

    button_Start.text = "Start";
    button_Start.font_pt = 16;
    radioButton_Start_Soft.checked = true;
    radioButton_Start_FM.checked = true;
    groupBox_Condition.shown = false;
    button_Abort.text = "Abort";
    button_Abort.font_pt = 16;
    button_Abort.shown = false;
    button_Stop.text = "Stop";
    button_Stop.font_pt = 16;
    button_Stop.shown = false;

    checkBox_Record.checked = true;
    button_Fichier.text = "Fichier";
    button_Fichier.shown = false;
    checkBox_Nom_Fich.checked = true;
    button_Comment.text = "Commentaire";
    button_Comment.font_pt = 15;
    checkBox_Test.checked = false;
    groupBox_Test.shown = false;
    textBox_Rep.text = "d:\\";
    textBox_Nom_Fich.text = "Test";

    button_Reset_Micros.text = "Reset Micros (B0/00)";
    button_Reset_PH.text = "Reset PH (C4)";
    button_Reset_FX3.text = "Reset FX3 (C0)";
    radioButton_Integer.checked = true;
    numericUpDown_Delay.value = 10;
    numericUpDown_Delay.minimum = 0;
    numericUpDown_Delay.maximum = 16;
    numericUpDown_Delay.step = 1;
    checkBox_CptA.checked = true;
    for (auto& b : grid_FV)
        b.checked = true;

    for (auto& beam : grid_n)
        beam.fill(DeepPink);
    button_Retour.text = "Retour";
    button_Retour.font_pt = 16;
    button_Retour.shown = false;
    button_Save_Micros.text = "Save (fich)";
    button_Save_Micros.font_pt = 16;
    button_Save_Micros.shown = false;
    panel_dB.shown = false;
    label_dB_60.text = "60     dB";
    label_dB_unite.shown = false;
    button_Sauv_Config.text = "Sauv. Config.";
    button_Lit_Config.text = "Lit Config.";
    label_Duree_Ecoulee.text = "Durée écoulée";
    label_Duree_Ecoulee.shown = false;
    panel_Progress.shown = false;
    button_Micros.text = "Micros";
    button_Micros_Fichier.text = "Micros (fich.)";
    checkBox_Tous.checked = true;
    groupBox_Comment.shown = false;

    groupBox_Choix_Micros.shown = false;
    for (auto& beam : grid)
        for (auto& b : beam)
            b.checked = true;
    for (auto& b : faisceaux_T)
        b.checked = true;
    for (auto& b : bloc_T)
        b.checked = true;
    paq_T.checked = true;
}
