#include "direct/memoire_trames.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

MemoireTrames::MemoireTrames(std::vector<int32_t> codes, bool flottant, double frequence, double duree_s,
                             std::size_t octets_max)
    : codes_(std::move(codes)), flottant_(flottant), frequence_(frequence), nb_mots_(std::max<size_t>(1, codes_.size()))
{
    const double voulues = std::max(1.0, std::ceil(std::max(0.0, duree_s) * std::max(0.0, frequence)));
    const double permises = std::max(1.0, std::floor(double(octets_max) / (4.0 * double(nb_mots_))));
    capacite_ = static_cast<std::size_t>(std::min(voulues, permises));
    // Left uninitialised: the system gives the pages as frames reach them.
    mots_.reset(new (std::nothrow) uint32_t[capacite_ * nb_mots_]);
    if (!mots_)
        capacite_ = 0;
}

void MemoireTrames::ajoute(const uint32_t* mots, std::size_t trames, bool suite)
{
    if (!suite)
        tenues_ = 0;
    if (capacite_ == 0)
        return;
    if (trames > capacite_) { // only the latest fit
        mots += (trames - capacite_) * nb_mots_;
        trames = capacite_;
    }
    while (trames > 0) {
        const std::size_t n = std::min(trames, capacite_ - fin_);
        std::memcpy(mots_.get() + fin_ * nb_mots_, mots, n * nb_mots_ * sizeof(uint32_t));
        fin_ = (fin_ + n) % capacite_;
        tenues_ = std::min(capacite_, tenues_ + n);
        mots += n * nb_mots_;
        trames -= n;
    }
}

std::vector<MorceauTrames> MemoireTrames::dernieres(std::size_t n) const
{
    n = std::min(n, tenues_);
    std::vector<MorceauTrames> r;
    if (n == 0)
        return r;
    const std::size_t debut = (fin_ + capacite_ - n) % capacite_;
    const std::size_t premiere = std::min(n, capacite_ - debut);
    r.push_back({mots_.get() + debut * nb_mots_, premiere});
    if (premiere < n)
        r.push_back({mots_.get(), n - premiere});
    return r;
}
