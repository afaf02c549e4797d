#include "analyse/raies_directes.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define ONDARIS_X86_AVX2 1
#include <immintrin.h>
#endif

namespace {

constexpr double PI = 3.14159265358979323846;
constexpr int SIX = 6, SEIZE = 16;

// Vectors of 8 rows the column kernel takes at once, and microphones with
// them: accumulators, table and broadcast within the 16 AVX registers (3
// vectors by 4 microphones measured fastest).
constexpr int VECTEURS_MAX = 3;
constexpr int micros_par_tuile(int vecteurs) { return vecteurs == 1 ? 12 : vecteurs == 2 ? 6 : 4; }

void trames_portable(const float* x, std::size_t pas, const float* f, std::size_t n, const float* w, int rangees,
                     float* c)
{
    float a[SIX][SEIZE] = {};
    for (std::size_t t = 0; t < n; ++t)
        for (int q = 0; q < rangees; ++q)
            for (int j = 0; j < SEIZE; ++j)
                a[q][j] += w[SIX * t + q] * (f ? x[t * pas + j] * f[j] : x[t * pas + j]);
    for (int q = 0; q < rangees; ++q)
        std::memcpy(c + q * SEIZE, a[q], sizeof a[q]);
}

// Ring entry e of a row holds frame (e - debut) mod points: the sums run
// frame by frame from entry `debut`, as the frames' own kernel runs them.
void colonnes_portable(const float* x, std::size_t ligne, std::size_t n, std::size_t debut, std::size_t points,
                       const float* w, std::size_t largeur, float* c)
{
    for (std::size_t i = 0; i < n; ++i) {
        float* s = c + i * largeur;
        std::fill(s, s + largeur, 0.0f);
        for (std::size_t t = 0; t < points; ++t) {
            const float v = x[i * ligne + (debut + t) % points];
            const float* r = w + t * largeur;
            for (std::size_t q = 0; q < largeur; ++q)
                s[q] += v * r[q];
        }
    }
}

#ifdef ONDARIS_X86_AVX2

// R rows (at most 6) of 16 microphones: 12 chains of multiply-adds.
template <int R, bool FACTEURS>
__attribute__((target("avx2,fma"))) void trames_avx2(const float* x, std::size_t pas, const float* f, std::size_t n,
                                                     const float* w, float* c)
{
    __m256 a[R][2];
#pragma GCC unroll 6
    for (int q = 0; q < R; ++q)
        a[q][0] = a[q][1] = _mm256_setzero_ps();
    for (std::size_t t = 0; t < n; ++t) {
        __m256 x0 = _mm256_loadu_ps(x + t * pas), x1 = _mm256_loadu_ps(x + t * pas + 8);
        // The factors read from memory each time: held in registers they
        // would spill (16 in all), and MinGW does not align the stack for
        // a spilled AVX register.
        if (FACTEURS) {
            __asm__("" : "+r"(f)); // not hoisted out of the loop
            x0 = _mm256_mul_ps(x0, _mm256_loadu_ps(f));
            x1 = _mm256_mul_ps(x1, _mm256_loadu_ps(f + 8));
        }
#pragma GCC unroll 6
        for (int q = 0; q < R; ++q) {
            const __m256 b = _mm256_broadcast_ss(w + SIX * t + q);
            a[q][0] = _mm256_fmadd_ps(b, x0, a[q][0]);
            a[q][1] = _mm256_fmadd_ps(b, x1, a[q][1]);
        }
    }
#pragma GCC unroll 6
    for (int q = 0; q < R; ++q) {
        _mm256_storeu_ps(c + q * SEIZE, a[q][0]);
        _mm256_storeu_ps(c + q * SEIZE + 8, a[q][1]);
    }
}

// Frames [t0, t1) of M microphones from ring entry e0, by V vectors of
// rows: the table's V vectors of a frame stay in registers for the M
// broadcasts.
template <int M, int V>
__attribute__((target("avx2,fma"), always_inline)) inline void
somme_avx2(const float* x, std::size_t ligne, std::size_t e0, std::size_t t0, std::size_t t1, const float* w,
           std::size_t largeur, __m256 (&a)[M][V])
{
    for (std::size_t t = t0, e = e0; t < t1; ++t, ++e) {
        __m256 r[V];
#pragma GCC unroll 8
        for (int v = 0; v < V; ++v)
            r[v] = _mm256_loadu_ps(w + t * largeur + 8 * v);
#pragma GCC unroll 12
        for (int i = 0; i < M; ++i) {
            const __m256 b = _mm256_broadcast_ss(x + i * ligne + e);
#pragma GCC unroll 8
            for (int v = 0; v < V; ++v)
                a[i][v] = _mm256_fmadd_ps(b, r[v], a[i][v]);
        }
    }
}

// Frames [t0, t1) of M microphones into their sums in c (begun when t0 >
// 0): ring entry e holds frame (e - debut) mod points.
template <int M, int V>
__attribute__((target("avx2,fma"))) void colonnes_avx2(const float* x, std::size_t ligne, std::size_t debut,
                                                       std::size_t points, std::size_t t0, std::size_t t1,
                                                       const float* w, std::size_t largeur, float* c)
{
    __m256 a[M][V];
#pragma GCC unroll 12
    for (int i = 0; i < M; ++i)
#pragma GCC unroll 8
        for (int v = 0; v < V; ++v)
            a[i][v] = t0 == 0 ? _mm256_setzero_ps() : _mm256_loadu_ps(c + i * largeur + 8 * v);
    const std::size_t tour = points - debut; // the frame at entry 0
    if (t0 < tour)
        somme_avx2<M, V>(x, ligne, debut + t0, t0, std::min(t1, tour), w, largeur, a);
    if (t1 > tour) {
        const std::size_t u = std::max(t0, tour);
        somme_avx2<M, V>(x, ligne, u - tour, u, t1, w, largeur, a);
    }
#pragma GCC unroll 12
    for (int i = 0; i < M; ++i)
#pragma GCC unroll 8
        for (int v = 0; v < V; ++v)
            _mm256_storeu_ps(c + i * largeur + 8 * v, a[i][v]);
}

// n microphones, V vectors of rows from `w` and `c` on, TRANCHE frames at
// a time: the table's slice stays in the first-level cache while every
// microphone goes through it (a float stored and read back unchanged, the
// sums are those of one pass).
constexpr std::size_t TRANCHE = 128;

template <int V>
__attribute__((target("avx2,fma"))) void colonnes_v_avx2(const float* x, std::size_t ligne, std::size_t n,
                                                         std::size_t debut, std::size_t points, const float* w,
                                                         std::size_t largeur, float* c)
{
    constexpr int M = micros_par_tuile(V);
    for (std::size_t t0 = 0; t0 < points; t0 += TRANCHE) {
        const std::size_t t1 = std::min(points, t0 + TRANCHE);
        std::size_t i = 0;
        for (; i + M <= n; i += M)
            colonnes_avx2<M, V>(x + i * ligne, ligne, debut, points, t0, t1, w, largeur, c + i * largeur);
        for (; i < n; ++i)
            colonnes_avx2<1, V>(x + i * ligne, ligne, debut, points, t0, t1, w, largeur, c + i * largeur);
    }
}

template <int R>
__attribute__((target("avx2,fma"))) void trames_avx2_f(const float* x, std::size_t pas, const float* f, std::size_t n,
                                                       const float* w, float* c)
{
    trames_avx2<R, true>(x, pas, f, n, w, c);
}

template <int R>
__attribute__((target("avx2,fma"))) void trames_avx2_1(const float* x, std::size_t pas, const float* f, std::size_t n,
                                                       const float* w, float* c)
{
    trames_avx2<R, false>(x, pas, f, n, w, c);
}

#endif

} // namespace

// A switch from the count known at run time to the template's.
#define ONDARIS_SELON(n, F, ...)                                                                                       \
    switch (n) {                                                                                                       \
    case 6:                                                                                                            \
        F<6>(__VA_ARGS__);                                                                                             \
        break;                                                                                                         \
    case 5:                                                                                                            \
        F<5>(__VA_ARGS__);                                                                                             \
        break;                                                                                                         \
    case 4:                                                                                                            \
        F<4>(__VA_ARGS__);                                                                                             \
        break;                                                                                                         \
    case 3:                                                                                                            \
        F<3>(__VA_ARGS__);                                                                                             \
        break;                                                                                                         \
    case 2:                                                                                                            \
        F<2>(__VA_ARGS__);                                                                                             \
        break;                                                                                                         \
    default:                                                                                                           \
        F<1>(__VA_ARGS__);                                                                                             \
    }

RaiesDirectes::RaiesDirectes(const float* fenetre, int points, int k0, int raies)
    : points_(std::max(0, points)), raies_(std::max(0, raies)), largeur_((2 * raies_ + 7) / 8 * 8)
{
    const std::size_t np = static_cast<std::size_t>(points_), nq = static_cast<std::size_t>(rangees());
    const std::size_t six = (nq + SIX - 1) / SIX, lg = static_cast<std::size_t>(largeur_);
    par_six_.assign(six * np * SIX, 0.0f);
    par_trame_.assign(np * lg, 0.0f);
    for (std::size_t r = 0; r < static_cast<std::size_t>(raies_); ++r) {
        const std::size_t k = static_cast<std::size_t>(k0) + r;
        for (std::size_t t = 0; t < np; ++t) {
            // k t reduced modulo the length first: the angle stays exact.
            const double a = 2 * PI * static_cast<double>(k * t % np) / static_cast<double>(np);
            const float v[2] = {static_cast<float>(fenetre[t] * std::cos(a)),
                                static_cast<float>(-fenetre[t] * std::sin(a))};
            for (std::size_t h = 0; h < 2; ++h) {
                const std::size_t q = 2 * r + h;
                par_six_[(q / SIX * np + t) * SIX + q % SIX] = v[h];
                par_trame_[t * lg + q] = v[h];
            }
        }
    }
}

void RaiesDirectes::trames(CheminCarte chemin, const float* x, std::size_t pas, const float* facteurs, float* c) const
{
    const std::size_t np = static_cast<std::size_t>(points_);
    for (int q0 = 0; q0 < rangees(); q0 += SIX) {
        const int r = std::min(SIX, rangees() - q0);
        const float* w = par_six_.data() + static_cast<std::size_t>(q0 / SIX) * np * SIX;
        float* s = c + q0 * SEIZE;
#ifdef ONDARIS_X86_AVX2
        if (chemin != CheminCarte::Portable && avx2_fma_disponible()) {
            if (facteurs) {
                ONDARIS_SELON(r, trames_avx2_f, x, pas, facteurs, np, w, s)
            } else {
                ONDARIS_SELON(r, trames_avx2_1, x, pas, facteurs, np, w, s)
            }
            continue;
        }
#endif
        trames_portable(x, pas, facteurs, np, w, r, s);
    }
}

void RaiesDirectes::colonnes(CheminCarte chemin, const float* x, std::size_t ligne, std::size_t n, int debut,
                             float* c) const
{
    const std::size_t np = static_cast<std::size_t>(points_), lg = static_cast<std::size_t>(largeur_);
    if (np == 0 || lg == 0)
        return;
    const std::size_t d = static_cast<std::size_t>(debut) % np;
    const float* w = par_trame_.data();
#ifdef ONDARIS_X86_AVX2
    if (chemin != CheminCarte::Portable && avx2_fma_disponible()) {
        const std::size_t vecteurs = lg / 8;
        for (std::size_t v0 = 0; v0 < vecteurs; v0 += VECTEURS_MAX) {
            const int v = static_cast<int>(std::min<std::size_t>(VECTEURS_MAX, vecteurs - v0));
            // At most VECTEURS_MAX: no variant that would spill.
            if (v == 3)
                colonnes_v_avx2<3>(x, ligne, n, d, np, w + 8 * v0, lg, c + 8 * v0);
            else if (v == 2)
                colonnes_v_avx2<2>(x, ligne, n, d, np, w + 8 * v0, lg, c + 8 * v0);
            else
                colonnes_v_avx2<1>(x, ligne, n, d, np, w + 8 * v0, lg, c + 8 * v0);
        }
        return;
    }
#endif
    colonnes_portable(x, ligne, n, d, np, w, lg, c);
}
