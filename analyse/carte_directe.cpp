#include "analyse/carte_directe.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "analyse/acoustique.h"
#include "analyse/sante.h"
#include "analyse/spectre.h"

namespace {

std::string nombre(double v)
{
    char t[32];
    std::snprintf(t, sizeof t, "%g", v);
    return t;
}

bool puissance_de_deux(int n) { return n > 0 && (n & (n - 1)) == 0; }

// "" when [a, b] is the aperture (both 0) or an extent; else why not.
std::string etendue_refusee(double a, double b, const char* axe)
{
    if (a == 0 && b == 0)
        return {};
    if (!std::isfinite(a) || !std::isfinite(b) || !(b > a))
        return std::string("étendue en ") + axe + " de " + nombre(a) + " à " + nombre(b) +
               " m (minimum sous le maximum)";
    return {};
}

} // namespace

DemandeGrille ReglagesCarte::demande_grille() const
{
    DemandeGrille d;
    d.x0 = x0;
    d.x1 = x1;
    d.y0 = y0;
    d.y1 = y1;
    d.pas = pas;
    d.n = pas > 0 ? 0 : n;
    return d;
}

CarteDirecte::CarteDirecte(const Geometrie& g, const std::vector<int32_t>& codes, bool flottant, double fs,
                           const std::vector<int>& exclus, const std::vector<double>& facteurs, const ReglagesCarte& r)
    : reglages_(r), calibre_(!facteurs.empty())
{
    const std::vector<Bande> bandes = r.octave ? bandes_octave(fs / 2) : bandes_tiers_octave(fs / 2);
    const Bande* bande = nullptr;
    for (const Bande& b : bandes)
        if (std::fabs(b.nominale - r.bande) <= 1e-6 * r.bande)
            bande = &b;
    std::vector<int32_t> micros, mots;
    micros_du_cadre(codes, micros, mots);
    std::vector<int32_t> colonnes;
    std::vector<float> f;
    for (std::size_t i = 0; i < micros.size(); ++i) {
        const int m = micros[i];
        if (m >= static_cast<int>(g.size()) || std::find(exclus.begin(), exclus.end(), m) != exclus.end())
            continue;
        micros_.push_back(m);
        colonnes.push_back(mots[i]);
        if (calibre_)
            f.push_back(m < static_cast<int>(facteurs.size()) ? static_cast<float>(facteurs[m]) : 0.0f);
    }
    if (!bande)
        erreur_ = "pas de bande " + std::string(r.octave ? "d'octave" : "de tiers d'octave") + " de " +
                  nombre(r.bande) + " Hz sous " + nombre(fs / 2) + " Hz";
    else if (r.n != 0 && (r.n < 11 || r.n > 101))
        erreur_ = "grille de " + std::to_string(r.n) + " points de côté (11 à 101)";
    else if (!(r.pas >= 0) || !std::isfinite(r.pas))
        erreur_ = "pas de grille de " + nombre(r.pas) + " m (positif)";
    else if (!etendue_refusee(r.x0, r.x1, "x").empty())
        erreur_ = etendue_refusee(r.x0, r.x1, "x");
    else if (!etendue_refusee(r.y0, r.y1, "y").empty())
        erreur_ = etendue_refusee(r.y0, r.y1, "y");
    else if (r.points != 0 &&
             (!puissance_de_deux(r.points) || r.points < POINTS_DIRECT_MIN || r.points > POINTS_DIRECT_MAX))
        erreur_ = "instantanés de " + std::to_string(r.points) + " points (puissance de deux de " +
                  std::to_string(POINTS_DIRECT_MIN) + " à " + std::to_string(POINTS_DIRECT_MAX) + ")";
    else if (!r.selon_temperature && !(r.celerite >= 200 && r.celerite <= 2000))
        erreur_ = "vitesse du son de " + nombre(r.celerite) + " m/s (200 à 2000 m/s)";
    else if (r.selon_temperature && !(r.temperature >= -50 && r.temperature <= 60))
        erreur_ = "température de l'air de " + nombre(r.temperature) + " °C (-50 à 60 °C)";
    else if (!(r.z > 0))
        erreur_ = "distance z de " + nombre(r.z) + " m (positive)";
    else if (!(r.moyenne >= 0.25 && r.moyenne <= 1))
        erreur_ = "moyenne de " + nombre(r.moyenne) + " s (0,25 à 1 s)";
    else if (micros_.empty())
        erreur_ = "aucun micro de la trame dans la géométrie";
    if (!erreur_.empty())
        return;
    f_basse_ = bande->basse;
    f_haute_ = bande->haute;
    const double c = r.celerite_son();
    if (choisit_grille(g, micros_, r.z, f_haute_, c, r.demande_grille(), grille_, erreur_,
                       PLAFOND_POINTS_MICROS_DIRECT) != 0)
        return;
    points_ = r.points > 0 ? r.points : points_instantane(fs, f_basse_, f_haute_);
    formation_ = std::make_unique<Formation>(fs, g, micros_, f_basse_, f_haute_, grille_.grille, points_, c);
    if (formation_->raies() <= 0) {
        erreur_ =
            "bande de " + nombre(r.bande) + " Hz plus étroite que la résolution (" + nombre(fs / points_) + " Hz)";
        formation_.reset();
        return;
    }
    // The reference's factor of every focus point, for every map.
    const Grille& gr = formation_->grille();
    reference_.assign(static_cast<std::size_t>(gr.nx) * static_cast<std::size_t>(gr.ny), 1.0);
    refere_niveaux(g, micros_, gr, r.reference, reference_);
    instantanes_ = std::make_unique<Instantanes>(codes.size(), flottant, std::move(colonnes), std::move(f), points_);
    nb_mots_ = codes.size();
    periode_ = static_cast<std::size_t>(std::max(static_cast<double>(points_), std::round(r.moyenne * fs)));
    // Snapshots completed in a period, against what a map may use: the
    // frames of INSTANTANES_PAR_SECONDE short snapshots per second.
    const double completes = static_cast<double>(periode_) / (points_ / 2);
    const double permis = std::max(1.0, INSTANTANES_PAR_SECONDE * POINTS_INSTANTANE / points_ * periode_ / fs);
    un_sur_ = std::max(1, static_cast<int>(std::ceil(completes / permis)));
}

CarteDirecte::~CarteDirecte() = default;

void CarteDirecte::ajoute(const uint32_t* mots, std::size_t trames, bool suite)
{
    if (!valide())
        return;
    const Instantanes::Pret pret = [this](const Instantanes::Vue& x) {
        formation_->ajoute(x.colonnes, x.ligne, x.debut);
    };
    // A map takes the snapshots completed in its period that have 0, k,
    // 2k... completed before them there (k = un_sur_). Known when one
    // begins: only the one before it, if still being filled, completes
    // between; frames of no snapshot taken are then never converted.
    const Instantanes::Garde garde = [this](std::size_t t, bool precedent) {
        const std::size_t pts = static_cast<std::size_t>(points_), debut = trames_ + t, moitie = pts / 2;
        const std::size_t periode = (debut + pts - 1) / periode_;
        std::uint64_t avant = periode == 0 ? instantanes_->completes() - completes_periode_ : 0;
        if (precedent && (debut + moitie - 1) / periode_ == periode)
            ++avant;
        return avant % static_cast<std::uint64_t>(un_sur_) == 0;
    };
    // Up to the end of the period, then the map, then the rest.
    while (trames > 0) {
        const std::size_t n = std::min(trames, periode_ - trames_);
        instantanes_->ajoute(mots, n, suite, pret, garde);
        suite = true;
        mots += n * nb_mots_;
        trames -= n;
        if ((trames_ += n) == periode_)
            termine_periode();
    }
}

void CarteDirecte::termine_periode()
{
    trames_ = 0;
    completes_periode_ = instantanes_->completes();
    if (formation_->instantanes() == 0)
        return; // a period shorter than a snapshot
    ImageCarte c;
    c.reglages = reglages_;
    c.grille = formation_->grille();
    c.micros = micros_;
    c.f_basse = f_basse_;
    c.f_haute = f_haute_;
    c.calibre = calibre_;
    c.instantanes = formation_->instantanes();
    c.points = points_;
    c.celerite = reglages_.celerite_son();
    c.faisceau = grille_.faisceau;
    c.grille_limitee = grille_.limitee;
    std::vector<double> moyennes = reglages_.sans_diagonale ? formation_->carte_sans_diagonale() : formation_->carte();
    formation_->remet();
    for (std::size_t k = 0; k < moyennes.size() && k < reference_.size(); ++k)
        moyennes[k] *= reference_[k];
    const double reference = calibre_ ? PRESSION_REFERENCE * PRESSION_REFERENCE : 1.0;
    c.niveaux.resize(moyennes.size());
    for (std::size_t k = 0; k < moyennes.size(); ++k)
        c.niveaux[k] = 10 * std::log10(std::max(moyennes[k], 1e-30) / reference);
    const std::size_t k =
        static_cast<std::size_t>(std::max_element(c.niveaux.begin(), c.niveaux.end()) - c.niveaux.begin());
    c.i_max = static_cast<int>(k % static_cast<std::size_t>(c.grille.nx));
    c.j_max = static_cast<int>(k / static_cast<std::size_t>(c.grille.nx));
    const Point3 p = c.grille.point(c.i_max, c.j_max);
    c.x_max = p.x;
    c.y_max = p.y;
    c.niveau_max = c.niveaux[k];
    image_ = std::move(c);
    nouvelle_ = true;
}
