#include "analyse/instantanes.h"

#include <algorithm>
#include <cstring>

Instantanes::Instantanes(std::size_t nb_mots, bool flottant, std::vector<int32_t> mots, std::vector<float> facteurs,
                         int points)
    : nb_mots_(nb_mots), flottant_(flottant), mots_(std::move(mots)), facteurs_(std::move(facteurs)),
      points_(std::max(2, points & ~1)), tampon_(static_cast<std::size_t>(points_) * mots_.size())
{}

void Instantanes::ajoute(const uint32_t* mots, std::size_t trames, bool suite, const Pret& pret)
{
    if (!suite)
        remplies_ = 0;
    const std::size_t nm = mots_.size(), moitie = static_cast<std::size_t>(points_ / 2);
    for (std::size_t t = 0; t < trames; ++t) {
        const uint32_t* trame = mots + t * nb_mots_;
        float* x = tampon_.data() + static_cast<std::size_t>(remplies_) * nm;
        for (std::size_t i = 0; i < nm; ++i) {
            const uint32_t v = trame[mots_[i]];
            float f;
            if (flottant_)
                std::memcpy(&f, &v, 4);
            else
                f = static_cast<float>(static_cast<int32_t>(v));
            x[i] = facteurs_.empty() ? f : f * facteurs_[i];
        }
        if (++remplies_ == points_) {
            pret(tampon_.data());
            // 50 % overlap: the second half starts the next snapshot.
            std::copy(tampon_.begin() + static_cast<std::ptrdiff_t>(moitie * nm), tampon_.end(), tampon_.begin());
            remplies_ = static_cast<int>(moitie);
        }
    }
}
