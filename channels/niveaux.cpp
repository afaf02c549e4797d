#include "channels/niveaux.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif

#include "app/model/principale.h"
#include "channels/canaux.h"

void init_colorbar(Principale& p)
{
    auto& R = p.R_jet;
    auto& V = p.V_jet;
    auto& B = p.B_jet;
    R.fill(0);
    V.fill(0);
    B.fill(0);
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

Couleur couleur_niveau(const Principale& p, int L)
{
    return Couleur{static_cast<uint8_t>(p.R_jet[L]), static_cast<uint8_t>(p.V_jet[L]),
                   static_cast<uint8_t>(p.B_jet[L]), 255};
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

void calcule_niveaux(const unsigned char* trames, int nb_voies, const int32_t* voies, int nb_voies_valid,
                     std::vector<int32_t>& codes, std::vector<int16_t>& niveaux)
{
    // Microphone entries of the list, read as frame word n + 1, grouped in
    // runs of consecutive words so that each frame is read in order, a run
    // at a time, into consecutive sums.
    struct Plage {
        int32_t mot, somme, n;
    };
    const uint64_t F = 4 * static_cast<uint64_t>(nb_voies);
    const int32_t limite = std::min<int32_t>(nb_voies - 1, nb_voies_valid);
    thread_local std::vector<Plage> plages;
    thread_local std::vector<double> sommes;
    plages.clear();
    codes.clear();
    for (int32_t n = 0; n < limite; ++n) {
        int32_t c = voies[n];
        if (c < 0 || c >= NB_MICROS)
            continue;
        if (!plages.empty() && plages.back().mot + plages.back().n == n + 1)
            ++plages.back().n;
        else
            plages.push_back({n + 1, static_cast<int32_t>(codes.size()), 1});
        codes.push_back(c);
    }
    sommes.assign(codes.size(), 0.0);
    for (int s = 0; s < ECHANTILLONS_NIVEAU; ++s) {
        const unsigned char* frame = trames + static_cast<uint64_t>(s) * F;
        for (const Plage& r : plages)
            ajoute_carres(frame + 4 * static_cast<size_t>(r.mot), sommes.data() + r.somme, r.n);
    }
    niveaux.resize(codes.size());
    for (size_t k = 0; k < codes.size(); ++k)
        niveaux[k] = static_cast<int16_t>(niveau_de(sommes[k] / 2000.0));
}
