#include "files/configuration.h"

#include "base/fichier_entier.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <vector>

#include "base/plateforme.h"
#include "base/texte.h"
#include "channels/canaux.h"
#include "device/parametres.h"
#include "files/chemins.h"
#include "files/lignes.h"

namespace {

enum class Sep { Groupe, Decimale, Ambigu, Inconnu };

// What a run of non-digits between digits can be. The point and the comma
// are each one convention's decimal separator and another's grouping one;
// the spaces and apostrophes only ever group.
Sep genre(const Conventions& c, const std::string& s)
{
    if (s == "." || s == ",")
        return Sep::Ambigu;
    static const char* const groupes[] = {" ", "\xC2\xA0",     "\xE2\x80\xAF", "\xE2\x80\x89",
                                          "'", "\xE2\x80\x99", "\xD9\xAC"};
    for (const char* g : groupes)
        if (s == g)
            return Sep::Groupe;
    if (s == "\xD9\xAB" || s == c.decimal)
        return Sep::Decimale;
    if (s == c.grouping)
        return Sep::Groupe;
    return Sep::Inconnu;
}

} // namespace

bool lit_nombre(const Conventions& c, const std::string& token, double& out)
{
    size_t i = 0;
    std::string nombre;
    if (i < token.size() && (token[i] == '+' || token[i] == '-'))
        nombre += token[i++] == '-' ? "-" : "";
    const size_t e = token.find_first_of("eE", i);
    const std::string corps = token.substr(i, e == std::string::npos ? std::string::npos : e - i);

    // Digit runs around the separators: chiffres[k] before seps[k].
    std::vector<std::string> chiffres(1), seps;
    for (size_t k = 0; k < corps.size();) {
        if (corps[k] >= '0' && corps[k] <= '9') {
            chiffres.back() += corps[k++];
            continue;
        }
        size_t fin = corps.find_first_of("0123456789", k);
        if (fin == std::string::npos)
            fin = corps.size();
        seps.push_back(corps.substr(k, fin - k));
        chiffres.emplace_back();
        k = fin;
    }
    const size_t n = seps.size();

    // Only the last separator can be the decimal one. A point or comma is,
    // unless it repeats ("1.234.567") or stands alone between one to three
    // digits and three where the reader's own conventions group ("1,500" in
    // English). The writer always writes one decimal after its decimal
    // separator, so no text it produces reaches that last case.
    int d = -1;
    if (n > 0) {
        const std::string& der = seps.back();
        const Sep g = genre(c, der);
        const bool repete = std::find(seps.begin(), seps.end() - 1, der) != seps.end() - 1;
        const bool groupe_seul = n == 1 && chiffres[1].size() == 3 && !chiffres[0].empty() && chiffres[0].size() <= 3 &&
                                 chiffres[0][0] != '0' && der == c.grouping;
        if (g == Sep::Decimale || (g == Sep::Ambigu && !repete && !groupe_seul))
            d = static_cast<int>(n) - 1;
    }
    // The others group, all with the same separator, by threes.
    const std::string* groupe = nullptr;
    for (size_t k = 0; k < n; ++k) {
        if (static_cast<int>(k) == d)
            continue;
        const Sep g = genre(c, seps[k]);
        if ((g != Sep::Groupe && g != Sep::Ambigu) || (groupe && *groupe != seps[k]))
            return false;
        groupe = &seps[k];
    }
    const size_t fin_entier = d < 0 ? n : static_cast<size_t>(d);
    if (groupe && (chiffres[0].empty() || chiffres[0].size() > 3))
        return false;
    std::string entier;
    for (size_t k = 0; k <= fin_entier; ++k) {
        if (groupe && k > 0 && chiffres[k].size() != 3)
            return false;
        entier += chiffres[k];
    }
    const std::string frac = d < 0 ? std::string() : chiffres[n];
    if (entier.empty() && frac.empty())
        return false;
    nombre += (entier.empty() ? "0" : entier) + "." + frac;
    if (e != std::string::npos) {
        int exposant;
        if (!lit_entier16(token.substr(e + 1), exposant))
            return false;
        nombre += "e" + std::to_string(exposant);
    }
    double v = 0;
    auto [ptr, ec] = std::from_chars(nombre.data(), nombre.data() + nombre.size(), v, std::chars_format::general);
    if (ec != std::errc() || ptr != nombre.data() + nombre.size() || !std::isfinite(v))
        return false;
    out = v;
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

bool Configuration::operator==(const Configuration& o) const
{
    return ligne_freq == o.ligne_freq && duree_definie == o.duree_definie && duree == o.duree &&
           duree_max == o.duree_max && declenchement == o.declenchement && condition == o.condition && type == o.type &&
           enregistrement == o.enregistrement && nom_automatique == o.nom_automatique && dossier == o.dossier &&
           nom == o.nom && selection.micros == o.selection.micros && selection.va == o.selection.va &&
           selection.compteurs == o.selection.compteurs && selection.etat == o.selection.etat;
}

namespace {

// A row out of the list writes and widens as the top row.
int ligne_freq(const Configuration& cfg)
{
    return cfg.ligne_freq >= 0 && cfg.ligne_freq < NB_FREQ ? cfg.ligne_freq : 0;
}

} // namespace

std::string texte_config(const Configuration& cfg, const Conventions& conv)
{
    std::string out;
    ligne(out, "% Fichier de configuration Ondaris");
    ligne(out, "\n[Paramètres généraux]");
    ligne(out, compose(conv, "Frequence = {0} Hz", {frequence_de_division(FREQ[ligne_freq(cfg)])}));
    ligne(out, "% Si Duree = 0, alors durée indéfinie");
    ligne(out, cfg.duree_definie ? compose(conv, "Duree = {0:N1}  s", {cfg.duree}) : std::string("Duree = 0"));
    ligne(out, cfg.type == TypeEchantillons::Float32 ? "Type = float32" : "Type = int32");
    if (cfg.declenchement == Declenchement::Soft) {
        ligne(out, "Trig = Soft");
    } else {
        std::string t = cfg.declenchement == Declenchement::Trig2 ? "Trig = Trig2 " : "Trig = Trig1 ";
        t += cfg.condition == Condition::FlancDescendant ? "Flanc_descendant"
             : cfg.condition == Condition::EtatHaut      ? "Etat_haut"
             : cfg.condition == Condition::EtatBas       ? "Etat_bas"
                                                         : "Flanc_montant";
        ligne(out, t);
    }
    ligne(out, cfg.enregistrement ? "Enregistrement = 1" : "Enregistrement = 0");
    if (cfg.nom_automatique)
        ligne(out, "Fichier d'acquisition (sans extension) = " + avec_separateur(cfg.dossier) + cfg.nom);
    ligne(out, compose(conv, "Nb_faisceaux = {0}", {128}));
    type_header_file h{};
    const Selection& s = cfg.selection;
    for (int f = 0; f < NB_FAISCEAUX; ++f)
        for (int j = 0; j < 8; ++j)
            h.micros_actifs[f][j] = s.micros[f][j] ? 1 : 0;
    for (int v = 0; v < NB_VA; ++v)
        h.va_actives[v / 4][v % 4] = s.va[v] ? 1 : 0;
    for (int k = 0; k < 4; ++k)
        h.compteurs_actifs[k] = s.compteurs[k] ? 1 : 0;
    sections_selection(out, conv, h);
    return out;
}

int ecrit_fichier_config(const std::string& config_name, const Configuration& cfg, const Journal& journal)
{
    // Whole or not at all: a full disk leaves the previous settings.
    FichierEntier f;
    std::string erreur;
    if (f.ouvre(config_name, erreur) != 0) {
        journal.call_verb("Impossible de créer le fichier de configuration " + erreur + "\r\n");
        return -1;
    }
    if (ecrit_texte(f.flux(), texte_config(cfg, journal.conv)) != 0 || f.termine(erreur) != 0) {
        journal.call_verb("Erreur d'écriture du fichier de configuration " + config_name + "\r\n");
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

bool contient(const std::string& l, const char* cle) { return l.find(cle) != std::string::npos; }

// The numbers of a line: its tokens, with a number grouped by plain spaces
// ("1 234,5", which the spaces cut in pieces) joined back into one.
std::vector<std::string> nombres_de(const Conventions& conv, const std::vector<std::string>& t)
{
    auto chiffres_en_tete = [](const std::string& s, size_t debut) {
        size_t k = debut;
        while (k < s.size() && s[k] >= '0' && s[k] <= '9')
            ++k;
        return k - debut;
    };
    std::vector<std::string> out;
    for (size_t i = 0; i < t.size(); ++i) {
        const size_t signe = !t[i].empty() && (t[i][0] == '+' || t[i][0] == '-') ? 1 : 0;
        const size_t tete = chiffres_en_tete(t[i], signe);
        std::string joint = t[i];
        size_t j = i + 1;
        if (tete >= 1 && tete <= 3 && signe + tete == t[i].size()) {
            while (j < t.size() && chiffres_en_tete(t[j], 0) == 3) {
                joint += " " + t[j];
                if (t[j++].size() > 3)
                    break;
            }
        }
        double d;
        if (j > i + 1 && lit_nombre(conv, joint, d)) {
            out.push_back(joint);
            i = j - 1;
        } else {
            out.push_back(t[i]);
        }
    }
    return out;
}

// What follows the key and its "=", the unit left out: the value as the
// operator reads it in the line.
std::string valeur_de(const std::vector<std::string>& t, const char* unite)
{
    size_t debut = t.size() > 1 && t[1] == "=" ? 2 : 1;
    size_t fin = t.size() > debut && t.back() == unite ? t.size() - 1 : t.size();
    std::string v;
    for (size_t k = debut; k < fin; ++k)
        v += (v.empty() ? "" : " ") + t[k];
    return v;
}

struct Lecteur {
    const std::string& nom;
    const Journal& journal;
    Configuration& cfg;
    const SuiviLecture& suivi;
    unsigned cles = 0;
    int numero = 0; // of the line read, from 1

    void refuse(const char* quoi, const std::string& valeur, const std::string& reste) const;
    void frequence(const std::vector<std::string>& t);
    void duree(const std::vector<std::string>& t);
    void faisceau(const std::string& l, const std::vector<std::string>& t);
    void bloc(const std::vector<std::string>& t);
    void compteurs(const std::vector<std::string>& t);
    void trig(const std::vector<std::string>& t);
    void type(const std::vector<std::string>& t);
    void enregistrement(const std::vector<std::string>& t);
    void fichier(const std::string& l);
    void ligne(const std::string& l);
};

void Lecteur::refuse(const char* quoi, const std::string& valeur, const std::string& reste) const
{
    journal.verb("{0}, ligne {1} : {2} « {3} » refusée, la {2} reste {4}.\r\n", {nom, numero, quoi, valeur, reste});
}

// Only a line that starts with its key is reported: the key may also be a
// word of a folder's name on the "Fichier" line.
bool commence_par(const std::vector<std::string>& t, const char* cle)
{
    return !t.empty() && t[0].compare(0, std::strlen(cle), cle) == 0;
}

void Lecteur::frequence(const std::vector<std::string>& t)
{
    const bool rapporte = commence_par(t, "Frequence");
    auto reste = [this] {
        return cfg.ligne_freq >= 0 && cfg.ligne_freq < NB_FREQ
                   ? compose(journal.conv, "{0} Hz", {frequence_de_division(FREQ[cfg.ligne_freq])})
                   : std::string("sans valeur");
    };
    bool lu = false;
    for (const auto& v : nombres_de(journal.conv, t)) {
        double d;
        if (!lit_nombre(journal.conv, v, d))
            continue;
        lu = true;
        double q = std::trunc(500000.0 / d);
        int k = 0;
        while (k < NB_FREQ && !(std::fabs(q) <= 1e9 && FREQ[k] == static_cast<int>(q)))
            ++k;
        // A value matching no divisor leaves the row where it is.
        if (k == NB_FREQ) {
            if (rapporte)
                refuse("fréquence", v, reste());
            continue;
        }
        cfg.ligne_freq = k;
        cles |= CLE_FREQUENCE;
    }
    if (!lu && rapporte)
        refuse("fréquence", valeur_de(t, "Hz"), reste());
}

void Lecteur::duree(const std::vector<std::string>& t)
{
    const bool rapporte = commence_par(t, "Duree");
    auto reste = [this] { return compose(journal.conv, "{0:N1} s", {cfg.duree}); };
    bool lu = false;
    for (const auto& v : nombres_de(journal.conv, t)) {
        double d;
        if (!lit_nombre(journal.conv, v, d))
            continue;
        lu = true;
        if (d < 0) {
            if (rapporte)
                refuse("durée", v, reste());
            continue;
        }
        cles |= CLE_DUREE;
        if (d == 0) {
            cfg.duree_definie = false;
            continue;
        }
        // A long run saved at a low frequency: widen the range to what the
        // row's frequency allows rather than cut the duration down.
        if (d > cfg.duree_max) {
            double m = duree_max_de(frequence_de_division(FREQ[ligne_freq(cfg)]));
            if (m > cfg.duree_max)
                cfg.duree_max = m;
        }
        cfg.duree = std::min(d, cfg.duree_max);
    }
    if (!lu && rapporte)
        refuse("durée", valeur_de(t, "s"), reste());
}

void Lecteur::faisceau(const std::string& l, const std::vector<std::string>& t)
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
    for (int j = 0; j < 8; ++j)
        cfg.selection.micros[f][j] = v[j] != 0;
    cles |= CLE_FAISCEAU;
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

void Lecteur::bloc(const std::vector<std::string>& t)
{
    int v[4] = {};
    if (t.empty() || !valeurs_de(t, v))
        return;
    int b = 3; // an unknown name means block D
    for (int k = 0; k < 4; ++k)
        if (t[0] == BLOC[k])
            b = k;
    for (int k = 0; k < 4; ++k)
        cfg.selection.va[4 * b + k] = v[k] != 0;
    cles |= CLE_BLOC;
}

// A counter is only ever switched on.
void Lecteur::compteurs(const std::vector<std::string>& t)
{
    int v[4] = {};
    if (!valeurs_de(t, v))
        return;
    for (int k = 0; k < 4; ++k)
        if (v[k] != 0)
            cfg.selection.compteurs[k] = true;
    cles |= CLE_COMPTEUR;
}

void Lecteur::trig(const std::vector<std::string>& t)
{
    if (t.size() < 3)
        return;
    cles |= CLE_TRIG;
    if (t[2] == "Soft") {
        cfg.declenchement = Declenchement::Soft;
        return;
    }
    if (t[2] == "Trig1")
        cfg.declenchement = Declenchement::Trig1;
    else if (t[2] == "Trig2")
        cfg.declenchement = Declenchement::Trig2;
    // A source without a condition keeps the condition as it was.
    const char* mots[4] = {"Flanc_montant", "Flanc_descendant", "Etat_haut", "Etat_bas"};
    for (int k = 0; k < 4 && t.size() > 3; ++k)
        if (t[3] == mots[k])
            cfg.condition = static_cast<Condition>(k);
}

void Lecteur::type(const std::vector<std::string>& t)
{
    if (t.size() < 3)
        return;
    cles |= CLE_TYPE;
    if (t[2] == "int32")
        cfg.type = TypeEchantillons::Int32;
    else if (t[2] == "float32" || t[2] == "float")
        cfg.type = TypeEchantillons::Float32;
}

void Lecteur::enregistrement(const std::vector<std::string>& t)
{
    if (t.size() < 3)
        return;
    cles |= CLE_ENREGISTREMENT;
    if (t[2] == "1")
        cfg.enregistrement = true;
    else if (t[2] == "0")
        cfg.enregistrement = false;
}

// Automatic naming follows recording as it stands at this line.
void Lecteur::fichier(const std::string& l)
{
    size_t egal = l.find('=');
    std::string dossier, nom;
    // Everything after the key's "=", so that a folder holding "=" is kept.
    if (egal == std::string::npos || !decoupe_chemin(l.substr(egal + 1), dossier, nom))
        return;
    cles |= CLE_FICHIER;
    cfg.nom_automatique = cfg.enregistrement;
    cfg.nom = nom;
    cfg.dossier = dossier;
}

void Lecteur::ligne(const std::string& l)
{
    if (l.empty() || l[0] == '[' || l[0] == '%')
        return;
    const unsigned avant = cles;
    cles = 0;
    std::vector<std::string> t = tokens_de(l);
    if (contient(l, "Frequence"))
        frequence(t);
    if (contient(l, "Duree"))
        duree(t);
    if (contient(l, "Faisceau"))
        faisceau(l, t);
    if (contient(l, "Bloc"))
        bloc(t);
    if (contient(l, "Compteur"))
        compteurs(t);
    if (contient(l, "Trig"))
        trig(t);
    if (contient(l, "Type"))
        type(t);
    if (contient(l, "Enregistrement"))
        enregistrement(t);
    if (contient(l, "Fichier"))
        fichier(l);
    if (cles && suivi)
        suivi(cles, cfg);
    cles |= avant;
}

unsigned lit_lignes(const std::vector<std::string>& lignes, const std::string& nom, const Journal& journal,
                    Configuration& cfg, const SuiviLecture& suivi)
{
    for (auto& beam : cfg.selection.micros)
        beam.fill(false);
    Lecteur lecteur{nom, journal, cfg, suivi};
    for (const std::string& l : lignes) {
        ++lecteur.numero;
        lecteur.ligne(l);
    }
    return lecteur.cles;
}

// Opens, reads and checks the file, then reads it over `cfg`; the reason
// of a refusal in `erreur`.
int lit_fichier(const std::string& config_name, const Journal& journal, Configuration& cfg, std::string& erreur,
                const SuiviLecture& suivi)
{
    std::FILE* f = ouvre_fichier(config_name, "rb");
    if (!f) {
        int err = errno;
        erreur = "Impossible d'ouvrir le fichier de configuration " + config_name + " : " + std::strerror(err);
        return -1;
    }
    // Read up to one byte past the largest configuration: a data file
    // chosen by mistake is refused without being loaded.
    std::string octets;
    char bloc[4096];
    size_t n;
    while (octets.size() <= TAILLE_MAX_CONFIG && (n = std::fread(bloc, 1, sizeof bloc, f)) > 0)
        octets.append(bloc, n);
    bool erreur_lecture = std::ferror(f) != 0;
    int err = errno;
    std::fclose(f);
    if (erreur_lecture) {
        erreur = "Impossible de lire le fichier de configuration " + config_name + " : " + std::strerror(err);
        return -1;
    }
    if (octets.size() > TAILLE_MAX_CONFIG) {
        erreur =
            "Le fichier " + config_name +
            compose(journal.conv, " n'est pas un fichier de configuration (plus de {0:N0} octets) : rien n'est changé.",
                    {TAILLE_MAX_CONFIG});
        return -1;
    }
    if (lit_texte_config(octets, config_name, journal, cfg, suivi) == 0) {
        erreur = "Le fichier " + config_name + " n'est pas un fichier de configuration : rien n'est changé.";
        return -1;
    }
    return 0;
}

} // namespace

unsigned lit_texte_config(const std::string& octets, const std::string& nom, const Journal& journal, Configuration& cfg,
                          const SuiviLecture& suivi)
{
    // Binary data, or text that no key uses, is refused whole before
    // anything changes; a first reading, silent and over a copy, tells.
    const std::string texte = decode(octets);
    if (texte.find('\0') != std::string::npos)
        return 0;
    const std::vector<std::string> lignes = lignes_de(texte);
    Journal muet;
    muet.conv = journal.conv;
    Configuration essai = cfg;
    if (lit_lignes(lignes, nom, muet, essai, {}) == 0)
        return 0;
    return lit_lignes(lignes, nom, journal, cfg, suivi);
}

int lit_fichier_config(const std::string& config_name, const Conventions& conv, Configuration& cfg, std::string& erreur,
                       const SuiviLecture& suivi)
{
    Journal muet;
    muet.conv = conv;
    return lit_fichier(config_name, muet, cfg, erreur, suivi);
}

int lit_fichier_config(const std::string& config_name, const Journal& journal, Configuration& cfg,
                       const SuiviLecture& suivi)
{
    std::string erreur;
    if (lit_fichier(config_name, journal, cfg, erreur, suivi) != 0) {
        journal.call_verb(erreur + "\r\n");
        return -1;
    }
    return 0;
}
