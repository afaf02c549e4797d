#include "analyse/instantanes.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#include <xmmintrin.h>
#endif

namespace {

constexpr std::size_t T = 16;

// One sample as a float.
template <bool FLOTTANT> inline float echantillon(uint32_t v)
{
    float f;
    if (FLOTTANT)
        std::memcpy(&f, &v, 4);
    else
        f = static_cast<float>(static_cast<int32_t>(v));
    return f;
}

#ifdef __SSE2__
// Frames [t, t + 4) of the 4 microphones i.. i + 3, whose words follow
// one another, as a 4 x 4 transpose in registers.
template <bool FLOTTANT, bool CALIBRE>
inline void quatre(const uint32_t* mots, std::size_t t, std::size_t nb_mots, std::size_t colonne, const float* facteurs,
                   std::size_t i, float* tampon, std::size_t ligne, std::size_t position)
{
    __m128 r[4];
    for (std::size_t k = 0; k < 4; ++k) {
        const uint32_t* p = mots + (t + k) * nb_mots + colonne;
        r[k] = FLOTTANT ? _mm_loadu_ps(reinterpret_cast<const float*>(p))
                        : _mm_cvtepi32_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
    }
    _MM_TRANSPOSE4_PS(r[0], r[1], r[2], r[3]);
    for (std::size_t k = 0; k < 4; ++k) {
        const __m128 x = CALIBRE ? _mm_mul_ps(r[k], _mm_set1_ps(facteurs[i + k])) : r[k];
        _mm_storeu_ps(tampon + (i + k) * ligne + position + t, x);
    }
}
#endif

// Frames [0, n) into entries [position, position + n) of every row, in
// tiles of 16 frames by 16 microphones: each tile reads 16 frames once and
// writes one cache line per microphone. `suivis[i / 4]`: the words of
// microphones i.. i + 3 follow one another (4 x 4 transposes then).
template <bool FLOTTANT, bool CALIBRE>
void transpose(const uint32_t* mots, std::size_t n, std::size_t nb_mots, const int32_t* colonnes, const float* facteurs,
               const char* suivis, std::size_t nm, float* tampon, std::size_t ligne, std::size_t position)
{
    for (std::size_t t0 = 0; t0 < n; t0 += T) {
        const std::size_t t1 = std::min(n, t0 + T);
        for (std::size_t i0 = 0; i0 < nm; i0 += T) {
            const std::size_t i1 = std::min(nm, i0 + T);
            std::size_t i = i0;
#ifdef __SSE2__
            if (t1 - t0 == T)
                for (; i + 4 <= i1 && suivis[i / 4]; i += 4)
                    for (std::size_t t = t0; t < t1; t += 4)
                        quatre<FLOTTANT, CALIBRE>(mots, t, nb_mots, static_cast<std::size_t>(colonnes[i]), facteurs, i,
                                                  tampon, ligne, position);
#endif
            for (std::size_t t = t0; t < t1; ++t) {
                const uint32_t* trame = mots + t * nb_mots;
                float* x = tampon + position + t;
                for (std::size_t j = i; j < i1; ++j) {
                    const float f = echantillon<FLOTTANT>(trame[colonnes[j]]);
                    x[j * ligne] = CALIBRE ? f * facteurs[j] : f;
                }
            }
        }
    }
}

} // namespace

Instantanes::Instantanes(std::size_t nb_mots, bool flottant, std::vector<int32_t> mots, std::vector<float> facteurs,
                         int points)
    : nb_mots_(nb_mots), flottant_(flottant), mots_(std::move(mots)), facteurs_(std::move(facteurs)),
      points_(std::max(2, points & ~1)),
      // Padded so that the rows of a tile do not fall on the same cache sets.
      ligne_(static_cast<std::size_t>(points_) + 16), tampon_(ligne_ * mots_.size())
{
    if (!facteurs_.empty())
        facteurs_.resize(mots_.size(), 1.0f);
    for (std::size_t i = 0; i + 4 <= mots_.size(); i += 4)
        suivis_.push_back(mots_[i + 1] == mots_[i] + 1 && mots_[i + 2] == mots_[i] + 2 && mots_[i + 3] == mots_[i] + 3);
}

void Instantanes::convertit(const uint32_t* mots, std::size_t trames, std::size_t position)
{
    const std::size_t nm = mots_.size();
    const int32_t* c = mots_.data();
    const float* f = facteurs_.data();
    const char* s = suivis_.data();
    float* x = tampon_.data();
    if (flottant_) {
        if (facteurs_.empty())
            transpose<true, false>(mots, trames, nb_mots_, c, f, s, nm, x, ligne_, position);
        else
            transpose<true, true>(mots, trames, nb_mots_, c, f, s, nm, x, ligne_, position);
    } else {
        if (facteurs_.empty())
            transpose<false, false>(mots, trames, nb_mots_, c, f, s, nm, x, ligne_, position);
        else
            transpose<false, true>(mots, trames, nb_mots_, c, f, s, nm, x, ligne_, position);
    }
}

void Instantanes::ajoute(const uint32_t* mots, std::size_t trames, bool suite, const Pret& pret, const Garde& garde)
{
    if (!suite)
        remplies_ = 0;
    const std::size_t np = static_cast<std::size_t>(points_), moitie = np / 2;
    auto veut = [&](std::size_t t, bool precedent) { return !garde || garde(t, precedent); };
    std::size_t t = 0;
    while (t < trames) {
        if (remplies_ == 0) // a snapshot begun afresh
            garde_ = veut(t, false);
        // Up to the half, where the next snapshot begins, or to the end.
        const std::size_t n = std::min(trames - t, (remplies_ < moitie ? moitie : np) - remplies_);
        if (garde_ || (remplies_ >= moitie && garde_suivant_)) {
            const std::size_t p = (debut_ + remplies_) % np, avant = std::min(n, np - p);
            convertit(mots + t * nb_mots_, avant, p);
            if (avant < n)
                convertit(mots + (t + avant) * nb_mots_, n - avant, 0);
        }
        t += n;
        remplies_ += n;
        if (remplies_ == moitie) {
            garde_suivant_ = veut(t, true);
        } else if (remplies_ == np) {
            ++completes_;
            if (garde_)
                pret(Vue{tampon_.data(), ligne_, static_cast<int>(debut_)});
            // 50 % overlap: the second half starts the next snapshot.
            debut_ = (debut_ + moitie) % np;
            remplies_ = moitie;
            garde_ = garde_suivant_;
            garde_suivant_ = veut(t, true);
        }
    }
}
