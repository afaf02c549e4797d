#include "files/lecture.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <tuple>

#include "channels/canaux.h"
#include "device/parametres.h"
#include "files/chemins.h"
#include "files/description.h"
#include "files/fichier_donnees.h"
#include "files/lignes.h"

namespace {

// 64-bit offsets on every platform.
int cherche(std::FILE* f, uint64_t offset)
{
#ifdef _WIN32
    return _fseeki64(f, static_cast<long long>(offset), SEEK_SET);
#else
    return fseeko(f, static_cast<off_t>(offset), SEEK_SET);
#endif
}

bool hote_petit_boutiste()
{
    const uint32_t un = 1;
    unsigned char b;
    std::memcpy(&b, &un, 1);
    return b == 1;
}

std::string reel(double v)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g", v);
    return buf;
}

// At most `n` bytes of a file; false when it cannot be opened or read.
bool lit_debut(const std::string& chemin, size_t n, std::string& octets, uint64_t& taille, std::string& erreur)
{
    std::error_code ec;
    auto p = std::filesystem::u8path(chemin);
    if (!std::filesystem::exists(p, ec)) {
        erreur = "absent";
        return false;
    }
    taille = std::filesystem::file_size(p, ec);
    if (ec) {
        erreur = ec.message();
        return false;
    }
    std::FILE* f = ouvre_fichier(chemin, "rb");
    if (!f) {
        erreur = std::strerror(errno);
        return false;
    }
    octets.assign(static_cast<size_t>(std::min<uint64_t>(taille, n)), '\0');
    size_t lus = octets.empty() ? 0 : std::fread(&octets[0], 1, octets.size(), f);
    bool ok = lus == octets.size();
    std::fclose(f);
    if (!ok)
        erreur = "lecture impossible";
    return ok;
}

std::string cite(const std::string& s)
{
    const size_t max = 60;
    std::string t = s.size() > max ? s.substr(0, max) + "..." : s;
    for (char& c : t)
        if (static_cast<unsigned char>(c) < 0x20)
            c = '?';
    return "« " + t + " »";
}

void rtrim(std::string& s)
{
    while (!s.empty() && (s.back() == ' ' || s.back() == '\0'))
        s.pop_back();
}

// The value of a "Duree = {0:N1}  ; (s)" line in any locale: the last
// separator before one final digit is the decimal one, every other
// character of the number groups digits.
bool lit_duree_n1(const std::string& ligne, double& out)
{
    size_t egal = ligne.find('='), fin = ligne.find(';');
    if (egal == std::string::npos)
        return false;
    std::string v = ligne.substr(egal + 1, fin == std::string::npos ? std::string::npos : fin - egal - 1);
    rtrim(v);
    size_t debut = v.find_first_not_of(' ');
    if (debut == std::string::npos)
        return false;
    v = v.substr(debut);
    bool negatif = !v.empty() && v[0] == '-';
    std::string chiffres;
    int decimales = -1;
    for (size_t i = negatif ? 1 : 0; i < v.size(); ++i) {
        if (v[i] >= '0' && v[i] <= '9')
            chiffres += v[i];
        else if (i + 2 == v.size() && (v[i] == '.' || v[i] == ','))
            decimales = 1;
        else if (static_cast<unsigned char>(v[i]) < 0x80 && v[i] != ',' && v[i] != '.' && v[i] != ' ' && v[i] != '\'')
            return false; // not a grouping character (UTF-8 spaces are bytes >= 0x80)
    }
    if (chiffres.empty() || chiffres.size() > 15)
        return false;
    double d = std::stod(chiffres);
    if (decimales == 1)
        d /= 10;
    out = negatif ? -d : d;
    return true;
}

const char* OCTETS_SELECTION[3] = {"micros_actifs", "va_actives", "compteurs_actifs"};

// Selection bytes that are neither 0 nor 1.
void verifie_selection(const std::string& ond, const uint8_t* b, Enregistrement& e)
{
    int mauvais = 0;
    for (int o = 16; o < 1060; ++o) {
        if (b[o] <= 1)
            continue;
        if (mauvais++ == 0) {
            std::string champ = o < 1040 ? OCTETS_SELECTION[0] : o < 1056 ? OCTETS_SELECTION[1] : OCTETS_SELECTION[2];
            std::string quoi = o < 1040   ? "micro " + std::to_string(o - 16)
                               : o < 1056 ? "voie analogique " + std::to_string(o - 1040)
                                          : std::string("compteur ") + static_cast<char>('A' + o - 1056);
            e.problemes.push_back(ond + " : octet " + std::to_string(o) + " (" + champ + ", " + quoi + ") vaut " +
                                  std::to_string(b[o]) + ", 0 ou 1 attendu");
        }
    }
    if (mauvais > 1)
        e.problemes.push_back(ond + " : " + std::to_string(mauvais - 1) + " autres octets de sélection ni 0 ni 1");
}

bool frequence_du_boitier(float f)
{
    for (int k = 0; k < NB_FREQ; ++k)
        if (frequence_de_division(FREQ[k]) == f)
            return true;
    return false;
}

void verifie_date(const std::string& ond, const type_date_heure& d, Enregistrement& e)
{
    struct {
        const char* nom;
        int valeur, min, max;
    } champs[] = {{"année", d.wYear, 1601, 30827},
                  {"mois", d.wMonth, 1, 12},
                  {"jour de la semaine", d.wDayOfWeek, 0, 6},
                  {"jour", d.wDay, 1, 31},
                  {"heure", d.wHour, 0, 23},
                  {"minute", d.wMinute, 0, 59},
                  {"seconde", d.wSecond, 0, 59},
                  {"milliseconde", d.wMilliseconds, 0, 999}};
    for (int i = 0; i < 8; ++i)
        if (champs[i].valeur < champs[i].min || champs[i].valeur > champs[i].max)
            e.problemes.push_back(ond + " : date invalide, " + champs[i].nom + " " + std::to_string(champs[i].valeur) +
                                  " (octet " + std::to_string(2 * i) + ")");
}

int somme(const uint8_t* v, int n)
{
    int s = 0;
    for (int i = 0; i < n; ++i)
        s += v[i] == 1 ? 1 : 0;
    return s;
}

// Compares the description file with the text the writer makes from the
// header. Numbers in the locale's conventions (the duration) are compared
// by value; the frame size may count one word more (the status word), which
// `etat` reports. Returns the description's comment through `commentaire`.
void compare_description(const std::string& nom_log, const std::string& texte, const type_header_file& h,
                         Enregistrement& e, int& nb_voies_log, bool& a_commentaire, std::string& commentaire)
{
    const int voies_selection =
        somme(&h.micros_actifs[0][0], 1024) + somme(&h.va_actives[0][0], 16) + somme(h.compteurs_actifs, 4);
    const int micros = somme(&h.micros_actifs[0][0], 1024);
    std::vector<std::string> attendu =
        lignes_de(texte_description(Conventions::english(), h, voies_selection, micros, ""));
    std::vector<std::string> lu = lignes_de(texte);

    // Everything up to the comment's section header.
    size_t fin = 0;
    while (fin < attendu.size() && attendu[fin] != "[OPTIONNAL]")
        ++fin;
    int differences = 0;
    auto signale = [&](size_t i, const std::string& quoi) {
        if (differences++ < 3)
            e.problemes.push_back(nom_log + ", ligne " + std::to_string(i + 1) + " : " + quoi);
    };
    const std::string cle_voies = "Nb_voies = ";
    for (size_t i = 0; i <= fin && i < attendu.size(); ++i) {
        if (i >= lu.size()) {
            signale(i, "le fichier s'arrête ; " + cite(attendu[i]) + " attendu d'après l'en-tête");
            break;
        }
        const std::string& a = attendu[i];
        const std::string& l = lu[i];
        if (a.compare(0, cle_voies.size(), cle_voies) == 0 && l.compare(0, cle_voies.size(), cle_voies) == 0) {
            std::string v = l.substr(cle_voies.size());
            if (v == std::to_string(voies_selection) || v == std::to_string(voies_selection + 1)) {
                nb_voies_log = std::stoi(v);
                continue;
            }
            signale(i, cite(l) + " : l'en-tête sélectionne " + std::to_string(voies_selection) +
                           " voies (une de plus avec le mot d'état)");
            continue;
        }
        if (a.compare(0, 8, "Duree = ") == 0 && l.compare(0, 8, "Duree = ") == 0) {
            double d;
            if (!lit_duree_n1(l, d) || std::fabs(d - h.duree_acq) > 0.05 + 1e-6 * std::fabs(d))
                signale(i, cite(l) + " : l'en-tête donne duree_acq = " + reel(h.duree_acq) + " s");
            continue;
        }
        if (a != l)
            signale(i, cite(l) + " au lieu de " + cite(a) + " d'après l'en-tête");
    }
    if (differences > 3)
        e.problemes.push_back(nom_log + " : " + std::to_string(differences - 3) +
                              " autres lignes en désaccord avec l'en-tête");

    // The comment: every line after its section header.
    auto it = std::find(lu.begin(), lu.end(), "[OPTIONNAL]");
    if (it != lu.end()) {
        a_commentaire = true;
        for (auto l = it + 1; l != lu.end(); ++l) {
            if (l != it + 1)
                commentaire += "\n";
            commentaire += *l;
        }
        rtrim(commentaire);
        while (!commentaire.empty() && commentaire.back() == '\n') {
            commentaire.pop_back();
            rtrim(commentaire);
        }
    }
}

// Words per frame that the description gives ("Nb_voies = N"), or -1.
int nb_voies_du_texte(const std::string& texte)
{
    const std::string cle = "\nNb_voies = ";
    const size_t i = texte.find(cle);
    if (i == std::string::npos)
        return -1;
    int n = 0, chiffres = 0;
    for (size_t k = i + cle.size(); k < texte.size() && texte[k] >= '0' && texte[k] <= '9' && chiffres < 5; ++k)
        n = 10 * n + (texte[k] - '0'), ++chiffres;
    return chiffres > 0 ? n : -1;
}

bool que_des_zeros(const std::string& octets) { return octets.find_first_not_of('\0') == std::string::npos; }

} // namespace

Interruption interruption(const std::string& dat)
{
    Interruption r;
    std::error_code ec;
    const auto chemin = std::filesystem::u8path(dat);
    if (!std::filesystem::is_regular_file(chemin, ec))
        return r;
    const uint64_t taille = std::filesystem::file_size(chemin, ec);
    if (ec)
        return r;
    const std::string ond = nom_compagnon(dat, ".Ond"), log = nom_compagnon(dat, ".log");
    std::string octets_ond, texte, erreur;
    uint64_t taille_ond = 0, taille_log = 0;
    const bool ond_lu = lit_debut(ond, HEADER_FILE_SIZE, octets_ond, taille_ond, erreur);
    const bool log_lu = lit_debut(log, 1 << 20, texte, taille_log, erreur);
    // Blank: nothing, or only the zeros of the room a run keeps.
    const bool ond_vierge = !ond_lu || taille_ond == 0 || (taille_ond <= HEADER_FILE_SIZE && que_des_zeros(octets_ond));
    const bool log_vierge = !log_lu || taille_log == 0 || (taille_log <= texte.size() && que_des_zeros(texte));
    r.compagnons_vierges = ond_vierge && log_vierge;
    if (ond_vierge || log_vierge) {
        if (r.compagnons_vierges && taille == 0 && taille_ond == 0 && taille_log == 0)
            return r; // abandoned before the trigger: nothing was recorded
        for (const auto& [nom, vierge, n] :
             {std::make_tuple(ond, ond_vierge, taille_ond), std::make_tuple(log, log_vierge, taille_log)}) {
            if (!vierge)
                continue;
            if (!r.raison.empty())
                r.raison += ", ";
            r.raison += nom_court(nom) + (n > 0 ? " ne contient que des zéros" : " est vide ou absent");
        }
        r.interrompue = true;
        return r;
    }
    if (taille_ond == HEADER_FILE_SIZE) {
        const type_header_file h = header_de_bytes(reinterpret_cast<const uint8_t*>(octets_ond.data()));
        const int selection =
            somme(&h.micros_actifs[0][0], 1024) + somme(&h.va_actives[0][0], 16) + somme(h.compteurs_actifs, 4);
        const int nb_voies =
            nb_voies_du_texte(texte.substr(0, texte.find('\0'))) == selection + 1 ? selection + 1 : selection;
        const uint32_t trames = nb_voies > 0 ? nb_ech_de(taille, nb_voies) : h.nb_ech;
        if (trames != h.nb_ech) {
            r.interrompue = true;
            r.raison = nom_court(ond) + " compte " + std::to_string(h.nb_ech) +
                       (h.nb_ech > 1 ? " trames, " : " trame, ") + nom_court(dat) + " en contient " +
                       std::to_string(trames);
            return r;
        }
    }
    if (texte.find('\0') != std::string::npos) {
        r.interrompue = true;
        r.raison = nom_court(log) + " n'a pas été terminé";
        return r;
    }
    // Cut short by a failed write, or not a description at all: the header
    // and the data rebuild it.
    if (taille_log <= texte.size() && (texte.compare(0, 20, "[DEFAULT]\n\r\n[Date]\r\n") != 0 ||
                                       texte.find("\n[OPTIONNAL]\r\n") == std::string::npos)) {
        r.interrompue = true;
        r.raison = nom_court(log) + " est incomplet";
    }
    return r;
}

std::string commande_reparation(const std::string& dat)
{
    const bool guillemets = dat.find_first_of(" '\"&;()") != std::string::npos;
    return "ondaris-repare " + (guillemets ? "\"" + dat + "\"" : dat);
}

Disposition disposition_de(const type_header_file& h, bool etat)
{
    Disposition d;
    int32_t liste[NB_MICROS + NB_VA + 4];
    int n = selection_de_header(h).liste_voies(liste);
    d.compteur_a = h.compteurs_actifs[0] == 1;
    d.etat = etat;
    if (d.compteur_a)
        d.codes.push_back(CODE_COMPTEUR_A);
    d.codes.insert(d.codes.end(), liste, liste + n);
    if (etat)
        d.codes.push_back(CODE_ETAT);
    d.nb_voies = static_cast<int>(d.codes.size());
    d.nb_micros = somme(&h.micros_actifs[0][0], 1024);
    return d;
}

std::string nom_voie(int code)
{
    if (code >= 0 && code < NB_MICROS)
        return "micro " + std::to_string(code);
    if (code >= CODE_VA && code < CODE_VA + NB_VA)
        return "VA " + std::to_string(code - CODE_VA);
    if (code >= CODE_COMPTEUR_A && code < CODE_COMPTEUR_A + 4)
        return std::string("compteur ") + static_cast<char>('A' + code - CODE_COMPTEUR_A);
    if (code == CODE_ETAT)
        return "état";
    return "code " + std::to_string(code);
}

std::string date_texte(const type_date_heure& d)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04u-%02u-%02u %02u:%02u:%02u.%03u", d.wYear, d.wMonth, d.wDay, d.wHour, d.wMinute,
                  d.wSecond, d.wMilliseconds);
    return buf;
}

int lit_enregistrement(const std::string& dat, Enregistrement& e)
{
    e = Enregistrement{};
    e.dat = dat;
    e.ond = nom_compagnon(dat, ".Ond");
    e.log = nom_compagnon(dat, ".log");
    const std::string nom_dat = nom_court(e.dat), nom_ond = nom_court(e.ond), nom_log = nom_court(e.log);

    std::error_code ec;
    auto chemin = std::filesystem::u8path(dat);
    if (!std::filesystem::is_regular_file(chemin, ec)) {
        e.problemes.push_back(nom_dat + " : fichier de données absent");
        return -1;
    }
    const Interruption coupure = interruption(dat);
    if (coupure.interrompue) {
        e.problemes.push_back(nom_dat + " : acquisition interrompue (" + coupure.raison + ") ; " +
                              commande_reparation(dat) + " complète " + nom_ond + " et " + nom_log);
        if (coupure.compagnons_vierges)
            return -1;
    }
    e.taille = std::filesystem::file_size(chemin, ec);
    if (ec) {
        e.problemes.push_back(nom_dat + " : " + ec.message());
        return -1;
    }

    std::string octets, erreur;
    uint64_t taille_ond = 0;
    if (!lit_debut(e.ond, HEADER_FILE_SIZE, octets, taille_ond, erreur)) {
        e.problemes.push_back(nom_ond + " : " + erreur);
        return -1;
    }
    if (taille_ond != HEADER_FILE_SIZE) {
        e.problemes.push_back(nom_ond + " : " + std::to_string(taille_ond) + " octets au lieu de 2097");
        if (taille_ond < HEADER_FILE_SIZE)
            return -1;
    }
    const uint8_t* b = reinterpret_cast<const uint8_t*>(octets.data());
    e.header = header_de_bytes(b);
    const type_header_file& h = e.header;

    verifie_selection(nom_ond, b, e);
    e.frequence = h.freq;
    bool frequence_ok = frequence_du_boitier(h.freq);
    if (!frequence_ok)
        e.problemes.push_back(nom_ond + " : fréquence " + reel(h.freq) +
                              " Hz (octet 1060) absente de la table du boîtier");
    if (h.type_float > 1)
        e.problemes.push_back(nom_ond + " : type d'échantillon (octet 1072) vaut " + std::to_string(h.type_float) +
                              ", 0 ou 1 attendu");
    e.flottant = h.type_float == 1;
    verifie_date(nom_ond, h.date_heure, e);

    // The description: it alone says whether the status word was recorded.
    std::string texte;
    uint64_t taille_log = 0;
    int nb_voies_log = -1;
    bool a_commentaire = false;
    const size_t max_log = 1 << 20; // a description is a few kB
    if (!lit_debut(e.log, max_log, texte, taille_log, erreur))
        e.problemes.push_back(nom_log + " : " + erreur);
    else if (taille_log == 0)
        e.problemes.push_back(nom_log + " : vide");
    else if (taille_log > max_log)
        e.problemes.push_back(nom_log + " : " + std::to_string(taille_log) +
                              " octets, trop grand pour une description");
    else
        compare_description(nom_log, texte, h, e, nb_voies_log, a_commentaire, e.commentaire);

    const int voies_selection =
        somme(&h.micros_actifs[0][0], 1024) + somme(&h.va_actives[0][0], 16) + somme(h.compteurs_actifs, 4);
    bool etat = nb_voies_log == voies_selection + 1;
    if (nb_voies_log < 0 && voies_selection > 0) {
        // Without a description, the status word shows only in the sizes.
        bool sans = nb_ech_de(e.taille, voies_selection) == h.nb_ech;
        bool avec = nb_ech_de(e.taille, voies_selection + 1) == h.nb_ech;
        etat = avec && !sans;
    }
    e.disposition = disposition_de(h, etat);
    const Disposition& d = e.disposition;
    if (d.nb_voies == 0) {
        e.problemes.push_back(nom_ond + " : aucune voie sélectionnée");
        return -1;
    }
    if (etat)
        e.remarques.push_back("Le mot d'état a été enregistré : sa place dans la trame n'est pas connue "
                              "(il est compté en dernier).");

    const uint64_t octets_trame = 4ull * static_cast<uint64_t>(d.nb_voies);
    e.nb_trames = e.taille / octets_trame;
    e.reste = static_cast<uint32_t>(e.taille % octets_trame);
    if (nb_ech_de(e.taille, d.nb_voies) != h.nb_ech)
        e.problemes.push_back(nom_ond + " : nb_ech = " + std::to_string(h.nb_ech) + ", mais " + nom_dat + " contient " +
                              std::to_string(e.nb_trames) + " trames entières de " + std::to_string(d.nb_voies) +
                              " mots (" + std::to_string(e.taille) + " octets)");
    if (e.reste != 0)
        e.remarques.push_back(nom_dat + " se termine par " + std::to_string(e.reste) +
                              " octets d'une trame incomplète, ignorés.");
    if (frequence_ok) {
        float duree = duree_de(h.nb_ech, h.freq);
        if (!(std::fabs(duree - h.duree_acq) <= 1e-6f * duree))
            e.problemes.push_back(nom_ond + " : duree_acq = " + reel(h.duree_acq) +
                                  " s, nb_ech / fréquence = " + reel(duree) + " s");
    }
    if (!a_commentaire) {
        std::string c(h.texte_commentaire, sizeof h.texte_commentaire);
        c = c.substr(0, c.find('\0'));
        rtrim(c);
        e.commentaire = cp1252_vers_utf8(c);
    }

    // The frames can be read when the layout is sound; a wrong frequency or
    // a description that disagrees does not move a word.
    bool selection_ok = true;
    for (int o = 16; o < 1060; ++o)
        selection_ok = selection_ok && b[o] <= 1;
    e.lisible = selection_ok && frequence_ok && h.type_float <= 1;
    return e.problemes.empty() ? 0 : -1;
}

int LecteurTrames::ouvre(const std::string& dat, int nb_voies, uint64_t premiere, std::string& erreur)
{
    ferme();
    if (nb_voies <= 0) {
        erreur = "trame vide";
        return -1;
    }
    f_ = ouvre_fichier(dat, "rb");
    if (!f_) {
        erreur = std::strerror(errno);
        return -1;
    }
    // Blocks of megabytes: the stream's own buffer would only add a copy.
    std::setvbuf(f_, nullptr, _IONBF, 0);
    nb_voies_ = nb_voies;
    if (premiere > 0 && cherche(f_, premiere * 4ull * static_cast<uint64_t>(nb_voies)) != 0) {
        erreur = std::strerror(errno);
        ferme();
        return -1;
    }
    return 0;
}

int64_t LecteurTrames::lit(uint32_t* mots, size_t n)
{
    if (!f_ || n == 0)
        return 0;
    const size_t octets_trame = 4 * static_cast<size_t>(nb_voies_);
    const size_t voulu = n * octets_trame;
    size_t lus = 0;
    unsigned char* dest = reinterpret_cast<unsigned char*>(mots);
    while (lus < voulu) {
        size_t k = std::fread(dest + lus, 1, voulu - lus, f_);
        if (k == 0)
            break;
        lus += k;
    }
    if (std::ferror(f_))
        return -1;
    size_t trames = lus / octets_trame;
    if (!hote_petit_boutiste()) {
        for (size_t i = 0; i < trames * nb_voies_; ++i) {
            const unsigned char* o = dest + 4 * i;
            mots[i] = static_cast<uint32_t>(o[0]) | static_cast<uint32_t>(o[1]) << 8 |
                      static_cast<uint32_t>(o[2]) << 16 | static_cast<uint32_t>(o[3]) << 24;
        }
    }
    return static_cast<int64_t>(trames);
}

void LecteurTrames::ferme()
{
    if (f_)
        std::fclose(f_);
    f_ = nullptr;
}

size_t trames_par_bloc(int nb_voies, size_t octets)
{
    return std::max<size_t>(1, octets / (4 * static_cast<size_t>(std::max(nb_voies, 1))));
}

int verifie_compteur(const std::string& dat, int nb_voies, uint64_t max_trames, size_t max_sauts, BilanCompteur& bilan,
                     std::string& erreur, const std::function<void(uint64_t)>& progression)
{
    bilan = BilanCompteur{};
    LecteurTrames lecteur;
    if (lecteur.ouvre(dat, nb_voies, 0, erreur) != 0)
        return -1;
    // Small blocks: the kernel copies each into memory that stays in cache.
    const size_t par_bloc = trames_par_bloc(nb_voies, size_t(1) << 20);
    std::vector<uint32_t> bloc(par_bloc * static_cast<size_t>(nb_voies));
    uint32_t attendu = 0;
    while (bilan.trames < max_trames) {
        size_t n = static_cast<size_t>(std::min<uint64_t>(par_bloc, max_trames - bilan.trames));
        int64_t lues = lecteur.lit(bloc.data(), n);
        if (lues < 0) {
            erreur = "erreur de lecture après " + std::to_string(bilan.trames) + " trames";
            return -1;
        }
        if (lues == 0)
            break;
        const uint32_t* m = bloc.data();
        for (int64_t i = 0; i < lues; ++i, m += nb_voies) {
            const uint32_t lu = *m;
            if (bilan.trames + i > 0 && lu != attendu) {
                if (bilan.sauts.size() < max_sauts)
                    bilan.sauts.push_back({bilan.trames + static_cast<uint64_t>(i), attendu, lu});
                ++bilan.nb_sauts;
            }
            attendu = lu + 1;
        }
        bilan.trames += static_cast<uint64_t>(lues);
        if (progression)
            progression(bilan.trames);
    }
    return 0;
}
