#include "analyse/spectre.h"

#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <limits>
#include <mutex>

namespace {

// FFTW's planner is not thread-safe.
std::mutex planification;

constexpr double PI = 3.14159265358979323846;

} // namespace

struct Welch::Fftw {
    fftwf_plan plan = nullptr;
    fftwf_complex* sortie = nullptr;
    ~Fftw()
    {
        std::lock_guard<std::mutex> l(planification);
        if (plan)
            fftwf_destroy_plan(plan);
        fftwf_free(sortie);
    }
};

Welch::Welch(double frequence, int points)
    : frequence_(frequence), points_(std::max(2, points & ~1)), fenetre_(points_), tampon_(points_), entree_(points_),
      somme_(points_ / 2 + 1, 0.0), fftw_(std::make_unique<Fftw>())
{
    // Periodic Hann window: its overlapping halves add up to one.
    for (int i = 0; i < points_; ++i) {
        fenetre_[i] = static_cast<float>(0.5 - 0.5 * std::cos(2 * PI * i / points_));
        norme_ += static_cast<double>(fenetre_[i]) * fenetre_[i];
    }
    std::lock_guard<std::mutex> l(planification);
    fftw_->sortie = fftwf_alloc_complex(static_cast<std::size_t>(points_ / 2 + 1));
    fftw_->plan = fftwf_plan_dft_r2c_1d(points_, entree_.data(), fftw_->sortie, FFTW_ESTIMATE);
}

Welch::~Welch() = default;

void Welch::ajoute(const float* x, std::size_t n, std::size_t pas)
{
    const std::size_t moitie = static_cast<std::size_t>(points_ / 2);
    for (std::size_t i = 0; i < n; ++i) {
        tampon_[remplis_++] = x[i * pas];
        if (remplis_ == static_cast<std::size_t>(points_)) {
            segment();
            // 50 % overlap: the second half starts the next segment.
            std::copy(tampon_.begin() + static_cast<std::ptrdiff_t>(moitie), tampon_.end(), tampon_.begin());
            remplis_ = moitie;
        }
    }
}

void Welch::segment()
{
    double moyenne = 0;
    for (int i = 0; i < points_; ++i)
        moyenne += tampon_[i];
    const float m = static_cast<float>(moyenne / points_);
    for (int i = 0; i < points_; ++i)
        entree_[i] = (tampon_[i] - m) * fenetre_[i];
    fftwf_execute(fftw_->plan);
    for (int k = 0; k <= points_ / 2; ++k) {
        const double re = fftw_->sortie[k][0], im = fftw_->sortie[k][1];
        somme_[k] += re * re + im * im;
    }
    ++segments_;
}

void Welch::remet()
{
    recommence();
    remplis_ = 0;
}

void Welch::recommence()
{
    std::fill(somme_.begin(), somme_.end(), 0.0);
    segments_ = 0;
}

std::vector<double> Welch::densite() const
{
    std::vector<double> d(somme_.size(), 0.0);
    if (segments_ == 0)
        return d;
    // One-sided: every bin but 0 and the Nyquist one carries both halves.
    const double echelle = 1.0 / (segments_ * frequence_ * norme_);
    for (std::size_t k = 0; k < d.size(); ++k)
        d[k] = somme_[k] * echelle * (k == 0 || k + 1 == d.size() ? 1.0 : 2.0);
    return d;
}

namespace {

// Nominal centres of the base-ten third-octave bands from 25 Hz to 20 kHz
// (exact centres 1000 * 10^(k/10), k = -16 .. 13).
const double NOMINALES[] = {25,   31.5, 40,   50,   63,   80,   100,   125,   160,   200,
                            250,  315,  400,  500,  630,  800,  1000,  1250,  1600,  2000,
                            2500, 3150, 4000, 5000, 6300, 8000, 10000, 12500, 16000, 20000};

std::vector<Bande> bandes(double fmax, int pas, double demi_largeur)
{
    std::vector<Bande> b;
    for (int i = 0; i < static_cast<int>(std::size(NOMINALES)); ++i) {
        const int k = i - 16;
        if (k % pas != 0)
            continue;
        Bande x;
        x.nominale = NOMINALES[i];
        x.centre = 1000.0 * std::pow(10.0, k / 10.0);
        x.basse = x.centre * std::pow(10.0, -demi_largeur);
        x.haute = x.centre * std::pow(10.0, demi_largeur);
        if (x.haute > fmax)
            break;
        b.push_back(x);
    }
    return b;
}

} // namespace

std::vector<Bande> bandes_tiers_octave(double fmax) { return bandes(fmax, 1, 1.0 / 20); }

std::vector<Bande> bandes_octave(double fmax) { return bandes(fmax, 3, 3.0 / 20); }

int points_bandes(double frequence, const Bande& bande, int lignes, int plancher, int plafond)
{
    const double largeur = bande.haute - bande.basse;
    int n = std::max(2, plancher);
    if (!(frequence > 0) || !(largeur > 0))
        return n;
    while (n < plafond && frequence / n > largeur / lignes)
        n *= 2;
    return std::min(n, std::max(2, plafond));
}

int points_spectre(double frequence)
{
    const std::vector<Bande> b = bandes_tiers_octave(frequence / 2);
    return b.empty() ? POINTS_WELCH : points_bandes(frequence, b.front());
}

std::vector<double> puissance_bandes(const std::vector<double>& densite, double df, const std::vector<Bande>& b)
{
    std::vector<double> p(b.size(), 0.0);
    for (std::size_t i = 0; i < b.size(); ++i)
        for (std::size_t k = 0; k < densite.size(); ++k) {
            // Bin k covers (k - 1/2) df .. (k + 1/2) df.
            const double bas = std::max(b[i].basse, (k - 0.5) * df), haut = std::min(b[i].haute, (k + 0.5) * df);
            if (haut > bas)
                p[i] += densite[k] * (haut - bas);
        }
    return p;
}

double niveau_db(double puissance, double reference)
{
    if (puissance <= 0)
        return -std::numeric_limits<double>::infinity();
    return 10.0 * std::log10(puissance / (reference * reference));
}
