#include "analyse/ecoute.h"

#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>

#include "analyse/formation.h"
#include "analyse/spectre.h"
#include "analyse/carte.h"

namespace {

constexpr double PI = 3.14159265358979323846;
constexpr int DEMI = TAPS_ECOUTE / 2;

double ecart(const Point3& a, const Point3& b)
{
    return std::sqrt((a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y) + (a.z - b.z) * (a.z - b.z));
}

// sin(pi u) / (pi u) under a Blackman window over [-DEMI, DEMI].
double noyau(double u)
{
    if (std::fabs(u) >= DEMI)
        return 0;
    const double s = u == 0 ? 1.0 : std::sin(PI * u) / (PI * u);
    return s * (0.42 + 0.5 * std::cos(PI * u / DEMI) + 0.08 * std::cos(2 * PI * u / DEMI));
}

// y += c x over n samples, eight at a time so that the compiler makes
// vector code of it.
void accumule(float* __restrict y, const float* __restrict x, float c, std::size_t n)
{
    std::size_t j = 0;
    for (; j + 8 <= n; j += 8)
        for (int u = 0; u < 8; ++u)
            y[j + u] += c * x[j + u];
    for (; j < n; ++j)
        y[j] += c * x[j];
}

std::mutex& planification()
{
    static std::mutex m;
    return m;
}

} // namespace

Pointage::Pointage(double frequence, const Geometrie& g, const std::vector<int>& micros, const std::vector<int>& mots,
                   std::size_t nb_mots, bool flottant, const std::vector<float>& facteurs, Point3 point)
    : nb_mots_(nb_mots), flottant_(flottant)
{
    std::vector<Point3> positions;
    std::vector<float> facteur;
    for (std::size_t i = 0; i < micros.size() && i < mots.size(); ++i) {
        const int m = micros[i];
        if (m < 0 || m >= static_cast<int>(g.size()) || mots[i] < 0 || std::size_t(mots[i]) >= nb_mots)
            continue;
        // With factors, a microphone without one is left out.
        const float f = facteurs.empty() ? 1.0f : (i < facteurs.size() ? facteurs[i] : 0.0f);
        if (!(f > 0) || !std::isfinite(f))
            continue;
        positions.push_back(g[std::size_t(m)]);
        mots_.push_back(mots[i]);
        facteur.push_back(f);
    }
    if (positions.empty() || !(frequence > 0))
        return;
    Point3 reference;
    for (const Point3& p : positions) {
        reference.x += p.x / positions.size();
        reference.y += p.y / positions.size();
        reference.z += p.z / positions.size();
    }
    r0_ = ecart(point, reference);
    if (!std::isfinite(r0_) || !(r0_ > 1e-6))
        return;
    const std::size_t nm = positions.size();
    gains_.resize(nm);
    entiers_.resize(nm);
    noyaux_.resize(nm * TAPS_ECOUTE);
    int f_min = 0, f_max = 0;
    for (std::size_t i = 0; i < nm; ++i) {
        const double rm = ecart(point, positions[i]);
        if (!(rm > 1e-6) || !std::isfinite(rm))
            return;
        gains_[i] = static_cast<float>(rm / r0_ / double(nm) * facteur[i]);
        const double retard = (rm - r0_) / CELERITE_SON * frequence; // frames
        const double entier = std::floor(retard);
        entiers_[i] = static_cast<int>(entier);
        const double fraction = retard - entier;
        // Sample n + retard from frames n + entier - DEMI + 1 .. n + entier + DEMI.
        double somme = 0;
        for (int k = 0; k < TAPS_ECOUTE; ++k)
            somme += noyau(fraction - (k - DEMI + 1));
        for (int k = 0; k < TAPS_ECOUTE; ++k)
            noyaux_[i * TAPS_ECOUTE + std::size_t(k)] = static_cast<float>(noyau(fraction - (k - DEMI + 1)) / somme);
        f_min = i == 0 ? entiers_[i] : std::min(f_min, entiers_[i]);
        f_max = i == 0 ? entiers_[i] : std::max(f_max, entiers_[i]);
    }
    // The mean distance to the microphones is at least r0, so some delay is
    // >= 0 and the first sample needs frames before it.
    bas_ = std::max(0, -(f_min - DEMI + 1));
    haut_ = std::max(0, f_max + DEMI);
    base_ = -bas_;
    longueur_ = std::size_t(bas_);
    capacite_ = longueur_ + 4096;
    colonnes_.assign(nm * capacite_, 0.0f);
    valide_ = true;
}

void Pointage::ajoute(const uint32_t* trames, std::size_t n, std::vector<float>& sortie)
{
    if (!valide_ || n == 0)
        return;
    const std::size_t nm = mots_.size();
    if (longueur_ + n > capacite_) {
        const std::size_t c = longueur_ + n;
        std::vector<float> nouvelles(nm * c, 0.0f);
        for (std::size_t i = 0; i < nm; ++i)
            std::memcpy(&nouvelles[i * c], &colonnes_[i * capacite_], longueur_ * sizeof(float));
        colonnes_.swap(nouvelles);
        capacite_ = c;
    }
    // Frame by frame, so that each frame is read once.
    for (std::size_t t = 0; t < n; ++t) {
        const uint32_t* trame = trames + t * nb_mots_;
        float* colonne = colonnes_.data() + longueur_ + t;
        for (std::size_t i = 0; i < nm; ++i) {
            const uint32_t v = trame[mots_[i]];
            float x;
            if (flottant_)
                std::memcpy(&x, &v, 4);
            else
                x = static_cast<float>(static_cast<int32_t>(v));
            colonne[i * capacite_] = x * gains_[i];
        }
    }
    longueur_ += n;
    recues_ += n;
    calcule(std::size_t(recues_), sortie);
}

void Pointage::termine(std::vector<float>& sortie)
{
    if (!valide_)
        return;
    const std::size_t nm = mots_.size();
    if (longueur_ + std::size_t(haut_) > capacite_) {
        const std::size_t c = longueur_ + std::size_t(haut_);
        std::vector<float> nouvelles(nm * c, 0.0f);
        for (std::size_t i = 0; i < nm; ++i)
            std::memcpy(&nouvelles[i * c], &colonnes_[i * capacite_], longueur_ * sizeof(float));
        colonnes_.swap(nouvelles);
        capacite_ = c;
    }
    for (std::size_t i = 0; i < nm; ++i)
        std::fill_n(colonnes_.data() + i * capacite_ + longueur_, haut_, 0.0f);
    longueur_ += std::size_t(haut_);
    calcule(std::size_t(recues_), sortie);
}

void Pointage::calcule(std::size_t fin, std::vector<float>& sortie)
{
    // Sample n needs frames up to n + haut_, held up to base_ + longueur_ - 1.
    const int64_t possibles = std::min<int64_t>(base_ + int64_t(longueur_) - haut_, int64_t(fin));
    if (possibles <= int64_t(rendues_))
        return;
    const std::size_t n = std::size_t(possibles - int64_t(rendues_));
    const std::size_t debut = sortie.size();
    sortie.resize(debut + n, 0.0f);
    float* y = sortie.data() + debut;
    for (std::size_t i = 0; i < mots_.size(); ++i) {
        const float* ligne = colonnes_.data() + i * capacite_ + (int64_t(rendues_) + entiers_[i] - (DEMI - 1) - base_);
        const float* h = &noyaux_[i * TAPS_ECOUTE];
        for (int k = 0; k < TAPS_ECOUTE; ++k)
            accumule(y, ligne + k, h[k], n);
    }
    rendues_ += n;
    // What the next sample no longer needs goes.
    const int64_t garde = int64_t(rendues_) - bas_;
    const std::size_t d = std::size_t(std::max<int64_t>(0, garde - base_));
    if (d > 0) {
        for (std::size_t i = 0; i < mots_.size(); ++i)
            std::memmove(colonnes_.data() + i * capacite_, colonnes_.data() + i * capacite_ + d,
                         (longueur_ - d) * sizeof(float));
        base_ += int64_t(d);
        longueur_ -= d;
    }
}

void filtre_bande(std::vector<float>& signal, double frequence, double bas, double haut)
{
    const int n = static_cast<int>(signal.size());
    if (n < 2 || !(frequence > 0))
        return;
    std::vector<float> x(signal.begin(), signal.end());
    fftwf_complex* spectre = fftwf_alloc_complex(std::size_t(n / 2 + 1));
    fftwf_plan aller, retour;
    {
        std::lock_guard<std::mutex> l(planification());
        aller = fftwf_plan_dft_r2c_1d(n, x.data(), spectre, FFTW_ESTIMATE);
        retour = fftwf_plan_dft_c2r_1d(n, spectre, signal.data(), FFTW_ESTIMATE);
    }
    fftwf_execute(aller);
    const double df = frequence / n;
    for (int k = 0; k <= n / 2; ++k) {
        const double f = k * df;
        const float g = f >= bas && f <= haut ? 1.0f / float(n) : 0.0f;
        spectre[k][0] *= g;
        spectre[k][1] *= g;
    }
    fftwf_execute(retour);
    {
        std::lock_guard<std::mutex> l(planification());
        fftwf_destroy_plan(aller);
        fftwf_destroy_plan(retour);
    }
    fftwf_free(spectre);
}

namespace {

// The third-octave band of nominal centre `bande` (0: the whole signal).
int bande_ecoute(double fs, double bande, double& f_basse, double& f_haute, std::string& erreur)
{
    f_basse = 0;
    f_haute = fs / 2;
    if (bande <= 0)
        return 0;
    for (const Bande& b : bandes_tiers_octave(fs / 2))
        if (std::fabs(b.nominale - bande) <= 1e-6 * bande) {
            f_basse = b.basse;
            f_haute = b.haute;
            return 0;
        }
    erreur = "pas de bande de tiers d'octave de centre nominal " + std::to_string(bande) + " Hz à " +
             std::to_string(int(fs)) + " Hz d'échantillonnage";
    return -1;
}

std::string point_impossible(const Point3& p)
{
    return "point d'écoute (" + std::to_string(p.x) + ", " + std::to_string(p.y) + ", " + std::to_string(p.z) +
           ") m impossible : sur un micro, hors d'échelle, ou aucun micro calibré";
}

// The band kept and the level measured.
int finit_ecoute(std::vector<float> signal, double fs, const Pointage& p, double f_basse, double f_haute, bool filtre,
                 bool calibre, Ecoute& resultat, std::string& erreur)
{
    if (filtre)
        filtre_bande(signal, fs, f_basse, f_haute);
    Ecoute r;
    r.frequence = fs;
    r.micros = p.micros();
    r.distance = p.distance();
    r.f_basse = f_basse;
    r.f_haute = f_haute;
    double somme = 0;
    for (float v : signal)
        somme += double(v) * v;
    const double reference = calibre ? 20e-6 * 20e-6 : 1.0;
    r.niveau = 10 * std::log10(std::max(somme / double(std::max<size_t>(1, signal.size())), 1e-30) / reference);
    if (!std::isfinite(r.niveau)) {
        erreur = "signal non fini (géométrie, point ou facteurs hors d'échelle)";
        return -1;
    }
    r.signal = std::move(signal);
    resultat = std::move(r);
    return 0;
}

} // namespace

int calcule_ecoute(const std::string& dat, const Geometrie& g, const DemandeEcoute& d, Ecoute& resultat,
                   std::string& erreur)
{
    MicrosEnregistres m;
    if (micros_enregistres(dat, g, d.facteurs, m, erreur) != 0)
        return -1;
    const Enregistrement& e = m.e;
    const double fs = e.frequence;
    const Disposition& disp = e.disposition;
    const std::vector<int> mots(m.mots.begin(), m.mots.end());
    double f_basse = 0, f_haute = 0;
    if (bande_ecoute(fs, d.bande, f_basse, f_haute, erreur) != 0)
        return -1;
    Pointage p(fs, g, m.micros, mots, size_t(disp.nb_voies), e.flottant, m.facteurs, d.point);
    if (!p.valide()) {
        erreur = point_impossible(d.point);
        return -1;
    }

    const uint64_t premiere = uint64_t(std::llround(std::max(0.0, d.debut) * fs));
    uint64_t fin = e.nb_trames;
    if (d.duree >= 0)
        fin = std::min(fin, premiere + uint64_t(std::llround(d.duree * fs)));
    if (premiere >= fin) {
        erreur = dat + " : aucune trame dans l'intervalle demandé";
        return -1;
    }
    // The frames the span's samples need, from just before it to just after;
    // past the recording's ends, silence.
    const uint64_t depart = premiere - std::min<uint64_t>(premiere, uint64_t(p.recul()));
    const uint64_t arret = std::min<uint64_t>(e.nb_trames, fin + uint64_t(p.avance()));
    LecteurTrames lecteur;
    if (lecteur.ouvre(dat, disp.nb_voies, depart, erreur) != 0)
        return -1;
    std::vector<float> signal;
    signal.reserve(size_t(arret - depart));
    std::vector<uint32_t> bloc(trames_par_bloc(disp.nb_voies, size_t(4) << 20) * size_t(disp.nb_voies));
    for (uint64_t t = depart; t < arret;) {
        const size_t n = size_t(std::min<uint64_t>(arret - t, bloc.size() / size_t(disp.nb_voies)));
        const int64_t lues = lecteur.lit(bloc.data(), n);
        if (lues <= 0) {
            erreur = dat + " : lecture impossible";
            return -1;
        }
        p.ajoute(bloc.data(), size_t(lues), signal);
        t += uint64_t(lues);
    }
    p.termine(signal);
    signal.erase(signal.begin(), signal.begin() + std::ptrdiff_t(premiere - depart));
    signal.resize(size_t(fin - premiere));
    return finit_ecoute(std::move(signal), fs, p, f_basse, f_haute, d.bande > 0, !d.facteurs.empty(), resultat, erreur);
}

int ecoute_trames(const std::vector<MorceauTrames>& morceaux, std::size_t nb_mots, bool flottant, double frequence,
                  const Geometrie& g, const std::vector<int>& micros, const std::vector<int>& mots,
                  const std::vector<float>& facteurs, const DemandeEcoute& d, Ecoute& resultat, std::string& erreur)
{
    std::size_t n = 0;
    for (const MorceauTrames& m : morceaux)
        n += m.trames;
    double f_basse = 0, f_haute = 0;
    if (bande_ecoute(frequence, d.bande, f_basse, f_haute, erreur) != 0)
        return -1;
    if (n == 0) {
        erreur = "aucune trame à écouter";
        return -1;
    }
    Pointage p(frequence, g, micros, mots, nb_mots, flottant, facteurs, d.point);
    if (!p.valide()) {
        erreur = point_impossible(d.point);
        return -1;
    }
    std::vector<float> signal;
    signal.reserve(n);
    for (const MorceauTrames& m : morceaux)
        p.ajoute(m.mots, m.trames, signal);
    p.termine(signal);
    return finit_ecoute(std::move(signal), frequence, p, f_basse, f_haute, d.bande > 0, !facteurs.empty(), resultat,
                        erreur);
}
