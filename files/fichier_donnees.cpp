#include "files/fichier_donnees.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "files/description.h"
#include "files/fichiers_run.h"
#include "files/lignes.h"

std::string nom_compagnon(const std::string& data_path, const std::string& ext)
{
    // ".dat" in any case is the data file's extension, as on Windows.
    if (data_path.size() >= 4) {
        std::string fin = data_path.substr(data_path.size() - 4);
        for (char& ch : fin)
            if (ch >= 'A' && ch <= 'Z')
                ch = static_cast<char>(ch - 'A' + 'a');
        if (fin == ".dat")
            return data_path.substr(0, data_path.size() - 4) + ext;
    }
    return data_path + ext;
}

namespace {

void ferme_fichier(std::FILE*& f)
{
    if (f)
        std::fclose(f);
    f = nullptr;
}

// Closes a companion and cuts it where its writing stopped: the room kept
// at its opening goes, and a file never written is left empty.
void ferme_compagnon(std::FILE*& f, std::string& nom)
{
    if (!f)
        return;
    const long fin = std::ftell(f);
    ferme_fichier(f);
    std::error_code ec;
    if (!nom.empty() && fin >= 0)
        std::filesystem::resize_file(std::filesystem::u8path(nom), static_cast<std::uintmax_t>(fin), ec);
    nom.clear();
}

// Keeps `n` bytes of room in a companion just opened: when the data file
// fills the disk, the header and the description can still be written.
void reserve(std::FILE* f, std::size_t n)
{
    static const char zeros[4096] = {};
    for (std::size_t fait = 0; fait < n;) {
        const std::size_t k = std::min(n - fait, sizeof zeros);
        if (std::fwrite(zeros, 1, k, f) != k)
            break;
        fait += k;
    }
    std::fflush(f);
    std::clearerr(f);
    std::fseek(f, 0, SEEK_SET);
}

// Opens a file for update without changing it, creating it when missing.
// The creation is exclusive: a file that appeared since the test belongs to
// whoever created it, and is refused (null, errno EEXIST).
std::FILE* ouvre_sans_changer(const std::string& nom, bool& cree)
{
    cree = false;
    std::FILE* f = ouvre_fichier(nom, "r+b");
    if (!f && errno == ENOENT) {
        f = cree_fichier_exclusif(nom);
        cree = f != nullptr;
    }
    return f;
}

uint64_t taille_fichier(const std::string& nom)
{
    std::error_code ec;
    const std::uintmax_t n = std::filesystem::file_size(std::filesystem::u8path(nom), ec);
    return ec ? 0 : static_cast<uint64_t>(n);
}

} // namespace

FichiersRun& FichiersRun::operator=(FichiersRun&& o) noexcept
{
    if (this != &o) {
        ferme();
        donnees_ = o.donnees_;
        header_ = o.header_;
        log_ = o.log_;
        nom_donnees_ = std::move(o.nom_donnees_);
        nom_header_ = std::move(o.nom_header_);
        nom_log_ = std::move(o.nom_log_);
        std::copy(o.crees_, o.crees_ + 3, crees_);
        commence_ = o.commence_;
        octets_existants_ = o.octets_existants_;
        o.donnees_ = o.header_ = o.log_ = nullptr;
        o.nom_donnees_.clear();
        o.nom_header_.clear();
        o.nom_log_.clear();
        std::fill(o.crees_, o.crees_ + 3, false);
        o.commence_ = false;
        o.octets_existants_ = 0;
    }
    return *this;
}

void FichiersRun::ferme()
{
    ferme_fichier(donnees_);
    if (commence_) {
        ferme_compagnon(log_, nom_log_);
        ferme_compagnon(header_, nom_header_);
    } else {
        // Never used by a run: what was there stays, what was not goes.
        ferme_fichier(log_);
        ferme_fichier(header_);
        const std::string* noms[3] = {&nom_donnees_, &nom_header_, &nom_log_};
        for (int i = 0; i < 3; ++i) {
            std::error_code ec;
            if (crees_[i])
                std::filesystem::remove(std::filesystem::u8path(*noms[i]), ec);
        }
        nom_header_.clear();
        nom_log_.clear();
    }
    std::fill(crees_, crees_ + 3, false);
    commence_ = false;
    octets_existants_ = 0;
}

int FichiersRun::ferme_donnees()
{
    if (!donnees_)
        return 0;
    errno = 0;
    const int r = std::fclose(donnees_);
    const int err = errno;
    donnees_ = nullptr;
    return r == 0 ? 0 : (err ? err : -1);
}

int FichiersRun::prepare(const std::string& data_path, const Journal& j)
{
    ferme();
    nom_donnees_ = data_path;
    nom_header_ = nom_compagnon(data_path, ".Ond");
    nom_log_ = nom_compagnon(data_path, ".log");
    const std::string* noms[3] = {&nom_donnees_, &nom_header_, &nom_log_};
    std::FILE** flux[3] = {&donnees_, &header_, &log_};
    for (int i = 0; i < 3; ++i) {
        const uint64_t taille = taille_fichier(*noms[i]);
        *flux[i] = ouvre_sans_changer(*noms[i], crees_[i]);
        const int err = errno;
        // One run per name: the data file stays locked until it is closed.
        const bool pris = *flux[i] && i == 0 && !verrouille_fichier(*flux[i]);
        if (pris || (!*flux[i] && err == EEXIST && i == 0)) {
            j.call_verb("Le fichier " + *noms[i] + " est pris par une autre acquisition : choisir un autre nom\r\n", 1);
            // What the other run holds is not this one's to remove.
            std::fill(crees_, crees_ + 3, false);
            ferme();
            return -1;
        }
        if (!*flux[i]) {
            j.call_verb("Impossible de créer le fichier " + *noms[i] + " : " + std::strerror(err) + "\r\n");
            ferme();
            return -1;
        }
        if (!crees_[i])
            octets_existants_ += taille;
    }
    return 0;
}

int FichiersRun::commence(const type_header_file& h, int nb_voies, int nb_micros, const std::string& commentaire,
                          const Journal& j)
{
    const std::string* noms[3] = {&nom_donnees_, &nom_header_, &nom_log_};
    std::FILE* flux[3] = {donnees_, header_, log_};
    for (int i = 0; i < 3; ++i) {
        if (!vide_fichier(flux[i])) {
            int err = errno;
            j.call_verb("Impossible de vider le fichier " + *noms[i] + " : " + std::strerror(err) + "\r\n");
            return -1;
        }
        // The old recording is gone with its data file: from here on the
        // files are the run's.
        commence_ = true;
    }
    octets_existants_ = 0;
    reserve(header_, HEADER_FILE_SIZE);
    reserve(log_, RESERVE_DESCRIPTION);
    // Whatever stops the run from here on, its data can be read: the record
    // says everything but the frame count, which the data file gives.
    type_header_file debut = h;
    debut.nb_ech = 0;
    debut.duree_acq = 0;
    ecrit_compagnons(header_, log_, nom_donnees_, debut, nb_voies, nb_micros, commentaire, j);
    std::clearerr(header_);
    std::clearerr(log_);
    std::fseek(header_, 0, SEEK_SET);
    std::fseek(log_, 0, SEEK_SET);
    return 0;
}

int FichiersRun::ecrit_log(const type_header_file& h, int nb_voies, int nb_micros, const std::string& commentaire,
                           const Journal& j)
{
    return ecrit_compagnons(header_, log_, nom_donnees_, h, nb_voies, nb_micros, commentaire, j);
}

int ecrit_compagnons(std::FILE* header, std::FILE* log, const std::string& data_path, const type_header_file& h,
                     int nb_voies, int nb_micros, const std::string& commentaire, const Journal& j)
{
    int resultat = 0;
    if (ecrit_header(h, header) != 0 || std::fflush(header) != 0) {
        j.call_verb("Erreur d'écriture du fichier " + nom_compagnon(data_path, ".Ond") + "\r\n");
        resultat = -1;
    }
    if (ecrit_texte(log, texte_description(j.conv, h, nb_voies, nb_micros, commentaire)) != 0) {
        j.call_verb("Erreur d'écriture du fichier " + nom_compagnon(data_path, ".log") + "\r\n");
        resultat = -1;
    }
    return resultat;
}
