#include "files/chemins.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

namespace {

bool separe(char c) { return c == '\\' || c == '/'; }

} // namespace

bool est_separateur(char c)
{
#ifdef _WIN32
    return separe(c);
#else
    return c == '/';
#endif
}

std::string avec_separateur(const std::string& dossier)
{
    if (dossier.empty() || est_separateur(dossier.back()))
        return dossier;
    return dossier + SEPARATEUR;
}

std::string dossier_initial()
{
    std::error_code ec;
#ifdef _WIN32
    // d:\ where the machine has it, else the working directory.
    if (std::filesystem::is_directory(std::filesystem::u8path("d:\\"), ec))
        return "d:\\";
#else
    const char* home = std::getenv("HOME");
    if (home && *home)
        return avec_separateur(home);
#endif
    std::filesystem::path cwd = std::filesystem::current_path(ec);
    if (!ec && !cwd.empty())
        return avec_separateur(cwd.u8string());
    return std::string(1, SEPARATEUR);
}

bool decoupe_chemin(const std::string& chemin, std::string& dossier, std::string& nom)
{
    size_t i = chemin.find_first_not_of(' ');
    if (i == std::string::npos)
        return false;
    std::string racine;
    while (i < chemin.size() && separe(chemin[i]))
        racine += SEPARATEUR, ++i;
    std::vector<std::string> pieces;
    while (i < chemin.size()) {
        size_t fin = i;
        while (fin < chemin.size() && !separe(chemin[fin]))
            ++fin;
        if (fin > i)
            pieces.push_back(chemin.substr(i, fin - i));
        i = fin + 1;
    }
    if (pieces.empty())
        return false;
    nom = pieces.back();
    dossier = racine;
    for (size_t k = 0; k + 1 < pieces.size(); ++k)
        dossier += pieces[k] + SEPARATEUR;
    return true;
}

std::string nom_court(const std::string& chemin) { return std::filesystem::u8path(chemin).filename().u8string(); }
