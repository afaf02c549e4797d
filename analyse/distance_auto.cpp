#include "analyse/distance_auto.h"

#include <algorithm>
#include <cmath>

namespace {

// The largest P(g) |a(g)|^2 of a map, |a(g)|^2 = sum (r0 / rm)^2.
double focalisation(const Carte& c, const std::vector<Point3>& micros, const Point3& reference)
{
    auto ecart = [](const Point3& a, const Point3& b) { return std::hypot(a.x - b.x, a.y - b.y, a.z - b.z); };
    double meilleure = 0;
    for (int j = 0; j < c.grille.ny; ++j)
        for (int i = 0; i < c.grille.nx; ++i) {
            const Point3 p = c.grille.point(i, j);
            const double r0 = ecart(p, reference);
            double norme = 0;
            for (const Point3& m : micros) {
                const double q = r0 / ecart(p, m);
                norme += q * q;
            }
            meilleure = std::max(meilleure, c.moyennes[size_t(j * c.grille.nx + i)] * norme);
        }
    return meilleure;
}

} // namespace

int balaye_distance(const std::vector<Point3>& micros, double z_min, double z_max, const CarteEssai& carte,
                    double& z_trouve, int& cartes, std::string& erreur)
{
    if (!(z_min > 0) || !(z_max > z_min) || !std::isfinite(z_max)) {
        erreur = "plage de distances invalide";
        return -1;
    }
    if (micros.empty()) {
        erreur = "aucun micro";
        return -1;
    }
    Point3 reference;
    for (const Point3& p : micros) {
        reference.x += p.x / micros.size();
        reference.y += p.y / micros.size();
        reference.z += p.z / micros.size();
    }
    int faites = 0;
    auto mesure = [&](double z, double& f) {
        Carte k;
        if (carte(z, k, erreur) != 0)
            return -1;
        ++faites;
        f = focalisation(k, micros, reference);
        return 0;
    };
    // Steps of about 6 % from z_min to z_max, then a golden-section search
    // between the neighbours of the best.
    const int n = std::max(3, int(std::ceil(std::log(z_max / z_min) / std::log(1.06))) + 1);
    std::vector<double> z(static_cast<size_t>(n)), f(static_cast<size_t>(n));
    for (int k = 0; k < n; ++k) {
        z[size_t(k)] = z_min * std::pow(z_max / z_min, double(k) / (n - 1));
        if (mesure(z[size_t(k)], f[size_t(k)]) != 0)
            return -1;
    }
    const int best = int(std::max_element(f.begin(), f.end()) - f.begin());
    double a = z[size_t(std::max(0, best - 1))], b = z[size_t(std::min(n - 1, best + 1))];
    double z_best = z[size_t(best)], f_best = f[size_t(best)];
    const double or_ = (std::sqrt(5.0) - 1) / 2;
    double x1 = b - or_ * (b - a), x2 = a + or_ * (b - a), f1 = 0, f2 = 0;
    if (mesure(x1, f1) != 0 || mesure(x2, f2) != 0)
        return -1;
    for (int k = 0; k < 8; ++k) {
        if (f1 > f2) {
            b = x2;
            x2 = x1;
            f2 = f1;
            x1 = b - or_ * (b - a);
            if (mesure(x1, f1) != 0)
                return -1;
        } else {
            a = x1;
            x1 = x2;
            f1 = f2;
            x2 = a + or_ * (b - a);
            if (mesure(x2, f2) != 0)
                return -1;
        }
    }
    if (std::max(f1, f2) > f_best)
        z_best = f1 > f2 ? x1 : x2;
    z_trouve = z_best;
    cartes = faites;
    return 0;
}

int cherche_distance(const std::string& dat, const Geometrie& g, const DemandeCarte& d, double z_min, double z_max,
                     Carte& c, DistanceTrouvee& trouvee, std::string& erreur)
{
    if (!(z_min > 0) || !(z_max > z_min) || !std::isfinite(z_max)) {
        erreur = "plage de distances invalide";
        return -1;
    }
    MicrosEnregistres m;
    if (micros_enregistres(dat, g, {}, m, erreur) != 0)
        return -1;
    std::vector<Point3> micros;
    for (int code : m.micros)
        micros.push_back(g[size_t(code)]);
    // The plain map, diagonal kept: the focus measure needs every term.
    DemandeCarte essai = d;
    essai.sans_diagonale = false;
    essai.clean_sc = false;
    essai.reference = ReferenceNiveau::Centre;
    const CarteEssai carte = [&](double z, Carte& k, std::string& e) {
        essai.z = z;
        return calcule_carte(dat, g, essai, k, e);
    };
    DistanceTrouvee t;
    t.z_min = z_min;
    t.z_max = z_max;
    if (balaye_distance(micros, z_min, z_max, carte, t.z, t.cartes, erreur) != 0)
        return -1;
    DemandeCarte finale = d;
    finale.z = t.z;
    if (calcule_carte(dat, g, finale, c, erreur) != 0)
        return -1;
    ++t.cartes;
    trouvee = t;
    return 0;
}
