#include "app/model/instrument.h"

#include <algorithm>
#include <cmath>

#include "analyse/acoustique.h"
#include "analyse/calibreur.h"
#include "app/model/acquisition.h"
#include "app/model/affiche_niveaux.h"
#include "app/model/choix_micros.h"
#include "app/model/grille.h"
#include "app/model/principale.h"
#include "channels/niveaux.h"

namespace {

// "dB" beside the middle caption as always; a longer unit below it.
void montre_unite(Principale& p)
{
    const std::string u = unite_niveaux(p);
    p.ctl.label_dB_60.text = u == "dB" ? "60     dB" : "60";
    p.ctl.label_dB_unite.text = u;
    p.ctl.label_dB_unite.shown = u != "dB";
}

} // namespace

void regle_analyse(Principale& p)
{
    ReglagesDirect r;
    r.sante = p.analyse_ouverte;
    r.calibreur = p.assistant;
    r.reference = p.reference_calibreur;
    r.ponderation_a = p.ponderation_a;
    r.facteurs = p.calibration.facteurs;
    r.carte = p.analyse_ouverte && p.carte_voulue;
    r.reglages_carte = p.reglages_carte;
    r.geometrie = p.geometrie;
    r.garde_trames = true;
    r.exclus = p.micros_signales;
    r.micro_spectre = p.analyse_ouverte ? p.micro_spectre : -1;
    p.direct.reglages(r);
    montre_unite(p);
    attache_analyse(p);
}

void diagnostic_micros(Principale& p)
{
    if (p.run_en_cours)
        return;
    p.ctl.signales.fill(0);
    p.direct.recommence();
    regle_analyse(p);
    capture_sans_fichier(p, DUREE_DIAGNOSTIC_S);
}

void marque_signales(Principale& p, const std::vector<StatistiquesMicro>& bilan)
{
    p.ctl.signales.fill(0);
    for (const StatistiquesMicro& s : bilan)
        if (s.defauts && s.micro >= 0 && s.micro < 1024)
            p.ctl.signales[size_t(s.micro)] = s.defauts;
}

void retient_signales(Principale& p, const std::vector<StatistiquesMicro>& bilan)
{
    std::vector<int> signales;
    for (const StatistiquesMicro& s : bilan)
        if (s.defauts)
            signales.push_back(s.micro);
    if (signales == p.micros_signales)
        return;
    p.micros_signales = std::move(signales);
    regle_analyse(p);
}

int charge_geometrie(Principale& p, const std::string& chemin)
{
    auto g = std::make_shared<Geometrie>();
    std::string erreur;
    if (lit_geometrie(chemin, *g, erreur) != 0) {
        p.call_verb("Géométrie refusée : " + erreur + "\r\n", 1);
        return -1;
    }
    p.geometrie = std::move(g);
    p.fichier_geometrie = chemin;
    p.verb("Géométrie : {0:G} ({1:G} micros)\r\n", {chemin, int(p.geometrie->size())});
    regle_analyse(p);
    return 0;
}

int deselectionne_signales(Principale& p, const std::vector<StatistiquesMicro>& bilan)
{
    if (p.run_en_cours)
        return 0;
    Selection s = selection_des_cases(p.ctl);
    int n = 0;
    for (const StatistiquesMicro& m : bilan)
        if (m.defauts && m.micro >= 0 && m.micro < 1024 && s.micros[size_t(m.micro / 8)][size_t(m.micro % 8)]) {
            s.micros[size_t(m.micro / 8)][size_t(m.micro % 8)] = false;
            ++n;
        }
    if (n == 0)
        return 0;
    cases_de_selection(p, s);
    choix_micros(p, false);
    p.verb("{0:G} micros signalés désélectionnés : {1:G} micros choisis\r\n", {n, p.nb_micros});
    return n;
}

int charge_calibration(Principale& p, const std::string& chemin)
{
    Calibration c;
    std::string erreur;
    if (lit_calibration(chemin, 1024, c, erreur) != 0) {
        p.call_verb("Calibration refusée : " + erreur + "\r\n", 1);
        return -1;
    }
    p.calibration = std::move(c);
    p.fichier_calibration = chemin;
    p.verb("Calibration : {0:G} (1024 micros)\r\n", {chemin});
    regle_analyse(p);
    return 0;
}

int enregistre_calibration(Principale& p, const std::string& chemin)
{
    Calibration c = calibration_chargee(p) ? p.calibration : calibration_nominale();
    std::string erreur;
    if (ecrit_calibration(chemin, c, erreur) != 0) {
        p.call_verb("Calibration non enregistrée : " + erreur + "\r\n", 1);
        return -1;
    }
    p.calibration = std::move(c);
    p.fichier_calibration = chemin;
    p.verb("Calibration enregistrée : {0:G}\r\n", {chemin});
    regle_analyse(p);
    return 0;
}

void oublie_calibration(Principale& p)
{
    p.calibration = Calibration();
    p.fichier_calibration.clear();
    regle_analyse(p);
}

void assistant_calibreur(Principale& p, double reference)
{
    if (p.run_en_cours)
        return;
    p.reference_calibreur = reference;
    p.assistant = true;
    p.direct.recommence();
    regle_analyse(p);
    capture_sans_fichier(p, 0);
    if (!p.run_en_cours) {
        p.assistant = false;
        regle_analyse(p);
    }
}

int prend_calibres(Principale& p, const ResultatsDirect& r)
{
    int n = 0;
    for (const auto& [m, c] : r.calibres) {
        if (m < 0 || m >= 1024)
            continue;
        if (!calibration_chargee(p))
            p.calibration = calibration_nominale();
        double& f = p.calibration.facteurs[size_t(m)];
        if (f != c.facteur) {
            f = c.facteur;
            ++n;
        }
    }
    // The analysis keeps the factors it stored; the next settings carry them.
    if (n > 0)
        montre_unite(p);
    return n;
}

void pondere_niveaux(Principale& p, bool a)
{
    p.ponderation_a = a;
    regle_analyse(p);
}

int ecoute_point(Principale& p, double x, double y, double z)
{
    DemandeTache d;
    d.genre = DemandeTache::ECOUTE;
    d.point = {x, y, z};
    if (!p.op.choose_save_file("son (WAV)|*.wav", d.chemin))
        return -1;
    std::string erreur;
    if (!p.direct.lance(d, erreur)) {
        p.call_verb("Écoute refusée : " + erreur + "\r\n", 1);
        return -1;
    }
    return 0;
}

int cherche_distance_carte(Principale& p)
{
    DemandeTache d;
    d.genre = DemandeTache::DISTANCE;
    std::string erreur;
    if (!p.direct.lance(d, erreur)) {
        p.call_verb("Recherche de la distance refusée : " + erreur + "\r\n", 1);
        return -1;
    }
    return 0;
}

void dit_tache(Principale& p, const ResultatTache& t) { p.call_verb(t.message + "\r\n", t.reussie ? 0 : 1); }
