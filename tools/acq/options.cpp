#include "tools/acq/options.h"

#include <climits>
#include <cmath>

#include "files/nommage.h"
#include "ligne_commande/ligne_commande.h"
#include "simulator/simulated_box.h"

namespace acq {

namespace {

const char* const AIDE = "Usage : ondaris-acq [options]\n"
                         "Une acquisition Ondaris 1024 sans fenêtre : lecture d'une configuration, Init,\n"
                         "un enregistrement, puis fin. Ctrl-C arrête l'acquisition proprement (Stop), comme\n"
                         "un kill (SIGTERM) ou la fermeture du terminal ou de la session (SIGHUP).\n"
                         "\n"
                         "  --config FICHIER        configuration à lire (format de config_en_cours.txt)\n"
                         "  --dossier DOSSIER       répertoire des fichiers (nommage automatique)\n"
                         "  --nom NOM               nom des fichiers, sans extension\n"
                         "  --duree S               durée en secondes (0 : durée non définie)\n"
                         "  --frequence HZ          fréquence d'échantillonnage (50000, 45454, ... 2000)\n"
                         "  --declenchement SOURCE  soft, trig1 ou trig2\n"
                         "  --condition COND        montant, descendant, haut ou bas (trig1, trig2)\n"
                         "  --compteurs LETTRES     compteurs enregistrés, parmi A, B, C, D (ex. AC), ou aucun\n"
                         "  --etat                  enregistrer la voie d'état\n"
                         "  --sans-enregistrement   ne rien écrire sur le disque (l'emporte sur --dossier, --nom)\n"
                         "  --ecraser               écraser des fichiers existants sans demander\n"
                         "  --avance                mode avancé (messages de diagnostic)\n"
                         "  --sans-progression      pas de barre de progression\n"
                         "  --carte-directe         chaque seconde, le maximum de la carte acoustique en direct\n"
                         "                          (position, niveau) dans le tiers d'octave le plus fort, et les\n"
                         "                          niveaux par tiers d'octave du premier micro enregistré ; la\n"
                         "                          grille et le plan de la fenêtre d'analyse (41 x 41 points à 1 m)\n"
                         "  --geometrie FICHIER.xml   positions des micros pour --carte-directe (XML d'acoular ;\n"
                         "                          défaut : celles de --sim-geometrie)\n"
                         "  --version               version du programme\n"
                         "\n"
                         "Micros, sans fichier (config_en_cours.txt n'est pas écrit) :\n"
                         "  --diagnostic            1 s d'écoute des micros choisis, départ immédiat : une ligne\n"
                         "                          par micro muet, figé, saturé, bruyant ou décalé, et leur nombre\n"
                         "  --calibration FICHIER   facteurs des micros (XML d'acoular : un <pos factor> par micro,\n"
                         "                          0 à 1023, en pascals par point)\n"
                         "  --calibre DB            un calibreur 1 kHz de DB dB SPL (94 ou 114) tenu sur un micro :\n"
                         "                          le micro est trouvé, sa lecture attendue stable (20 s au plus),\n"
                         "                          son facteur corrigé dans le fichier de --calibration (créé à la\n"
                         "                          sensibilité nominale, 1/281 171 Pa par point, s'il n'existe pas)\n"
                         "\n"
                         "Boîtier simulé (au lieu du bus USB) :\n"
                         "  --simulateur            utiliser le boîtier simulé\n"
                         "  --sim-rythme temps-reel|libre   cadence réelle (défaut) ou aussi vite que possible\n"
                         "  --sim-declenchement MS|jamais   délai du déclenchement externe (défaut 1000)\n"
                         "  --sim-ton HZ            fréquence de la source sonore\n"
                         "  --sim-amplitude A       amplitude crête de la source\n"
                         "  --sim-source F,R        position de la source (faisceau, rangée)\n"
                         "  --sim-bruit RMS         bruit de chaque micro\n"
                         "  --sim-lenteur MS        durée de chaque requête de contrôle (boîtier lent)\n"
                         "  --sim-defauts LISTE     micros défaillants, MICRO:DÉFAUT séparés par des virgules ;\n"
                         "                          muet, fige, sature, bruit, continu, coupure, ecrete, sourd,\n"
                         "                          inverse, claque, ronfle, ou A-B:permute pour deux\n"
                         "                          micros échangés (ex. 3:muet,700:fige,12-13:permute)\n"
                         "  --sim-calibreur MICRO:DB   calibreur 1 kHz de DB dB SPL sur un micro (ex. 17:94)\n"
                         "  --sim-sensibilite-ecart DB   écart type des sensibilités des micros autour de la\n"
                         "                          nominale (281 171 points/Pa ; défaut 0)\n"
                         "  --sim-rejoue FICHIER.dat   le boîtier rejoue cet enregistrement (avec son .Ond et son\n"
                         "                          .log) au lieu de la scène : chaque voie choisie reçoit les\n"
                         "                          échantillons enregistrés de la même voie, en boucle depuis la\n"
                         "                          première trame à chaque Start ; le compteur A est celui du\n"
                         "                          boîtier. Les micros et VA absents de l'enregistrement sont à\n"
                         "                          zéro, et une autre fréquence le rejoue plus vite ou plus\n"
                         "                          lentement : un message le dit au Start\n"
                         "  --sim-geometrie FICHIER.xml   positions des 1024 micros (XML d'acoular, <MicArray>),\n"
                         "                          par exemple data/geometrie-simulateur.xml\n"
                         "  --sim-point X,Y,Z,bruit|HZ[,DB]   une source ponctuelle à (X, Y, Z) mètres devant le\n"
                         "                          réseau, bruit large bande ou son pur de HZ Hz, DB dB SPL à 1 m\n"
                         "                          (94 par défaut) ;\n"
                         "                          répétable ; demande --sim-geometrie ; remplace la source\n"
                         "                          de --sim-ton et --sim-source\n"
                         "\n"
                         "Sans --config, les réglages sont ceux de la fenêtre au démarrage (config_en_cours.txt\n"
                         "du répertoire courant s'il existe) ; avec --config, ce fichier s'applique aux réglages\n"
                         "par défaut. La durée garde une décimale, comme dans la fenêtre.\n"
                         "Ctrl-C pendant l'Init ferme la liaison sans acquisition ; un second Ctrl-C pendant\n"
                         "une acquisition que le boîtier ne termine pas l'abandonne (fichiers fermés avec\n"
                         "ce qu'ils contiennent).\n"
                         "\n"
                         "Codes de sortie : 0 acquisition complète (ou arrêtée par Ctrl-C, ou arrivée à la\n"
                         "limite du disque sans durée définie), 2 pas de boîtier,\n"
                         "3 acquisition refusée, 4 acquisition incomplète, 5 déclenchement absent,\n"
                         "6 erreur de compteur, 7 écriture impossible (disque plein), 8 micros signalés\n"
                         "(--diagnostic), 9 pas de calibration (--calibre), 64 options invalides,\n"
                         "130 interrompu pendant l'Init.\n";

} // namespace

int lit_options(const std::vector<std::string>& argv, Options& o)
{
    LigneCommande l("ondaris-acq", AIDE, "option inconnue");
    const double infini = HUGE_VAL;
    l.texte("--config", o.config);
    l.valeur("--dossier", [&o](const std::string& s) {
        o.dossier = s;
        o.dossier_donne = true;
        return std::string();
    });
    l.valeur("--nom", [&o](const std::string& s) {
        // The data file's own extension is taken as the save dialog takes
        // it; a folder belongs to --dossier.
        const std::string nom = finit_par_dat(s) ? s.substr(0, s.size() - 4) : s;
        if (nom.empty() || nom == "." || nom == ".." || nom.find_first_of("/\\") != std::string::npos)
            return std::string("--nom : un nom de fichier, sans répertoire (--dossier donne le répertoire)");
        o.nom = nom;
        o.nom_donne = true;
        return std::string();
    });
    l.nombre("--duree", o.duree, 0, infini, "durée négative");
    l.nombre("--frequence", o.frequence, 0, infini, "fréquence négative");
    l.mot("--declenchement", o.source, {"soft", "trig1", "trig2"}, "soft, trig1 ou trig2");
    l.mot("--condition", o.condition, {"montant", "descendant", "haut", "bas"}, "montant, descendant, haut ou bas");
    l.valeur("--compteurs", [&o](const std::string& s) {
        o.compteurs = 0;
        if (s != "aucun")
            for (char ch : s) {
                if (ch < 'A' || ch > 'D')
                    return std::string("--compteurs : lettres parmi A, B, C, D, ou aucun");
                o.compteurs |= 1 << (ch - 'A');
            }
        return std::string();
    });
    l.drapeau("--etat", o.etat);
    l.drapeau("--sans-enregistrement", [&o] { o.enregistrement = 0; });
    l.drapeau("--ecraser", o.ecraser);
    l.drapeau("--avance", o.avance);
    l.drapeau("--sans-progression", o.progression, false);
    l.drapeau("--carte-directe", o.carte_directe);
    l.valeur("--geometrie", [&o](const std::string& s) {
        std::string erreur;
        return lit_geometrie(s, o.geometrie, erreur) == 0 ? std::string() : "--geometrie : " + erreur;
    });
    l.drapeau("--simulateur", o.simulateur);
    int rythme = -1;
    l.mot("--sim-rythme", rythme, {"temps-reel", "libre"}, "temps-reel ou libre");
    l.valeur("--sim-declenchement", [&o](const std::string& s) {
        double d;
        if (s == "jamais")
            o.sim_declenchement_ms = -1;
        else if (LigneCommande::nombre_fini(s, d) && !std::signbit(d) && d <= INT_MAX)
            o.sim_declenchement_ms = static_cast<int>(d);
        else
            return std::string("--sim-declenchement : millisecondes ou jamais");
        return std::string();
    });
    double lenteur = 0;
    l.nombre("--sim-lenteur", lenteur, 0, 10000, "millisecondes, de 0 à 10000");
    l.nombre("--sim-ton", o.sim_ton_hz, 0, infini, "fréquence négative");
    l.nombre("--sim-amplitude", o.sim_amplitude, 0, infini, "amplitude négative");
    l.nombre("--sim-bruit", o.sim_bruit, 0, infini, "bruit négatif");
    l.valeur("--sim-source", [&o](const std::string& s) {
        const auto virgule = s.find(',');
        if (virgule == std::string::npos || !LigneCommande::nombre_fini(s.substr(0, virgule), o.sim_faisceau) ||
            !LigneCommande::nombre_fini(s.substr(virgule + 1), o.sim_rangee) || std::signbit(o.sim_faisceau) ||
            std::signbit(o.sim_rangee))
            return std::string("--sim-source : faisceau,rangée positifs (par exemple 40,3.5)");
        return std::string();
    });
    l.valeur("--sim-defauts", [&o](const std::string& s) { return sim::parse_faults(s, o.sim_defauts); });
    l.valeur("--sim-calibreur", [&o](const std::string& s) { return sim::parse_calibrator(s, o.sim_calibreur); });
    l.nombre("--sim-sensibilite-ecart", o.sim_ecart_db, 0, 20, "écart type en dB, de 0 à 20");
    l.texte("--sim-rejoue", o.sim_rejoue);
    l.valeur("--sim-geometrie", [&o](const std::string& s) {
        std::string erreur;
        return lit_geometrie(s, o.sim_geometrie, erreur) == 0 ? std::string() : "--sim-geometrie : " + erreur;
    });
    l.valeur("--sim-point", [&o](const std::string& s) {
        sim::PointSource p;
        std::string refus = sim::parse_point(s, p);
        if (refus.empty())
            o.sim_points.push_back(p);
        return refus;
    });
    l.drapeau("--diagnostic", o.diagnostic);
    l.texte("--calibration", o.calibration);
    l.nombre("--calibre", o.calibre, 40, 160, "niveau du calibreur de 40 à 160 dB SPL (94 ou 114)");
    const int code = l.analyse(argv);
    if (code != LigneCommande::CONTINUER)
        return code;
    if (rythme >= 0)
        o.sim_temps_reel = rythme == 0;
    o.sim_lenteur_ms = static_cast<int>(lenteur);
    if (!o.simulateur &&
        (o.sim_ton_hz >= 0 || o.sim_amplitude >= 0 || o.sim_bruit >= 0 || o.sim_faisceau >= 0 || o.sim_lenteur_ms > 0))
        return l.refuse("les options --sim-* demandent --simulateur");
    if (!o.simulateur && (!o.sim_defauts.empty() || o.sim_calibreur.microphone >= 0 || o.sim_ecart_db >= 0))
        return l.refuse("les options --sim-* demandent --simulateur");
    if (!o.simulateur && !o.sim_rejoue.empty())
        return l.refuse("les options --sim-* demandent --simulateur");
    if (!o.simulateur && (!o.sim_geometrie.empty() || !o.sim_points.empty()))
        return l.refuse("les options --sim-* demandent --simulateur");
    if (!o.sim_points.empty() && o.sim_geometrie.empty())
        return l.refuse("--sim-point demande --sim-geometrie FICHIER.xml");
    if (o.diagnostic && o.calibre > 0)
        return l.refuse("--diagnostic ou --calibre, pas les deux");
    if ((o.diagnostic || o.calibre > 0) && (o.dossier_donne || o.nom_donne))
        return l.refuse(std::string(o.diagnostic ? "--diagnostic" : "--calibre") +
                        " n'enregistre rien : ni --dossier, ni --nom");
    if (o.calibre > 0 && o.calibration.empty())
        return l.refuse("--calibre demande --calibration FICHIER.xml, le fichier à mettre à jour");
    if (!o.carte_directe && !o.geometrie.empty())
        return l.refuse("--geometrie demande --carte-directe");
    if (o.carte_directe) {
#ifndef ONDARIS_FFTW
        return l.refuse("--carte-directe : programme construit sans FFTW, sans carte");
#endif
        if (o.diagnostic || o.calibre > 0)
            return l.refuse("--carte-directe, pas avec --diagnostic ni --calibre");
        if (o.geometrie.empty())
            o.geometrie = o.sim_geometrie;
        if (o.geometrie.empty())
            return l.refuse("--carte-directe demande --geometrie FICHIER.xml (ou --sim-geometrie)");
    }
    return LigneCommande::CONTINUER;
}

} // namespace acq
