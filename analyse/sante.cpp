#include "analyse/sante.h"

#include "analyse/acoustique.h"

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

// The low band's filter: a 2nd-order Butterworth low-pass at fs/25 from the
// bilinear transform, K = tan(pi/25), whatever the sampling rate.
struct PasseBas {
    double b0, a1, a2;
};
PasseBas passe_bas()
{
    const double k = std::tan(3.14159265358979323846 / 25), r = std::sqrt(2.0);
    const double n = 1 / (1 + r * k + k * k);
    return {k * k * n, 2 * (k * k - 1) * n, (1 - r * k + k * k) * n};
}
const PasseBas PASSE_BAS = passe_bas();

inline double filtre_bas(double x, double* z)
{
    const double y = PASSE_BAS.b0 * x + z[0];
    z[0] = 2 * PASSE_BAS.b0 * x - PASSE_BAS.a1 * y + z[1];
    z[1] = PASSE_BAS.b0 * x - PASSE_BAS.a2 * y;
    return y;
}

// The blocks' levels, in steps of PAS_HISTOGRAMME dB from NIVEAU_PLANCHER.
constexpr double PAS_HISTOGRAMME = 0.25;
constexpr int CASES_HISTOGRAMME = 1040; // to 160 dB

int case_histogramme(double niveau)
{
    const int c = static_cast<int>(std::floor((niveau - NIVEAU_PLANCHER) / PAS_HISTOGRAMME));
    return std::clamp(c, 0, CASES_HISTOGRAMME - 1);
}

// Its median, within a step; NIVEAU_PLANCHER when empty.
double mediane_histogramme(const uint32_t* h, uint64_t total)
{
    if (total == 0)
        return NIVEAU_PLANCHER;
    const double moitie = static_cast<double>(total) / 2;
    double avant = 0;
    for (int c = 0; c < CASES_HISTOGRAMME; ++c) {
        if (h[c] > 0 && avant + h[c] >= moitie)
            return NIVEAU_PLANCHER + PAS_HISTOGRAMME * (c + (moitie - avant) / h[c]);
        avant += h[c];
    }
    return NIVEAU_PLANCHER;
}

// Correlation from sums over n: of a, b, a^2, b^2, ab. 0 when either is flat.
double correlation(double n, double sa, double sb, double saa, double sbb, double sab)
{
    if (!(n > 1))
        return 0;
    const double ma = sa / n, mb = sb / n;
    const double va = saa / n - ma * ma, vb = sbb / n - mb * mb;
    if (!(va > 0) || !(vb > 0))
        return 0;
    return std::clamp((sab / n - ma * mb) / std::sqrt(va * vb), -1.0, 1.0);
}

// The lines of the low band: 50, 100, 150, 60, 120, 180 Hz, the calibrator's,
// and 75, 135, 165 Hz between the hum's (a bang's spectrum is flat there too).
const double RAIES_HZ[] = {50, 100, 150, 60, 120, 180, FREQUENCE_CALIBREUR, 75, 135, 165};

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

AnalyseMicros::AnalyseMicros(const std::vector<int32_t>& codes, bool flottant, const Geometrie* geometrie, double fe)
    : nb_mots_(codes.size()), flottant_(flottant), fe_(fe > 0 && std::isfinite(fe) ? fe : 0)
{
    micros_du_cadre(codes, micros_, mots_micros_);
    const size_t n = micros_.size();
    etats_.resize(n);
    anneaux_.resize(n);
    proches_.resize(n);
    std::vector<int> rang(1024, -1);
    for (size_t k = 0; k < n; ++k)
        rang[static_cast<size_t>(micros_[k])] = static_cast<int>(k);
    const bool places = geometrie && geometrie->size() >= 1024;
    std::vector<std::pair<double, int>> distances;
    for (size_t k = 0; k < n; ++k) {
        if (places) {
            const Point3& p = (*geometrie)[static_cast<size_t>(micros_[k])];
            distances.clear();
            for (size_t l = 0; l < n; ++l)
                if (l != k) {
                    const Point3& q = (*geometrie)[static_cast<size_t>(micros_[l])];
                    distances.push_back({std::hypot(p.x - q.x, p.y - q.y, p.z - q.z), static_cast<int>(l)});
                }
            const size_t a = std::min<size_t>(VOISINS_ANNEAU, distances.size());
            std::partial_sort(distances.begin(), distances.begin() + static_cast<std::ptrdiff_t>(a), distances.end());
            for (size_t i = 0; i < a; ++i)
                anneaux_[k].push_back(distances[i].second);
            proches_[k].assign(anneaux_[k].begin(),
                               anneaux_[k].begin() +
                                   std::min<std::ptrdiff_t>(VOISINS_PROCHES, static_cast<std::ptrdiff_t>(a)));
        } else {
            int v[8];
            const int nv = voisins_grille(micros_[k], v);
            for (int i = 0; i < nv; ++i)
                if (rang[static_cast<size_t>(v[i])] >= 0)
                    anneaux_[k].push_back(rang[static_cast<size_t>(v[i])]);
            proches_[k] = anneaux_[k];
        }
    }
    for (size_t k = 0; k < n; ++k)
        for (int l : proches_[k]) {
            const std::pair<int, int> p = {std::min(static_cast<int>(k), l), std::max(static_cast<int>(k), l)};
            paires_.push_back(p);
        }
    std::sort(paires_.begin(), paires_.end());
    paires_.erase(std::unique(paires_.begin(), paires_.end()), paires_.end());
    produits_bloc_.assign(paires_.size(), 0.0);
    produits_bas_.assign(paires_.size(), 0.0);
    histogrammes_.assign(n * CASES_HISTOGRAMME, 0);
    if (fe_ > 0) {
        const double fd = fe_ / DECIMATION;
        longueur_raies_ = static_cast<uint64_t>(std::llround(DUREE_BLOC_S * fd));
        for (int h = 0; h < NB_RAIES; ++h)
            omega_[h] = RAIES_HZ[h] < fd / 2 ? 2 * 3.14159265358979323846 * RAIES_HZ[h] / fd : 0;
        raies_.assign(n * 2 * NB_RAIES, 0.0);
        puissances_raies_.assign(n * NB_RAIES, 0.0);
        sommes_bloc_raies_.assign(n, 0.0);
    }
}

void AnalyseMicros::ajoute(const uint32_t* mots, size_t trames, bool suite)
{
    constexpr double PI = 3.14159265358979323846;
    if (!suite) {
        troncon_ = 0;
        dans_bloc_ = 0;
        dans_raies_ = 0;
        std::fill(raies_.begin(), raies_.end(), 0.0);
        std::fill(sommes_bloc_raies_.begin(), sommes_bloc_raies_.end(), 0.0);
        for (Etat& e : etats_)
            e.bloc = 0;
        std::fill(fenetre_raies_, fenetre_raies_ + 2 * NB_RAIES, 0.0);
    }
    const bool raies = longueur_raies_ > 0;
    std::vector<double>& bas = bas_courant_;
    bas.resize(etats_.size());
    for (size_t t = 0; t < trames; ++t, ++trames_, ++troncon_) {
        const uint32_t* trame = mots + t * nb_mots_;
        const bool amorce = troncon_ < static_cast<uint64_t>(TRAMES_AMORCE);
        const bool decime = !amorce && troncon_ % DECIMATION == 0;
        en_bande_ += amorce ? 0 : 1;
        // The Hann window and the lines' phases at this low-band sample.
        double c[NB_RAIES], s[NB_RAIES];
        double w = 0;
        if (decime && raies) {
            w = 0.5 - 0.5 * std::cos(2 * PI * (static_cast<double>(dans_raies_) + 0.5) /
                                     static_cast<double>(longueur_raies_));
            for (int h = 0; h < NB_RAIES; ++h) {
                const double phi = omega_[h] * static_cast<double>(dans_raies_);
                c[h] = w * std::cos(phi);
                s[h] = -w * std::sin(phi);
                fenetre_raies_[2 * h] += c[h];
                fenetre_raies_[2 * h + 1] += s[h];
            }
            somme_w_ += w;
            somme_w2_ += w * w;
        }
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
                e.origine = e.valeur = e.valeur_palier = e.haut = e.bas = x;
            // The filters start again after a gap, from the stream's first
            // sample: a start taken anew from each piece would give every
            // piece of the low band an offset of its own, which the
            // neighbours' correlation would read as signal.
            if (trames_ == 0)
                e.depart = x;
            if (troncon_ == 0) {
                std::fill(e.z, e.z + 4, 0.0);
                e.zb[0] = e.zb[1] = 0;
            }
            const double d = x - e.origine;
            e.somme += d;
            e.carres += d * d;
            e.crete = std::max(e.crete, std::fabs(x));
            if (x >= PLEINE_ECHELLE - 1 || x <= -PLEINE_ECHELLE)
                ++e.pleine;
            // A flat top: the samples at the largest (smallest) value that
            // repeat the one before; a tone's peaks do not.
            const bool repete = trames_ > 0 && x == e.valeur;
            if (x > e.haut) {
                e.haut = x;
                e.nb_haut = 0;
            } else if (x == e.haut && repete) {
                ++e.nb_haut;
            }
            if (x < e.bas) {
                e.bas = x;
                e.nb_bas = 0;
            } else if (x == e.bas && repete) {
                ++e.nb_bas;
            }
            if (repete) {
                ++e.longueur;
            } else {
                e.valeur = x;
                e.longueur = 1;
            }
            if (e.longueur > e.palier) {
                e.palier = e.longueur;
                e.valeur_palier = x;
            }
            if (x != 0 && e.longueur > e.palier_non_nul) {
                e.palier_non_nul = e.longueur;
                e.valeur_non_nulle = x;
            }
            // Taken from the first sample, the filters start settled on it.
            const double y = filtre(SECTIONS[1], filtre(SECTIONS[0], x - e.depart, e.z), e.z + 2);
            const double yb = filtre_bas(x - e.depart, e.zb);
            if (!amorce) {
                e.bande += y * y;
                e.bloc += y * y;
            }
            if (decime) {
                bas[k] = yb;
                e.l += yb;
                e.l2 += yb * yb;
                if (raies) {
                    double* r = &raies_[k * 2 * NB_RAIES];
                    for (int h = 0; h < NB_RAIES; ++h) {
                        r[2 * h] += yb * c[h];
                        r[2 * h + 1] += yb * s[h];
                    }
                    sommes_bloc_raies_[k] += yb;
                }
            }
        }
        if (decime) {
            ++bas_;
            for (size_t i = 0; i < paires_.size(); ++i)
                produits_bas_[i] +=
                    bas[static_cast<size_t>(paires_[i].first)] * bas[static_cast<size_t>(paires_[i].second)];
            if (raies && ++dans_raies_ == longueur_raies_)
                ferme_bloc_raies();
        }
        if (!amorce && ++dans_bloc_ == TRAMES_BLOC)
            ferme_bloc();
    }
}

void AnalyseMicros::ferme_bloc()
{
    dans_bloc_ = 0;
    ++blocs_;
    for (size_t k = 0; k < etats_.size(); ++k) {
        Etat& e = etats_[k];
        e.p1 += e.bloc;
        e.p2 += e.bloc * e.bloc;
        const double niveau = niveau_db(e.bloc / TRAMES_BLOC);
        ++histogrammes_[k * CASES_HISTOGRAMME + static_cast<size_t>(case_histogramme(niveau))];
        e.pointe = std::max(e.pointe, niveau);
    }
    for (size_t i = 0; i < paires_.size(); ++i)
        produits_bloc_[i] +=
            etats_[static_cast<size_t>(paires_[i].first)].bloc * etats_[static_cast<size_t>(paires_[i].second)].bloc;
    for (Etat& e : etats_)
        e.bloc = 0;
}

void AnalyseMicros::ferme_bloc_raies()
{
    // Each line without the block's mean: X - mean * sum of w e^{-j w n}.
    const double l = static_cast<double>(longueur_raies_);
    for (size_t k = 0; k < etats_.size(); ++k) {
        double* r = &raies_[k * 2 * NB_RAIES];
        const double m = sommes_bloc_raies_[k] / l;
        for (int h = 0; h < NB_RAIES; ++h) {
            const double re = r[2 * h] - m * fenetre_raies_[2 * h], im = r[2 * h + 1] - m * fenetre_raies_[2 * h + 1];
            // The mean square of a tone at the line: (2 |X| / sum w)^2 / 2.
            puissances_raies_[k * NB_RAIES + static_cast<size_t>(h)] += 2 * (re * re + im * im) / (somme_w_ * somme_w_);
            r[2 * h] = r[2 * h + 1] = 0;
        }
        sommes_bloc_raies_[k] = 0;
    }
    std::fill(fenetre_raies_, fenetre_raies_ + 2 * NB_RAIES, 0.0);
    dans_raies_ = 0;
    enbw_ = 1.5 * fe_ / DECIMATION / l; // Hz, of the Hann window
    somme_w_ = somme_w2_ = 0;
    ++blocs_raies_;
}

std::vector<StatistiquesMicro> AnalyseMicros::bilan() const
{
    const uint64_t n = trames_;
    const size_t nm = etats_.size();
    std::vector<StatistiquesMicro> r(nm);
    std::vector<double> bruit_1k(nm, NIVEAU_PLANCHER); // dB, its own noise in the 1 kHz line
    for (size_t k = 0; k < nm; ++k) {
        const Etat& e = etats_[k];
        StatistiquesMicro& s = r[k];
        s.micro = micros_[k];
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
        s.palier_non_nul = e.palier_non_nul;
        s.valeur_non_nulle = e.valeur_non_nulle;
        const bool haut = e.nb_haut >= e.nb_bas;
        s.plat = haut ? e.haut : e.bas;
        s.nb_plat = haut ? e.nb_haut : e.nb_bas;
        s.niveau_bande = en_bande_ > 0 ? niveau_db(e.bande / static_cast<double>(en_bande_)) : NIVEAU_PLANCHER;
        s.niveau_typique = mediane_histogramme(&histogrammes_[k * CASES_HISTOGRAMME], blocs_);
        s.niveau_pointe = blocs_ > 0 ? e.pointe : NIVEAU_PLANCHER;
        if (blocs_raies_ > 0) {
            const double* p = &puissances_raies_[k * NB_RAIES];
            const double b = static_cast<double>(blocs_raies_);
            s.ronfle = niveau_db(std::max(p[0] + p[1] + p[2], p[3] + p[4] + p[5]) / b);
            s.entre_raies = niveau_db((p[7] + p[8] + p[9]) / b);
            s.niveau_1k = niveau_db(p[6] / b);
            // White noise: the band's mean square over fs/4, in the line's bandwidth.
            if (en_bande_ > 0)
                bruit_1k[k] = niveau_db(e.bande / static_cast<double>(en_bande_) / (fe_ / 4) * enbw_);
        }
    }

    // Per pair of close neighbours: the correlations of block levels and of the low band.
    std::vector<double> coherence(paires_.size(), 0.0), polarite(paires_.size(), 0.0);
    for (size_t i = 0; i < paires_.size(); ++i) {
        const Etat& a = etats_[static_cast<size_t>(paires_[i].first)];
        const Etat& b = etats_[static_cast<size_t>(paires_[i].second)];
        coherence[i] = correlation(static_cast<double>(blocs_), a.p1, b.p1, a.p2, b.p2, produits_bloc_[i]);
        polarite[i] = correlation(static_cast<double>(bas_), a.l, b.l, a.l2, b.l2, produits_bas_[i]);
    }
    auto paire = [this](int a, int b) {
        const std::pair<int, int> p = {std::min(a, b), std::max(a, b)};
        return static_cast<size_t>(std::lower_bound(paires_.begin(), paires_.end(), p) - paires_.begin());
    };

    std::vector<double> v;
    auto mediane_anneau = [&](size_t k, auto figure) {
        v.clear();
        for (int l : anneaux_[k])
            v.push_back(figure(r[static_cast<size_t>(l)], static_cast<size_t>(l)));
        return v.empty() ? 0.0 : mediane(v);
    };
    for (size_t k = 0; k < nm; ++k) {
        StatistiquesMicro& s = r[k];
        s.nb_voisins = static_cast<int>(anneaux_[k].size());
        if (s.nb_voisins > 0) {
            s.mediane_voisins = mediane_anneau(k, [](const StatistiquesMicro& o, size_t) { return o.niveau_bande; });
            s.reference_typique =
                mediane_anneau(k, [](const StatistiquesMicro& o, size_t) { return o.niveau_typique; });
            // A sound heard by the ring moves its means with its levels.
            s.reference_moyenne = mediane_anneau(k, [&s](const StatistiquesMicro& o, size_t) {
                return o.rms >= SEUIL_MUET_RMS ? o.moyenne * s.rms / o.rms : o.moyenne;
            });
            s.reference_ronfle = mediane_anneau(k, [](const StatistiquesMicro& o, size_t) { return o.ronfle; });
            s.reference_1k = mediane_anneau(k, [](const StatistiquesMicro& o, size_t) { return o.niveau_1k; });
        }
        v.clear();
        for (int l : proches_[k])
            v.push_back(polarite[paire(static_cast<int>(k), l)]);
        s.correlation = v.empty() ? 0.0 : mediane(v);
    }

    for (size_t k = 0; k < nm; ++k) {
        StatistiquesMicro& s = r[k];
        if (s.n == 0)
            continue;
        const bool voisins = s.nb_voisins > 0 && en_bande_ > 0;
        const uint64_t palier_min = std::min<uint64_t>(SEUIL_PALIER, s.n);
        const bool fige = s.n >= 2 && s.palier_non_nul >= palier_min;
        const bool muet =
            !fige && (s.rms < SEUIL_MUET_RMS || (voisins && s.niveau_bande <= s.mediane_voisins - SEUIL_MUET_DB));
        const bool vivant = !fige && !muet;
        const bool sature = vivant && s.part_pleine_echelle >= SEUIL_SATURE;
        const bool ecrete = vivant && !sature && std::fabs(s.plat) >= SEUIL_CONTINU &&
                            static_cast<double>(s.nb_plat) >=
                                std::max(static_cast<double>(ECRETE_MIN), SEUIL_SATURE * static_cast<double>(s.n));
        const bool sain = vivant && !sature && !ecrete; // what it shows is its own
        const bool coupure = sain && s.palier >= SEUIL_COUPURE;
        // A clipped signal's mean over part of its periods is no offset: a
        // saturated microphone's mean must outweigh its RMS, as without
        // neighbours.
        const bool continu = vivant && std::fabs(s.moyenne) >= SEUIL_CONTINU &&
                             (s.nb_voisins > 0 && !sature ? std::fabs(s.moyenne - s.reference_moyenne) >= SEUIL_CONTINU
                                                          : std::fabs(s.moyenne) >= s.rms);
        const bool propre = sain && !coupure; // its figures over time are its own
        bool impulsif = false;
        if (propre && blocs_ > 1 && s.niveau_pointe >= s.niveau_typique + SEUIL_IMPULSIF_DB) {
            const double salle = mediane_anneau(
                k, [](const StatistiquesMicro& o, size_t) { return o.niveau_pointe - o.niveau_typique; });
            impulsif = s.nb_voisins == 0 || salle < SEUIL_IMPULSIF_DB / 2;
        }
        bool bruyant = propre && voisins && s.niveau_typique >= s.reference_typique + SEUIL_BRUYANT_DB;
        if (bruyant && blocs_ >= static_cast<uint64_t>(BLOCS_COHERENCE))
            for (int l : proches_[k])
                if (coherence[paire(static_cast<int>(k), l)] >= SEUIL_COHERENCE &&
                    r[static_cast<size_t>(l)].niveau_typique >= s.reference_typique + SEUIL_BRUYANT_DB / 2)
                    bruyant = false;
        const bool inverse = propre && !proches_[k].empty() && s.correlation <= -SEUIL_POLARITE;
        const bool ronfle = propre && s.nb_voisins > 0 && blocs_raies_ > 0 &&
                            s.ronfle >= s.reference_ronfle + SEUIL_RONFLE_DB &&
                            s.ronfle >= s.entre_raies + SEUIL_RONFLE_DB;
        bool sensibilite = false;
        if (propre && s.nb_voisins > 0 && blocs_raies_ > 0 && omega_[6] > 0) {
            const double bruit = mediane_anneau(k, [&](const StatistiquesMicro&, size_t l) { return bruit_1k[l]; });
            const double etalement = mediane_anneau(
                k, [&](const StatistiquesMicro& o, size_t) { return std::fabs(o.niveau_1k - s.reference_1k); });
            sensibilite = s.reference_1k >= bruit + SEUIL_TON_DB && etalement <= SEUIL_SENSIBILITE_DB / 3 &&
                          std::fabs(s.niveau_1k - s.reference_1k) >= SEUIL_SENSIBILITE_DB;
        }
        s.defauts = (fige ? FIGE : 0u) | (muet ? MUET : 0u) | (sature ? SATURE : 0u) | (continu ? CONTINU : 0u) |
                    (bruyant ? BRUYANT : 0u) | (coupure ? COUPURE : 0u) | (ecrete ? ECRETE : 0u) |
                    (impulsif ? IMPULSIF : 0u) | (inverse ? INVERSE : 0u) | (ronfle ? RONFLE : 0u) |
                    (sensibilite ? SENSIBILITE : 0u);
    }
    return r;
}

std::string noms_defauts(unsigned defauts)
{
    static const std::pair<Defaut, const char*> noms[] = {{MUET, "muet"},
                                                          {FIGE, "figé"},
                                                          {SATURE, "saturé"},
                                                          {BRUYANT, "bruyant"},
                                                          {CONTINU, "décalage continu"},
                                                          {COUPURE, "coupures"},
                                                          {ECRETE, "écrêté"},
                                                          {IMPULSIF, "impulsion"},
                                                          {INVERSE, "polarité inversée"},
                                                          {RONFLE, "ronflement"},
                                                          {SENSIBILITE, "sensibilité"}};
    std::string t;
    for (const auto& p : noms)
        if (defauts & p.first)
            t += (t.empty() ? "" : ", ") + std::string(p.second);
    return t;
}

std::string raisons(const StatistiquesMicro& s)
{
    std::string t;
    char b[200];
    auto ajoute = [&t](const char* r) { t += (t.empty() ? "" : ", ") + std::string(r); };
    if (s.defauts & MUET) {
        if (s.rms < SEUIL_MUET_RMS)
            std::snprintf(b, sizeof b, "muet (RMS %.2f)", s.rms);
        else
            std::snprintf(b, sizeof b, "muet (%.1f dB sous ses voisins)", s.mediane_voisins - s.niveau_bande);
        ajoute(b);
    }
    if (s.defauts & FIGE) {
        std::snprintf(b, sizeof b, "figé (%.0f sur %llu échantillons de suite)", s.valeur_non_nulle,
                      static_cast<unsigned long long>(s.palier_non_nul));
        ajoute(b);
    }
    if (s.defauts & SATURE) {
        std::snprintf(b, sizeof b, "saturé (%.1f %% à pleine échelle)", 100.0 * s.part_pleine_echelle);
        ajoute(b);
    }
    if (s.defauts & ECRETE) {
        std::snprintf(b, sizeof b, "écrêté (%.1f %% des échantillons à %.0f, %.0f %% de la pleine échelle)",
                      s.n ? 100.0 * static_cast<double>(s.nb_plat) / static_cast<double>(s.n) : 0.0, s.plat,
                      100.0 * std::fabs(s.plat) / PLEINE_ECHELLE);
        ajoute(b);
    }
    if (s.defauts & COUPURE) {
        std::snprintf(b, sizeof b, "coupures (%.0f sur %llu échantillons de suite)", s.valeur_palier,
                      static_cast<unsigned long long>(s.palier));
        ajoute(b);
    }
    if (s.defauts & IMPULSIF) {
        std::snprintf(b, sizeof b, "impulsion (+%.1f dB sur son niveau habituel)", s.niveau_pointe - s.niveau_typique);
        ajoute(b);
    }
    if (s.defauts & BRUYANT) {
        std::snprintf(b, sizeof b, "bruyant (+%.1f dB sur ses voisins)", s.niveau_typique - s.reference_typique);
        ajoute(b);
    }
    if (s.defauts & CONTINU) {
        std::snprintf(b, sizeof b, "décalage continu (moyenne %.0f, voisins %.0f)", s.moyenne, s.reference_moyenne);
        ajoute(b);
    }
    if (s.defauts & INVERSE) {
        std::snprintf(b, sizeof b, "polarité inversée (corrélation %.2f avec ses voisins proches)", s.correlation);
        ajoute(b);
    }
    if (s.defauts & RONFLE) {
        std::snprintf(b, sizeof b, "ronflement (+%.1f dB sur ses voisins à 50/60 Hz et harmoniques)",
                      s.ronfle - s.reference_ronfle);
        ajoute(b);
    }
    if (s.defauts & SENSIBILITE) {
        std::snprintf(b, sizeof b, "sensibilité (%+.1f dB sur ses voisins à %.0f Hz)", s.niveau_1k - s.reference_1k,
                      FREQUENCE_CALIBREUR);
        ajoute(b);
    }
    return t;
}

std::string compte_signales(const std::vector<StatistiquesMicro>& bilan)
{
    int signales = 0, par_defaut[NB_DEFAUTS] = {};
    for (const StatistiquesMicro& s : bilan) {
        signales += s.defauts ? 1 : 0;
        for (int k = 0; k < NB_DEFAUTS; ++k)
            par_defaut[k] += (s.defauts >> k) & 1;
    }
    if (signales == 0)
        return "aucun signalé";
    std::string detail;
    for (int k = 0; k < NB_DEFAUTS; ++k)
        if (par_defaut[k])
            detail += (detail.empty() ? " (" : ", ") + noms_defauts(1u << k) + " " + std::to_string(par_defaut[k]);
    return std::to_string(signales) + (signales > 1 ? " signalés" : " signalé") + detail + ")";
}

std::string texte_seuils()
{
    char b[1800];
    std::snprintf(
        b, sizeof b,
        "Voisins : avec une géométrie les %d micros les plus proches (l'anneau), les %d plus proches pour la "
        "cohérence et la polarité ; sans géométrie les 8 voisins de la grille. Référence : la médiane sur l'anneau.\n"
        "muet : RMS sous %.0f point ou bande haute (fe/4 à fe/2) %.0f dB sous la référence\n"
        "figé : une valeur non nulle %llu échantillons de suite\n"
        "saturé : %.1f %% des échantillons à pleine échelle\n"
        "écrêté : %.1f %% des échantillons (%llu au moins) à son plus haut ou plus bas, à %.0f points de 0 au moins\n"
        "coupures : une valeur, 0 compris, %llu échantillons de suite\n"
        "décalage continu : moyenne à %.0f points de celle des voisins\n"
        "impulsion : un bloc de %d trames %.0f dB au-dessus de son niveau habituel\n"
        "bruyant : niveau habituel %.0f dB au-dessus de la référence, sans voisin proche qui le suive "
        "(corrélation %.1f)\n"
        "polarité inversée : corrélation à -%.1f ou moins avec ses voisins proches, sous fe/25\n"
        "ronflement : 50/60 Hz et harmoniques %.0f dB au-dessus de la référence\n"
        "sensibilité : à %.0f Hz, %.0f dB de la référence quand les voisins y entendent un son",
        VOISINS_ANNEAU, VOISINS_PROCHES, SEUIL_MUET_RMS, SEUIL_MUET_DB, static_cast<unsigned long long>(SEUIL_PALIER),
        100 * SEUIL_SATURE, 100 * SEUIL_SATURE, static_cast<unsigned long long>(ECRETE_MIN), SEUIL_CONTINU,
        static_cast<unsigned long long>(SEUIL_COUPURE), SEUIL_CONTINU, TRAMES_BLOC, SEUIL_IMPULSIF_DB, SEUIL_BRUYANT_DB,
        SEUIL_COHERENCE, SEUIL_POLARITE, SEUIL_RONFLE_DB, FREQUENCE_CALIBREUR, SEUIL_SENSIBILITE_DB);
    return b;
}
