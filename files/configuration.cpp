#include "files/configuration.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <vector>

#include "app/model/coche.h"
#include "app/model/nommage_controles.h"
#include "app/model/principale.h"
#include "channels/canaux.h"
#include "channels/grille.h"
#include "device/parametres.h"
#include "files/chemins.h"
#include "files/fichier_donnees.h"
#include "files/lignes.h"

bool lit_nombre(const Conventions& c, const std::string& token, double& out)
{
    std::string s;
    s.reserve(token.size());
    for (size_t i = 0; i < token.size();) {
        if (!c.grouping.empty() && token.compare(i, c.grouping.size(), c.grouping) == 0) {
            i += c.grouping.size();
        } else if (!c.decimal.empty() && token.compare(i, c.decimal.size(), c.decimal) == 0) {
            s += '.';
            i += c.decimal.size();
        } else if (token[i] == '.') {
            return false; // not this locale's decimal separator
        } else {
            s += token[i++];
        }
    }
    const char* debut = s.data();
    const char* fin = s.data() + s.size();
    if (debut != fin && *debut == '+')
        ++debut;
    if (debut == fin || *debut == '+')
        return false;
    double d = 0;
    auto [ptr, ec] = std::from_chars(debut, fin, d, std::chars_format::general);
    if (ec != std::errc() || ptr != fin || !std::isfinite(d))
        return false;
    out = d;
    return true;
}

bool lit_entier16(const std::string& token, int& out)
{
    const char* debut = token.data();
    const char* fin = token.data() + token.size();
    if (debut != fin && *debut == '+')
        ++debut;
    if (debut == fin || *debut == '+')
        return false;
    int v = 0;
    auto [ptr, ec] = std::from_chars(debut, fin, v);
    if (ec != std::errc() || ptr != fin || v < -32768 || v > 32767)
        return false;
    out = v;
    return true;
}

namespace {

int ligne_freq(const Principale& p)
{
    int row = p.ctl.listBox_Freq.top_index;
    return row >= 0 && row < NB_FREQ ? row : 0;
}

std::string texte_config(Principale& p)
{
    const Controles& c = p.ctl;
    std::string out;
    ligne(out, "% Fichier de configuration Ondaris");
    ligne(out, "\n[Paramètres généraux]");
    ligne(out, compose(p.journal.conv, "Frequence = {0} Hz", {frequence_de_division(FREQ[ligne_freq(p)])}));
    ligne(out, "% Si Duree = 0, alors durée indéfinie");
    ligne(out, c.checkBox_Definie.checked ? compose(p.journal.conv, "Duree = {0:N1}  s", {c.numericUpDown_Duree.value})
                                          : std::string("Duree = 0"));
    ligne(out, c.radioButton_Float.checked ? "Type = float32" : "Type = int32");
    if (c.radioButton_Start_Soft.checked) {
        ligne(out, "Trig = Soft");
    } else {
        std::string t = c.radioButton_Start_Trig2.checked ? "Trig = Trig2 " : "Trig = Trig1 ";
        t += c.radioButton_Start_FD.checked   ? "Flanc_descendant"
             : c.radioButton_Start_EH.checked ? "Etat_haut"
             : c.radioButton_Start_EB.checked ? "Etat_bas"
                                              : "Flanc_montant";
        ligne(out, t);
    }
    ligne(out, c.checkBox_Record.checked ? "Enregistrement = 1" : "Enregistrement = 0");
    if (c.checkBox_Nom_Fich.checked) {
        p.nom_dir = avec_separateur(c.textBox_Rep.text);
        p.acqui_name = p.nom_dir + c.textBox_Nom_Fich.text;
        ligne(out, "Fichier d'acquisition (sans extension) = " + p.acqui_name);
    }
    ligne(out, compose(p.journal.conv, "Nb_faisceaux = {0}", {128}));
    sections_selection(out, p.journal.conv, p.header_file);
    return out;
}

} // namespace

int ecrit_config(Principale& p, const std::string& config_name)
{
    std::FILE* f = ouvre_fichier(config_name, "wb");
    int err = errno;
    // The run relies on the selection pass and the naming even when the file
    // itself cannot be written.
    choix_micros(p, false);
    std::string texte = texte_config(p);
    if (!f) {
        p.call_verb("Impossible de créer le fichier de configuration " + config_name + " : " + std::strerror(err) +
                    "\r\n");
        return -1;
    }
    bool ok = ecrit_texte(f, texte) == 0;
    ok = std::fclose(f) == 0 && ok;
    if (!ok) {
        p.call_verb("Erreur d'écriture du fichier de configuration " + config_name + "\r\n");
        return -1;
    }
    return 0;
}

namespace {


std::string utf16_vers_utf8(const std::string& octets, size_t debut, bool little_endian)
{
    std::string out;
    auto unite = [&](size_t i) {
        unsigned a = static_cast<unsigned char>(octets[i]), b = static_cast<unsigned char>(octets[i + 1]);
        return little_endian ? (b << 8 | a) : (a << 8 | b);
    };
    for (size_t i = debut; i + 1 < octets.size(); i += 2) {
        uint32_t u = unite(i);
        if (u >= 0xD800 && u < 0xDC00 && i + 3 < octets.size()) {
            uint32_t v = unite(i + 2);
            if (v >= 0xDC00 && v < 0xE000) {
                ajoute_utf8(out, 0x10000 + ((u - 0xD800) << 10) + (v - 0xDC00));
                i += 2;
                continue;
            }
        }
        ajoute_utf8(out, u >= 0xD800 && u < 0xE000 ? 0xFFFD : u);
    }
    return out;
}

// UTF-8 unless a byte-order mark says UTF-16.
std::string decode(const std::string& octets)
{
    if (octets.compare(0, 3, "\xEF\xBB\xBF") == 0)
        return octets.substr(3);
    if (octets.compare(0, 2, "\xFF\xFE") == 0)
        return utf16_vers_utf8(octets, 2, true);
    if (octets.compare(0, 2, "\xFE\xFF") == 0)
        return utf16_vers_utf8(octets, 2, false);
    return octets;
}

std::vector<std::string> tokens_de(const std::string& l)
{
    std::vector<std::string> out;
    size_t i = 0;
    while (i < l.size()) {
        size_t fin = l.find(' ', i);
        if (fin == std::string::npos)
            fin = l.size();
        if (fin > i)
            out.push_back(l.substr(i, fin - i));
        i = fin + 1;
    }
    return out;
}

bool contient(const std::string& l, const char* cle)
{
    return l.find(cle) != std::string::npos;
}

void lit_frequence(Principale& p, const std::vector<std::string>& t)
{
    for (const auto& tok : t) {
        double d;
        if (!lit_nombre(p.journal.conv, tok, d))
            continue;
        double q = std::trunc(500000.0 / d);
        if (!std::isfinite(q) || std::fabs(q) > 1e9)
            continue;
        // A value matching no divisor leaves the list where it is.
        for (int k = 0; k < NB_FREQ; ++k)
            if (FREQ[k] == static_cast<int>(q)) {
                p.ctl.listBox_Freq.top_index = k;
                break;
            }
    }
}

void lit_duree(Principale& p, const std::vector<std::string>& t)
{
    Spinner& s = p.ctl.numericUpDown_Duree;
    for (const auto& tok : t) {
        double d;
        if (!lit_nombre(p.journal.conv, tok, d) || d < 0)
            continue;
        if (d == 0) {
            coche(p, p.ctl.checkBox_Definie, false, checkBox_Definie_CheckedChanged);
            continue;
        }
        // A long run saved at a low frequency: widen the range to what the
        // list's frequency allows rather than cut the duration down.
        if (d > s.maximum) {
            double m = duree_max_de(frequence_de_division(FREQ[ligne_freq(p)]));
            if (m > s.maximum)
                set_duree_maximum(p, m);
        }
        set_duree(p, d);
    }
}

void lit_faisceau(Principale& p, const std::string& l, const std::vector<std::string>& t)
{
    if (l.size() < 12 || t.size() > 9)
        return;
    std::string num = l.substr(9, 3);
    size_t a = num.find_first_not_of(' '), b = num.find_last_not_of(' ');
    int f;
    if (a == std::string::npos || !lit_entier16(num.substr(a, b - a + 1), f) || f < 0 || f >= NB_FAISCEAUX)
        return;
    int v[8] = {};
    for (size_t i = 1; i < t.size(); ++i)
        if (!lit_entier16(t[i], v[i - 1]))
            v[i - 1] = 0;
    for (int j = 0; j < 8; ++j) {
        p.ctl.grid[f][j].checked = v[j] != 0;
        micro_valide(p, f, j);
    }
    valide_micros(p);
    affiche_micros(p, false);
}

// The integers of tokens 1 on; false when the line holds more than 8.
bool valeurs_de(const std::vector<std::string>& t, int (&v)[4])
{
    int n = 0;
    for (size_t i = 1; i < t.size(); ++i) {
        int x;
        if (!lit_entier16(t[i], x))
            continue;
        if (n < 4)
            v[n] = x;
        if (++n > 8)
            return false;
    }
    return true;
}

void lit_bloc(Principale& p, const std::vector<std::string>& t)
{
    int v[4] = {};
    if (t.empty() || !valeurs_de(t, v))
        return;
    int b = 3; // an unknown name means block D
    for (int k = 0; k < 4; ++k)
        if (t[0] == BLOC[k])
            b = k;
    for (int k = 0; k < 4; ++k)
        p.ctl.grid_VA[4 * b + k].checked = v[k] != 0;
}

void lit_compteurs(Principale& p, const std::vector<std::string>& t)
{
    int v[4] = {};
    if (!valeurs_de(t, v))
        return;
    CheckBox* cpt[4] = {&p.ctl.checkBox_CptA, &p.ctl.checkBox_CptB, &p.ctl.checkBox_CptC, &p.ctl.checkBox_CptD};
    for (int k = 0; k < 4; ++k)
        if (v[k] != 0)
            cpt[k]->checked = true;
}

void choisit(std::initializer_list<RadioButton*> groupe, RadioButton* choix)
{
    for (RadioButton* r : groupe)
        r->checked = r == choix;
}

void lit_trig(Principale& p, const std::vector<std::string>& t)
{
    Controles& c = p.ctl;
    if (t.size() < 3 || (t[2] != "Soft" && t.size() < 4))
        return;
    bool soft_avant = c.radioButton_Start_Soft.checked;
    auto source = {&c.radioButton_Start_Soft, &c.radioButton_Start_Trig1, &c.radioButton_Start_Trig2};
    if (t[2] == "Soft") {
        choisit(source, &c.radioButton_Start_Soft);
    } else {
        if (t[2] == "Trig1")
            choisit(source, &c.radioButton_Start_Trig1);
        else if (t[2] == "Trig2")
            choisit(source, &c.radioButton_Start_Trig2);
        auto condition = {&c.radioButton_Start_FM, &c.radioButton_Start_FD, &c.radioButton_Start_EH,
                          &c.radioButton_Start_EB};
        const char* mots[4] = {"Flanc_montant", "Flanc_descendant", "Etat_haut", "Etat_bas"};
        for (int k = 0; k < 4; ++k)
            if (t[3] == mots[k])
                choisit(condition, condition.begin()[k]);
    }
    if (c.radioButton_Start_Soft.checked != soft_avant)
        radioButton_Start_Soft_CheckedChanged(p);
}

void lit_type(Principale& p, const std::vector<std::string>& t)
{
    if (t.size() < 3)
        return;
    auto groupe = {&p.ctl.radioButton_Integer, &p.ctl.radioButton_Float};
    if (t[2] == "int32")
        choisit(groupe, &p.ctl.radioButton_Integer);
    else if (t[2] == "float32" || t[2] == "float")
        choisit(groupe, &p.ctl.radioButton_Float);
}

void lit_enregistrement(Principale& p, const std::vector<std::string>& t)
{
    if (t.size() < 3)
        return;
    if (t[2] == "1")
        coche(p, p.ctl.checkBox_Record, true, checkBox_Record_CheckedChanged);
    else if (t[2] == "0")
        coche(p, p.ctl.checkBox_Record, false, checkBox_Record_CheckedChanged);
}

void lit_fichier(Principale& p, const std::string& l)
{
    size_t egal = l.find('=');
    std::string dossier, nom;
    // Everything after the key's "=", so that a folder holding "=" is kept.
    if (egal == std::string::npos || !decoupe_chemin(l.substr(egal + 1), dossier, nom))
        return;
    coche(p, p.ctl.checkBox_Nom_Fich, p.ctl.checkBox_Record.checked, checkBox_Nom_Fich_CheckedChanged);
    p.ctl.textBox_Nom_Fich.text = nom;
    p.nom_dir = dossier;
    p.ctl.textBox_Rep.text = dossier;
}

void lit_ligne(Principale& p, const std::string& l)
{
    if (l.empty() || l[0] == '[' || l[0] == '%')
        return;
    std::vector<std::string> t = tokens_de(l);
    if (contient(l, "Frequence"))
        lit_frequence(p, t);
    if (contient(l, "Duree"))
        lit_duree(p, t);
    if (contient(l, "Faisceau"))
        lit_faisceau(p, l, t);
    if (contient(l, "Bloc"))
        lit_bloc(p, t);
    if (contient(l, "Compteur"))
        lit_compteurs(p, t);
    if (contient(l, "Trig"))
        lit_trig(p, t);
    if (contient(l, "Type"))
        lit_type(p, t);
    if (contient(l, "Enregistrement"))
        lit_enregistrement(p, t);
    if (contient(l, "Fichier"))
        lit_fichier(p, l);
}

} // namespace

int lit_config(Principale& p, const std::string& config_name)
{
    // Opened and read before anything changes: a missing or unreadable file
    // must not deselect the microphones.
    std::FILE* f = ouvre_fichier(config_name, "rb");
    if (!f) {
        int err = errno;
        p.call_verb("Impossible d'ouvrir le fichier de configuration " + config_name + " : " + std::strerror(err) +
                    "\r\n");
        return -1;
    }
    // Read up to one byte past the largest configuration: a data file
    // chosen by mistake is refused without being loaded.
    std::string octets;
    char bloc[4096];
    size_t n;
    while (octets.size() <= TAILLE_MAX_CONFIG && (n = std::fread(bloc, 1, sizeof bloc, f)) > 0)
        octets.append(bloc, n);
    bool erreur = std::ferror(f) != 0;
    int err = errno;
    std::fclose(f);
    if (erreur) {
        p.call_verb("Impossible de lire le fichier de configuration " + config_name + " : " + std::strerror(err) +
                    "\r\n");
        return -1;
    }
    if (octets.size() > TAILLE_MAX_CONFIG) {
        p.call_verb("Le fichier " + config_name +
                    compose(p.journal.conv, " n'est pas un fichier de configuration (plus de {0:N0} octets) : rien n'est "
                                    "changé.\r\n",
                            {TAILLE_MAX_CONFIG}));
        return -1;
    }

    // A beam without a line ends up unselected; its beam, group and all
    // boxes follow so that the page stays consistent.
    Controles& c = p.ctl;
    for (auto& beam : c.grid)
        for (auto& b : beam)
            b.checked = false;
    for (auto& b : c.faisceaux_T)
        b.checked = false;
    for (auto& b : c.bloc_T)
        b.checked = false;
    c.paq_T.checked = false;

    for (const std::string& l : lignes_de(decode(octets)))
        lit_ligne(p, l);

    valide_micros(p);
    affiche_micros(p, false);
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
