#include "app/model/affiche_niveaux.h"

#include <algorithm>
#include <cmath>

#include "analyse/acoustique.h"
#include "app/model/principale.h"
#include "channels/niveaux.h"

void init_colorbar(Principale& p)
{
    const auto& carte = carte_jet();
    for (int i = 0; i < NB_NIVEAUX; ++i) {
        p.R_jet[i] = carte[i].r;
        p.V_jet[i] = carte[i].v;
        p.B_jet[i] = carte[i].b;
    }
}

Couleur couleur_niveau(const Principale& p, int L)
{
    return Couleur{static_cast<uint8_t>(p.R_jet[L]), static_cast<uint8_t>(p.V_jet[L]), static_cast<uint8_t>(p.B_jet[L]),
                   255};
}

namespace {

int index_niveau(double db) { return static_cast<int>(std::clamp(std::lround(db), 0L, long(NB_NIVEAUX - 1))); }

} // namespace

int niveau_calibre(const Principale& p, int m, int L)
{
    if (!calibration_chargee(p) || m < 0 || m >= 1024)
        return L;
    // The run's index reads dB SPL at the nominal sensitivity.
    return index_niveau(L + 20.0 * std::log10(p.calibration.facteurs[size_t(m)] * SENSIBILITE_NOMINALE));
}

void applique_niveaux_a(Principale& p, const ResultatsDirect& r)
{
    if (!p.ponderation_a || !p.run_en_cours || r.niveaux_a.size() != 1024)
        return;
    for (int m = 0; m < 1024; ++m)
        if (!std::isnan(r.niveaux_a[size_t(m)]))
            p.ctl.grid_n[size_t(m / 8)][size_t(m % 8)] = couleur_niveau(p, index_niveau(r.niveaux_a[size_t(m)]));
}

std::string unite_niveaux(const Principale& p)
{
    const bool cal = calibration_chargee(p);
    if (p.ponderation_a)
        return cal ? "dB(A)" : "dB A";
    return cal ? "dB SPL" : "dB";
}
