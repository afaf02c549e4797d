#include "base/fichier_entier.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "base/plateforme.h"

namespace fs = std::filesystem;

namespace {

const char* const SUFFIXE = ".partiel";

// ".NAME." in the folder of `chemin`: what its temporaries begin with.
std::string prefixe(const fs::path& p) { return "." + p.filename().u8string() + "."; }

std::string nom_temporaire(const fs::path& p)
{
    // Unique enough to be created at the first try; the exclusive creation
    // settles the rest.
    static std::atomic<unsigned> compte{0};
    const uint64_t t = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    uint64_t h =
        (t ^ (uint64_t(compte.fetch_add(1)) << 40) ^ reinterpret_cast<uintptr_t>(&compte)) * 0x9E3779B97F4A7C15ull;
    char x[17];
    std::snprintf(x, sizeof x, "%08x", static_cast<unsigned>(h >> 32));
    return (p.parent_path() / fs::u8path(prefixe(p) + x + SUFFIXE)).u8string();
}

std::string raison(int err) { return err ? std::strerror(err) : "écriture impossible"; }

} // namespace

void nettoie_temporaires(const std::string& chemin)
{
    const fs::path p = fs::u8path(chemin);
    const fs::path dossier = p.parent_path().empty() ? fs::path(".") : p.parent_path();
    const std::string debut = prefixe(p);
    std::error_code ec;
    for (fs::directory_iterator it(dossier, ec), fin; !ec && it != fin; it.increment(ec)) {
        const std::string n = it->path().filename().u8string();
        if (n.size() <= debut.size() + std::strlen(SUFFIXE) || n.compare(0, debut.size(), debut) != 0 ||
            n.compare(n.size() - std::strlen(SUFFIXE), std::string::npos, SUFFIXE) != 0)
            continue;
        // A writer at work holds its temporary's lock.
        const std::string t = it->path().u8string();
        std::FILE* f = ouvre_fichier(t, "rb");
        if (!f)
            continue;
        const bool libre = verrouille_fichier(f);
        std::fclose(f);
        std::error_code e;
        if (libre)
            fs::remove(it->path(), e);
    }
}

int FichierEntier::ouvre(const std::string& chemin, std::string& erreur, bool garde_flux)
{
    abandonne();
    chemin_ = chemin;
    fs::path p = fs::u8path(chemin);
    std::error_code ec;
    const fs::file_status etat = fs::status(p, ec);
    if (fs::exists(etat) && !fs::is_regular_file(etat)) {
        // A device or a pipe (/dev/null, a terminal) is written as it is:
        // renaming over it would put a file in its place.
        flux_ = ouvre_fichier(chemin, "wb");
        if (!flux_) {
            erreur = chemin + " : " + raison(errno);
            return -1;
        }
        direct_ = true;
        temporaire_ = chemin;
        if (!garde_flux) {
            std::fclose(flux_);
            flux_ = nullptr;
        }
        return 0;
    }
    // Through a symbolic link, the file it names is replaced, not the link.
    if (fs::is_symlink(fs::symlink_status(p, ec))) {
        const fs::path cible = fs::weakly_canonical(p, ec);
        if (!ec)
            p = cible;
    }
    nettoie_temporaires(p.u8string());
    for (int essai = 0; essai < 16; ++essai) {
        const std::string t = nom_temporaire(p);
        std::FILE* f = cree_fichier_exclusif(t);
        if (!f && errno == EEXIST)
            continue;
        if (!f) {
            erreur = chemin + " : " + raison(errno);
            return -1;
        }
        final_ = p.u8string();
        temporaire_ = t;
        if (garde_flux) {
            verrouille_fichier(f);
            flux_ = f;
        } else if (std::fclose(f) != 0) {
            erreur = chemin + " : " + raison(errno);
            abandonne();
            return -1;
        }
        return 0;
    }
    erreur = chemin + " : pas de nom temporaire libre";
    return -1;
}

int FichierEntier::termine(std::string& erreur)
{
    if (temporaire_.empty()) {
        erreur = chemin_ + " : pas ouvert";
        return -1;
    }
    if (direct_) {
        bool ok = true;
        if (flux_) {
            errno = 0;
            ok = !std::ferror(flux_) && std::fflush(flux_) == 0;
            ok = std::fclose(flux_) == 0 && ok;
            flux_ = nullptr;
        }
        const int err = errno;
        direct_ = false;
        temporaire_.clear();
        if (!ok)
            erreur = chemin_ + " : " + raison(err);
        return ok ? 0 : -1;
    }
    bool ok = true;
    int err = 0;
    if (flux_) {
        errno = 0;
        ok = !std::ferror(flux_) && synchronise_fichier(flux_);
        err = errno;
        ok = std::fclose(flux_) == 0 && ok;
        err = err ? err : errno;
        flux_ = nullptr;
    } else {
        // Written by name and closed by its writer: to the disk all the same.
        std::FILE* f = ouvre_fichier(temporaire_, "r+b");
        ok = f && synchronise_fichier(f);
        err = errno;
        if (f)
            ok = std::fclose(f) == 0 && ok;
    }
    if (ok && !remplace_fichier(temporaire_, final_)) {
        ok = false;
        err = errno;
    }
    if (!ok) {
        erreur = chemin_ + " : " + raison(err);
        abandonne();
        return -1;
    }
    temporaire_.clear();
    return 0;
}

void FichierEntier::abandonne()
{
    if (flux_)
        std::fclose(flux_);
    flux_ = nullptr;
    if (direct_) {
        direct_ = false;
        temporaire_.clear();
    }
    if (!temporaire_.empty()) {
        std::error_code ec;
        fs::remove(fs::u8path(temporaire_), ec);
    }
    temporaire_.clear();
}

int ecrit_fichier_entier(const std::string& chemin, const std::string& octets, std::string& erreur)
{
    FichierEntier f;
    if (f.ouvre(chemin, erreur) != 0)
        return -1;
    if (std::fwrite(octets.data(), 1, octets.size(), f.flux()) != octets.size()) {
        erreur = chemin + " : " + raison(errno);
        return -1;
    }
    return f.termine(erreur);
}

bool meme_fichier(const std::string& a, const std::string& b)
{
    std::error_code ec;
    const fs::path pa = fs::u8path(a), pb = fs::u8path(b);
    if (fs::equivalent(pa, pb, ec) && !ec)
        return true;
    std::error_code ea, eb;
    const fs::path na = fs::weakly_canonical(fs::absolute(pa, ea), ea);
    const fs::path nb = fs::weakly_canonical(fs::absolute(pb, eb), eb);
    return !ea && !eb && na == nb;
}

int refuse_sorties_sur_entrees(const std::vector<std::string>& sorties, const std::vector<std::string>& entrees,
                               std::string& erreur)
{
    for (const std::string& s : sorties)
        for (const std::string& e : entrees)
            if (!s.empty() && !e.empty() && meme_fichier(s, e)) {
                erreur = s + (s == e ? "" : " (" + e + ")") +
                         " est un fichier de l'enregistrement lu : il n'est jamais écrasé, choisir une autre sortie";
                return -1;
            }
    return 0;
}
