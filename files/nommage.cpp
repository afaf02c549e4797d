#include "files/nommage.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "app/model/coche.h"
#include "app/model/enable.h"
#include "app/model/mode_avance.h"
#include "app/model/principale.h"
#include "base/plateforme.h"
#include "files/chemins.h"
#include "files/fichier_donnees.h"
#include "files/header.h"

void checkBox_Record_CheckedChanged(Principale& p)
{
    Controles& c = p.ctl;
    p.record = c.checkBox_Record.checked;
    c.button_Comment.shown = p.record;
    c.checkBox_Nom_Fich.shown = p.record;
    c.button_Fichier.shown = p.record && !c.checkBox_Nom_Fich.checked;
    c.groupBox_Nom_Fich.shown = p.record && c.checkBox_Nom_Fich.checked;
}

void checkBox_Nom_Fich_CheckedChanged(Principale& p)
{
    Controles& c = p.ctl;
    p.fich_auto = c.checkBox_Nom_Fich.checked;
    // Read from a configuration while recording is off, the naming controls
    // stay hidden with the rest.
    bool enregistre = c.checkBox_Record.checked;
    if (p.fich_auto) {
        coche(p, c.checkBox_Test, false, checkBox_Test_CheckedChanged);
        c.groupBox_Nom_Fich.shown = enregistre;
        c.button_Fichier.shown = false;
    } else {
        c.button_Fichier.shown = enregistre;
        c.groupBox_Nom_Fich.shown = false;
    }
}

namespace {

bool dossier_existe(const std::string& dossier)
{
    std::error_code ec;
    return !dossier.empty() && std::filesystem::is_directory(std::filesystem::u8path(dossier), ec);
}

bool finit_par_dat(const std::string& s)
{
    if (s.size() < 4)
        return false;
    std::string ext = s.substr(s.size() - 4);
    for (char& ch : ext)
        if (ch >= 'A' && ch <= 'Z')
            ch = static_cast<char>(ch - 'A' + 'a');
    return ext == ".dat";
}

// Number of characters of UTF-8 text.
size_t caracteres(const std::string& s)
{
    size_t n = 0;
    for (unsigned char ch : s)
        n += (ch & 0xC0) != 0x80;
    return n;
}

// The first `n` characters of UTF-8 text.
std::string debut(const std::string& s, size_t n)
{
    size_t i = 0;
    for (size_t k = 0; i < s.size(); ++i) {
        if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80 && k++ == n)
            break;
    }
    return s.substr(0, i);
}

} // namespace

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
    // Line ends are stored as CR LF, whatever the editor gives.
    std::string texte;
    texte.reserve(saisi.size());
    for (size_t i = 0; i < saisi.size(); ++i) {
        char ch = saisi[i];
        if (ch == '\r') {
            texte += "\r\n";
            if (i + 1 < saisi.size() && saisi[i + 1] == '\n')
                ++i;
        } else if (ch == '\n') {
            texte += "\r\n";
        } else {
            texte += ch;
        }
    }
    std::string c = caracteres(texte) > 1024 ? debut(texte, 1024) : texte;
    size_t n = caracteres(c);
    if (n < 1023)
        c.append(1023 - n, ' ');
    p.commentaire = c;
    std::string octets = vers_code_page(c);
    octets += '\0';
    char* champ = p.header_file.texte_commentaire;
    std::memset(champ, ' ', sizeof p.header_file.texte_commentaire);
    std::memcpy(champ, octets.data(), std::min(octets.size(), sizeof p.header_file.texte_commentaire));
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

void init_dossier_initial(Principale& p)
{
    p.ctl.textBox_Rep.text = dossier_initial();
}
