#include "analyse/acoustique.h"

#include <cmath>
#include <vector>

namespace {
constexpr double PI = 3.14159265358979323846;
}

double niveau_spl(double moyenne_carres_pa2)
{
    return 10.0 * std::log10(moyenne_carres_pa2 / (PRESSION_REFERENCE * PRESSION_REFERENCE));
}

double ponderation_a(double f)
{
    const double f1 = 20.598997, f2 = 107.65265, f3 = 737.86223, f4 = 12194.217;
    const double A1000 = -2.000; // the unnormalised weighting at 1 kHz
    const double f_2 = f * f;
    const double ra =
        f4 * f4 * f_2 * f_2 / ((f_2 + f1 * f1) * std::sqrt((f_2 + f2 * f2) * (f_2 + f3 * f3)) * (f_2 + f4 * f4));
    return 20.0 * std::log10(ra) - A1000;
}

void bornes_bande(double fc, int n, double& bas, double& haut)
{
    const double demi = std::pow(2.0, 1.0 / (2.0 * n));
    bas = fc / demi;
    haut = fc * demi;
}

double moyenne_carres_bande(const double* x, size_t n, double fs, double bas, double haut)
{
    if (n < 2 || !(fs > 0))
        return 0;
    // The mean out first: through the window, an offset would reach the
    // lowest lines.
    double moyenne = 0;
    for (size_t i = 0; i < n; ++i)
        moyenne += x[i];
    moyenne /= static_cast<double>(n);
    std::vector<double> xw(n);
    double w2 = 0;
    for (size_t i = 0; i < n; ++i) {
        const double w = 0.5 - 0.5 * std::cos(2 * PI * static_cast<double>(i) / static_cast<double>(n));
        xw[i] = w * (x[i] - moyenne);
        w2 += w * w;
    }
    // Goertzel, line by line: |X_k|^2 without the whole transform.
    const double N = static_cast<double>(n);
    double somme = 0;
    for (double k = std::ceil(bas * N / fs); k <= haut * N / fs && k < N / 2; ++k) {
        const double c = 2.0 * std::cos(2 * PI * k / N);
        double s1 = 0, s2 = 0;
        for (double v : xw) {
            const double s0 = v + c * s1 - s2;
            s2 = s1;
            s1 = s0;
        }
        somme += s1 * s1 + s2 * s2 - c * s1 * s2;
    }
    // One side of the spectrum holds half the power: Parseval gives
    // sum |X_k|^2 = N sum (w x)^2, and the window takes sum w^2 / N of it.
    return 2.0 * somme / (N * w2);
}
