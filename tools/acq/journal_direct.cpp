#include "tools/acq/journal_direct.h"

JournalDirect::JournalDirect(std::shared_ptr<const Geometrie> geometrie, const std::vector<int32_t>& codes,
                             bool flottant, double fs, const Conventions& conv)
    : codes_(codes), flottant_(flottant), fs_(fs), conv_(conv)
{
    for (int32_t c : codes)
        if (c >= 0 && c < 1024) {
            micro_ = c;
            break;
        }
    ReglagesDirect r;
    r.carte = true;
    r.reglages_carte.moyenne = MOYENNE_JOURNAL_S;
    r.bande_la_plus_forte = true;
    r.geometrie = std::move(geometrie);
    r.micro_spectre = micro_;
    analyse_.reglages(r);
}

std::unique_ptr<PriseTrames> JournalDirect::commence()
{
    if (micro_ < 0)
        return nullptr;
    return analyse_.commence(codes_, flottant_, fs_, TAMPONS_JOURNAL);
}

std::string JournalDirect::seconde(uint32_t secondes)
{
    secondes_ = secondes;
    const uint64_t v = analyse_.version();
    if (v == vue_)
        return {};
    vue_ = v;
    return lignes(secondes, analyse_.resultats());
}

std::string JournalDirect::fin(PriseTrames& prise)
{
    analyse_.termine(prise);
    const ResultatsDirect r = analyse_.resultats();
    std::string t = lignes(secondes_, r);
    if (!r.erreur_carte.empty())
        t += "Carte : " + r.erreur_carte + "\n";
    else if (lignes_ == 0)
        t += "Carte : trop peu de trames analysées pour une carte\n";
    if (r.paquets_ignores > 0)
        t += compose(conv_, "({0:G} paquets laissés de côté par la carte)\n", {r.paquets_ignores});
    return t;
}

// A map not yet written, with the latest spectrum.
std::string JournalDirect::lignes(uint32_t secondes, const ResultatsDirect& r)
{
    if (r.cartes == cartes_ || r.carte.niveaux.empty())
        return {};
    cartes_ = r.cartes;
    ++lignes_;
    std::string t = ligne_carte(conv_, secondes, r.carte) + "\n";
    if (!r.spectre.niveaux.empty())
        t += "  " + ligne_spectre(conv_, r.spectre) + "\n";
    return t;
}

std::string ligne_carte(const Conventions& conv, uint32_t secondes, const ImageCarte& c)
{
    const ReglagesCarte& r = c.reglages;
    return compose(conv,
                   "Carte {0:G} s : maximum à x = {1:N2} m, y = {2:N2} m, {3:N1} {4} ({5} de {6:G} Hz, "
                   "{7:G} x {8:G} points à {9:N2} m, diagonale {10})",
                   {static_cast<int>(secondes), c.x_max, c.y_max, c.niveau_max,
                    unite_niveaux(c.calibre) + " " + reference_courte(r.reference),
                    r.octave ? "octave" : "tiers d'octave", r.bande, c.grille.nx, c.grille.ny, r.z,
                    r.sans_diagonale ? "retirée" : "gardée"});
}

std::string ligne_spectre(const Conventions& conv, const SpectreMicro& s)
{
    std::string t =
        compose(conv, "Spectre du micro {0:G} ({1}, tiers d'octave) :", {s.micro, s.calibre ? "dB SPL" : "dB"});
    for (size_t k = 0; k < s.bandes.size() && k < s.niveaux.size(); ++k)
        t += compose(conv, "{0} {1:G} Hz {2:N1}", {k == 0 ? "" : " ;", s.bandes[k].nominale, s.niveaux[k]});
    return t;
}
