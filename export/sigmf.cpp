#include <cerrno>
#include <cstring>
#include <filesystem>

#include <nlohmann/json.hpp>

#include "base/version.h"
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

    // Keys in the order they are written in, global fields first.
    using Json = nlohmann::ordered_json;
    Json global = {
        {"core:version", "1.0.0"},
        {"core:datatype", e.flottant ? "rf32_le" : "ri32_le"},
        {"core:sample_rate", static_cast<double>(e.frequence)},
        {"core:num_channels", d.nb_voies},
        {"core:dataset", dataset},
    };
    if (e.reste != 0)
        global["core:trailing_bytes"] = e.reste;
    global["core:recorder"] = std::string("Ondaris 1024 (ondaris-export ") + version_ondaris() + ")";
    if (!e.commentaire.empty())
        global["core:description"] = e.commentaire;
    global["core:extensions"] = Json::array({{{"name", "ondaris"}, {"version", "1.0.0"}, {"optional", true}}});
    Json codes = Json::array(), entiers = Json::array();
    for (int w = 0; w < d.nb_voies; ++w) {
        codes.push_back(d.codes[w]);
        if (mot_entier(d.codes[w]))
            entiers.push_back(w);
    }
    global["ondaris:codes_voies"] = codes;
    global["ondaris:mots_entiers"] = entiers;
    global["ondaris:place_mot_etat_inconnue"] = d.etat;
    global["ondaris:heure_locale"] = iso_local(e.header.date_heure);
    Json capture = {{"core:sample_start", 0}};
    std::string utc;
    if (iso_utc(e.header.date_heure, utc))
        capture["core:datetime"] = utc;
    const Json meta = {{"global", global}, {"captures", Json::array({capture})}, {"annotations", Json::array()}};
    // Text from the header that is not UTF-8 (the comment) is kept with
    // U+FFFD in the place of the bytes that are not.
    const std::string j = meta.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";

    return ecrit_fichier_entier(chemin, j, erreur);
}
