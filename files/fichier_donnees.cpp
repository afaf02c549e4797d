#include "files/fichier_donnees.h"

#include <cerrno>
#include <cstring>

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

} // namespace

void ferme_fichiers(Principale& p)
{
    ferme(p.Filep);
    ferme(p.log);
    ferme(p.fichier_header);
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
    p.file_open = true;
    return 0;
}
