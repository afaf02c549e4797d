#include "analyse/sante.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstring>

namespace {

// The band filter: a 4th-order Butterworth high-pass at fs/4, as two
// biquads from the bilinear transform. At fs/4 the prewarped K = tan(pi/4)
// is 1, so the coefficients do not depend on the sampling rate:
// b = (1, -2, 1) / (2 + 1/Q), a1 = 0, a2 = (2 - 1/Q) / (2 + 1/Q), with
// 1/Q = 2 cos(pi/8) and 2 cos(3 pi/8) for the two sections.
struct Section {
    double b0, a2;
};
const Section SECTIONS[2] = {
    {1.0 / (2.0 + 1.8477590650225735), (2.0 - 1.8477590650225735) / (2.0 + 1.8477590650225735)},
    {1.0 / (2.0 + 0.7653668647301796), (2.0 - 0.7653668647301796) / (2.0 + 0.7653668647301796)},
};

// Transposed direct form II; z holds the section's two states.
inline double filtre(const Section& s, double x, double* z)
{
    const double y = s.b0 * x + z[0];
    z[0] = -2.0 * s.b0 * x + z[1];
    z[1] = s.b0 * x - s.a2 * y;
    return y;
}

double niveau_db(double moyenne_carres)
{
    if (!(moyenne_carres > 0))
        return NIVEAU_PLANCHER;
    return std::max(NIVEAU_PLANCHER, 10.0 * std::log10(moyenne_carres) - 15.0);
}

double mediane(std::vector<double> v)
{
    const size_t k = v.size() / 2;
    std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(k), v.end());
    if (v.size() % 2)
        return v[k];
    const double haut = v[k];
    return (*std::max_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(k)) + haut) / 2;
}

} // namespace

int voisins_grille(int micro, int* voisins)
{
    const int f = micro / 8, j = micro % 8;
    int n = 0;
    for (int df = -1; df <= 1; ++df)
        for (int dj = -1; dj <= 1; ++dj) {
            const int g = f + df, k = j + dj;
            if ((df != 0 || dj != 0) && g >= 0 && g < 128 && k >= 0 && k < 8)
                voisins[n++] = 8 * g + k;
        }
    return n;
}

void micros_du_cadre(const std::vector<int32_t>& codes, std::vector<int32_t>& micros, std::vector<int32_t>& mots)
{
    std::vector<std::pair<int32_t, int32_t>> paires; // (microphone, word)
    for (size_t w = 0; w < codes.size(); ++w)
        if (codes[w] >= 0 && codes[w] < 1024)
            paires.push_back({codes[w], static_cast<int32_t>(w)});
    std::sort(paires.begin(), paires.end());
    micros.clear();
    mots.clear();
    for (const auto& p : paires) {
        micros.push_back(p.first);
        mots.push_back(p.second);
    }
}

AnalyseMicros::AnalyseMicros(const std::vector<int32_t>& codes, bool flottant)
    : nb_mots_(codes.size()), flottant_(flottant)
{
    micros_du_cadre(codes, micros_, mots_micros_);
    etats_.resize(micros_.size());
}

void AnalyseMicros::ajoute(const uint32_t* mots, size_t trames, bool suite)
{
    if (!suite)
        troncon_ = 0;
    for (size_t t = 0; t < trames; ++t, ++trames_, ++troncon_) {
        const uint32_t* trame = mots + t * nb_mots_;
        const bool amorce = troncon_ < static_cast<uint64_t>(TRAMES_AMORCE);
        en_bande_ += amorce ? 0 : 1;
        for (size_t k = 0; k < etats_.size(); ++k) {
            Etat& e = etats_[k];
            const uint32_t mot = trame[mots_micros_[k]];
            double x;
            if (flottant_) {
                float f;
                std::memcpy(&f, &mot, 4);
                x = std::isfinite(f) ? static_cast<double>(f) : (f < 0 ? -PLEINE_ECHELLE : PLEINE_ECHELLE);
            } else {
                x = static_cast<int32_t>(mot);
            }
            if (trames_ == 0)
                e.origine = e.valeur = e.valeur_palier = x;
            if (troncon_ == 0) {
                e.depart = x;
                std::fill(e.z, e.z + 4, 0.0);
            }
            const double d = x - e.origine;
            e.somme += d;
            e.carres += d * d;
            e.crete = std::max(e.crete, std::fabs(x));
            if (x >= PLEINE_ECHELLE - 1 || x <= -PLEINE_ECHELLE)
                ++e.pleine;
            if (x == e.valeur) {
                if (++e.longueur > e.palier) {
                    e.palier = e.longueur;
                    e.valeur_palier = x;
                }
            } else {
                e.valeur = x;
                e.longueur = 1;
            }
            // Taken from the first sample, the filter starts settled on it.
            const double y = filtre(SECTIONS[1], filtre(SECTIONS[0], x - e.depart, e.z), e.z + 2);
            if (!amorce)
                e.bande += y * y;
        }
    }
}

std::vector<StatistiquesMicro> AnalyseMicros::bilan() const
{
    const uint64_t n = trames_;
    std::vector<StatistiquesMicro> r(etats_.size());
    std::vector<int> rang(1024, -1);
    for (size_t k = 0; k < etats_.size(); ++k) {
        const Etat& e = etats_[k];
        StatistiquesMicro& s = r[k];
        s.micro = micros_[k];
        rang[static_cast<size_t>(s.micro)] = static_cast<int>(k);
        s.n = n;
        if (n == 0)
            continue;
        const double m = e.somme / static_cast<double>(n);
        s.moyenne = e.origine + m;
        s.rms = std::sqrt(std::max(0.0, e.carres / static_cast<double>(n) - m * m));
        s.crete = e.crete;
        s.part_pleine_echelle = static_cast<double>(e.pleine) / static_cast<double>(n);
        s.palier = e.palier;
        s.valeur_palier = e.valeur_palier;
        s.niveau_bande = en_bande_ > 0 ? niveau_db(e.bande / static_cast<double>(en_bande_)) : NIVEAU_PLANCHER;
    }

    std::vector<double> niveaux;
    for (StatistiquesMicro& s : r) {
        int v[8];
        const int nv = voisins_grille(s.micro, v);
        niveaux.clear();
        for (int i = 0; i < nv; ++i)
            if (rang[static_cast<size_t>(v[i])] >= 0)
                niveaux.push_back(r[static_cast<size_t>(rang[static_cast<size_t>(v[i])])].niveau_bande);
        s.nb_voisins = static_cast<int>(niveaux.size());
        if (s.nb_voisins > 0)
            s.mediane_voisins = mediane(niveaux);
        if (s.n == 0)
            continue;

        const bool voisins = s.nb_voisins > 0 && en_bande_ > 0;
        const uint64_t palier_min = std::min<uint64_t>(SEUIL_PALIER, s.n);
        const bool fige = s.n >= 2 && s.palier >= palier_min && s.valeur_palier != 0;
        const bool muet =
            !fige && (s.rms < SEUIL_MUET_RMS || (voisins && s.niveau_bande <= s.mediane_voisins - SEUIL_MUET_DB));
        const bool sature = !fige && s.part_pleine_echelle >= SEUIL_SATURE;
        const bool continu = !fige && !muet && std::fabs(s.moyenne) >= SEUIL_CONTINU && std::fabs(s.moyenne) >= s.rms;
        const bool bruyant =
            !fige && !muet && !sature && voisins && s.niveau_bande >= s.mediane_voisins + SEUIL_BRUYANT_DB;
        s.defauts = (fige ? FIGE : 0u) | (muet ? MUET : 0u) | (sature ? SATURE : 0u) | (continu ? CONTINU : 0u) |
                    (bruyant ? BRUYANT : 0u);
    }
    return r;
}

std::string noms_defauts(unsigned defauts)
{
    static const std::pair<Defaut, const char*> noms[] = {
        {MUET, "muet"}, {FIGE, "figé"}, {SATURE, "saturé"}, {BRUYANT, "bruyant"}, {CONTINU, "décalage continu"}};
    std::string t;
    for (const auto& p : noms)
        if (defauts & p.first)
            t += (t.empty() ? "" : ", ") + std::string(p.second);
    return t;
}

std::string raisons(const StatistiquesMicro& s)
{
    std::string t;
    char b[160];
    auto ajoute = [&t](const char* r) { t += (t.empty() ? "" : ", ") + std::string(r); };
    if (s.defauts & MUET) {
        if (s.rms < SEUIL_MUET_RMS)
            std::snprintf(b, sizeof b, "muet (RMS %.2f)", s.rms);
        else
            std::snprintf(b, sizeof b, "muet (%.1f dB sous ses voisins)", s.mediane_voisins - s.niveau_bande);
        ajoute(b);
    }
    if (s.defauts & FIGE) {
        std::snprintf(b, sizeof b, "figé (%.0f sur %llu échantillons de suite)", s.valeur_palier,
                      static_cast<unsigned long long>(s.palier));
        ajoute(b);
    }
    if (s.defauts & SATURE) {
        std::snprintf(b, sizeof b, "saturé (%.1f %% à pleine échelle)", 100.0 * s.part_pleine_echelle);
        ajoute(b);
    }
    if (s.defauts & BRUYANT) {
        std::snprintf(b, sizeof b, "bruyant (+%.1f dB sur ses voisins)", s.niveau_bande - s.mediane_voisins);
        ajoute(b);
    }
    if (s.defauts & CONTINU) {
        std::snprintf(b, sizeof b, "décalage continu (moyenne %.0f)", s.moyenne);
        ajoute(b);
    }
    return t;
}

std::string compte_signales(const std::vector<StatistiquesMicro>& bilan)
{
    int signales = 0, par_defaut[5] = {};
    for (const StatistiquesMicro& s : bilan) {
        signales += s.defauts ? 1 : 0;
        for (int k = 0; k < 5; ++k)
            par_defaut[k] += (s.defauts >> k) & 1;
    }
    if (signales == 0)
        return "aucun signalé";
    std::string detail;
    for (int k = 0; k < 5; ++k)
        if (par_defaut[k])
            detail += (detail.empty() ? " (" : ", ") + noms_defauts(1u << k) + " " + std::to_string(par_defaut[k]);
    return std::to_string(signales) + (signales > 1 ? " signalés" : " signalé") + detail + ")";
}
