#include "base/disque.h"

#include <filesystem>

#include "base/plateforme.h"

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

Disque& disque_systeme()
{
    static Disque d;
    return d;
}
