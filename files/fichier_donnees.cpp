#include "files/fichier_donnees.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "app/model/principale.h"

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

void ferme(std::FILE*& f)
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
    ferme(f);
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

} // namespace

void ferme_fichiers(Principale& p)
{
    ferme(p.Filep);
    ferme_compagnon(p.log, p.nom_log);
    ferme_compagnon(p.fichier_header, p.nom_header);
    p.file_open = false;
}

int ouvre_fichiers(Principale& p)
{
    ferme_fichiers(p);
    const std::string noms[3] = {p.acqui_name, nom_compagnon(p.acqui_name, ".Ond"),
                                 nom_compagnon(p.acqui_name, ".log")};
    std::FILE** flux[3] = {&p.Filep, &p.fichier_header, &p.log};
    const char* modes[3] = {"wb+", "wb", "wb"};
    for (int i = 0; i < 3; ++i) {
        *flux[i] = ouvre_fichier(noms[i], modes[i]);
        if (!*flux[i]) {
            int err = errno;
            p.call_verb("Impossible de créer le fichier " + noms[i] + " : " + std::strerror(err) + "\r\n");
            ferme_fichiers(p);
            return -1;
        }
    }
    p.nom_header = noms[1];
    p.nom_log = noms[2];
    reserve(p.fichier_header, HEADER_FILE_SIZE);
    reserve(p.log, RESERVE_DESCRIPTION);
    p.file_open = true;
    return 0;
}
