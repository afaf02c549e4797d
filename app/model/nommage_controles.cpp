#include "app/model/nommage_controles.h"

#include <filesystem>
#include <system_error>

#include "app/model/coche.h"
#include "app/model/enable.h"
#include "app/model/principale.h"
#include "files/chemins.h"
#include "files/fichier_donnees.h"
#include "files/nommage.h"

void checkBox_Record_CheckedChanged(Principale& p)
{
    Controles& c = p.ctl;
    const bool enregistre = c.checkBox_Record.checked;
    c.button_Comment.shown = enregistre;
    c.checkBox_Nom_Fich.shown = enregistre;
    c.button_Fichier.shown = enregistre && !c.checkBox_Nom_Fich.checked;
    c.groupBox_Nom_Fich.shown = enregistre && c.checkBox_Nom_Fich.checked;
}

void checkBox_Nom_Fich_CheckedChanged(Principale& p)
{
    Controles& c = p.ctl;
    // Read from a configuration while recording is off, the naming controls
    // stay hidden with the rest.
    bool enregistre = c.checkBox_Record.checked;
    if (c.checkBox_Nom_Fich.checked) {
        coche(p, c.checkBox_Test, false, checkBox_Test_CheckedChanged);
        c.groupBox_Nom_Fich.shown = enregistre;
        c.button_Fichier.shown = false;
    } else {
        c.button_Fichier.shown = enregistre;
        c.groupBox_Nom_Fich.shown = false;
    }
}

void checkBox_Test_CheckedChanged(Principale& p)
{
    Controles& c = p.ctl;
    p.journal.detail = c.checkBox_Test.checked;
    if (p.journal.detail) {
        c.groupBox_Test.shown = true;
        coche(p, c.checkBox_Nom_Fich, false, checkBox_Nom_Fich_CheckedChanged);
    } else {
        c.groupBox_Test.shown = false;
        c.checkBox_Status.checked = false;
    }
}

int ouvre_fichiers(Principale& p)
{
    const int r = p.fichiers.prepare(p.acqui_name, p.journal);
    p.file_open = r == 0;
    return r;
}

void ferme_fichiers(Principale& p)
{
    p.fichiers.ferme();
    p.file_open = false;
}

int textBox_Racine_DoubleClick(Principale& p)
{
    TextBox& rep = p.ctl.textBox_Rep;
    std::string depart = dossier_existe(rep.text) ? rep.text : std::string();
    std::string choisi;
    if (!p.op.choose_folder(depart, choisi)) {
        p.nom_dir = avec_separateur(rep.text);
        return -1;
    }
    rep.text = choisi;
    p.nom_dir = avec_separateur(choisi);
    return 0;
}

int button_Fichier_Click(Principale& p)
{
    // Files of an earlier choice, or of a run refused after opening them,
    // are released before a new choice.
    ferme_fichiers(p);
    std::string chemin;
    if (!p.op.choose_save_file("data |*.dat", chemin))
        return -1;
    // Without ".dat" the header and description files would not be named
    // apart from the data file.
    if (!finit_par_dat(chemin)) {
        chemin += ".dat";
        // The dialog asked about the name as typed, not about this one.
        std::error_code ec;
        if (std::filesystem::exists(std::filesystem::u8path(chemin), ec) &&
            !p.op.ask_yes_no("Voulez-vous écraser " + chemin + " ? ", "Le fichier existe déjà", Icon::Question))
            return -1;
    }
    p.acqui_name = chemin;
    p.call_verb("Nom du fichier d'acquisition : " + p.acqui_name + "\r\n");
    return ouvre_fichiers(p);
}

void stocke_commentaire(Principale& p, const std::string& saisi)
{
    p.commentaire = commentaire_de(saisi);
    champ_commentaire(p.commentaire, p.header_file.texte_commentaire);
}

void button_Comment_Click(Principale& p)
{
    Controles& c = p.ctl;
    p.commentaires = !p.commentaires;
    if (p.commentaires) {
        c.groupBox_Comment.shown = true;
        c.button_Comment.text = "Ferme Comment.";
        c.button_Comment.font_pt = 12;
        set_enabled(p, false);
        c.button_Comment.enabled = true;
        c.button_Stop.shown = false;
    } else {
        c.button_Comment.text = "Commentaires";
        c.button_Comment.font_pt = 15;
        c.groupBox_Comment.shown = false;
        stocke_commentaire(p, c.textBox_Comment.text);
        set_enabled(p, true);
    }
}

void init_dossier_initial(Principale& p) { p.ctl.textBox_Rep.text = dossier_initial(); }
