#include "app/model/config_controles.h"

#include <initializer_list>

#include "app/model/coche.h"
#include "app/model/nommage_controles.h"
#include "app/model/principale.h"
#include "channels/canaux.h"
#include "app/model/choix_micros.h"
#include "app/model/grille.h"
#include "app/model/parametres.h"
#include "device/parametres.h"
#include "files/chemins.h"

namespace {

Declenchement declenchement_de(const Controles& c)
{
    return c.radioButton_Start_Soft.checked    ? Declenchement::Soft
           : c.radioButton_Start_Trig2.checked ? Declenchement::Trig2
                                               : Declenchement::Trig1;
}

Condition condition_de(const Controles& c)
{
    return c.radioButton_Start_FD.checked   ? Condition::FlancDescendant
           : c.radioButton_Start_EH.checked ? Condition::EtatHaut
           : c.radioButton_Start_EB.checked ? Condition::EtatBas
                                            : Condition::FlancMontant;
}

TypeEchantillons type_de(const Controles& c)
{
    return c.radioButton_Float.checked     ? TypeEchantillons::Float32
           : c.radioButton_Integer.checked ? TypeEchantillons::Int32
                                           : TypeEchantillons::Inconnu;
}

void choisit(std::initializer_list<RadioButton*> groupe, RadioButton* choix)
{
    for (RadioButton* r : groupe)
        r->checked = r == choix;
}

} // namespace

Configuration configuration_de(const Controles& c)
{
    Configuration cfg;
    cfg.ligne_freq = c.listBox_Freq.top_index;
    cfg.duree_definie = c.checkBox_Definie.checked;
    cfg.duree = c.numericUpDown_Duree.value;
    cfg.duree_max = c.numericUpDown_Duree.maximum;
    cfg.declenchement = declenchement_de(c);
    cfg.condition = condition_de(c);
    cfg.type = type_de(c);
    cfg.enregistrement = c.checkBox_Record.checked;
    cfg.nom_automatique = c.checkBox_Nom_Fich.checked;
    cfg.dossier = c.textBox_Rep.text;
    cfg.nom = c.textBox_Nom_Fich.text;
    Selection& s = cfg.selection;
    for (int f = 0; f < NB_FAISCEAUX; ++f)
        for (int j = 0; j < 8; ++j)
            s.micros[f][j] = c.grid[f][j].checked;
    for (int v = 0; v < NB_VA; ++v)
        s.va[v] = c.grid_VA[v].checked;
    const CheckBox* cpt[4] = {&c.checkBox_CptA, &c.checkBox_CptB, &c.checkBox_CptC, &c.checkBox_CptD};
    for (int k = 0; k < 4; ++k)
        s.compteurs[k] = cpt[k]->checked;
    s.etat = c.checkBox_Status.checked;
    return cfg;
}

void applique_configuration(Principale& p, const Configuration& cfg, unsigned cles)
{
    Controles& c = p.ctl;
    // The list's selection handler is not run: the run applies the row.
    if (cfg.ligne_freq >= 0 && cfg.ligne_freq < NB_FREQ)
        c.listBox_Freq.top_index = cfg.ligne_freq;

    if (cfg.duree_max > c.numericUpDown_Duree.maximum)
        set_duree_maximum(p, cfg.duree_max);
    set_duree(p, cfg.duree);
    coche(p, c.checkBox_Definie, cfg.duree_definie, checkBox_Definie_CheckedChanged);

    if (cfg.type != type_de(c)) {
        auto groupe = {&c.radioButton_Integer, &c.radioButton_Float};
        if (cfg.type == TypeEchantillons::Int32)
            choisit(groupe, &c.radioButton_Integer);
        else if (cfg.type == TypeEchantillons::Float32)
            choisit(groupe, &c.radioButton_Float);
    }

    const bool soft_avant = c.radioButton_Start_Soft.checked;
    if (cfg.condition != condition_de(c)) {
        RadioButton* condition[4] = {&c.radioButton_Start_FM, &c.radioButton_Start_FD, &c.radioButton_Start_EH,
                                     &c.radioButton_Start_EB};
        choisit({condition[0], condition[1], condition[2], condition[3]}, condition[static_cast<int>(cfg.condition)]);
    }
    if (cfg.declenchement != declenchement_de(c)) {
        RadioButton* source[3] = {&c.radioButton_Start_Soft, &c.radioButton_Start_Trig1, &c.radioButton_Start_Trig2};
        choisit({source[0], source[1], source[2]}, source[static_cast<int>(cfg.declenchement)]);
    }
    if (c.radioButton_Start_Soft.checked != soft_avant)
        radioButton_Start_Soft_CheckedChanged(p);

    // Recording before automatic naming, as the file's lines come.
    coche(p, c.checkBox_Record, cfg.enregistrement, checkBox_Record_CheckedChanged);
    coche(p, c.checkBox_Nom_Fich, cfg.nom_automatique, checkBox_Nom_Fich_CheckedChanged);
    if (cles & CLE_FICHIER) {
        c.textBox_Nom_Fich.text = cfg.nom;
        p.nom_dir = cfg.dossier;
        c.textBox_Rep.text = cfg.dossier;
    }

    // Every microphone box set, and its beam, group and all boxes follow.
    const Selection& s = cfg.selection;
    for (auto& b : c.faisceaux_T)
        b.checked = false;
    for (auto& b : c.bloc_T)
        b.checked = false;
    c.paq_T.checked = false;
    for (int f = 0; f < NB_FAISCEAUX; ++f) {
        for (int j = 0; j < 8; ++j)
            c.grid[f][j].checked = s.micros[f][j];
        micro_valide(p, f, 0);
    }
    for (int v = 0; v < NB_VA; ++v)
        c.grid_VA[v].checked = s.va[v];
    CheckBox* cpt[4] = {&c.checkBox_CptA, &c.checkBox_CptB, &c.checkBox_CptC, &c.checkBox_CptD};
    for (int k = 0; k < 4; ++k)
        cpt[k]->checked = s.compteurs[k];
    valide_micros(p);
    affiche_micros(p, false);
}

int ecrit_config(Principale& p, const std::string& config_name)
{
    const Controles& c = p.ctl;
    // The run relies on the selection pass and the naming even when the file
    // itself cannot be written.
    choix_micros(p, false);
    if (c.checkBox_Nom_Fich.checked) {
        p.nom_dir = avec_separateur(c.textBox_Rep.text);
        p.acqui_name = p.nom_dir + c.textBox_Nom_Fich.text;
    }
    return ecrit_fichier_config(config_name, configuration_de(c), p.journal);
}

int lit_config(Principale& p, const std::string& config_name)
{
    // Read before anything changes: a missing or unreadable file, or one
    // that is not a configuration, must not deselect the microphones.
    Configuration cfg = configuration_de(p.ctl);
    // The controls follow each line, their handlers running at every change
    // as when the operator makes it.
    auto suivi = [&p](unsigned cles, const Configuration& lu) { applique_configuration(p, lu, cles); };
    if (lit_fichier_config(config_name, p.journal, cfg, suivi) != 0)
        return -1;
    // The beams without a line end up unselected.
    applique_configuration(p, cfg, 0);
    return 0;
}

void button_Sauv_Config_Click(Principale& p)
{
    std::string chemin;
    if (p.op.choose_save_file("configuration|*.txt", chemin))
        ecrit_config(p, chemin);
}

void button_Lit_Config_Click(Principale& p)
{
    std::string chemin;
    if (p.op.choose_open_file("configuration |*.txt", chemin))
        lit_config(p, chemin);
}
