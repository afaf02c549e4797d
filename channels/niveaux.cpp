#include "channels/niveaux.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif

const std::array<CouleurJet, NB_NIVEAUX>& carte_jet()
{
    static const std::array<CouleurJet, NB_NIVEAUX> carte = [] {
        int R[NB_NIVEAUX] = {}, V[NB_NIVEAUX] = {}, B[NB_NIVEAUX] = {};
        for (int i = 47; i <= 77; ++i)
            R[i] = R[i - 1] + 8;
        for (int i = 78; i <= 110; ++i)
            R[i] = 255;
        for (int i = 111; i <= 127; ++i)
            R[i] = R[i - 1] - 8;
        for (int i = 15; i <= 45; ++i)
            V[i] = V[i - 1] + 8;
        for (int i = 46; i <= 78; ++i)
            V[i] = 255;
        for (int i = 79; i <= 109; ++i)
            V[i] = V[i - 1] - 8;
        for (int i = 0; i <= 14; ++i)
            B[i] = 8 * i + 143;
        for (int i = 15; i <= 46; ++i)
            B[i] = 255;
        for (int i = 47; i <= 77; ++i)
            B[i] = B[i - 1] - 8;
        std::array<CouleurJet, NB_NIVEAUX> c{};
        for (int i = 0; i < NB_NIVEAUX; ++i)
            c[i] = {static_cast<uint8_t>(R[i]), static_cast<uint8_t>(V[i]), static_cast<uint8_t>(B[i])};
        return c;
    }();
    return carte;
}

int niveau_de(double P)
{
    if (!(P >= 1.0))
        P = 1.0;
    double l = std::floor(10.0 * std::log10(P) - 15.0 + 0.5);
    if (l < 1)
        return 0;
    if (l >= 127)
        return 127;
    return static_cast<int>(l);
}

void DispositionNiveaux::dispose(const int32_t* liste, int32_t n_liste, int32_t voies)
{
    // Runs of consecutive words, so that each frame is read in order, a run
    // at a time, into consecutive sums.
    nb_voies = voies;
    plages.clear();
    micros.clear();
    const int32_t limite = std::min<int32_t>(voies - 1, n_liste);
    for (int32_t n = 0; n < limite; ++n) {
        const int32_t c = liste[n];
        if (c < 0 || c >= NB_MICROS)
            continue;
        if (!plages.empty() && plages.back().mot + plages.back().n == n + 1)
            ++plages.back().n;
        else
            plages.push_back({n + 1, static_cast<int32_t>(micros.size()), 1});
        micros.push_back(c);
    }
}

namespace {

// sommes[j] += w[j]^2 for n signed 32-bit words read from `mots`. Where
// SSE2 is there, four words at a time: the same products and sums, in the
// same order, as the plain loop.
void ajoute_carres(const unsigned char* mots, double* sommes, int32_t n)
{
    int32_t j = 0;
#if defined(__SSE2__) || defined(_M_X64)
    for (; j + 4 <= n; j += 4) {
        const __m128i w = _mm_loadu_si128(reinterpret_cast<const __m128i*>(mots + 4 * static_cast<size_t>(j)));
        const __m128d bas = _mm_cvtepi32_pd(w);
        const __m128d haut = _mm_cvtepi32_pd(_mm_shuffle_epi32(w, 0xEE));
        _mm_storeu_pd(sommes + j, _mm_add_pd(_mm_loadu_pd(sommes + j), _mm_mul_pd(bas, bas)));
        _mm_storeu_pd(sommes + j + 2, _mm_add_pd(_mm_loadu_pd(sommes + j + 2), _mm_mul_pd(haut, haut)));
    }
#endif
    for (; j < n; ++j) {
        int32_t v;
        std::memcpy(&v, mots + 4 * static_cast<size_t>(j), 4);
        const double d = v;
        sommes[j] += d * d;
    }
}

} // namespace

bool calcule_niveaux(const unsigned char* trames, size_t octets, const DispositionNiveaux& d,
                     std::array<int, NB_MICROS>& niveaux)
{
    if (d.nb_voies <= 0)
        return false;
    const size_t F = 4 * static_cast<size_t>(d.nb_voies);
    if (!trames || octets / F < static_cast<size_t>(ECHANTILLONS_NIVEAU))
        return false;
    thread_local std::vector<double> sommes;
    sommes.assign(d.micros.size(), 0.0);
    for (int s = 0; s < ECHANTILLONS_NIVEAU; ++s) {
        const unsigned char* trame = trames + static_cast<size_t>(s) * F;
        for (const DispositionNiveaux::Plage& r : d.plages)
            ajoute_carres(trame + 4 * static_cast<size_t>(r.mot), sommes.data() + r.somme, r.n);
    }
    niveaux.fill(-1);
    for (size_t k = 0; k < d.micros.size(); ++k)
        niveaux[d.micros[k]] = niveau_de(sommes[k] / 2000.0);
    return true;
}
