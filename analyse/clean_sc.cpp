#include "analyse/clean_sc.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstring>
#include <limits>

namespace {

using Complexe = std::complex<double>;

// For each focus point of `blocs` blocks of the steering d (the kernel's
// layout: [block][microphone][8 real, 8 imaginary]): |sum_m d_m h_m|^2 to
// t2 and sum_m |d_m|^2 c_m to u (c_m = |h_m|^2 for a part taken out, the
// microphones' own mean squares for the map's diagonal).
void projette(const float* d, std::size_t blocs, std::size_t nm, const float* hr, const float* hi, const float* c,
              double* t2, double* u)
{
    for (std::size_t q = 0; q < blocs; ++q) {
        const float* s = d + q * nm * 16;
        float ar[BLOC_POINTS] = {}, ai[BLOC_POINTS] = {}, ac[BLOC_POINTS] = {};
        for (std::size_t m = 0; m < nm; ++m) {
            const float* v = s + 16 * m;
            const float a = hr[m], e = hi[m], k = c[m];
            for (int b = 0; b < BLOC_POINTS; ++b) {
                const float r = v[b], i = v[8 + b];
                ar[b] += r * a - i * e;
                ai[b] += r * e + i * a;
                ac[b] += (r * r + i * i) * k;
            }
        }
        for (int b = 0; b < BLOC_POINTS; ++b) {
            t2[q * BLOC_POINTS + b] = static_cast<double>(ar[b]) * ar[b] + static_cast<double>(ai[b]) * ai[b];
            u[q * BLOC_POINTS + b] = ac[b];
        }
    }
}

} // namespace

std::vector<double> Formation::carte_clean_sc(const ReglagesCleanSc& reglages, bool sans_diagonale,
                                              BilanCleanSc* bilan) const
{
    const std::size_t ng = static_cast<std::size_t>(grille_.nx) * grille_.ny;
    std::vector<double> propre(ng, 0.0);
    BilanCleanSc bil;
    if (instantanes_ == 0 || raies() <= 0 || micros_.empty()) {
        if (bilan)
            *bilan = bil;
        return propre;
    }
    const std::size_t nm = micros_.size(), nr = static_cast<std::size_t>(raies()), ns = instantanes_;
    const std::size_t groupes = (ns + GROUPE_INSTANTANES - 1) / GROUPE_INSTANTANES, np = blocs_ * BLOC_POINTS;
    const double echelle = 2.0 / (points_ * norme_) / ns;
    const double gain = std::clamp(reglages.gain, 1e-3, 1.0);
    const int plafond = std::max(1, reglages.iterations);
    const double seuil = std::pow(10.0, -std::max(0.0, reglages.dynamique) / 10);
    bil.raies = static_cast<int>(nr);

    // The renormalisation of each point for the terms left out, as in
    // carte_sans_diagonale: |d| is the same at every line.
    std::vector<double> reste(np, 1.0);
    if (sans_diagonale)
        for (std::size_t k = 0; k < ng; ++k) {
            const float* s = depart_.p + k / BLOC_POINTS * nm * 16 + k % BLOC_POINTS;
            double carres = 0, quartiques = 0;
            for (std::size_t m = 0; m < nm; ++m) {
                const double a =
                    static_cast<double>(s[16 * m]) * s[16 * m] + static_cast<double>(s[16 * m + 8]) * s[16 * m + 8];
                carres += a;
                quartiques += a * a;
            }
            reste[k] = carres > 0 ? 1.0 - quartiques / (carres * carres) : 0.0;
        }

    Flottants pointage, lignes;
    pointage.alloue(blocs_ * nm * 16);
    std::memcpy(pointage.p, depart_.p, blocs_ * nm * 16 * sizeof(float));
    lignes.alloue(groupes * nm * 8);
    std::vector<Complexe> x(ns * nm), w(nm), dw(nm), h(nm), d1(nm);
    std::vector<float> hr(nm), hi(nm), h2(nm), zeros(nm, 0.0f);
    std::vector<double> carte(np), t2(np), u(np), diagonale(nm);
    std::vector<std::vector<Complexe>> parts;
    std::vector<double> poids;

    for (std::size_t r = 0; r < nr; ++r) {
        if (r > 0) // the steering stepped to this line
            for (std::size_t k = 0; k < blocs_ * nm; ++k) {
                float* t = pointage.p + 16 * k;
                const float* p = pas_.p + 16 * k;
                for (int b = 0; b < BLOC_POINTS; ++b) {
                    const float re = t[b] * p[b] - t[8 + b] * p[8 + b];
                    t[8 + b] = t[b] * p[8 + b] + t[8 + b] * p[b];
                    t[b] = re;
                }
            }
        // The line's snapshots, in the kernel's layout and as vectors.
        for (std::size_t g = 0; g < groupes; ++g)
            std::memcpy(lignes.p + g * nm * 8, lignes_.p + (g * nr + r) * nm * 8, nm * 8 * sizeof(float));
        std::fill(diagonale.begin(), diagonale.end(), 0.0);
        for (std::size_t s = 0; s < ns; ++s)
            for (std::size_t m = 0; m < nm; ++m) {
                const float* l = lignes.p + (s / GROUPE_INSTANTANES * nm + m) * 8 + s % GROUPE_INSTANTANES;
                x[s * nm + m] = Complexe(l[0], l[4]);
                diagonale[m] += std::norm(x[s * nm + m]) * echelle;
            }

        // The line's delay-and-sum map through the kernel.
        for (std::size_t q = 0; q < blocs_; q += 2) {
            const std::size_t n = std::min<std::size_t>(2, blocs_ - q);
            double p[2 * BLOC_POINTS] = {};
            bloc_carte(chemin_, pointage.p + q * nm * 16, pas_.p + q * nm * 16, n, lignes.p, nm, 1, ns, courant_.p, p);
            for (std::size_t b = 0; b < n * BLOC_POINTS; ++b)
                carte[q * BLOC_POINTS + b] = p[b] * echelle;
        }
        if (sans_diagonale) {
            for (std::size_t m = 0; m < nm; ++m)
                h2[m] = static_cast<float>(diagonale[m]);
            projette(pointage.p, blocs_, nm, zeros.data(), zeros.data(), h2.data(), t2.data(), u.data());
            for (std::size_t k = 0; k < ng; ++k)
                carte[k] = reste[k] > 0 ? (carte[k] - u[k]) / reste[k] : 0.0;
        }

        parts.clear();
        poids.clear();
        const double premier = *std::max_element(carte.begin(), carte.begin() + ng);
        double precedent = std::numeric_limits<double>::infinity();
        int iterations = 0;
        for (;; ++iterations) {
            if (iterations == plafond) {
                ++bil.arret_plafond;
                break;
            }
            const std::size_t j = std::max_element(carte.begin(), carte.begin() + ng) - carte.begin();
            const double maximum = carte[j];
            if (!(maximum > 0)) {
                ++bil.arret_negatif;
                break;
            }
            if (maximum < seuil * premier) {
                ++bil.arret_dynamique;
                break;
            }
            if (maximum >= precedent) {
                ++bil.arret_croissance;
                break;
            }
            precedent = maximum;
            // w = conj(d_j), the steering of the kernel's sum.
            const float* s = pointage.p + j / BLOC_POINTS * nm * 16 + j % BLOC_POINTS;
            for (std::size_t m = 0; m < nm; ++m)
                w[m] = Complexe(s[16 * m], -s[16 * m + 8]);
            // D w from the snapshots and the parts taken out.
            std::fill(dw.begin(), dw.end(), Complexe());
            for (std::size_t k = 0; k < ns; ++k) {
                const Complexe* xs = x.data() + k * nm;
                Complexe y;
                for (std::size_t m = 0; m < nm; ++m)
                    y += std::conj(xs[m]) * w[m];
                y *= echelle;
                for (std::size_t m = 0; m < nm; ++m)
                    dw[m] += xs[m] * y;
            }
            if (sans_diagonale)
                for (std::size_t m = 0; m < nm; ++m)
                    dw[m] -= diagonale[m] * w[m];
            for (std::size_t k = 0; k < parts.size(); ++k) {
                const std::vector<Complexe>& hk = parts[k];
                Complexe c;
                for (std::size_t m = 0; m < nm; ++m)
                    c += std::conj(hk[m]) * w[m];
                for (std::size_t m = 0; m < nm; ++m)
                    dw[m] -= poids[k] * (hk[m] * c - (sans_diagonale ? std::norm(hk[m]) * w[m] : Complexe()));
            }
            double vu = 0; // w^H D w: the map at j before renormalisation
            for (std::size_t m = 0; m < nm; ++m)
                vu += (std::conj(w[m]) * dw[m]).real();
            if (!(vu > 0)) {
                ++bil.arret_negatif;
                break;
            }
            for (std::size_t m = 0; m < nm; ++m)
                d1[m] = dw[m] / vu;
            if (!sans_diagonale)
                h = d1;
            else {
                // h's own terms, which D without its diagonal does not give.
                h = w;
                for (int k = 0; k < 100; ++k) {
                    double hw = 0, ecart = 0, norme = 0;
                    for (std::size_t m = 0; m < nm; ++m)
                        hw += std::norm(w[m]) * std::norm(h[m]);
                    const double f = 1 / std::sqrt(1 + hw);
                    for (std::size_t m = 0; m < nm; ++m) {
                        const Complexe n = (d1[m] + std::norm(h[m]) * w[m]) * f;
                        ecart += std::norm(n - h[m]);
                        norme += std::norm(n);
                        h[m] = n;
                    }
                    if (ecart <= 1e-24 * norme)
                        break;
                }
            }
            const double q = gain * vu;
            propre[j] += q / reste[j];
            // The residual map without the part taken out.
            for (std::size_t m = 0; m < nm; ++m) {
                hr[m] = static_cast<float>(h[m].real());
                hi[m] = static_cast<float>(h[m].imag());
                h2[m] = sans_diagonale ? static_cast<float>(std::norm(h[m])) : 0.0f;
            }
            projette(pointage.p, blocs_, nm, hr.data(), hi.data(), h2.data(), t2.data(), u.data());
            for (std::size_t k = 0; k < ng; ++k)
                if (reste[k] > 0)
                    carte[k] -= q * (t2[k] - u[k]) / reste[k];
            parts.push_back(h);
            poids.push_back(q);
        }
        bil.iterations += iterations;
        bil.iterations_raie = std::max(bil.iterations_raie, iterations);
    }
    if (bilan)
        *bilan = bil;
    return propre;
}

std::vector<SourceCleanSc> sources_clean_sc(const Grille& grille, const std::vector<double>& carte, double dynamique,
                                            int nombre)
{
    std::vector<SourceCleanSc> r;
    const std::size_t ng = static_cast<std::size_t>(grille.nx) * grille.ny;
    if (carte.size() != ng)
        return r;
    std::vector<char> pris(ng, 0);
    const double seuil = std::pow(10.0, -std::max(0.0, dynamique) / 10);
    double premiere = 0;
    while (static_cast<int>(r.size()) < nombre) {
        std::size_t k = ng;
        for (std::size_t g = 0; g < ng; ++g)
            if (!pris[g] && carte[g] > 0 && (k == ng || carte[g] > carte[k]))
                k = g;
        if (k == ng)
            break;
        SourceCleanSc s;
        s.i = static_cast<int>(k % grille.nx);
        s.j = static_cast<int>(k / grille.nx);
        double sx = 0, sy = 0;
        for (int j = std::max(0, s.j - 1); j <= std::min(grille.ny - 1, s.j + 1); ++j)
            for (int i = std::max(0, s.i - 1); i <= std::min(grille.nx - 1, s.i + 1); ++i) {
                const std::size_t g = static_cast<std::size_t>(j) * grille.nx + i;
                if (pris[g] || !(carte[g] > 0))
                    continue;
                pris[g] = 1;
                const Point3 p = grille.point(i, j);
                s.moyenne += carte[g];
                sx += carte[g] * p.x;
                sy += carte[g] * p.y;
            }
        s.x = sx / s.moyenne;
        s.y = sy / s.moyenne;
        s.z = grille.z;
        if (r.empty())
            premiere = s.moyenne;
        else if (s.moyenne < seuil * premiere)
            break;
        r.push_back(s);
    }
    std::stable_sort(r.begin(), r.end(),
                     [](const SourceCleanSc& a, const SourceCleanSc& b) { return a.moyenne > b.moyenne; });
    return r;
}
