#include "analyse/noyau_carte.h"

#include <cstring>
#include <initializer_list>

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define ONDARIS_X86_AVX2 1
#include <immintrin.h>
#endif

namespace {

constexpr std::size_t B = BLOC_POINTS, G = GROUPE_INSTANTANES;

// courant = depart, then stepped: one complex product per microphone.
void avance_portable(float* courant, const float* pas, std::size_t nm)
{
    for (std::size_t m = 0; m < nm; ++m) {
        float* t = courant + 16 * m;
        const float* p = pas + 16 * m;
        for (std::size_t b = 0; b < B; ++b) {
            const float r = t[b] * p[b] - t[8 + b] * p[8 + b];
            t[8 + b] = t[b] * p[8 + b] + t[8 + b] * p[b];
            t[b] = r;
        }
    }
}

void bloc_portable(const float* depart, const float* pas, const float* lignes, std::size_t nm, std::size_t nr,
                   std::size_t ns, float* courant, double* puissance)
{
    const std::size_t groupes = (ns + G - 1) / G;
    std::memcpy(courant, depart, nm * 16 * sizeof(float));
    for (std::size_t r = 0; r < nr; ++r) {
        for (std::size_t g = 0; g < groupes; ++g) {
            const float* x = lignes + (g * nr + r) * nm * 8;
            float ar[G][B] = {}, ai[G][B] = {};
            for (std::size_t m = 0; m < nm; ++m) {
                const float* t = courant + 16 * m;
                for (std::size_t s = 0; s < G; ++s) {
                    const float a = x[8 * m + s], e = x[8 * m + 4 + s];
                    for (std::size_t b = 0; b < B; ++b) {
                        ar[s][b] += t[b] * a;
                        ar[s][b] -= t[8 + b] * e;
                        ai[s][b] += t[b] * e;
                        ai[s][b] += t[8 + b] * a;
                    }
                }
            }
            for (std::size_t s = 0; s < G; ++s)
                for (std::size_t b = 0; b < B; ++b)
                    puissance[b] += static_cast<double>(ar[s][b]) * ar[s][b] + static_cast<double>(ai[s][b]) * ai[s][b];
        }
        if (r + 1 < nr)
            avance_portable(courant, pas, nm);
    }
}

#ifdef ONDARIS_X86_AVX2

// Microphone m into partial sum q of S snapshots; with AVANCE, its
// steering then stepped to the next line (the line's last group).
template <int S, bool AVANCE>
__attribute__((target("avx2,fma"), always_inline)) inline void
micro_avx2(float* courant, const float* pas, const float* x, std::size_t m, int q, __m256* ar, __m256* ai)
{
    const __m256 tr = _mm256_load_ps(courant + 16 * m);
    const __m256 ti = _mm256_load_ps(courant + 16 * m + 8);
    const float* v = x + 8 * m;
#pragma GCC unroll 4
    for (int s = 0; s < S; ++s) {
        const __m256 a = _mm256_broadcast_ss(v + s), e = _mm256_broadcast_ss(v + 4 + s);
        ar[q * S + s] = _mm256_fnmadd_ps(ti, e, _mm256_fmadd_ps(tr, a, ar[q * S + s]));
        ai[q * S + s] = _mm256_fmadd_ps(ti, a, _mm256_fmadd_ps(tr, e, ai[q * S + s]));
    }
    if (AVANCE) {
        const __m256 pr = _mm256_load_ps(pas + 16 * m), pi = _mm256_load_ps(pas + 16 * m + 8);
        _mm256_store_ps(courant + 16 * m, _mm256_fmsub_ps(tr, pr, _mm256_mul_ps(ti, pi)));
        _mm256_store_ps(courant + 16 * m + 8, _mm256_fmadd_ps(tr, pi, _mm256_mul_ps(ti, pr)));
    }
}

// One group of S snapshots (1, 2 or 4) over every microphone. With fewer
// than 4, the microphones go into 4 / S partial sums, so that 8 chains of
// multiply-adds always run side by side.
template <int S, bool AVANCE>
__attribute__((target("avx2,fma"))) inline void groupe_avx2(float* courant, const float* pas, const float* x,
                                                            std::size_t nm, __m256d& p0, __m256d& p1)
{
    constexpr int P = 4 / S;
    __m256 ar[4], ai[4];
    for (int k = 0; k < 4; ++k)
        ar[k] = ai[k] = _mm256_setzero_ps();
    std::size_t m = 0;
    for (; m + P <= nm; m += P) {
#pragma GCC unroll 4
        for (int q = 0; q < P; ++q)
            micro_avx2<S, AVANCE>(courant, pas, x, m + q, q, ar, ai);
    }
    for (; m < nm; ++m)
        micro_avx2<S, AVANCE>(courant, pas, x, m, 0, ar, ai);
    for (int s = 0; s < S; ++s) {
        __m256 r = ar[s], i = ai[s];
        for (int q = 1; q < P; ++q) {
            r = _mm256_add_ps(r, ar[q * S + s]);
            i = _mm256_add_ps(i, ai[q * S + s]);
        }
        // Squares in double, 4 points per register.
        for (__m256 v : {r, i}) {
            const __m256d bas = _mm256_cvtps_pd(_mm256_castps256_ps128(v));
            const __m256d haut = _mm256_cvtps_pd(_mm256_extractf128_ps(v, 1));
            p0 = _mm256_fmadd_pd(bas, bas, p0);
            p1 = _mm256_fmadd_pd(haut, haut, p1);
        }
    }
}

__attribute__((target("avx2,fma"))) void bloc_avx2(const float* depart, const float* pas, const float* lignes,
                                                   std::size_t nm, std::size_t nr, std::size_t ns, float* courant,
                                                   double* puissance)
{
    std::memcpy(courant, depart, nm * 16 * sizeof(float));
    const std::size_t groupes = (ns + G - 1) / G, reste = ns % G;
    __m256d p0 = _mm256_setzero_pd(), p1 = _mm256_setzero_pd();
    for (std::size_t r = 0; r < nr; ++r) {
        for (std::size_t g = 0; g < groupes; ++g) {
            const float* x = lignes + (g * nr + r) * nm * 8;
            // The steering stepped in the line's last pass over it.
            const bool avance = g + 1 == groupes && r + 1 < nr;
            if (g + 1 < groupes || reste == 0 || reste == 3) {
                if (avance)
                    groupe_avx2<4, true>(courant, pas, x, nm, p0, p1);
                else
                    groupe_avx2<4, false>(courant, pas, x, nm, p0, p1);
            } else if (reste == 2) {
                if (avance)
                    groupe_avx2<2, true>(courant, pas, x, nm, p0, p1);
                else
                    groupe_avx2<2, false>(courant, pas, x, nm, p0, p1);
            } else {
                if (avance)
                    groupe_avx2<1, true>(courant, pas, x, nm, p0, p1);
                else
                    groupe_avx2<1, false>(courant, pas, x, nm, p0, p1);
            }
        }
    }
    double q[8];
    _mm256_storeu_pd(q, p0);
    _mm256_storeu_pd(q + 4, p1);
    for (std::size_t b = 0; b < B; ++b)
        puissance[b] += q[b];
}

// Two blocks at once: courant holds per microphone their 16 points' real
// parts, then their imaginary parts, and after nm * 32 floats the steps
// the same way.
template <int S, bool AVANCE>
__attribute__((target("avx512f"), always_inline)) inline void
micro_avx512(float* t, const float* v0, const float* v1, int q, __m512* ar, __m512* ai, std::size_t nm)
{
    const __m512 tr = _mm512_load_ps(t), ti = _mm512_load_ps(t + 16);
#pragma GCC unroll 8
    for (int s = 0; s < S; ++s) {
        const float* v = s < 4 ? v0 : v1;
        const __m512 a = _mm512_set1_ps(v[s & 3]), e = _mm512_set1_ps(v[4 + (s & 3)]);
        ar[q * S + s] = _mm512_fnmadd_ps(ti, e, _mm512_fmadd_ps(tr, a, ar[q * S + s]));
        ai[q * S + s] = _mm512_fmadd_ps(ti, a, _mm512_fmadd_ps(tr, e, ai[q * S + s]));
    }
    if (AVANCE) {
        const float* p = t + 32 * nm;
        const __m512 pr = _mm512_load_ps(p), pi = _mm512_load_ps(p + 16);
        _mm512_store_ps(t, _mm512_fmsub_ps(tr, pr, _mm512_mul_ps(ti, pi)));
        _mm512_store_ps(t + 16, _mm512_fmadd_ps(tr, pi, _mm512_mul_ps(ti, pr)));
    }
}

// S snapshots (1, 2, 4, or 8 from two groups x0 and x1) over every
// microphone, in 8 / S partial sums: 16 chains of multiply-adds side by side.
template <int S, bool AVANCE>
__attribute__((target("avx512f"))) inline void groupe_avx512(float* courant, const float* x0, const float* x1,
                                                             std::size_t nm, __m512d& p0, __m512d& p1)
{
    constexpr int P = 8 / S;
    __m512 ar[8], ai[8];
    for (int k = 0; k < 8; ++k)
        ar[k] = ai[k] = _mm512_setzero_ps();
    std::size_t m = 0;
    for (; m + P <= nm; m += P) {
#pragma GCC unroll 8
        for (int q = 0; q < P; ++q)
            micro_avx512<S, AVANCE>(courant + 32 * (m + q), x0 + 8 * (m + q), x1 + 8 * (m + q), q, ar, ai, nm);
    }
    for (; m < nm; ++m)
        micro_avx512<S, AVANCE>(courant + 32 * m, x0 + 8 * m, x1 + 8 * m, 0, ar, ai, nm);
    for (int s = 0; s < S; ++s) {
        __m512 r = ar[s], i = ai[s];
        for (int q = 1; q < P; ++q) {
            r = _mm512_add_ps(r, ar[q * S + s]);
            i = _mm512_add_ps(i, ai[q * S + s]);
        }
        // Squares in double, 8 points per register (the zero-masked
        // conversion: GCC 12's plain one warns of its own undefined source).
        alignas(64) float w[32];
        _mm512_store_ps(w, r);
        _mm512_store_ps(w + 16, i);
        for (int k = 0; k < 32; k += 16) {
            const __m512d bas = _mm512_maskz_cvtps_pd(0xFF, _mm256_load_ps(w + k));
            const __m512d haut = _mm512_maskz_cvtps_pd(0xFF, _mm256_load_ps(w + k + 8));
            p0 = _mm512_fmadd_pd(bas, bas, p0);
            p1 = _mm512_fmadd_pd(haut, haut, p1);
        }
    }
}

__attribute__((target("avx512f"))) void blocs_avx512(const float* depart, const float* pas, std::size_t blocs,
                                                     const float* lignes, std::size_t nm, std::size_t nr,
                                                     std::size_t ns, float* courant, double* puissance)
{
    float* suivant = courant + 32 * nm;
    for (std::size_t m = 0; m < nm; ++m)
        for (std::size_t k = 0; k < 2; ++k) {
            float* t = courant + 32 * m + 8 * k;
            float* u = suivant + 32 * m + 8 * k;
            if (k < blocs) {
                const std::size_t j = k * nm * 16 + 16 * m;
                std::memcpy(t, depart + j, B * sizeof(float));
                std::memcpy(t + 16, depart + j + 8, B * sizeof(float));
                std::memcpy(u, pas + j, B * sizeof(float));
                std::memcpy(u + 16, pas + j + 8, B * sizeof(float));
            } else {
                std::memset(t, 0, B * sizeof(float));
                std::memset(t + 16, 0, B * sizeof(float));
                std::memset(u, 0, B * sizeof(float));
                std::memset(u + 16, 0, B * sizeof(float));
            }
        }
    const std::size_t groupes = (ns + G - 1) / G, reste = ns % G;
    __m512d p0 = _mm512_setzero_pd(), p1 = _mm512_setzero_pd();
    for (std::size_t r = 0; r < nr; ++r) {
        for (std::size_t g = 0; g < groupes;) {
            const float* x = lignes + (g * nr + r) * nm * 8;
            const bool double_ = g + 2 < groupes || (g + 2 == groupes && reste == 0);
            // The steering stepped in the line's last pass over it.
            const bool avance = g + (double_ ? 2 : 1) == groupes && r + 1 < nr;
            if (double_) {
                const float* x1 = lignes + ((g + 1) * nr + r) * nm * 8;
                if (avance)
                    groupe_avx512<8, true>(courant, x, x1, nm, p0, p1);
                else
                    groupe_avx512<8, false>(courant, x, x1, nm, p0, p1);
                g += 2;
                continue;
            }
            const int S = g + 1 < groupes || reste == 0 || reste == 3 ? 4 : static_cast<int>(reste);
            if (S == 4)
                avance ? groupe_avx512<4, true>(courant, x, x, nm, p0, p1)
                       : groupe_avx512<4, false>(courant, x, x, nm, p0, p1);
            else if (S == 2)
                avance ? groupe_avx512<2, true>(courant, x, x, nm, p0, p1)
                       : groupe_avx512<2, false>(courant, x, x, nm, p0, p1);
            else
                avance ? groupe_avx512<1, true>(courant, x, x, nm, p0, p1)
                       : groupe_avx512<1, false>(courant, x, x, nm, p0, p1);
            ++g;
        }
    }
    double q[16];
    _mm512_storeu_pd(q, p0);
    _mm512_storeu_pd(q + 8, p1);
    for (std::size_t b = 0; b < B * blocs; ++b)
        puissance[b] += q[b];
}

#endif

} // namespace

bool avx2_fma_disponible()
{
#ifdef ONDARIS_X86_AVX2
    static const bool oui = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    }();
    return oui;
#else
    return false;
#endif
}

bool avx512_disponible()
{
#ifdef ONDARIS_X86_AVX2
    static const bool oui = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx512f");
    }();
    return oui;
#else
    return false;
#endif
}

bool chemin_disponible(CheminCarte c)
{
    switch (c) {
    case CheminCarte::Avx512:
        return avx512_disponible();
    case CheminCarte::Avx2Fma:
        return avx2_fma_disponible();
    default:
        return true;
    }
}

CheminCarte chemin_carte_rapide()
{
    return avx512_disponible()     ? CheminCarte::Avx512
           : avx2_fma_disponible() ? CheminCarte::Avx2Fma
                                   : CheminCarte::Portable;
}

const char* nom_chemin(CheminCarte c)
{
    return c == CheminCarte::Avx512 ? "AVX-512" : c == CheminCarte::Avx2Fma ? "AVX2+FMA" : "portable";
}

void bloc_carte(CheminCarte chemin, const float* depart, const float* pas, std::size_t blocs, const float* lignes,
                std::size_t nm, std::size_t nr, std::size_t instantanes, float* courant, double* puissance)
{
#ifdef ONDARIS_X86_AVX2
    if (chemin == CheminCarte::Avx512 && avx512_disponible()) {
        blocs_avx512(depart, pas, blocs, lignes, nm, nr, instantanes, courant, puissance);
        return;
    }
#endif
    for (std::size_t k = 0; k < blocs; ++k) {
        const float* d = depart + k * nm * 16;
        const float* p = pas + k * nm * 16;
        double* w = puissance + k * B;
#ifdef ONDARIS_X86_AVX2
        if (chemin != CheminCarte::Portable && avx2_fma_disponible()) {
            bloc_avx2(d, p, lignes, nm, nr, instantanes, courant, w);
            continue;
        }
#endif
        bloc_portable(d, p, lignes, nm, nr, instantanes, courant, w);
    }
}
