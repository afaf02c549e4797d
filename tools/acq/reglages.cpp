#include "tools/acq/reglages.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "device/parametres.h"
#include "files/chemins.h"
#include "files/configuration_initiale.h"
#include "files/fichier_donnees.h"
#include "files/nommage.h"

namespace acq {

int rang_frequence(double hz)
{
    int best = -1;
    double ecart = 1e300;
    for (int r = 0; r < NB_FREQ; ++r) {
        double e = std::abs(frequence_de_division(FREQ[r]) - hz);
        if (e < ecart) {
            ecart = e;
            best = r;
        }
    }
    return ecart <= 1.0 ? best : -1;
}

float frequence_de(const Configuration& cfg) { return frequence_de_division(FREQ[cfg.ligne_freq]); }

void liste_fichiers(const std::string& data)
{
    for (const std::string& f : {data, nom_compagnon(data, ".Ond"), nom_compagnon(data, ".log")}) {
        std::error_code ec;
        auto n = std::filesystem::file_size(std::filesystem::u8path(f), ec);
        if (ec)
            std::printf("  %s : absent\n", f.c_str());
        else
            std::printf("  %s : %ju octets\n", f.c_str(), static_cast<uintmax_t>(n));
    }
}

void fixe_duree(Configuration& cfg, double valeur) { cfg.duree = std::max(0.0, std::min(valeur, cfg.duree_max)); }

void arrondit_duree(Configuration& cfg, const Conventions& conv)
{
    if (!cfg.duree_definie)
        return;
    const double v = cfg.duree;
    double r = std::round(v * 10.0) / 10.0;
    if (v > 0 && r < 0.1)
        r = 0.1;
    if (r == v)
        return;
    fixe_duree(cfg, r);
    std::printf("Durée arrondie à une décimale : %s s au lieu de %g s\n", compose(conv, "{0:N1}", {cfg.duree}).c_str(),
                v);
}

std::string fichier_manuel(const Options& o)
{
    return avec_separateur(o.dossier) + (o.nom.empty() ? "Test" : o.nom) + ".dat";
}

std::string fichier_prevu(const Configuration& cfg, const Options& o)
{
    if (cfg.nom_automatique && !o.avance)
        return avec_separateur(cfg.dossier) + cfg.nom + ".dat";
    return fichier_manuel(o);
}

void affiche_reglages(const Configuration& cfg, const Options& o, const Conventions& cv)
{
    std::string t = "Réglages :\n";
    t += compose(cv, "  Fréquence : {0:N0} Hz\n", {frequence_de(cfg)});
    if (cfg.duree_definie && cfg.duree > 0)
        t += compose(cv, "  Durée : {0:N1} s\n", {cfg.duree});
    else
        t += "  Durée : non définie (jusqu'à Ctrl-C ou la limite du disque)\n";
    if (cfg.declenchement == Declenchement::Soft) {
        t += "  Déclenchement : soft (immédiat)\n";
    } else {
        t += cfg.declenchement == Declenchement::Trig2 ? "  Déclenchement : trig2, " : "  Déclenchement : trig1, ";
        t += cfg.condition == Condition::FlancDescendant ? "front descendant\n"
             : cfg.condition == Condition::EtatHaut      ? "état haut\n"
             : cfg.condition == Condition::EtatBas       ? "état bas\n"
                                                         : "front montant\n";
    }
    t += cfg.type == TypeEchantillons::Float32 ? "  Échantillons : float32\n" : "  Échantillons : int32\n";
    const Selection& s = cfg.selection;
    int analogiques = 0;
    for (bool v : s.va)
        analogiques += v;
    std::string compteurs;
    for (int k = 0; k < 4; ++k)
        if (s.compteurs[k])
            compteurs += static_cast<char>('A' + k);
    t += compose(cv, "  Voies : {0:G} micros, {1:G} analogiques, compteurs ", {s.nb_micros(), analogiques}) +
         (compteurs.empty() ? "aucun" : compteurs) + (s.etat ? ", voie d'état\n" : ", sans voie d'état\n");
    if (!cfg.enregistrement)
        t += "  Fichiers : aucun (sans enregistrement)\n";
    else
        t += "  Fichiers : " + fichier_prevu(cfg, o) + " (et .Ond, .log)\n";
    std::fputs(t.c_str(), stdout);
    std::fflush(stdout);
}

int reglages(Options& o, int rang, const Journal& journal, Configuration& cfg)
{
    cfg = configuration_initiale();
    std::error_code ec;
    if (o.config.empty()) {
        if (std::filesystem::exists(std::filesystem::u8path("config_en_cours.txt"), ec))
            lit_fichier_config("config_en_cours.txt", journal, cfg);
    } else if (lit_fichier_config(o.config, journal, cfg) != 0) {
        return -1;
    }
    if (o.enregistrement == 0) {
        cfg.enregistrement = false;
    } else if (o.dossier_donne || o.nom_donne) {
        cfg.enregistrement = true;
        cfg.nom_automatique = true;
        if (o.dossier_donne) {
            std::filesystem::create_directories(std::filesystem::u8path(o.dossier), ec);
            cfg.dossier = avec_separateur(o.dossier);
        }
        if (o.nom_donne)
            cfg.nom = o.nom;
    }
    if (o.dossier.empty())
        o.dossier = cfg.dossier;
    if (o.nom.empty())
        o.nom = cfg.nom;
    if (rang >= 0)
        cfg.ligne_freq = rang;
    if (o.source >= 0)
        cfg.declenchement = static_cast<Declenchement>(o.source);
    if (o.condition >= 0)
        cfg.condition = static_cast<Condition>(o.condition);
    if (o.duree == 0) {
        cfg.duree_definie = false;
    } else if (o.duree > 0) {
        cfg.duree_definie = true;
        cfg.duree_max = duree_max_de(frequence_de(cfg));
        if (o.duree > cfg.duree_max) {
            std::fprintf(stderr, "ondaris-acq : --duree : %s s au plus à %s Hz\n",
                         compose(journal.conv, "{0:N1}", {cfg.duree_max}).c_str(),
                         compose(journal.conv, "{0:N0}", {frequence_de(cfg)}).c_str());
            return -1;
        }
        fixe_duree(cfg, o.duree);
    }
    arrondit_duree(cfg, journal.conv);
    if (o.compteurs >= 0)
        for (int k = 0; k < 4; ++k)
            cfg.selection.compteurs[k] = (o.compteurs >> k & 1) != 0;
    if (o.etat)
        cfg.selection.etat = true;
    return 0;
}

bool choisit_fichiers(const Configuration& cfg, const Options& o, Console& console, const Journal& journal,
                      std::string& acqui_name, FichiersRun& fichiers)
{
    if (cfg.nom_automatique) {
        const std::string dossier = avec_separateur(cfg.dossier);
        if (!dossier_existe(dossier))
            console.boite("Le répertoire " + dossier + " n'existe pas ! ", "Le fichier existe déjà");
        acqui_name = dossier + cfg.nom + ".dat";
        std::error_code ec;
        if (std::filesystem::exists(std::filesystem::u8path(acqui_name), ec) && !console.ecraser(acqui_name))
            return false;
        // The name is taken now, before the box is told anything: a run
        // already recording under it refuses this one here.
        journal.call_verb("Nom du fichier d'acquisition : " + acqui_name + "\r\n");
        return fichiers.prepare(acqui_name, journal) == 0;
    }
    const std::string chemin = fichier_manuel(o);
    std::error_code ec;
    if (std::filesystem::exists(std::filesystem::u8path(chemin), ec) && !o.ecraser) {
        std::fprintf(stderr, "%s existe déjà (--ecraser pour écraser)\n", chemin.c_str());
    } else {
        acqui_name = chemin;
        journal.call_verb("Nom du fichier d'acquisition : " + acqui_name + "\r\n");
        if (fichiers.prepare(acqui_name, journal) == 0)
            return true;
    }
    journal.call_verb("Pas de fichier choisi\r\n", 1);
    return false;
}

// The delay sent in advanced mode: the window's delay spinner as it starts.
constexpr uint8_t DELAI_AVANCE = 10;

ParametresRun parametres_du_run(const Configuration& cfg, const Journal& journal)
{
    ParametresRun r = parametres_de(cfg, journal.detail, DELAI_AVANCE);
    init_header(r.header);
    ecrit_selection(r.header, cfg.selection);
    return r;
}

void reglages_sans_fichier(Configuration& cfg, double duree)
{
    cfg.enregistrement = false;
    cfg.declenchement = Declenchement::Soft;
    cfg.duree_definie = true;
    cfg.duree_max = duree_max_de(frequence_de(cfg));
    fixe_duree(cfg, duree);
}

} // namespace acq
