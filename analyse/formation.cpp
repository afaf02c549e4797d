#include "analyse/formation.h"

#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <mutex>

namespace {

constexpr double PI = 3.14159265358979323846;

std::mutex& planification()
{
    static std::mutex m;
    return m;
}

double distance(const Point3& a, const Point3& b)
{
    return std::sqrt((a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y) + (a.z - b.z) * (a.z - b.z));
}

} // namespace

Point3 Grille::point(int i, int j) const { return {x0 + i * pas_x(), y0 + j * pas_y(), z}; }

Grille grille_ouverture(const Geometrie& g, const std::vector<int>& micros, double z, int n)
{
    Grille r;
    r.nx = r.ny = n;
    // z is measured from the mean plane of the microphones used.
    double z_moyen = 0;
    int compte = 0;
    for (int m : micros)
        if (m >= 0 && m < static_cast<int>(g.size())) {
            z_moyen += g[m].z;
            ++compte;
        }
    r.z = (compte > 0 ? z_moyen / compte : 0) + z;
    bool premier = true;
    for (int m : micros) {
        if (m < 0 || m >= static_cast<int>(g.size()))
            continue;
        const Point3& p = g[m];
        if (premier) {
            r.x0 = r.x1 = p.x;
            r.y0 = r.y1 = p.y;
            premier = false;
        }
        r.x0 = std::min(r.x0, p.x);
        r.x1 = std::max(r.x1, p.x);
        r.y0 = std::min(r.y0, p.y);
        r.y1 = std::max(r.y1, p.y);
    }
    return r;
}

struct Formation::Fftw {
    fftwf_plan plan = nullptr;
    fftwf_complex* sortie = nullptr;
    ~Fftw()
    {
        std::lock_guard<std::mutex> l(planification());
        if (plan)
            fftwf_destroy_plan(plan);
        fftwf_free(sortie);
    }
};

Formation::Formation(double frequence, const Geometrie& g, std::vector<int> micros, double f_basse, double f_haute,
                     Grille grille, int points)
    : frequence_(frequence), grille_(grille), points_(std::max(2, points & ~1)), fenetre_(points_), entree_(points_),
      fftw_(std::make_unique<Fftw>())
{
    for (int m : micros)
        if (m >= 0 && m < static_cast<int>(g.size())) {
            micros_.push_back(m);
            positions_.push_back(g[m]);
            colonnes_.push_back(static_cast<int>(colonnes_.size()));
        }
    for (const Point3& p : positions_) {
        reference_.x += p.x / positions_.size();
        reference_.y += p.y / positions_.size();
        reference_.z += p.z / positions_.size();
    }
    const double df = frequence_ / points_;
    k0_ = std::max(1, static_cast<int>(std::ceil(f_basse / df)));
    k1_ = std::min(points_ / 2 - 1, static_cast<int>(std::floor(f_haute / df)));
    for (int i = 0; i < points_; ++i) {
        fenetre_[i] = static_cast<float>(0.5 - 0.5 * std::cos(2 * PI * i / points_));
        norme_ += static_cast<double>(fenetre_[i]) * fenetre_[i];
    }
    // conj(a_m) / sum |a|^2 with a_m = (r0/rm) exp(-i w (rm - r0) / c).
    const std::size_t nm = positions_.size(), ng = static_cast<std::size_t>(grille_.nx) * grille_.ny;
    const double dw = 2 * PI * df / CELERITE_SON; // rad per metre per line
    depart_.resize(ng * nm);
    pas_.resize(ng * nm);
    std::vector<double> rapport(nm), ecart(nm);
    for (int j = 0; j < grille_.ny; ++j)
        for (int i = 0; i < grille_.nx; ++i) {
            const Point3 g = grille_.point(i, j);
            const double r0 = distance(g, reference_);
            double norme = 0;
            for (std::size_t m = 0; m < nm; ++m) {
                const double rm = distance(g, positions_[m]);
                rapport[m] = r0 / rm;
                ecart[m] = rm - r0;
                norme += rapport[m] * rapport[m];
            }
            const std::size_t base = (static_cast<std::size_t>(j) * grille_.nx + i) * nm;
            for (std::size_t m = 0; m < nm; ++m) {
                depart_[base + m] = std::polar(static_cast<float>(rapport[m] / norme),
                                               static_cast<float>(std::fmod(dw * k0_ * ecart[m], 2 * PI)));
                pas_[base + m] = std::polar(1.0f, static_cast<float>(dw * ecart[m]));
            }
        }
    std::lock_guard<std::mutex> l(planification());
    fftw_->sortie = fftwf_alloc_complex(static_cast<std::size_t>(points_ / 2 + 1));
    fftw_->plan = fftwf_plan_dft_r2c_1d(points_, entree_.data(), fftw_->sortie, FFTW_ESTIMATE);
}

Formation::~Formation() = default;

void Formation::ajoute(const float* trames, int mots, const std::vector<int>& mot, const std::vector<float>& facteur)
{
    if (raies() <= 0 || micros_.empty())
        return;
    const std::size_t nm = micros_.size(), nr = static_cast<std::size_t>(raies());
    spectres_.resize((static_cast<std::size_t>(instantanes_) + 1) * nm * nr);
    std::complex<float>* s = spectres_.data() + static_cast<std::size_t>(instantanes_) * nm * nr;
    for (std::size_t i = 0; i < nm; ++i) {
        const float f = i < facteur.size() ? facteur[i] : 1.0f;
        for (int t = 0; t < points_; ++t)
            entree_[t] = trames[static_cast<std::size_t>(t) * mots + mot[i]] * f * fenetre_[t];
        fftwf_execute(fftw_->plan);
        for (std::size_t r = 0; r < nr; ++r)
            s[i * nr + r] = {fftw_->sortie[k0_ + r][0], fftw_->sortie[k0_ + r][1]};
    }
    ++instantanes_;
}

void Formation::ajoute(const float* instantane) { ajoute(instantane, static_cast<int>(colonnes_.size()), colonnes_); }

std::vector<double> Formation::carte() const
{
    const int ng = grille_.nx * grille_.ny;
    std::vector<double> c(static_cast<std::size_t>(ng), 0.0);
    if (instantanes_ == 0 || raies() <= 0 || micros_.empty())
        return c;
    const std::size_t nm = micros_.size(), nr = static_cast<std::size_t>(raies()), ns = instantanes_;
    // Mean square of one line: 2 |X|^2 / (points * sum of the window's squares).
    const double echelle = 2.0 / (points_ * norme_) / ns;
    // The lines as [microphone][line][snapshot], read in that order below.
    std::vector<std::complex<float>> lignes(spectres_.size());
    for (std::size_t s = 0; s < ns; ++s)
        for (std::size_t m = 0; m < nm; ++m)
            for (std::size_t r = 0; r < nr; ++r)
                lignes[(m * nr + r) * ns + s] = spectres_[(s * nm + m) * nr + r];
    // BLOC focus points at a time, each line of a microphone read once for
    // all of them; real and imaginary parts apart, so that the points'
    // products go side by side. Per focus point, the sums and the products
    // are those of one point at a time: the same map to the last bit.
    constexpr std::size_t BLOC = 8;
    std::vector<float> sr(ns * nr * BLOC), si(ns * nr * BLOC), xr(lignes.size()), xi(lignes.size());
    for (std::size_t k = 0; k < lignes.size(); ++k) {
        xr[k] = lignes[k].real();
        xi[k] = lignes[k].imag();
    }
    for (std::size_t g0 = 0; g0 < static_cast<std::size_t>(ng); g0 += BLOC) {
        const std::size_t nb = std::min(BLOC, static_cast<std::size_t>(ng) - g0);
        std::fill(sr.begin(), sr.end(), 0.0f);
        std::fill(si.begin(), si.end(), 0.0f);
        for (std::size_t m = 0; m < nm; ++m) {
            float tr[BLOC] = {}, ti[BLOC] = {}, pr[BLOC] = {}, pi[BLOC] = {};
            for (std::size_t b = 0; b < nb; ++b) {
                tr[b] = depart_[(g0 + b) * nm + m].real();
                ti[b] = depart_[(g0 + b) * nm + m].imag();
                pr[b] = pas_[(g0 + b) * nm + m].real();
                pi[b] = pas_[(g0 + b) * nm + m].imag();
            }
            const float* vr = xr.data() + m * nr * ns;
            const float* vi = xi.data() + m * nr * ns;
            for (std::size_t r = 0; r < nr; ++r) {
                for (std::size_t s = 0; s < ns; ++s) {
                    const float a = vr[r * ns + s], e = vi[r * ns + s];
                    float* ar = sr.data() + (r * ns + s) * BLOC;
                    float* ai = si.data() + (r * ns + s) * BLOC;
                    for (std::size_t b = 0; b < BLOC; ++b) {
                        ar[b] += tr[b] * a - ti[b] * e;
                        ai[b] += tr[b] * e + ti[b] * a;
                    }
                }
                for (std::size_t b = 0; b < BLOC; ++b) {
                    const float t = tr[b] * pr[b] - ti[b] * pi[b];
                    ti[b] = tr[b] * pi[b] + ti[b] * pr[b];
                    tr[b] = t;
                }
            }
        }
        for (std::size_t b = 0; b < nb; ++b) {
            double p = 0;
            for (std::size_t k = 0; k < ns * nr; ++k)
                p += sr[k * BLOC + b] * sr[k * BLOC + b] + si[k * BLOC + b] * si[k * BLOC + b];
            c[g0 + b] = p * echelle;
        }
    }
    return c;
}
