#include <cerrno>
#include <cstring>
#include <vector>

#include "export/formats.h"
#include "files/fichier_donnees.h"

namespace {

bool petit_boutiste()
{
    const uint32_t un = 1;
    unsigned char b;
    std::memcpy(&b, &un, 1);
    return b == 1;
}

// Words as little-endian bytes.
bool ecrit_mots(std::FILE* f, const uint32_t* mots, size_t n)
{
    if (petit_boutiste())
        return std::fwrite(mots, 4, n, f) == n;
    std::vector<unsigned char> b(4 * n);
    for (size_t i = 0; i < n; ++i)
        for (int k = 0; k < 4; ++k)
            b[4 * i + k] = static_cast<unsigned char>(mots[i] >> (8 * k));
    return std::fwrite(b.data(), 1, b.size(), f) == b.size();
}

bool cree(FichierEntier& f, const std::string& chemin, const std::string& entete, std::string& erreur)
{
    if (f.ouvre(chemin, erreur) != 0)
        return false;
    if (std::fwrite(entete.data(), 1, entete.size(), f.flux()) != entete.size()) {
        erreur = chemin + " : écriture impossible";
        f.abandonne();
        return false;
    }
    return true;
}

} // namespace

std::string entete_npy(const std::string& descr, uint64_t lignes, uint64_t colonnes)
{
    std::string dict = "{'descr': '" + descr + "', 'fortran_order': False, 'shape': (" + std::to_string(lignes) + ", " +
                       std::to_string(colonnes) + "), }";
    // Magic, version, length field, dictionary, padding and '\n' end on a
    // multiple of 64.
    auto complete = [&](size_t champ) {
        size_t total = 8 + champ + dict.size() + 1;
        return dict + std::string((64 - total % 64) % 64, ' ') + "\n";
    };
    std::string d = complete(2);
    std::string out = "\x93NUMPY";
    if (d.size() <= 0xFFFF) {
        out += '\x01';
        out += '\x00';
        out += static_cast<char>(d.size() & 0xFF);
        out += static_cast<char>(d.size() >> 8);
    } else {
        d = complete(4);
        out += '\x02';
        out += '\x00';
        for (int k = 0; k < 4; ++k)
            out += static_cast<char>((d.size() >> (8 * k)) & 0xFF);
    }
    return out + d;
}

int SortieNpy::ouvre(const Enregistrement& e, const Choix& c, const std::string& chemin,
                     const std::string& chemin_entiers, std::string& erreur)
{
    n_ech_ = c.echantillons.size();
    n_ent_ = c.entiers.size();
    lignes_ = c.nb_trames;
    ecrites_ = 0;
    if (n_ech_ > 0 &&
        !cree(ech_, chemin, entete_npy(echantillons_flottants(e, c) ? "<f4" : "<i4", c.nb_trames, n_ech_), erreur))
        return -1;
    if (n_ent_ > 0 && !cree(ent_, chemin_entiers, entete_npy("<u4", c.nb_trames, n_ent_), erreur)) {
        abandonne();
        return -1;
    }
    return 0;
}

int SortieNpy::ecrit(uint32_t* echantillons, uint32_t* entiers, size_t n, std::string& erreur)
{
    if ((ech_.flux() && !ecrit_mots(ech_.flux(), echantillons, n * n_ech_)) ||
        (ent_.flux() && !ecrit_mots(ent_.flux(), entiers, n * n_ent_))) {
        erreur = std::string("écriture impossible : ") + std::strerror(errno);
        return -1;
    }
    ecrites_ += n;
    return 0;
}

int SortieNpy::ferme(std::string& erreur)
{
    // The header promised every row: short of them, no file.
    if (ecrites_ != lignes_) {
        abandonne();
        if (erreur.empty())
            erreur = "export incomplet";
        return -1;
    }
    for (FichierEntier* f : {&ech_, &ent_})
        if (f->flux() && f->termine(erreur) != 0) {
            abandonne();
            return -1;
        }
    return 0;
}

void SortieNpy::abandonne()
{
    ech_.abandonne();
    ent_.abandonne();
}
