#include "analyse/instantanes.h"

#include <algorithm>
#include <cstring>

namespace {

// Frames [0, n) into entries [position, position + n) of every row, in
// tiles of 16 frames by 16 microphones: each tile reads 16 frames once and
// writes one cache line per microphone.
template <bool FLOTTANT, bool CALIBRE>
void transpose(const uint32_t* mots, std::size_t n, std::size_t nb_mots, const int32_t* colonnes, const float* facteurs,
               std::size_t nm, float* tampon, std::size_t ligne, std::size_t position)
{
    constexpr std::size_t T = 16;
    for (std::size_t t0 = 0; t0 < n; t0 += T) {
        const std::size_t t1 = std::min(n, t0 + T);
        for (std::size_t i0 = 0; i0 < nm; i0 += T) {
            const std::size_t i1 = std::min(nm, i0 + T);
            for (std::size_t t = t0; t < t1; ++t) {
                const uint32_t* trame = mots + t * nb_mots;
                float* x = tampon + position + t;
                for (std::size_t i = i0; i < i1; ++i) {
                    const uint32_t v = trame[colonnes[i]];
                    float f;
                    if (FLOTTANT)
                        std::memcpy(&f, &v, 4);
                    else
                        f = static_cast<float>(static_cast<int32_t>(v));
                    x[i * ligne] = CALIBRE ? f * facteurs[i] : f;
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
}

void Instantanes::convertit(const uint32_t* mots, std::size_t trames, std::size_t position)
{
    const std::size_t nm = mots_.size();
    const int32_t* c = mots_.data();
    const float* f = facteurs_.data();
    float* x = tampon_.data();
    if (flottant_) {
        if (facteurs_.empty())
            transpose<true, false>(mots, trames, nb_mots_, c, f, nm, x, ligne_, position);
        else
            transpose<true, true>(mots, trames, nb_mots_, c, f, nm, x, ligne_, position);
    } else {
        if (facteurs_.empty())
            transpose<false, false>(mots, trames, nb_mots_, c, f, nm, x, ligne_, position);
        else
            transpose<false, true>(mots, trames, nb_mots_, c, f, nm, x, ligne_, position);
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
