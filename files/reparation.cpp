#include "files/reparation.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <sys/stat.h>
#include <system_error>

#include "base/fichier_entier.h"
#include "base/plateforme.h"
#include "base/texte.h"
#include "channels/canaux.h"
#include "device/parametres.h"
#include "files/chemins.h"
#include "files/description.h"
#include "files/fichier_donnees.h"
#include "files/lecture.h"
#include "files/lignes.h"

namespace {

uint64_t taille_de(const std::string& chemin, bool& existe)
{
    std::error_code ec;
    auto p = std::filesystem::u8path(chemin);
    existe = std::filesystem::exists(p, ec);
    if (!existe)
        return 0;
    uint64_t n = std::filesystem::file_size(p, ec);
    return ec ? 0 : n;
}

// At most `max` bytes of a file; false when it cannot be read.
bool lit_fichier(const std::string& chemin, size_t max, std::string& octets)
{
    std::FILE* f = ouvre_fichier(chemin, "rb");
    if (!f)
        return false;
    octets.assign(max, '\0');
    octets.resize(std::fread(&octets[0], 1, max, f));
    const bool ok = !std::ferror(f);
    std::fclose(f);
    return ok;
}

int somme(const uint8_t* v, int n)
{
    int s = 0;
    for (int i = 0; i < n; ++i)
        s += v[i] == 1 ? 1 : 0;
    return s;
}

// The value after "\nCLE = " up to the line's end, or "" when absent.
std::string valeur(const std::string& texte, const std::string& cle)
{
    const size_t i = texte.find("\n" + cle + " = ");
    if (i == std::string::npos)
        return {};
    const size_t debut = i + cle.size() + 4;
    return texte.substr(debut, texte.find('\r', debut) - debut);
}

// Of the frames whose word 0 lies in `mots`, how many pairs of neighbours
// and how many of them whose counter does not grow by one.
void suivi(const std::vector<uint32_t>& mots, int nb_voies, uint64_t& paires, uint64_t& sauts)
{
    paires = sauts = 0;
    for (size_t i = static_cast<size_t>(nb_voies); i < mots.size(); i += static_cast<size_t>(nb_voies)) {
        ++paires;
        if (mots[i] != mots[i - static_cast<size_t>(nb_voies)] + 1u)
            ++sauts;
    }
}

// A lost packet in the middle of a run breaks the count once; a wrong frame
// size breaks it almost everywhere.
bool compteur_suit(const std::vector<uint32_t>& mots, int nb_voies)
{
    uint64_t paires, sauts;
    suivi(mots, nb_voies, paires, sauts);
    return paires > 0 && sauts * 100 <= paires;
}

bool date_locale(int64_t secondes, int ms, type_date_heure& d)
{
    std::time_t t = static_cast<std::time_t>(secondes);
    std::tm tm{};
    if (!heure_locale(t, tm))
        return false;
    d = {static_cast<uint16_t>(tm.tm_year + 1900),
         static_cast<uint16_t>(tm.tm_mon + 1),
         static_cast<uint16_t>(tm.tm_wday),
         static_cast<uint16_t>(tm.tm_mday),
         static_cast<uint16_t>(tm.tm_hour),
         static_cast<uint16_t>(tm.tm_min),
         static_cast<uint16_t>(std::min(tm.tm_sec, 59)),
         static_cast<uint16_t>(ms)};
    return true;
}

} // namespace

bool date_modification(const std::string& chemin, int64_t& secondes, int& millisecondes)
{
#ifdef _WIN32
    struct _stat64 st;
    std::wstring w = std::filesystem::u8path(chemin).wstring();
    if (_wstat64(w.c_str(), &st) != 0)
        return false;
    secondes = st.st_mtime;
    millisecondes = 0;
#else
    struct stat st;
    if (stat(chemin.c_str(), &st) != 0)
        return false;
    secondes = st.st_mtim.tv_sec;
    millisecondes = static_cast<int>(st.st_mtim.tv_nsec / 1000000);
#endif
    return true;
}

int reglages_de(const Configuration& cfg, const std::string& config_name, Reglages& r, std::string& erreur)
{
    if (cfg.ligne_freq < 0 || cfg.ligne_freq >= NB_FREQ) {
        erreur = config_name + " : pas de ligne « Frequence » avec une fréquence du boîtier";
        return -1;
    }
    if (cfg.type == TypeEchantillons::Inconnu) {
        erreur = config_name + " : pas de ligne « Type » (int32 ou float32)";
        return -1;
    }
    r = Reglages{};
    init_header(r.header);
    const Selection& s = cfg.selection;
    for (int f = 0; f < NB_FAISCEAUX; ++f)
        for (int j = 0; j < 8; ++j)
            if (s.micros[f][j]) {
                r.header.micros_actifs[f][j] = 1;
                ++r.nb_micros;
            } else {
                r.header.micros_actifs[f][j] = 0;
            }
    r.nb_voies = r.nb_micros; // the status word is the caller's to add
    for (int v = 0; v < NB_VA; ++v) {
        r.header.va_actives[v / 4][v % 4] = s.va[v] ? 1 : 0;
        r.nb_voies += s.va[v] ? 1 : 0;
    }
    for (int k = 0; k < 4; ++k) {
        r.header.compteurs_actifs[k] = s.compteurs[k] ? 1 : 0;
        r.nb_voies += s.compteurs[k] ? 1 : 0;
    }
    r.header.freq = frequence_de_division(FREQ[cfg.ligne_freq]);
    r.header.type_float = cfg.type == TypeEchantillons::Float32 ? 1 : 0;
    r.compteur_a = s.compteurs[0];
    return 0;
}

int reglages_des_compagnons(const std::string& dat, Reglages& r, std::string& erreur)
{
    const std::string ond = nom_compagnon(dat, ".Ond"), log = nom_compagnon(dat, ".log");
    std::string octets, texte;
    if (!lit_fichier(ond, HEADER_FILE_SIZE + 1, octets) || octets.size() != HEADER_FILE_SIZE ||
        octets.find_first_not_of('\0') == std::string::npos) {
        erreur = nom_court(ond) + " ne contient pas l'en-tête d'une acquisition";
        return -1;
    }
    const uint8_t* b = reinterpret_cast<const uint8_t*>(octets.data());
    const type_header_file h = header_de_bytes(b);
    bool frequence = false;
    for (int k = 0; k < NB_FREQ; ++k)
        frequence = frequence || frequence_de_division(FREQ[k]) == h.freq;
    const bool selection = std::all_of(b + 16, b + 1060, [](uint8_t o) { return o <= 1; });
    if (!frequence || !selection || h.type_float > 1) {
        erreur = nom_court(ond) + " ne contient pas les réglages d'une acquisition";
        return -1;
    }
    const int voies =
        somme(&h.micros_actifs[0][0], 1024) + somme(&h.va_actives[0][0], 16) + somme(h.compteurs_actifs, 4);
    // The text the run wrote, without the room left after it. Missing, cut
    // before its comment section or not a description: the header alone.
    const std::string section = "\n[OPTIONNAL]\r\n";
    const bool lu = lit_fichier(log, size_t(1) << 20, texte);
    texte = texte.substr(0, texte.find('\0'));
    // What the header alone says of the run.
    r = Reglages{};
    r.header = h;
    r.nb_voies = voies;
    r.nb_micros = somme(&h.micros_actifs[0][0], 1024);
    r.compteur_a = h.compteurs_actifs[0] == 1;
    r.des_compagnons = true;
    if (!lu || texte.compare(0, 20, "[DEFAULT]\n\r\n[Date]\r\n") != 0 || texte.find(section) == std::string::npos) {
        r.description_refaite = true;
        std::string c(h.texte_commentaire, sizeof h.texte_commentaire);
        c = c.substr(0, c.find('\0'));
        c.erase(c.find_last_not_of(' ') + 1);
        r.commentaire = cp1252_vers_utf8(c);
        return 0;
    }
    const std::string nb_voies = valeur(texte, "Nb_voies");
    const size_t commentaire = texte.find(section);
    if (nb_voies != std::to_string(voies) && nb_voies != std::to_string(voies + 1)) {
        erreur = nom_court(log) + " ne s'accorde pas avec " + nom_court(ond);
        return -1;
    }
    r.etat = nb_voies == std::to_string(voies + 1);
    r.commentaire = texte.substr(commentaire + section.size());
    if (r.commentaire.size() >= 2 && r.commentaire.compare(r.commentaire.size() - 2, 2, "\r\n") == 0)
        r.commentaire.resize(r.commentaire.size() - 2);
    // The duration's decimal separator says which conventions the run used.
    const std::string duree = valeur(texte, "Duree");
    const size_t separateur = duree.find_first_of(".,");
    if (separateur != std::string::npos && duree.substr(separateur, 1) != r.conventions.decimal)
        r.conventions = duree[separateur] == ',' ? Conventions::french() : Conventions::english();
    return 0;
}

int repare(const std::string& dat, const Reglages& r, bool etat, std::vector<std::string>& messages)
{
    const std::string ond = nom_compagnon(dat, ".Ond"), log = nom_compagnon(dat, ".log");
    bool existe;
    const uint64_t taille = taille_de(dat, existe);
    if (!existe) {
        messages.push_back(nom_court(dat) + " : fichier de données absent");
        return -1;
    }
    bool refus = false;
    const Interruption coupure = interruption(dat);
    if (!coupure.interrompue && !coupure.compagnons_vierges) {
        messages.push_back(nom_court(ond) + " et " + nom_court(log) + " décrivent déjà " + nom_court(dat) +
                           " tel qu'il est : ils ne sont pas écrasés.");
        refus = true;
    }
    const int nb_voies = r.nb_voies + (etat || r.etat ? 1 : 0);
    if (nb_voies <= 0) {
        messages.push_back("La configuration ne sélectionne aucune voie.");
        refus = true;
    }
    if (refus)
        return -1;

    const uint64_t trames = taille / (4ull * static_cast<uint64_t>(nb_voies));
    if (r.compteur_a) {
        // The first frames are enough to tell the frame size.
        const size_t max_mots = size_t(2) << 20;
        std::vector<uint32_t> mots(static_cast<size_t>(std::min<uint64_t>(taille / 4, max_mots)));
        LecteurTrames lecteur;
        std::string erreur;
        if (lecteur.ouvre(dat, 1, 0, erreur) != 0 || lecteur.lit(mots.data(), mots.size()) < 0) {
            messages.push_back(nom_court(dat) + " : lecture impossible (" + erreur + ")");
            return -1;
        }
        if (trames < 2) {
            messages.push_back("Moins de deux trames : le compteur A ne peut pas confirmer la taille de trame.");
        } else if (!compteur_suit(mots, nb_voies)) {
            std::string m = "Le compteur A ne suit pas d'une trame à l'autre avec les " + std::to_string(nb_voies) +
                            " mots par trame de la configuration : ce n'est pas la configuration de cet "
                            "enregistrement. Rien n'est écrit.";
            int autre = 0;
            for (int n = 1; n <= NB_MICROS + NB_VA + 5 && autre == 0; ++n)
                if (n != nb_voies && compteur_suit(mots, n))
                    autre = n;
            if (autre == nb_voies + 1 && !etat)
                m += " Le compteur suit avec un mot de plus : le mot d'état était sans doute enregistré (--etat).";
            else if (autre > 0)
                m += " Le compteur suit avec des trames de " + std::to_string(autre) + " mots.";
            messages.push_back(m);
            return -1;
        }
        // Bytes appended after the run (a copy gone wrong) do not carry its
        // count: said, and left to the reader, since the data file is never
        // changed here.
        const uint64_t fin = std::min<uint64_t>(trames, 4096);
        std::vector<uint32_t> queue(static_cast<size_t>(fin) * static_cast<size_t>(nb_voies));
        LecteurTrames dernieres;
        int64_t lues = -1;
        if (fin >= 2 && dernieres.ouvre(dat, nb_voies, trames - fin, erreur) == 0)
            lues = dernieres.lit(queue.data(), static_cast<size_t>(fin));
        if (lues == static_cast<int64_t>(fin)) {
            uint64_t etrangeres = 0;
            const size_t v = static_cast<size_t>(nb_voies);
            for (size_t i = static_cast<size_t>(fin) - 1; i > 0 && queue[i * v] != queue[(i - 1) * v] + 1u; --i)
                ++etrangeres;
            if (etrangeres > 0)
                messages.push_back("Attention : les " + std::to_string(etrangeres) + " dernières trames de " +
                                   nom_court(dat) +
                                   " ne suivent pas le compteur A : sans doute pas des données de cette "
                                   "acquisition (elles sont comptées, le fichier de données n'est pas modifié).");
        }
    } else {
        messages.push_back("Sans compteur A, la taille de trame de la configuration (" + std::to_string(nb_voies) +
                           " mots) ne peut pas être vérifiée sur les données.");
    }

    type_header_file h = r.header;
    if (!r.des_compagnons)
        std::memset(h.texte_commentaire, ' ', sizeof h.texte_commentaire);
    h.nb_ech = nb_ech_de(taille, nb_voies);
    h.duree_acq = duree_de(h.nb_ech, h.freq);
    // The data file was last written when the last packet arrived: the run
    // started about its recorded duration earlier.
    int64_t s = 0;
    int ms = 0;
    if (!r.des_compagnons && date_modification(dat, s, ms)) {
        int64_t debut_ms = s * 1000 + ms - static_cast<int64_t>(static_cast<double>(h.duree_acq) * 1000.0);
        int64_t q = debut_ms / 1000, reste = debut_ms % 1000;
        if (reste < 0) {
            reste += 1000;
            --q;
        }
        date_locale(q, static_cast<int>(reste), h.date_heure);
    }

    // Both written whole under temporary names first; only then renamed,
    // so that a full disk leaves the two files as they were.
    FichierEntier f_ond, f_log;
    std::string erreur;
    bool ok = f_ond.ouvre(ond, erreur) == 0 && f_log.ouvre(log, erreur) == 0;
    if (ok && ecrit_header(h, f_ond.flux()) != 0)
        ok = false, erreur = nom_court(ond) + " : " + std::strerror(errno);
    if (ok && ecrit_texte(f_log.flux(), texte_description(r.conventions, h, nb_voies, r.nb_micros, r.commentaire)) != 0)
        ok = false, erreur = nom_court(log) + " : " + std::strerror(errno);
    ok = ok && f_ond.termine(erreur) == 0 && f_log.termine(erreur) == 0;
    if (!ok) {
        messages.push_back("Écriture de " + nom_court(ond) + " et " + nom_court(log) + " impossible (" + erreur +
                           ") : ils sont laissés tels quels.");
        return -1;
    }

    messages.push_back(nom_court(ond) + " et " + nom_court(log) +
                       (r.description_refaite ? " écrits : " + nom_court(log) + " reconstruit d'après " +
                                                    nom_court(ond) + " et " + nom_court(dat) + ", "
                        : r.des_compagnons ? " complétés : "
                                           : " reconstruits : ") +
                       std::to_string(h.nb_ech) + " trames de " + std::to_string(nb_voies) + " mots, " +
                       std::to_string(static_cast<int>(h.freq)) + " Hz, " + (h.type_float ? "float32" : "int32") + ".");
    if (taille % (4ull * static_cast<uint64_t>(nb_voies)) != 0)
        messages.push_back("La dernière trame, incomplète, n'est pas comptée.");
    if (r.description_refaite) {
        messages.push_back("Commentaire repris de " + nom_court(ond) + ".");
        if (!etat && !r.compteur_a)
            messages.push_back(nom_court(ond) + " ne dit pas si le mot d'état était enregistré : supposé absent.");
    }
    if (r.des_compagnons)
        return 0;
    messages.push_back("Heure de début inconnue : estimée d'après la date du fichier de données moins la durée "
                       "enregistrée (" +
                       date_texte(h.date_heure) + ").");
    messages.push_back("Commentaire inconnu : laissé vide.");
    if (!etat)
        messages.push_back("La configuration ne dit pas si le mot d'état était enregistré : supposé absent.");
    return 0;
}

std::string avis_interruption(const std::string& config_name, const Conventions& conv)
{
    std::error_code ec;
    if (!std::filesystem::exists(std::filesystem::u8path(config_name), ec))
        return {};
    Configuration cfg;
    std::string erreur;
    if (lit_fichier_config(config_name, conv, cfg, erreur) != 0 || !cfg.nom_automatique || cfg.nom.empty())
        return {};
    const std::string dat = avec_separateur(cfg.dossier) + cfg.nom + ".dat";
    const Interruption coupure = interruption(dat);
    if (!coupure.interrompue)
        return {};
    return "L'acquisition de " + dat + " a été interrompue (" + coupure.raison + ") : " + commande_reparation(dat) +
           " complète son en-tête et sa description.\r\n";
}
