#include "files/description.h"

#include "files/lignes.h"

namespace {

int somme(const uint8_t* v, int n)
{
    int s = 0;
    for (int i = 0; i < n; ++i)
        s += v[i];
    return s;
}

} // namespace

std::string texte_description(const Conventions& cv, const type_header_file& h, int nb_voies, int nb_micros,
                              const std::string& commentaire)
{
    const type_date_heure& d = h.date_heure;
    std::string out;
    ligne(out, "[DEFAULT]\n");
    ligne(out, "[Date]");
    ligne(out, compose(cv, "Date = {0:D2}/{1:D2}/{2:D4}     %jour/mois/année",
                       {static_cast<int>(d.wDay), static_cast<int>(d.wMonth), static_cast<int>(d.wYear)}));
    ligne(out, compose(cv, "Heure = {0:D2}:{1:D2}:{2:D2}",
                       {static_cast<int>(d.wHour), static_cast<int>(d.wMinute), static_cast<int>(d.wSecond)}));
    ligne(out, "\n[Voies]");
    ligne(out, compose(cv, "Nb_faisceaux = {0}", {128}));
    ligne(out, compose(cv, "Nb_voies = {0}", {nb_voies}));
    ligne(out, compose(cv, "Nb_micros_actifs = {0}", {nb_micros}));
    ligne(out, compose(cv, "Nb_voies_analogiques = {0}", {somme(&h.va_actives[0][0], 16)}));
    ligne(out, compose(cv, "Nb_compteurs = {0}", {somme(h.compteurs_actifs, 4)}));
    sections_selection(out, cv, h);
    ligne(out, "\n[Acquisition]");
    ligne(out, compose(cv, "Freq = {0}      ; (Hz)", {h.freq}));
    ligne(out, compose(cv, "Duree = {0:N1}       ; (s)", {h.duree_acq}));
    ligne(out, compose(cv, "Nb_ech = {0}", {h.nb_ech}));
    ligne(out, h.type_float != 0 ? "Type = float32" : "Type = int32");
    ligne(out, "\n\n[OPTIONNAL]");
    // Empty until the comment pane has been closed once.
    ligne(out, commentaire);
    return out;
}
