#include "files/nommage.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "base/plateforme.h"

namespace {

// Number of characters of UTF-8 text.
size_t caracteres(const std::string& s)
{
    size_t n = 0;
    for (unsigned char ch : s)
        n += (ch & 0xC0) != 0x80;
    return n;
}

// The first `n` characters of UTF-8 text.
std::string debut(const std::string& s, size_t n)
{
    size_t i = 0;
    for (size_t k = 0; i < s.size(); ++i) {
        if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80 && k++ == n)
            break;
    }
    return s.substr(0, i);
}

} // namespace

bool dossier_existe(const std::string& dossier)
{
    std::error_code ec;
    return !dossier.empty() && std::filesystem::is_directory(std::filesystem::u8path(dossier), ec);
}

bool finit_par_dat(const std::string& s)
{
    if (s.size() < 4)
        return false;
    std::string ext = s.substr(s.size() - 4);
    for (char& ch : ext)
        if (ch >= 'A' && ch <= 'Z')
            ch = static_cast<char>(ch - 'A' + 'a');
    return ext == ".dat";
}

std::string commentaire_de(const std::string& saisi)
{
    std::string texte;
    texte.reserve(saisi.size());
    for (size_t i = 0; i < saisi.size(); ++i) {
        char ch = saisi[i];
        if (ch == '\r') {
            texte += "\r\n";
            if (i + 1 < saisi.size() && saisi[i + 1] == '\n')
                ++i;
        } else if (ch == '\n') {
            texte += "\r\n";
        } else {
            texte += ch;
        }
    }
    std::string c = caracteres(texte) > 1024 ? debut(texte, 1024) : texte;
    size_t n = caracteres(c);
    if (n < 1023)
        c.append(1023 - n, ' ');
    return c;
}

void champ_commentaire(const std::string& commentaire, char (&champ)[TAILLE_COMMENTAIRE])
{
    std::string octets = vers_code_page(commentaire);
    octets += '\0';
    std::memset(champ, ' ', TAILLE_COMMENTAIRE);
    std::memcpy(champ, octets.data(), std::min(octets.size(), TAILLE_COMMENTAIRE));
}
