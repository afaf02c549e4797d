#include "analyse/cablage.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "analyse/sante.h"

namespace {

constexpr double PI = 3.14159265358979323846;

// Degrees within (-180, 180].
double replie(double deg)
{
    double d = std::fmod(deg, 360.0);
    if (d > 180)
        d -= 360;
    else if (d <= -180)
        d += 360;
    return d;
}

double distance(const Point3& a, const Point3& b) { return std::hypot(a.x - b.x, a.y - b.y, a.z - b.z); }

// X compensated for a microphone at the distance r: X r e^{+j 2 pi f r / c}.
std::complex<double> compense(std::complex<double> x, double r, double f)
{
    return x * std::polar(r, 2 * PI * f * r / VITESSE_SON);
}

double phase_deg(std::complex<double> z, std::complex<double> reference)
{
    return std::arg(z * std::conj(reference)) * 180 / PI;
}

} // namespace

std::string refus_ton(double f, double fe, uint64_t trames)
{
    char t[160];
    if (!(f > 0) || !(f < fe / 2)) {
        std::snprintf(t, sizeof t, "la fréquence du ton doit être sous fe/2 (%.0f Hz)", fe / 2);
        return t;
    }
    if (f * static_cast<double>(trames) / fe < PERIODES_MIN) {
        std::snprintf(t, sizeof t, "%.0f périodes au moins du ton attendues, l'enregistrement en tient %.1f",
                      PERIODES_MIN, f * static_cast<double>(trames) / fe);
        return t;
    }
    return "";
}

VerificationCablage::VerificationCablage(const std::vector<int32_t>& codes, bool flottant, double fe, double f,
                                         uint64_t trames)
    : nb_mots_(codes.size()), flottant_(flottant), fe_(fe), f_(f), longueur_(std::max<uint64_t>(trames, 1))
{
    micros_du_cadre(codes, micros_, mots_);
    sommes_.resize(micros_.size());
}

void VerificationCablage::ajoute(const uint32_t* mots, size_t trames)
{
    const double l = static_cast<double>(longueur_);
    for (size_t t = 0; t < trames; ++t, ++n_) {
        const uint32_t* trame = mots + t * nb_mots_;
        const double n = static_cast<double>(n_);
        // Hann, symmetric over the announced length; past it, nothing.
        const double w = n_ < longueur_ ? 0.5 - 0.5 * std::cos(2 * PI * (n + 0.5) / l) : 0.0;
        // The phase taken modulo one period in whole cycles keeps its precision.
        const double cycles = f_ * n / fe_;
        const std::complex<double> e = std::polar(w, -2 * PI * (cycles - std::floor(cycles)));
        sw_ += w;
        sw2_ += w * w;
        for (size_t k = 0; k < sommes_.size(); ++k) {
            Somme& s = sommes_[k];
            const uint32_t mot = trame[mots_[k]];
            double x;
            if (flottant_) {
                float v;
                std::memcpy(&v, &mot, 4);
                x = std::isfinite(v) ? static_cast<double>(v) : 0.0;
            } else {
                x = static_cast<int32_t>(mot);
            }
            if (n_ == 0)
                s.origine = x;
            const double d = x - s.origine;
            s.x += d * e;
            s.p1 += w * w * d;
            s.p2 += w * w * d * d;
        }
    }
}

BilanCablage VerificationCablage::bilan(const Geometrie& g, const Point3& source) const
{
    BilanCablage b;
    b.micros.resize(micros_.size());
    std::vector<size_t> juges; // ranks in b.micros
    std::vector<double> r(micros_.size(), 0.0);
    for (size_t k = 0; k < micros_.size(); ++k) {
        MicroCablage& m = b.micros[k];
        const Somme& s = sommes_[k];
        m.micro = micros_[k];
        if (sw_ > 0) {
            m.amplitude = 2.0 * s.x / sw_;
            const double moyenne = s.p1 / sw2_;
            const double puissance = s.p2 / sw2_ - moyenne * moyenne;
            // The tone's power in the same window: |A|^2 / 2 for a peak A.
            const double ton = std::norm(m.amplitude) / 2;
            m.part_ton = puissance > 0 ? std::min(1.0, ton / puissance) : 0.0;
        }
        if (static_cast<size_t>(m.micro) >= g.size()) {
            m.verdict = VerdictCablage::HORS_GEOMETRIE;
            continue;
        }
        r[k] = distance(source, g[static_cast<size_t>(m.micro)]);
        m.phase_attendue = 360 * f_ * r[k] / VITESSE_SON;
        if (m.part_ton < SEUIL_PART_TON)
            continue;
        m.verdict = VerdictCablage::EN_PLACE;
        juges.push_back(k);
    }
    b.juges = static_cast<int>(juges.size());
    if (juges.size() < 2)
        return b;

    double bas = b.micros[juges[0]].phase_attendue, haut = bas;
    for (size_t k : juges) {
        bas = std::min(bas, b.micros[k].phase_attendue);
        haut = std::max(haut, b.micros[k].phase_attendue);
    }
    b.etendue = haut - bas;
    uint64_t paires = 0, visibles = 0;
    for (size_t a = 0; a < juges.size(); ++a)
        for (size_t c = a + 1; c < juges.size(); ++c, ++paires)
            if (std::fabs(replie(b.micros[juges[a]].phase_attendue - b.micros[juges[c]].phase_attendue)) >
                SEUIL_PHASE_DEG)
                ++visibles;
    b.part_visible = static_cast<double>(visibles) / static_cast<double>(paires);
    b.aveugle = b.etendue < SEUIL_ETENDUE_DEG;
    if (b.aveugle)
        return b;

    // The reference: the circular mean of the compensated phases, then
    // again over the microphones within the threshold of the first.
    std::vector<std::complex<double>> z(micros_.size());
    std::complex<double> somme;
    for (size_t k : juges) {
        z[k] = compense(b.micros[k].amplitude, r[k], f_);
        somme += z[k] / std::abs(z[k]);
    }
    std::complex<double> reference = somme;
    somme = 0;
    for (size_t k : juges)
        if (std::fabs(phase_deg(z[k], reference)) <= SEUIL_PHASE_DEG)
            somme += z[k] / std::abs(z[k]);
    if (std::abs(somme) > 0)
        reference = somme;

    std::vector<size_t> signales;
    for (size_t k : juges) {
        MicroCablage& m = b.micros[k];
        m.residu = phase_deg(z[k], reference);
        if (std::fabs(m.residu) > SEUIL_PHASE_DEG) {
            m.verdict = VerdictCablage::INCOHERENT;
            signales.push_back(k);
        }
    }

    // Swaps: each of the two at the other's place.
    auto a_la_place = [&](size_t k, size_t autre) {
        return phase_deg(compense(b.micros[k].amplitude, r[autre], f_), reference);
    };
    for (size_t a = 0; a < signales.size(); ++a) {
        MicroCablage& m = b.micros[signales[a]];
        if (m.verdict != VerdictCablage::INCOHERENT)
            continue;
        size_t meilleur = 0;
        double ecart = HUGE_VAL, ra = 0, rc = 0;
        for (size_t c = a + 1; c < signales.size(); ++c) {
            if (b.micros[signales[c]].verdict != VerdictCablage::INCOHERENT)
                continue;
            const double x = a_la_place(signales[a], signales[c]), y = a_la_place(signales[c], signales[a]);
            if (std::fabs(x) <= SEUIL_PHASE_DEG && std::fabs(y) <= SEUIL_PHASE_DEG &&
                std::fabs(x) + std::fabs(y) < ecart) {
                ecart = std::fabs(x) + std::fabs(y);
                meilleur = signales[c];
                ra = x;
                rc = y;
            }
        }
        if (ecart == HUGE_VAL)
            continue;
        MicroCablage& autre = b.micros[meilleur];
        m.verdict = autre.verdict = VerdictCablage::PERMUTE;
        m.avec = autre.micro;
        autre.avec = m.micro;
        m.residu_echange = ra;
        autre.residu_echange = rc;
        b.permutes.push_back({m.micro, autre.micro});
    }
    for (size_t k : signales) {
        MicroCablage& m = b.micros[k];
        if (m.verdict != VerdictCablage::INCOHERENT)
            continue;
        if (std::fabs(m.residu) >= 180 - SEUIL_PHASE_DEG) {
            m.verdict = VerdictCablage::INVERSE;
            b.inverses.push_back(m.micro);
        } else {
            b.incoherents.push_back(m.micro);
        }
    }
    return b;
}

std::string compte_cablage(const BilanCablage& b)
{
    if (b.permutes.empty() && b.incoherents.empty() && b.inverses.empty())
        return "aucun micro permuté";
    const size_t p = b.permutes.size(), i = b.incoherents.size(), v = b.inverses.size();
    std::string t = std::to_string(p) + (p > 1 ? " paires permutées, " : " paire permutée, ") + std::to_string(i) +
                    (i > 1 ? " micros incohérents" : " micro incohérent");
    if (v > 0)
        t += ", " + std::to_string(v) + (v > 1 ? " polarités inversées" : " polarité inversée");
    return t;
}
