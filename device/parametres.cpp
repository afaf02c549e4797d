#include "device/parametres.h"

#include <cmath>

#include "app/model/principale.h"
#include "device/bringup.h"
#include "device/commandes.h"

const int FREQ[NB_FREQ] = {10, 11, 12, 13, 14, 15, 16, 20, 25, 40, 50, 80, 100, 125, 160, 200, 250};
const int DELAY[NB_FREQ] = {10, 9, 9, 9, 9, 9, 9, 8, 8, 7, 7, 7, 7, 7, 7, 7, 7};

uint32_t calcule_nb_echantillons(float duree, float frequence)
{
    double produit = static_cast<double>(duree) * 10.0 * static_cast<double>(frequence);
    if (!(produit > 0))
        return 0;
    if (produit >= 18446744073709551615.0)
        return 0xFFFFFFFFu;
    uint64_t n = static_cast<uint64_t>(produit) / 10u;
    // At the very top of the range the product reaches 2^32: hold the count
    // rather than let it wrap to a small one.
    return n > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<uint32_t>(n);
}

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
    if (!p.initialisation && initialise(p) != 0)
        return;
    ListBox& list = p.ctl.listBox_Freq;
    int row = list.top_index;
    if (row < 0 || row >= NB_FREQ)
        row = 0;
    p.num_freq = row;
    list.selected = -1;
    uint8_t division = static_cast<uint8_t>(FREQ[row] - 1);
    envoie(p, CMD_CLOCK_DIVISION, {division});
    p.clock.sleep_ms(500);
    p.frequence = frequence_de_division(division + 1);
    p.header_file.freq = p.frequence;
    p.duree_max = duree_max_de(p.frequence);
    // The spinner keeps one decimal; its maximum is the float's decimal value.
    set_duree_maximum(p, static_cast<double>(p.duree_max));
    if (p.journal.detail)
        p.verb("Clock division : {0:G}.  ", {static_cast<int>(division)});
    p.verb("Fréquence : {0:N0} Hz.  Durée max d'acquisition : {1:N1} s \r\n", {p.frequence, p.duree_max});
    p.clock_def = true;
    p.count_def = false;
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
    envoie(p, CMD_DELAY, {valeur});
}

void calcul_count(Principale& p)
{
    if (!p.initialisation_FX3) {
        p.retour = init_USB(p);
        if (p.retour != 0)
            return;
    }
    if (!p.clock_def)
        listBox_Freq_Click(p);
    p.duree = static_cast<float>(p.ctl.numericUpDown_Duree.value);
    p.count = calcule_nb_echantillons(p.duree, p.frequence);
    if (!p.ctl.checkBox_Definie.checked)
        p.count = 0;
    envoie(p, CMD_SAMPLE_COUNT,
           {static_cast<uint8_t>(p.count), static_cast<uint8_t>(p.count >> 8), static_cast<uint8_t>(p.count >> 16),
            static_cast<uint8_t>(p.count >> 24)});
    p.count_def = true;
}

void numericUpDown_Duree_ValueChanged(Principale& p)
{
    p.count_def = false;
    p.duree = static_cast<float>(p.ctl.numericUpDown_Duree.value);
}

void checkBox_Definie_CheckedChanged(Principale& p)
{
    p.ctl.panel_Duree.shown = p.ctl.checkBox_Definie.checked;
    p.count_def = false;
}

void radioButton_Start_Soft_CheckedChanged(Principale& p)
{
    p.ctl.groupBox_Condition.shown = !p.ctl.radioButton_Start_Soft.checked;
}
