#include <cerrno>
#include <cstring>
#include <filesystem>

#include "export/formats.h"
#include "files/fichier_donnees.h"
#include "files/lignes.h"

int ecrit_sigmf(const Enregistrement& e, const std::string& chemin, std::string& erreur)
{
    const Disposition& d = e.disposition;
    // The data file as seen from the metadata's folder.
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::path dossier = fs::absolute(fs::u8path(chemin), ec).parent_path();
    fs::path dat = fs::absolute(fs::u8path(e.dat), ec);
    fs::path relatif = dat.lexically_relative(dossier);
    std::string dataset = relatif.empty() ? dat.generic_u8string() : relatif.generic_u8string();

    std::string codes, entiers;
    for (int w = 0; w < d.nb_voies; ++w) {
        codes += (w ? ", " : "") + std::to_string(d.codes[w]);
        if (mot_entier(d.codes[w]))
            entiers += (entiers.empty() ? "" : ", ") + std::to_string(w);
    }
    char frequence[32];
    std::snprintf(frequence, sizeof frequence, "%.1f", static_cast<double>(e.frequence));

    std::string j = "{\n  \"global\": {\n";
    j += "    \"core:version\": \"1.0.0\",\n";
    j += std::string("    \"core:datatype\": \"") + (e.flottant ? "rf32_le" : "ri32_le") + "\",\n";
    j += std::string("    \"core:sample_rate\": ") + frequence + ",\n";
    j += "    \"core:num_channels\": " + std::to_string(d.nb_voies) + ",\n";
    j += "    \"core:dataset\": " + json_texte(dataset) + ",\n";
    if (e.reste != 0)
        j += "    \"core:trailing_bytes\": " + std::to_string(e.reste) + ",\n";
    j += "    \"core:recorder\": \"Ondaris 1024\",\n";
    if (!e.commentaire.empty())
        j += "    \"core:description\": " + json_texte(e.commentaire) + ",\n";
    j += "    \"core:extensions\": [{\"name\": \"ondaris\", \"version\": \"1.0.0\", \"optional\": true}],\n";
    j += "    \"ondaris:codes_voies\": [" + codes + "],\n";
    j += "    \"ondaris:mots_entiers\": [" + entiers + "],\n";
    j += std::string("    \"ondaris:place_mot_etat_inconnue\": ") + (d.etat ? "true" : "false") + ",\n";
    j += "    \"ondaris:heure_locale\": " + json_texte(iso_local(e.header.date_heure)) + "\n";
    j += "  },\n  \"captures\": [\n    {\"core:sample_start\": 0";
    std::string utc;
    if (iso_utc(e.header.date_heure, utc))
        j += ", \"core:datetime\": " + json_texte(utc);
    j += "}\n  ],\n  \"annotations\": []\n}\n";

    std::FILE* f = ouvre_fichier(chemin, "wb");
    if (!f) {
        erreur = chemin + " : " + std::strerror(errno);
        return -1;
    }
    bool ok = ecrit_texte(f, j) == 0;
    ok = std::fclose(f) == 0 && ok;
    if (!ok)
        erreur = chemin + " : écriture impossible";
    return ok ? 0 : -1;
}
