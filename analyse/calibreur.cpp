#include "analyse/calibreur.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "analyse/acoustique.h"
#include "analyse/sante.h"

Calibration calibration_nominale()
{
    Calibration c;
    c.nom = "Ondaris 1024";
    c.facteurs.assign(1024, 1.0 / SENSIBILITE_NOMINALE);
    return c;
}

bool frequence_calibrable(double fs)
{
    double bas, haut;
    bornes_bande(FREQUENCE_CALIBREUR, 3, bas, haut);
    return haut < fs / 2;
}

double facteur_calibre(double facteur, double mesure, double reference)
{
    return facteur * std::pow(10.0, (reference - mesure) / 20.0);
}

Calibreur::Calibreur(const std::vector<int32_t>& codes, bool flottant, double fs, std::vector<double> facteurs)
    : nb_mots_(codes.size()), flottant_(flottant), fs_(fs), facteurs_(std::move(facteurs)),
      n_recherche_(static_cast<size_t>(std::lround(fs * DUREE_RECHERCHE_S))),
      n_lecture_(static_cast<size_t>(std::lround(fs * DUREE_LECTURE_S)))
{
    bornes_bande(FREQUENCE_CALIBREUR, 3, bas_, haut_);
    facteurs_.resize(1024, 1.0 / SENSIBILITE_NOMINALE);
    micros_du_cadre(codes, micros_, mots_micros_);
    if (micros_.empty())
        etat_ = ABSENT;
    signaux_.resize(micros_.size());
}

double Calibreur::echantillon(uint32_t mot) const
{
    if (!flottant_)
        return static_cast<int32_t>(mot);
    float f;
    std::memcpy(&f, &mot, 4);
    return f;
}

void Calibreur::ajoute(const uint32_t* mots, size_t trames, bool suite)
{
    if (!suite)
        for (auto& s : signaux_)
            s.clear();
    for (size_t t = 0; t < trames && !fini(); ++t) {
        const uint32_t* trame = mots + t * nb_mots_;
        if (etat_ == RECHERCHE) {
            for (size_t k = 0; k < signaux_.size(); ++k)
                signaux_[k].push_back(echantillon(trame[mots_micros_[k]]));
            if (signaux_[0].size() == n_recherche_)
                recherche();
        } else {
            signaux_[0].push_back(echantillon(trame[mot_micro_]));
            if (signaux_[0].size() == n_lecture_)
                lecture();
        }
    }
}

void Calibreur::recherche()
{
    niveau_micro_ = niveau_suivant_ = -std::numeric_limits<double>::infinity();
    size_t rang = 0;
    for (size_t k = 0; k < signaux_.size(); ++k) {
        const double f = facteurs_[static_cast<size_t>(micros_[k])];
        const double n =
            niveau_spl(moyenne_carres_bande(signaux_[k].data(), signaux_[k].size(), fs_, bas_, haut_) * f * f);
        if (n > niveau_micro_) {
            niveau_suivant_ = niveau_micro_;
            suivant_ = micro_;
            niveau_micro_ = n;
            micro_ = micros_[k];
            rang = k;
        } else if (n > niveau_suivant_) {
            niveau_suivant_ = n;
            suivant_ = micros_[k];
        }
    }
    if (suivant_ >= 0 && !(niveau_micro_ - niveau_suivant_ >= SEUIL_CALIBREUR_DB)) {
        etat_ = ABSENT;
        return;
    }
    mot_micro_ = static_cast<size_t>(mots_micros_[rang]);
    signaux_.assign(1, {});
    etat_ = LECTURE;
}

void Calibreur::lecture()
{
    const double f = facteurs_[static_cast<size_t>(micro_)];
    std::vector<double>& x = signaux_[0];
    lectures_.push_back(niveau_spl(moyenne_carres_bande(x.data(), x.size(), fs_, bas_, haut_) * f * f));
    x.clear();
    if (lectures_.size() < static_cast<size_t>(LECTURES_STABLES))
        return;
    const auto dernieres = lectures_.end() - LECTURES_STABLES;
    const auto [bas, haut] = std::minmax_element(dernieres, lectures_.end());
    if (*haut - *bas > ECART_STABLE_DB)
        return;
    double somme = 0;
    for (auto it = dernieres; it != lectures_.end(); ++it)
        somme += *it;
    niveau_ = somme / LECTURES_STABLES;
    etat_ = STABLE;
}
