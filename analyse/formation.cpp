#include "analyse/formation.h"

#include "analyse/spectre.h"

#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>
#include <new>

#if defined(__SSE2__)
#include <xmmintrin.h>
#endif

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

// Each microphone's distance law for a focus point g: r0 / rm and rm - r0,
// r0 from the reference point; returns the sum of (r0 / rm)^2.
double loi_distance(const Point3& g, const Point3& reference, const std::vector<Point3>& positions,
                    std::vector<double>& rapport, std::vector<double>& ecart)
{
    const double r0 = distance(g, reference);
    double norme = 0;
    for (std::size_t m = 0; m < positions.size(); ++m) {
        const double rm = distance(g, positions[m]);
        rapport[m] = r0 / rm;
        ecart[m] = rm - r0;
        norme += rapport[m] * rapport[m];
    }
    return norme;
}

// e = x * w, n samples.
void fenetre(const float* x, const float* w, float* e, std::size_t n)
{
    std::size_t t = 0;
#ifdef __SSE2__
    for (; t + 4 <= n; t += 4)
        _mm_storeu_ps(e + t, _mm_mul_ps(_mm_loadu_ps(x + t), _mm_loadu_ps(w + t)));
#endif
    for (; t < n; ++t)
        e[t] = x[t] * w[t];
}

} // namespace

int points_instantane(double frequence, double f_basse, double f_haute)
{
    Bande b;
    b.basse = f_basse;
    b.haute = f_haute;
    return points_bandes(frequence, b, LIGNES_CARTE, POINTS_INSTANTANE, POINTS_INSTANTANE_MAX);
}

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

// The microphones' transforms of a snapshot by bands of BANDE_FFT
// microphones, in one batched plan for a whole band and one for the last
// part-filled band, so that a band's input and output stay in the core's
// cache: its rows of `points` frames per microphone, padded so that the
// rows do not fall on the same cache sets.
constexpr std::size_t BANDE_FFT = 32;

struct Formation::Fftw {
    fftwf_plan plan = nullptr, reste = nullptr;
    std::size_t bande = 0; // microphones of a whole band
    float* entree = nullptr;
    fftwf_complex* sortie = nullptr;
    std::size_t ligne_entree = 0, ligne_sortie = 0;
    ~Fftw()
    {
        std::lock_guard<std::mutex> l(planification());
        if (plan)
            fftwf_destroy_plan(plan);
        if (reste)
            fftwf_destroy_plan(reste);
        fftwf_free(entree);
        fftwf_free(sortie);
    }
};

Formation::Formation(double frequence, const Geometrie& g, std::vector<int> micros, double f_basse, double f_haute,
                     Grille grille, int points, double celerite)
    : frequence_(frequence), grille_(grille), points_(std::max(2, points & ~1)), celerite_(celerite), fenetre_(points_),
      fftw_(std::make_unique<Fftw>())
{
    for (int m : micros)
        if (m >= 0 && m < static_cast<int>(g.size())) {
            micros_.push_back(m);
            positions_.push_back(g[m]);
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
    const double dw = 2 * PI * df / celerite_; // rad per metre per line
    blocs_ = (ng + BLOC_POINTS - 1) / BLOC_POINTS;
    depart_.alloue(blocs_ * nm * 16);
    pas_.alloue(blocs_ * nm * 16);
    std::vector<double> rapport(nm), ecart(nm);
    reste_.assign(ng, 0.0);
    for (int j = 0; j < grille_.ny; ++j)
        for (int i = 0; i < grille_.nx; ++i) {
            const double norme = loi_distance(grille_.point(i, j), reference_, positions_, rapport, ecart);
            const std::size_t k = static_cast<std::size_t>(j) * grille_.nx + i;
            double quartiques = 0;
            for (std::size_t m = 0; m < nm; ++m)
                quartiques += rapport[m] * rapport[m] * rapport[m] * rapport[m];
            reste_[k] = 1.0 - quartiques / (norme * norme);
            const std::size_t base = k / BLOC_POINTS * nm * 16, b = k % BLOC_POINTS;
            for (std::size_t m = 0; m < nm; ++m) {
                const auto d = std::polar(static_cast<float>(rapport[m] / norme),
                                          static_cast<float>(std::fmod(dw * k0_ * ecart[m], 2 * PI)));
                const auto p = std::polar(1.0f, static_cast<float>(dw * ecart[m]));
                depart_.p[base + 16 * m + b] = d.real();
                depart_.p[base + 16 * m + 8 + b] = d.imag();
                pas_.p[base + 16 * m + b] = p.real();
                pas_.p[base + 16 * m + 8 + b] = p.imag();
            }
        }
    if (nm == 0)
        return;
    courant_.alloue(nm * 64);
    if (raies() <= 0)
        return;
    // The direct DFT's time grows with its rows (2 per line, padded to 8)
    // times the frames, the transform's with log2(frames) times the frames:
    // at 1024 frames and 40 rows, 0.8 to 1.2 ms a snapshot of 1024
    // microphones on AVX2 against 1.4 ms (carte_bench), even at about 50
    // rows.
    // Low lines stay with the transform: a float sum's error grows with
    // its partial sums, and those of an offset at line k reach points / (pi
    // k) times it, against about log2(points) times the norm for the
    // transform; the direct DFT's stays within 4 times the transform's.
    const int largeur = (2 * raies() + 7) / 8 * 8;
    const double l2 = std::log2(points_);
    choisit_raies_directes(avx2_fma_disponible() && largeur <= 5 * l2 && k0_ >= points_ / (8 * l2));
}

void Formation::choisit_raies_directes(bool oui)
{
    if (raies() <= 0 || micros_.empty())
        return;
    if (!oui) {
        directes_.reset();
        planifie();
        return;
    }
    if (!directes_)
        directes_ = std::make_unique<RaiesDirectes>(fenetre_.data(), points_, k0_, raies());
    sommes_.resize(std::max(micros_.size() * static_cast<std::size_t>(directes_->largeur()),
                            static_cast<std::size_t>(directes_->rangees() + 6) * 16));
}

void Formation::planifie()
{
    if (fftw_->plan)
        return;
    const std::size_t nm = micros_.size();
    std::lock_guard<std::mutex> l(planification());
    fftw_->ligne_entree = static_cast<std::size_t>(points_) + 16;
    fftw_->ligne_sortie = static_cast<std::size_t>(points_ / 2 + 1);
    fftw_->bande = std::min(nm, BANDE_FFT);
    fftw_->entree = fftwf_alloc_real(fftw_->bande * fftw_->ligne_entree);
    fftw_->sortie = fftwf_alloc_complex(fftw_->bande * fftw_->ligne_sortie);
    // Measured once per size: FFTW keeps the wisdom for the process, so
    // that the next map of the same snapshot length plans at once.
    const int n = points_;
    auto plan = [&](std::size_t micros) {
        return fftwf_plan_many_dft_r2c(1, &n, static_cast<int>(micros), fftw_->entree, nullptr, 1,
                                       static_cast<int>(fftw_->ligne_entree), fftw_->sortie, nullptr, 1,
                                       static_cast<int>(fftw_->ligne_sortie), FFTW_MEASURE);
    };
    fftw_->plan = plan(fftw_->bande);
    if (nm % fftw_->bande != 0)
        fftw_->reste = plan(nm % fftw_->bande);
}

Formation::~Formation() = default;

void Formation::ajoute(const float* trames, int mots, const std::vector<int>& mot, const std::vector<float>& facteur)
{
    if (raies() <= 0 || micros_.empty())
        return;
    if (directes_) {
        ajoute_directes(trames, mots, mot, facteur);
        return;
    }
    const std::size_t nm = micros_.size();
    // Transposed in tiles of 16 frames by 16 microphones: each tile reads
    // 16 frames once and writes one cache line per microphone.
    constexpr std::size_t T = 16;
    const std::size_t np = static_cast<std::size_t>(points_), le = fftw_->ligne_entree;
    // Microphones past the factors given are taken as they are.
    const std::size_t nf = std::min(nm, facteur.size());
    float* l = place();
    for (std::size_t b0 = 0; b0 < nm; b0 += fftw_->bande) {
        const std::size_t b1 = std::min(nm, b0 + fftw_->bande);
        float* e = fftw_->entree;
        for (std::size_t t0 = 0; t0 < np; t0 += T) {
            const std::size_t t1 = std::min(np, t0 + T);
            for (std::size_t i0 = b0; i0 < b1; i0 += T) {
                const std::size_t i1 = std::min(b1, i0 + T);
                for (std::size_t t = t0; t < t1; ++t) {
                    const float* trame = trames + t * static_cast<std::size_t>(mots);
                    const float w = fenetre_[t];
                    const std::size_t ic = std::min(i1, std::max(i0, nf));
                    for (std::size_t i = i0; i < ic; ++i)
                        e[(i - b0) * le + t] = trame[mot[i]] * facteur[i] * w;
                    for (std::size_t i = ic; i < i1; ++i)
                        e[(i - b0) * le + t] = trame[mot[i]] * w;
                }
            }
        }
        transforme(l, b0, b1 - b0);
    }
    ++instantanes_;
}

void Formation::ajoute(const float* colonnes, std::size_t ligne, int debut)
{
    if (raies() <= 0 || micros_.empty())
        return;
    const std::size_t nm = micros_.size(), nr = static_cast<std::size_t>(raies());
    if (directes_) {
        const std::size_t lg = static_cast<std::size_t>(directes_->largeur());
        directes_->colonnes(chemin_, colonnes, ligne, nm, debut, sommes_.data());
        float* l = place();
        for (std::size_t i = 0; i < nm; ++i)
            for (std::size_t r = 0; r < nr; ++r) {
                l[(r * nm + i) * 8] = sommes_[i * lg + 2 * r];
                l[(r * nm + i) * 8 + 4] = sommes_[i * lg + 2 * r + 1];
            }
        ++instantanes_;
        return;
    }
    const std::size_t np = static_cast<std::size_t>(points_), le = fftw_->ligne_entree;
    const std::size_t d = static_cast<std::size_t>(debut) % np, n = np - d;
    const float* w = fenetre_.data();
    float* l = place();
    for (std::size_t b0 = 0; b0 < nm; b0 += fftw_->bande) {
        const std::size_t b1 = std::min(nm, b0 + fftw_->bande);
        for (std::size_t i = b0; i < b1; ++i) {
            const float* x = colonnes + i * ligne;
            float* e = fftw_->entree + (i - b0) * le;
            fenetre(x + d, w, e, n);
            fenetre(x, w + n, e + n, np - n);
        }
        transforme(l, b0, b1 - b0);
    }
    ++instantanes_;
}

// The band's lines of a snapshot of frames by the direct DFT, 16
// microphones at a time, read in the frames themselves when their words
// follow one another.
void Formation::ajoute_directes(const float* trames, int mots, const std::vector<int>& mot,
                                const std::vector<float>& facteur)
{
    constexpr std::size_t T = 16;
    const std::size_t nm = micros_.size(), nr = static_cast<std::size_t>(raies()),
                      np = static_cast<std::size_t>(points_), pas = static_cast<std::size_t>(mots);
    const std::size_t nf = std::min(nm, facteur.size());
    float* l = place();
    float* c = sommes_.data();
    for (std::size_t i0 = 0; i0 < nm; i0 += T) {
        const std::size_t n = std::min(T, nm - i0);
        bool suivis = n == T;
        for (std::size_t j = 1; j < n && suivis; ++j)
            suivis = mot[i0 + j] == mot[i0] + static_cast<int>(j);
        // The factors as the frames' conversion (instantanes.h) applies
        // them, before the sums: the live map's lines are these exactly.
        float f[T];
        for (std::size_t j = 0; j < T; ++j)
            f[j] = i0 + j < nf ? facteur[i0 + j] : 1.0f;
        const float* facteurs = nf > i0 ? f : nullptr;
        if (suivis) {
            directes_->trames(chemin_, trames + mot[i0], pas, facteurs, c);
        } else {
            tuile_.assign(np * T, 0.0f);
            for (std::size_t t = 0; t < np; ++t)
                for (std::size_t j = 0; j < n; ++j)
                    tuile_[t * T + j] = trames[t * pas + static_cast<std::size_t>(mot[i0 + j])];
            directes_->trames(chemin_, tuile_.data(), T, facteurs, c);
        }
        for (std::size_t j = 0; j < n; ++j)
            for (std::size_t r = 0; r < nr; ++r) {
                l[(r * nm + i0 + j) * 8] = c[2 * r * T + j];
                l[(r * nm + i0 + j) * 8 + 4] = c[(2 * r + 1) * T + j];
            }
    }
    ++instantanes_;
}

// Where snapshot instantanes_'s lines go in lignes_ (its group grown into
// and cleared when it is the group's first).
float* Formation::place()
{
    const std::size_t nm = micros_.size(), nr = static_cast<std::size_t>(raies());
    const std::size_t g = static_cast<std::size_t>(instantanes_) / GROUPE_INSTANTANES,
                      s = static_cast<std::size_t>(instantanes_) % GROUPE_INSTANTANES, groupe = nr * nm * 8;
    if (s == 0) {
        if (g >= groupes_) {
            Flottants plus;
            plus.alloue(std::max<std::size_t>(2 * groupes_, g + 1) * groupe);
            if (groupes_ > 0)
                std::memcpy(plus.p, lignes_.p, groupes_ * groupe * sizeof(float));
            std::swap(plus.p, lignes_.p);
            std::swap(plus.n, lignes_.n);
            groupes_ = lignes_.n / groupe;
        }
        std::memset(lignes_.p + g * groupe, 0, groupe * sizeof(float));
    }
    return lignes_.p + g * groupe + s;
}

// The transforms of the band of n microphones from b0 in fftw_->entree,
// their lines to `l` (place()).
void Formation::transforme(float* l, std::size_t b0, std::size_t n)
{
    fftwf_execute(n == fftw_->bande ? fftw_->plan : fftw_->reste);
    const std::size_t nm = micros_.size(), nr = static_cast<std::size_t>(raies());
    for (std::size_t i = b0; i < b0 + n; ++i) {
        const fftwf_complex* x = fftw_->sortie + (i - b0) * fftw_->ligne_sortie + k0_;
        for (std::size_t r = 0; r < nr; ++r) {
            l[(r * nm + i) * 8] = x[r][0];
            l[(r * nm + i) * 8 + 4] = x[r][1];
        }
    }
}

std::complex<float> Formation::raie(std::size_t instantane, std::size_t micro, std::size_t r) const
{
    const std::size_t nm = micros_.size(), nr = static_cast<std::size_t>(raies());
    const float* l =
        lignes_.p + ((instantane / GROUPE_INSTANTANES * nr + r) * nm + micro) * 8 + instantane % GROUPE_INSTANTANES;
    return {l[0], l[4]};
}

Formation::Flottants::~Flottants()
{
    if (p)
        ::operator delete[](p, std::align_val_t(64));
}

void Formation::Flottants::alloue(std::size_t taille)
{
    if (p)
        ::operator delete[](p, std::align_val_t(64));
    n = taille;
    p = static_cast<float*>(::operator new[](std::max<std::size_t>(1, n) * sizeof(float), std::align_val_t(64)));
    std::memset(p, 0, n * sizeof(float));
}

double Formation::operations(int instantanes) const
{
    const double points = static_cast<double>(grille_.nx) * grille_.ny, lignes = raies() > 0 ? raies() : 0;
    return points * static_cast<double>(micros_.size()) * lignes * (8.0 * instantanes + 6.0);
}

std::vector<double> Formation::carte() const
{
    const int ng = grille_.nx * grille_.ny;
    std::vector<double> c(static_cast<std::size_t>(ng), 0.0);
    if (instantanes_ == 0 || raies() <= 0 || micros_.empty())
        return c;
    const std::size_t nm = micros_.size(), nr = static_cast<std::size_t>(raies()), ns = instantanes_;
    // Mean square of one line: 2 |X|^2 / (points * sum of the window's squares).
    const double echelle = 2.0 / (points_ * norme_) / ns;
    for (std::size_t q = 0; q < blocs_; q += 2) {
        const std::size_t n = std::min<std::size_t>(2, blocs_ - q);
        double p[2 * BLOC_POINTS] = {};
        bloc_carte(chemin_, depart_.p + q * nm * 16, pas_.p + q * nm * 16, n, lignes_.p, nm, nr, ns, courant_.p, p);
        for (std::size_t b = 0; b < n * BLOC_POINTS && q * BLOC_POINTS + b < static_cast<std::size_t>(ng); ++b)
            c[q * BLOC_POINTS + b] = p[b] * echelle;
    }
    return c;
}

std::vector<double> Formation::carte_sans_diagonale() const
{
    std::vector<double> c = carte();
    if (instantanes_ == 0 || raies() <= 0 || micros_.empty())
        return c;
    const std::size_t nm = micros_.size(), nr = static_cast<std::size_t>(raies()), ns = instantanes_;
    const double echelle = 2.0 / (points_ * norme_) / ns;
    // Each microphone's own mean square in the band.
    std::vector<double> propre(nm, 0.0);
    for (std::size_t s = 0; s < ns; ++s)
        for (std::size_t m = 0; m < nm; ++m) {
            double somme = 0;
            for (std::size_t r = 0; r < nr; ++r)
                somme += std::norm(raie(s, m, r));
            propre[m] += somme * echelle;
        }
    // The weights' squares |conj(a_m) / sum |a|^2|^2 = (r0/rm)^2 / (sum
    // (r0/rm)^2)^2 from the steering at the first line.
    const std::size_t ng = c.size();
    for (std::size_t q = 0; q < blocs_; ++q) {
        const float* d = depart_.p + q * nm * 16;
        double diagonale[BLOC_POINTS] = {};
        for (std::size_t m = 0; m < nm; ++m)
            for (std::size_t b = 0; b < BLOC_POINTS; ++b) {
                const float re = d[16 * m + b], im = d[16 * m + 8 + b];
                diagonale[b] += static_cast<double>(re * re + im * im) * propre[m];
            }
        for (std::size_t b = 0; b < BLOC_POINTS && q * BLOC_POINTS + b < ng; ++b) {
            const std::size_t k = q * BLOC_POINTS + b;
            c[k] = reste_[k] > 0 ? std::max(0.0, (c[k] - diagonale[b]) / reste_[k]) : 0.0;
        }
    }
    return c;
}

std::vector<double> Formation::carte_formule() const
{
    const int ng = grille_.nx * grille_.ny;
    std::vector<double> c(static_cast<std::size_t>(ng), 0.0);
    if (instantanes_ == 0 || raies() <= 0 || micros_.empty())
        return c;
    const std::size_t nm = micros_.size(), nr = static_cast<std::size_t>(raies()), ns = instantanes_;
    const double echelle = 2.0 / (points_ * norme_) / ns;
    const double dw = 2 * PI * frequence_ / points_ / celerite_;
    std::vector<double> rapport(nm), ecart(nm);
    for (int j = 0; j < grille_.ny; ++j)
        for (int i = 0; i < grille_.nx; ++i) {
            const double norme = loi_distance(grille_.point(i, j), reference_, positions_, rapport, ecart);
            double p = 0;
            for (std::size_t r = 0; r < nr; ++r)
                for (std::size_t s = 0; s < ns; ++s) {
                    std::complex<double> somme = 0;
                    for (std::size_t m = 0; m < nm; ++m) {
                        const std::complex<float> x = raie(s, m, r);
                        somme += std::polar(rapport[m] / norme, dw * (k0_ + static_cast<double>(r)) * ecart[m]) *
                                 std::complex<double>(x.real(), x.imag());
                    }
                    p += std::norm(somme);
                }
            c[static_cast<std::size_t>(j) * grille_.nx + i] = p * echelle;
        }
    return c;
}
