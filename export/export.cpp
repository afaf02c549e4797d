#include "export/export.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <ctime>

#include "analyse/formation.h"
#include "base/plateforme.h"

namespace {

bool entier(const std::string& s, long& v)
{
    if (s.empty() || s.size() > 9)
        return false;
    v = 0;
    for (char c : s) {
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + (c - '0');
    }
    return true;
}

// Runs of consecutive frame words copied to consecutive columns.
struct Tranche {
    int mot, colonne, longueur;
};

std::vector<Tranche> tranches(const std::vector<int>& mots)
{
    std::vector<Tranche> t;
    for (int i = 0; i < static_cast<int>(mots.size()); ++i) {
        if (!t.empty() && t.back().mot + t.back().longueur == mots[i] && t.back().colonne + t.back().longueur == i)
            ++t.back().longueur;
        else
            t.push_back({mots[i], i, 1});
    }
    return t;
}

void rassemble(const uint32_t* trames, size_t n, int nb_voies, const std::vector<Tranche>& t, size_t colonnes,
               uint32_t* out)
{
    if (colonnes == 0)
        return;
    for (size_t i = 0; i < n; ++i) {
        const uint32_t* trame = trames + i * static_cast<size_t>(nb_voies);
        uint32_t* ligne = out + i * colonnes;
        for (const Tranche& r : t)
            std::memcpy(ligne + r.colonne, trame + r.mot, 4 * static_cast<size_t>(r.longueur));
    }
}

// Sample words, raw bits of int32 or float32, become float32 times their
// column's factor, in place.
void met_a_l_echelle(uint32_t* mots, size_t n, const std::vector<double>& facteurs, bool flottant)
{
    const size_t colonnes = facteurs.size();
    for (size_t i = 0; i < n * colonnes; ++i) {
        double v;
        if (flottant) {
            float f;
            std::memcpy(&f, &mots[i], 4);
            v = f;
        } else {
            v = static_cast<int32_t>(mots[i]);
        }
        const float f = static_cast<float>(v * facteurs[i % colonnes]);
        std::memcpy(&mots[i], &f, 4);
    }
}

} // namespace

std::vector<double> facteurs_pascals(const Disposition& d, const Choix& c, const Calibration& cal)
{
    std::vector<double> f;
    for (int w : c.echantillons) {
        const int32_t code = d.codes[static_cast<size_t>(w)];
        f.push_back(code >= 0 && static_cast<size_t>(code) < cal.facteurs.size() ? cal.facteurs[code] : 1.0);
    }
    return f;
}

Metadonnees metadonnees(const Enregistrement& e, const Choix& c, const std::string& chemin_geometrie,
                        const Geometrie& g, const std::string& chemin_calibration, const OrigineCalibration& origine)
{
    Metadonnees m;
    m.geometrie = chemin_geometrie;
    m.calibration = chemin_calibration;
    m.date_calibration = origine.date;
    m.niveau_calibreur = origine.niveau_calibreur;
    m.celerite = CELERITE_SON;
    const double nan = std::nan("");
    for (size_t i = 0; i < c.echantillons.size(); ++i) {
        const int32_t code = e.disposition.codes[static_cast<size_t>(c.echantillons[i])];
        const bool micro = code >= 0 && code < 1024;
        m.positions.push_back(micro && static_cast<size_t>(code) < g.size() ? g[static_cast<size_t>(code)]
                                                                            : Point3{nan, nan, nan});
        const bool pascals = micro && !c.facteurs.empty();
        m.facteurs.push_back(pascals ? c.facteurs[i] : 1.0);
        m.unites.push_back(pascals ? "Pa" : "point");
    }
    return m;
}

int choisit_voies(const Disposition& d, const std::string& voies, Choix& c, std::string& erreur)
{
    std::vector<int> mots;
    if (voies.empty() || voies == "micros") {
        std::vector<std::pair<int, int>> micros; // (number, word)
        for (int w = 0; w < d.nb_voies; ++w)
            if (d.codes[w] >= 0 && d.codes[w] < 1024)
                micros.push_back({d.codes[w], w});
        std::sort(micros.begin(), micros.end());
        for (const auto& m : micros)
            mots.push_back(m.second);
        if (mots.empty()) {
            erreur = "aucun micro dans l'enregistrement (--voies tout ou une liste)";
            return -1;
        }
    } else if (voies == "tout") {
        for (int w = 0; w < d.nb_voies; ++w)
            mots.push_back(w);
    } else {
        size_t i = 0;
        while (i <= voies.size()) {
            size_t fin = voies.find(',', i);
            if (fin == std::string::npos)
                fin = voies.size();
            std::string item = voies.substr(i, fin - i);
            i = fin + 1;
            size_t tiret = item.find('-');
            long a, b;
            bool ok = tiret == std::string::npos
                          ? entier(item, a) && entier(item, b)
                          : entier(item.substr(0, tiret), a) && entier(item.substr(tiret + 1), b) && a <= b;
            if (!ok) {
                erreur = "--voies : « " + item + " » n'est ni un code ni un intervalle a-b";
                return -1;
            }
            // No code lies beyond the status word's.
            for (long code = a; code <= std::min<long>(b, CODE_ETAT); ++code) {
                auto it = std::find(d.codes.begin(), d.codes.end(), static_cast<int32_t>(code));
                if (it != d.codes.end()) {
                    mots.push_back(static_cast<int>(it - d.codes.begin()));
                } else if (a == b) {
                    erreur = "--voies : " + nom_voie(static_cast<int>(code)) + " n'est pas dans l'enregistrement";
                    return -1;
                }
            }
        }
        if (mots.empty()) {
            erreur = "--voies : aucune de ces voies n'est dans l'enregistrement";
            return -1;
        }
    }
    c.echantillons.clear();
    c.entiers.clear();
    for (int w : mots)
        (mot_entier(d.codes[w]) ? c.entiers : c.echantillons).push_back(w);
    return 0;
}

int choisit_plage(const Enregistrement& e, double debut, double duree, Choix& c, std::string& erreur)
{
    const double f = e.frequence;
    if (!(debut >= 0) || !(f > 0)) {
        erreur = "--debut : un nombre de secondes positif";
        return -1;
    }
    const double premiere = std::floor(debut * f + 1e-6);
    if (premiere > 0 && premiere >= static_cast<double>(e.nb_trames)) {
        erreur = "--debut : l'enregistrement dure " + std::to_string(static_cast<double>(e.nb_trames) / f) + " s";
        return -1;
    }
    c.premiere = static_cast<uint64_t>(premiere);
    c.nb_trames = e.nb_trames - c.premiere;
    if (duree >= 0) {
        const double n = std::floor(duree * f + 1e-6);
        if (n < static_cast<double>(c.nb_trames))
            c.nb_trames = static_cast<uint64_t>(n);
    }
    return 0;
}

int exporte(const Enregistrement& e, const Choix& c, Sortie& sortie, std::string& erreur,
            const std::function<void(uint64_t)>& progression)
{
    const int nb_voies = e.disposition.nb_voies;
    LecteurTrames lecteur;
    if (lecteur.ouvre(e.dat, nb_voies, c.premiere, erreur) != 0)
        return -1;
    // Blocks that stay in the processor's cache from the read to the write.
    const size_t par_bloc = trames_par_bloc(nb_voies, size_t(1) << 20);
    std::vector<uint32_t> bloc(par_bloc * static_cast<size_t>(nb_voies));
    std::vector<uint32_t> ech(par_bloc * c.echantillons.size()), ent(par_bloc * c.entiers.size());
    const auto t_ech = tranches(c.echantillons), t_ent = tranches(c.entiers);
    uint64_t faites = 0;
    while (faites < c.nb_trames) {
        size_t n = static_cast<size_t>(std::min<uint64_t>(par_bloc, c.nb_trames - faites));
        int64_t lues = lecteur.lit(bloc.data(), n);
        if (lues < 0) {
            erreur = "erreur de lecture de " + e.dat;
            return -1;
        }
        if (lues == 0) {
            erreur = e.dat + " est plus court que prévu";
            return -1;
        }
        const size_t k = static_cast<size_t>(lues);
        rassemble(bloc.data(), k, nb_voies, t_ech, c.echantillons.size(), ech.data());
        if (!c.facteurs.empty())
            met_a_l_echelle(ech.data(), k, c.facteurs, e.flottant);
        rassemble(bloc.data(), k, nb_voies, t_ent, c.entiers.size(), ent.data());
        if (sortie.ecrit(ech.data(), ent.data(), k, erreur) != 0)
            return -1;
        faites += k;
        if (progression)
            progression(faites);
    }
    return 0;
}

std::string iso_local(const type_date_heure& d)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04u-%02u-%02uT%02u:%02u:%02u.%03u", d.wYear, d.wMonth, d.wDay, d.wHour, d.wMinute,
                  d.wSecond, d.wMilliseconds);
    return buf;
}

bool iso_utc(const type_date_heure& d, std::string& out)
{
    if (d.wYear < 1970 || d.wMonth < 1 || d.wMonth > 12 || d.wDay < 1 || d.wDay > 31 || d.wHour > 23 ||
        d.wMinute > 59 || d.wSecond > 59 || d.wMilliseconds > 999)
        return false;
    std::tm local{};
    local.tm_year = d.wYear - 1900;
    local.tm_mon = d.wMonth - 1;
    local.tm_mday = d.wDay;
    local.tm_hour = d.wHour;
    local.tm_min = d.wMinute;
    local.tm_sec = d.wSecond;
    local.tm_isdst = -1;
    std::time_t t = std::mktime(&local);
    if (t == static_cast<std::time_t>(-1))
        return false;
    std::tm utc{};
    if (!heure_utc(t, utc))
        return false;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d.%03uZ", utc.tm_year + 1900, utc.tm_mon + 1,
                  utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, d.wMilliseconds);
    out = buf;
    return true;
}
