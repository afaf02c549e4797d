#include "base/disque.h"

#include <filesystem>

uint64_t Disque::espace(const std::string& chemin)
{
    const std::string dossier = std::filesystem::u8path(chemin).parent_path().u8string();
    uint64_t octets = 0;
    return espace_libre(dossier, octets) ? octets : 0;
}

std::size_t Disque::ecrit(std::FILE* f, const unsigned char* octets, std::size_t n)
{
    return f ? std::fwrite(octets, 1, n, f) : 0;
}

FichierDirect* Disque::ouvre_direct(const std::string& chemin, int& err) { return ::ouvre_direct(chemin, err); }

std::size_t Disque::ecrit_direct(FichierDirect* f, uint64_t position, const unsigned char* octets, std::size_t n)
{
    return ::ecrit_direct(f, position, octets, n);
}

int Disque::ferme_direct(FichierDirect* f) { return ::ferme_direct(f); }

Disque& disque_systeme()
{
    static Disque d;
    return d;
}
