#include "app/model/parametres.h"

#include <cmath>

#include "app/model/init.h"
#include "app/model/principale.h"
#include "device/commandes.h"
#include "device/parametres.h"

void set_duree(Principale& p, double value)
{
    Spinner& s = p.ctl.numericUpDown_Duree;
    if (value < s.minimum)
        value = s.minimum;
    if (value > s.maximum)
        value = s.maximum;
    if (value == s.value)
        return;
    s.value = value;
    numericUpDown_Duree_ValueChanged(p);
}

void set_duree_maximum(Principale& p, double maximum)
{
    Spinner& s = p.ctl.numericUpDown_Duree;
    s.maximum = maximum;
    if (s.value > maximum) {
        s.value = maximum;
        numericUpDown_Duree_ValueChanged(p);
    }
}

void listBox_Freq_Click(Principale& p)
{
    if (!p.boitier.initialisation && initialise(p) != 0)
        return;
    ListBox& list = p.ctl.listBox_Freq;
    list.selected = -1;
    envoie_frequence(p.boitier, list.top_index);
    const int division = FREQ[p.boitier.num_freq] - 1;
    p.header_file.freq = p.boitier.frequence;
    p.duree_max = duree_max_de(p.boitier.frequence);
    // The spinner keeps one decimal; its maximum is the float's decimal value.
    set_duree_maximum(p, static_cast<double>(p.duree_max));
    if (p.journal.detail)
        p.verb("Clock division : {0:G}.  ", {static_cast<int>(division)});
    p.verb("Fréquence : {0:N0} Hz.  Durée max d'acquisition : {1:N1} s \r\n", {p.boitier.frequence, p.duree_max});
    numericUpDown_Delay_ValueChanged(p);
}

void numericUpDown_Delay_ValueChanged(Principale& p)
{
    uint8_t valeur;
    if (p.journal.detail) {
        valeur = static_cast<uint8_t>(std::lround(p.ctl.numericUpDown_Delay.value));
        p.verb("N_DELAY : {0:G}  \r\n", {static_cast<int>(valeur)});
    } else {
        int row = p.ctl.listBox_Freq.top_index;
        valeur = static_cast<uint8_t>(DELAY[row >= 0 && row < NB_FREQ ? row : 0]);
    }
    envoie(p.boitier, CMD_DELAY, {valeur});
}

void calcul_count(Principale& p)
{
    if (!p.boitier.initialisation_FX3) {
        p.retour = init_USB(p.boitier);
        if (p.retour != 0)
            return;
    }
    if (!p.boitier.clock_def)
        listBox_Freq_Click(p);
    p.duree = static_cast<float>(p.ctl.numericUpDown_Duree.value);
    const uint32_t count = p.ctl.checkBox_Definie.checked ? calcule_nb_echantillons(p.duree, p.boitier.frequence) : 0;
    envoie_nb_echantillons(p.boitier, count);
}

void numericUpDown_Duree_ValueChanged(Principale& p)
{
    p.boitier.count_def = false;
    p.duree = static_cast<float>(p.ctl.numericUpDown_Duree.value);
}

void checkBox_Definie_CheckedChanged(Principale& p)
{
    p.ctl.panel_Duree.shown = p.ctl.checkBox_Definie.checked;
    p.boitier.count_def = false;
}

void radioButton_Start_Soft_CheckedChanged(Principale& p)
{
    p.ctl.groupBox_Condition.shown = !p.ctl.radioButton_Start_Soft.checked;
}
