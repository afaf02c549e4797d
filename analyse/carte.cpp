#include "analyse/carte.h"

#include <algorithm>
#include <cmath>

#include "analyse/instantanes.h"
#include "analyse/spectre.h"

int micros_enregistres(const std::string& dat, const Geometrie& g, const std::vector<double>& facteurs,
                       MicrosEnregistres& m, std::string& erreur)
{
    MicrosEnregistres r;
    lit_enregistrement(dat, r.e);
    if (!r.e.lisible) {
        erreur = dat + " : illisible" + (r.e.problemes.empty() ? std::string() : " (" + r.e.problemes.front() + ")");
        return -1;
    }
    const Disposition& disp = r.e.disposition;
    for (int w = 0; w < disp.nb_voies; ++w) {
        const int code = disp.codes[size_t(w)];
        if (code < 0 || code >= int(g.size()))
            continue;
        r.micros.push_back(code);
        r.mots.push_back(w);
        if (!facteurs.empty())
            r.facteurs.push_back(code < int(facteurs.size()) ? float(facteurs[size_t(code)]) : 0.0f);
    }
    if (r.micros.empty()) {
        erreur = dat + " : aucun micro enregistré";
        return -1;
    }
    m = std::move(r);
    return 0;
}

int calcule_carte(const std::string& dat, const Geometrie& g, const DemandeCarte& d, Carte& c, std::string& erreur)
{
    MicrosEnregistres m;
    if (micros_enregistres(dat, g, d.facteurs, m, erreur) != 0)
        return -1;
    const Enregistrement& e = m.e;
    const double fs = e.frequence;
    const Disposition& disp = e.disposition;
    const std::vector<int>& micros = m.micros;
    const std::vector<int32_t>& mots = m.mots;
    const std::vector<float>& facteurs = m.facteurs;
    const Bande* bande = nullptr;
    const std::vector<Bande> bandes = bandes_tiers_octave(fs / 2);
    for (const Bande& b : bandes)
        if (std::fabs(b.nominale - d.bande) <= 1e-6 * d.bande)
            bande = &b;
    if (!bande) {
        erreur = "pas de bande de tiers d'octave de centre nominal " + std::to_string(d.bande) + " Hz à " +
                 std::to_string(int(fs)) + " Hz d'échantillonnage";
        return -1;
    }
    if (!(d.z > 0) || (d.points != 0 && d.points < 16) || !(d.celerite > 0)) {
        erreur = "distance, instantanés ou célérité invalides";
        return -1;
    }
    GrilleChoisie grille;
    if (choisit_grille(g, micros, d.z, bande->haute, d.celerite, d.grille, grille, erreur) != 0)
        return -1;

    const uint64_t premiere = uint64_t(std::llround(std::max(0.0, d.debut) * fs));
    uint64_t fin = e.nb_trames;
    if (d.duree >= 0)
        fin = std::min(fin, premiere + uint64_t(std::llround(d.duree * fs)));
    const int n_points = d.points > 0 ? d.points : points_instantane(fs, bande->basse, bande->haute);
    const uint64_t points = uint64_t(n_points);
    if (premiere >= fin || fin - premiere < points) {
        erreur = dat + " : moins de " + std::to_string(points) + " trames dans l'intervalle demandé";
        return -1;
    }

    Formation f(fs, g, micros, bande->basse, bande->haute, grille.grille, n_points, d.celerite);
    if (f.raies() <= 0) {
        erreur = "bande de " + std::to_string(int(std::lround(d.bande))) + " Hz plus étroite que la résolution (" +
                 std::to_string(int(std::lround(fs / n_points))) + " Hz à " + std::to_string(int(fs)) +
                 " Hz d'échantillonnage)";
        return -1;
    }
    LecteurTrames lecteur;
    if (lecteur.ouvre(dat, disp.nb_voies, premiere, erreur) != 0)
        return -1;
    Instantanes instantanes(size_t(disp.nb_voies), e.flottant, mots, facteurs, n_points);
    const Instantanes::Pret ajoute = [&](const Instantanes::Vue& x) { f.ajoute(x.colonnes, x.ligne, x.debut); };
    std::vector<uint32_t> bloc(trames_par_bloc(disp.nb_voies, size_t(4) << 20) * size_t(disp.nb_voies));
    for (uint64_t t = premiere; t < fin;) {
        const size_t n = size_t(std::min<uint64_t>(fin - t, bloc.size() / size_t(disp.nb_voies)));
        const int64_t lues = lecteur.lit(bloc.data(), n);
        if (lues <= 0)
            break;
        instantanes.ajoute(bloc.data(), size_t(lues), true, ajoute);
        t += uint64_t(lues);
    }
    if (f.instantanes() == 0) {
        erreur = dat + " : lecture impossible";
        return -1;
    }

    Carte r;
    r.grille = f.grille();
    if (d.clean_sc) {
        r.moyennes = f.carte_clean_sc(d.reglages_clean_sc, d.sans_diagonale, &r.bilan);
        r.sources = sources_clean_sc(f.grille(), r.moyennes, d.reglages_clean_sc.dynamique);
        r.clean_sc = true;
    } else
        r.moyennes = d.sans_diagonale ? f.carte_sans_diagonale() : f.carte();
    r.sans_diagonale = d.sans_diagonale;
    refere_niveaux(g, micros, r.grille, d.reference, r.moyennes);
    r.f_basse = bande->basse;
    r.f_haute = bande->haute;
    r.instantanes = f.instantanes();
    r.micros = int(micros.size());
    const size_t k = size_t(std::max_element(r.moyennes.begin(), r.moyennes.end()) - r.moyennes.begin());
    r.i_max = int(k % size_t(r.grille.nx));
    r.j_max = int(k / size_t(r.grille.nx));
    const Point3 p = r.grille.point(r.i_max, r.j_max);
    r.x_max = p.x;
    r.y_max = p.y;
    r.au_bord = au_bord(r.grille, r.i_max, r.j_max);
    r.bande = d.bande;
    r.z = d.z;
    r.frequence = fs;
    r.points = n_points;
    r.celerite = d.celerite;
    r.reference = d.reference;
    r.calibree = !d.facteurs.empty();
    r.faisceau = grille.faisceau;
    r.grille_limitee = grille.limitee;
    const double reference = d.facteurs.empty() ? 1.0 : 20e-6 * 20e-6;
    r.niveau_max = 10 * std::log10(std::max(r.moyennes[k], 1e-30) / reference);
    // A level that is not a number is no level: the inputs were out of range.
    if (!std::isfinite(r.niveau_max) || !std::isfinite(r.x_max) || !std::isfinite(r.y_max) ||
        std::any_of(r.moyennes.begin(), r.moyennes.end(), [](double v) { return !std::isfinite(v); })) {
        erreur = "carte non finie (géométrie, distance ou facteurs hors d'échelle) : aucun niveau donné";
        return -1;
    }
    c = std::move(r);
    return 0;
}
