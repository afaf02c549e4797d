#include "analyse/spectre_direct.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "analyse/acoustique.h"
#include "analyse/sante.h"

SpectreDirect::SpectreDirect(const std::vector<int32_t>& codes, bool flottant, double fs, int micro, double facteur,
                             int segments_max, int points)
    : nb_mots_(codes.size()), flottant_(flottant), fs_(fs), micro_(micro), facteur_(facteur),
      segments_max_(std::max(0, segments_max))
{
    for (std::size_t w = 0; w < codes.size(); ++w)
        if (codes[w] == micro && micro >= 0 && micro < 1024) {
            mot_ = static_cast<int>(w);
            break;
        }
    if (points <= 0)
        points = points_spectre(fs);
    welch_[0] = std::make_unique<Welch>(fs, points);
    if (segments_max_ > 0)
        welch_[1] = std::make_unique<Welch>(fs, points);
}

SpectreDirect::~SpectreDirect() = default;

void SpectreDirect::ajoute(const uint32_t* mots, std::size_t trames, bool suite)
{
    if (!valide())
        return;
    echantillons_.resize(trames);
    for (std::size_t t = 0; t < trames; ++t) {
        const uint32_t v = mots[t * nb_mots_ + static_cast<std::size_t>(mot_)];
        if (flottant_)
            std::memcpy(&echantillons_[t], &v, 4);
        else
            echantillons_[t] = static_cast<float>(static_cast<int32_t>(v));
    }
    for (auto& w : welch_)
        if (w && !suite)
            w->interrompt();
    if (!welch_[1]) {
        welch_[0]->ajoute(echantillons_.data(), trames);
        return;
    }
    // A hop at a time: each average completes at most one segment per
    // hop, and is restarted once it holds more than segments_max.
    const std::size_t pas = static_cast<std::size_t>(welch_[0]->points() / 2);
    for (std::size_t t = 0; t < trames; t += pas) {
        const std::size_t n = std::min(pas, trames - t);
        welch_[0]->ajoute(echantillons_.data() + t, n);
        if (!lance_ && welch_[0]->segments() >= segments_max_ / 2)
            lance_ = true;
        if (lance_)
            welch_[1]->ajoute(echantillons_.data() + t, n);
        for (auto& w : welch_)
            if (w->segments() > segments_max_)
                w->recommence();
    }
}

void SpectreDirect::remet()
{
    for (auto& w : welch_)
        if (w)
            w->remet();
    lance_ = false;
}

const Welch& SpectreDirect::courant() const
{
    return welch_[1] && welch_[1]->segments() > welch_[0]->segments() ? *welch_[1] : *welch_[0];
}

int SpectreDirect::segments() const { return courant().segments(); }

SpectreMicro SpectreDirect::spectre() const
{
    const Welch& w = courant();
    SpectreMicro s;
    s.micro = micro_;
    s.calibre = facteur_ > 0;
    s.segments = w.segments();
    s.points = w.points();
    s.resolution = w.resolution();
    std::vector<double> d = w.densite();
    if (s.calibre)
        for (double& x : d)
            x *= facteur_ * facteur_;
    const double reference = s.calibre ? PRESSION_REFERENCE : 1.0;
    auto db = [&](double p) { return std::max(NIVEAU_PLANCHER, niveau_db(p, reference)); };
    double z = 0, a = 0;
    for (std::size_t k = 1; k < d.size(); ++k) {
        z += d[k] * s.resolution;
        a += d[k] * s.resolution * std::pow(10.0, ponderation_a(k * s.resolution) / 10);
    }
    s.lz = db(z);
    s.la = db(a);
    s.bandes = bandes_tiers_octave(fs_ / 2);
    const std::vector<double> p = puissance_bandes(d, s.resolution, s.bandes);
    for (double x : p)
        s.niveaux.push_back(db(x));
    s.densite.reserve(d.size());
    for (double x : d)
        s.densite.push_back(db(x));
    return s;
}
