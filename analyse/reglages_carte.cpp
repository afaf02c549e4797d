#include "analyse/reglages_carte.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

const char* const AVERTISSEMENT_BORD = "maximum au bord de la grille : la source est peut-être en dehors";

double celerite_air(double temperature) { return 331.3 * std::sqrt(1.0 + temperature / 273.15); }

namespace {

// Points covering [a, b] at step `pas`, centred on it; the extent grows
// to a whole number of steps.
int points_au_pas(double& a, double& b, double pas)
{
    const double n = std::ceil((b - a) / pas - 1e-9);
    const double milieu = (a + b) / 2;
    a = milieu - n * pas / 2;
    b = milieu + n * pas / 2;
    return int(n) + 1;
}

} // namespace

int choisit_grille(const Geometrie& g, const std::vector<int>& micros, double z, double f_haute, double celerite,
                   const DemandeGrille& d, GrilleChoisie& r, std::string& erreur, double plafond)
{
    const double nm = double(std::max<size_t>(1, micros.size()));
    Grille grille = grille_ouverture(g, micros, z, GRILLE_MIN);
    const double ouverture = std::max(grille.x1 - grille.x0, grille.y1 - grille.y0);
    auto etendue = [&](double a, double b, double& x0, double& x1, const char* axe) {
        if (!(b > a))
            return true;
        if (!std::isfinite(a) || !std::isfinite(b) || std::fabs(a) > COORDONNEE_MAX_M ||
            std::fabs(b) > COORDONNEE_MAX_M) {
            erreur = std::string("grille en ") + axe + " : au-delà de " + std::to_string(int(COORDONNEE_MAX_M)) +
                     " m du réseau";
            return false;
        }
        x0 = a;
        x1 = b;
        return true;
    };
    if (!etendue(d.x0, d.x1, grille.x0, grille.x1, "x") || !etendue(d.y0, d.y1, grille.y0, grille.y1, "y"))
        return -1;
    if (!(ouverture > 0) || !(z > 0) || !(f_haute > 0) || !(celerite > 0)) {
        erreur = "grille impossible : ouverture, distance, bande ou célérité nulle";
        return -1;
    }
    GrilleChoisie c;
    const double lambda = celerite / f_haute;
    c.faisceau = lambda * std::sqrt(z * z + ouverture * ouverture / 4) / ouverture;
    const double lx = grille.x1 - grille.x0, ly = grille.y1 - grille.y0;
    if (d.pas > 0) {
        if (lx / d.pas > 1e5 || ly / d.pas > 1e5) {
            erreur = "pas de grille trop petit pour son étendue";
            return -1;
        }
        grille.nx = points_au_pas(grille.x0, grille.x1, d.pas);
        grille.ny = points_au_pas(grille.y0, grille.y1, d.pas);
    } else if (d.n > 1) {
        grille.nx = grille.ny = d.n;
    } else {
        const double pas = FRACTION_FAISCEAU * c.faisceau;
        grille.nx = std::max(GRILLE_MIN, int(std::min(1e5, std::ceil(lx / pas - 1e-9))) + 1);
        grille.ny = std::max(GRILLE_MIN, int(std::min(1e5, std::ceil(ly / pas - 1e-9))) + 1);
        const double total = double(grille.nx) * grille.ny * nm;
        if (total > plafond) {
            const double f = std::sqrt(plafond / total);
            grille.nx = std::max(2, int(grille.nx * f));
            grille.ny = std::max(2, int(grille.ny * f));
            c.limitee = true;
        }
    }
    if (double(grille.nx) * grille.ny * nm > plafond) {
        erreur = "grille de " + std::to_string(grille.nx) + " x " + std::to_string(grille.ny) + " points sur " +
                 std::to_string(micros.size()) + " micros : au plus " + std::to_string(int64_t(plafond)) +
                 " points x micros (" + std::to_string(int64_t(std::lround(plafond * 16 / 1048576))) +
                 " Mio de pointage) ; un pas plus grand ou une grille plus petite";
        return -1;
    }
    c.grille = grille;
    r = c;
    return 0;
}

void refere_niveaux(const Geometrie& g, const std::vector<int>& micros, const Grille& grille, ReferenceNiveau r,
                    std::vector<double>& moyennes)
{
    if (r != ReferenceNiveau::Source || micros.empty())
        return;
    // The 1/r law from the centre of the microphones back to 1 m.
    Point3 centre;
    for (int m : micros) {
        centre.x += g[size_t(m)].x / double(micros.size());
        centre.y += g[size_t(m)].y / double(micros.size());
        centre.z += g[size_t(m)].z / double(micros.size());
    }
    for (int j = 0; j < grille.ny; ++j)
        for (int i = 0; i < grille.nx; ++i) {
            const size_t k = size_t(j) * size_t(grille.nx) + size_t(i);
            if (k >= moyennes.size())
                return;
            const Point3 p = grille.point(i, j);
            const double r0 = std::hypot(p.x - centre.x, p.y - centre.y, p.z - centre.z) / DISTANCE_SOURCE_M;
            moyennes[k] *= r0 * r0;
        }
}

std::string unite_niveaux(bool calibre) { return calibre ? "dB SPL re 20 µPa" : "dB re 1 point²"; }

std::string reference_courte(ReferenceNiveau r)
{
    return r == ReferenceNiveau::Source ? "à 1 m de la source" : "au centre du réseau";
}

std::string reference_longue(ReferenceNiveau r)
{
    return r == ReferenceNiveau::Source
               ? "niveau à 1 m de la source : la pression qu'une source en ce point donne à 1 m d'elle"
               : "niveau au centre du réseau : la pression qu'une source en ce point donne au centre des micros";
}
