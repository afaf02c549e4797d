#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>

#include <nlohmann/json.hpp>

#include "base/version.h"
#include "export/formats.h"
#include "files/fichier_donnees.h"
#include "files/lignes.h"

namespace {

using Json = nlohmann::ordered_json;

// The metadata's fields; `appliques`: the values are already scaled by the
// factors (HDF5, NumPy), else the factors are to be applied (SigMF).
Json champs_metadonnees(const Metadonnees& m, const std::vector<int32_t>& codes, bool appliques)
{
    Json j;
    j["ondaris:logiciel"] = std::string("ondaris-export ") + version_ondaris();
    if (appliques)
        j["ondaris:codes_colonnes"] = codes;
    j["ondaris:geometrie"] = m.geometrie.empty() ? Json("inconnue") : Json(m.geometrie);
    Json positions = Json::array();
    for (const Point3& p : m.positions)
        positions.push_back(std::isfinite(p.x) ? Json::array({p.x, p.y, p.z}) : Json());
    j["ondaris:positions_m"] = positions;
    if (m.calibration.empty()) {
        j["ondaris:calibration"] = nullptr;
    } else {
        j["ondaris:calibration"] = {
            {"fichier", m.calibration},
            {"date", m.date_calibration.empty() ? Json("inconnue") : Json(m.date_calibration)},
            {"niveau_calibreur_db_spl", m.niveau_calibreur > 0 ? Json(m.niveau_calibreur) : Json("inconnu")}};
    }
    j[appliques ? "ondaris:facteurs_appliques_pa_par_point" : "ondaris:facteurs_pa_par_point"] = m.facteurs;
    if (appliques) {
        j["ondaris:unites"] = m.unites;
    } else {
        j["ondaris:unites"] = std::vector<std::string>(m.unites.size(), "point");
        j["ondaris:unites_apres_facteur"] = m.unites;
    }
    j["ondaris:temperature"] = "inconnue (non enregistrée)";
    j["ondaris:celerite_m_s"] = m.celerite;
    j["ondaris:celerite_origine"] =
        m.celerite_supposee ? "valeur par défaut du programme, température inconnue" : "mesurée";
    return j;
}

} // namespace

std::string json_metadonnees(const Enregistrement& e, const Metadonnees& m, const std::vector<int32_t>& codes)
{
    Json j = {{"source", std::filesystem::u8path(e.dat).filename().u8string()},
              {"frequence_hz", static_cast<double>(e.frequence)},
              {"date", iso_local(e.header.date_heure)}};
    j.update(champs_metadonnees(m, codes, true));
    return j.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

int ecrit_sigmf(const Enregistrement& e, const std::string& chemin, std::string& erreur, const Metadonnees* m)
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
    if (m)
        global.update(champs_metadonnees(*m, d.codes, false));
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
