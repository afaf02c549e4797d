// ondaris-acq: one acquisition from the command line, with the logic of the
// window. Reads a configuration file, brings the box up, records one run and
// prints the information pane as it grows. The simulated box is used only
// when asked for with --simulateur.

#include <atomic>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "acquisition/presence.h"
#include "direct/prise_trames.h"
#include "direct/robinet.h"
#include "acquisition/run.h"
#include "analyse/acoustique.h"
#include "analyse/calibreur.h"
#include "analyse/sante.h"
#include "base/plateforme.h"
#include "base/version.h"
#include "device/bringup.h"
#include "device/parametres.h"
#include "device/usb_libusb.h"
#include "base/fichier_entier.h"
#include "files/calibration.h"
#include "files/chemins.h"
#include "files/configuration_initiale.h"
#include "files/fichier_donnees.h"
#include "files/geometrie.h"
#include "files/lecture.h"
#include "files/nommage.h"
#include "files/reparation.h"
#include "simulator/simulated_box.h"
#include "tools/acq/journal_direct.h"
#include "ligne_commande/console.h"
#include "ligne_commande/ligne_commande.h"

namespace {

// Exit codes.
enum {
    EXIT_OK = 0,
    EXIT_USAGE = 64,
    EXIT_NO_BOX = 2,
    EXIT_REFUSED = 3,
    EXIT_INCOMPLETE = 4,
    EXIT_ABANDONED = 5,
    EXIT_COUNTER = 6,
    EXIT_WRITE = 7,
    EXIT_MICROS_SIGNALES = 8,
    EXIT_CALIBRAGE = 9,
    EXIT_INTERRUPTED = 130,
};

struct Options {
    std::string config;
    bool simulateur = false;
    std::string dossier;
    std::string nom;
    bool dossier_donne = false, nom_donne = false;
    double duree = -1;     // s; 0 = open-ended
    double frequence = -1; // Hz
    bool avance = false;
    int enregistrement = -1;
    bool ecraser = false;
    bool progression = true;
    int source = -1;    // 0 Soft, 1 Trig1, 2 Trig2
    int condition = -1; // 0 rising edge, 1 falling edge, 2 high level, 3 low level
    int compteurs = -1; // bit k: counter A + k recorded; -1: as configured
    bool etat = false;  // status channel
    // Simulated box.
    bool sim_temps_reel = true;
    int sim_declenchement_ms = 1000;
    int sim_lenteur_ms = 0;
    double sim_ton_hz = -1, sim_amplitude = -1, sim_faisceau = -1, sim_rangee = -1, sim_bruit = -1;
    std::vector<sim::MicFault> sim_defauts;
    sim::Calibrator sim_calibreur;
    double sim_ecart_db = -1;
    std::string sim_rejoue; // a recording streamed instead of the scene
    Geometrie sim_geometrie;
    std::vector<sim::PointSource> sim_points;
    // The microphones, without a file.
    bool diagnostic = false;
    std::string calibration; // acoular's XML, one factor per microphone
    double calibre = -1;     // dB SPL of the calibrator
    // The live map's log, over the array of --geometrie (else --sim-geometrie).
    bool carte_directe = false;
    Geometrie geometrie;
};

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
                         "                          muet, fige, sature, bruit, continu, ou A-B:permute pour deux\n"
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
                         "  --sim-point X,Y,Z,bruit|X,Y,Z,HZ   une source ponctuelle à (X, Y, Z) mètres devant le\n"
                         "                          réseau, bruit large bande ou son pur de HZ Hz, 94 dB SPL à 1 m ;\n"
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

// The options into `o`: CONTINUER, or the exit code once the help, the
// version or a refusal is printed.
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

// The terminal: the pane's messages on stdout, alerts and questions on
// stderr (questions answered from the options), and a progress line.
class Console {
public:
    explicit Console(const Options& o) : o_(o), tty_(ONDARIS_ISATTY(ONDARIS_FILENO(stderr)) != 0) {}

    void message(const std::string& s, int flag)
    {
        efface_progression();
        std::string t;
        t.reserve(s.size());
        for (char c : s)
            if (c != '\r')
                t += c;
        std::fputs(t.c_str(), stdout);
        std::fflush(stdout);
        if (flag == 1)
            boite("Alerte : " + s, "Erreur");
    }
    // Lines of the runner's own on stdout ("" writes nothing).
    void ecrit(const std::string& lignes)
    {
        if (lignes.empty())
            return;
        efface_progression();
        std::fputs(lignes.c_str(), stdout);
        std::fflush(stdout);
    }
    void boite(const std::string& text, const std::string& caption)
    {
        efface_progression();
        std::fprintf(stderr, "[%s] %s\n", caption.c_str(), text.c_str());
    }
    bool ecraser(const std::string& chemin)
    {
        boite("Voulez-vous écraser " + chemin + " ? " +
                  (o_.ecraser ? " Oui (--ecraser)" : " Non (--ecraser pour écraser)"),
              "Le fichier existe déjà");
        return o_.ecraser;
    }
    // A progress line is shown (on a terminal, unless asked not to).
    bool ligne_active() const { return o_.progression && tty_; }
    void progression(const std::string& texte)
    {
        if (!ligne_active() || texte.empty())
            return;
        std::fprintf(stderr, "\r\033[K%s", texte.c_str());
        std::fflush(stderr);
        ligne_ = true;
    }
    void efface_progression()
    {
        if (ligne_) {
            std::fputs("\r\033[K", stderr);
            ligne_ = false;
        }
    }

private:
    const Options& o_;
    bool tty_;
    bool ligne_ = false;
};

// What the runner shows of a run, and where Ctrl-C (or any request to end
// the program: base/plateforme.h) reaches it: Abort
// while waiting for the trigger, Stop in the main loop, and a further one
// after Stop abandons a stream the box does not end. One pressed before
// the run is kept for it.
class SuiviConsole : public ObservateurRun {
public:
    SuiviConsole(Console& console, const Conventions& conv) : console_(console), conv_(conv) {}
    Run* run = nullptr;
    Robinet* robinet = nullptr;     // the run's tap, to a live consumer of the frames
    JournalDirect* direct = nullptr; // the live map's log
    bool definie = false;
    float duree = 0;

    void pompe() override
    {
        if (!run)
            return;
        const int n = demandes_fin();
        if (n != vues_) {
            if (run->phase() == PHASE_ATTENTE) {
                vues_ = n;
                run->demande_abandon();
            } else if (run->phase() == PHASE_BOUCLE) {
                vues_ = n;
                if (!run->stoppe())
                    run->demande_stop();
                else
                    run->demande_abandon();
            }
        }
        if (console_.ligne_active())
            console_.progression(texte());
    }
    void etape(Etape e) override
    {
        switch (e) {
        case PRETE:
            barre_ = definie;
            maximum_ = run ? run->n_pkt() : 0;
            ecoulee_ = !definie || static_cast<double>(duree) > 59.9;
            break;
        case ATTENTE:
            attente_ = true;
            break;
        case BOUCLE:
            attente_ = false;
            break;
        case REFUSEE:
        case ABANDONNEE:
        case FINIE:
            attente_ = barre_ = ecoulee_ = false;
            break;
        default:
            break;
        }
    }
    void progression(uint32_t paquets) override { paquets_ = paquets; }
    void duree_ecoulee(uint32_t secondes) override
    {
        secondes_ = secondes;
        if (direct)
            console_.ecrit(direct->seconde(secondes));
    }
    void paquet(const unsigned char* octets, uint32_t n, uint64_t position) override
    {
        if (robinet)
            robinet->paquet(octets, n, position);
    }

private:
    std::string texte() const
    {
        if (attente_)
            return "En attente du déclenchement...";
        const std::string ecoulee = compose(conv_, "Durée écoulée : {0:N0} s", {secondes_});
        if (barre_ && maximum_ > 0) {
            const int pct = static_cast<int>(100.0 * paquets_ / maximum_);
            const int plein = pct * 30 / 100;
            std::string t =
                "[" + std::string(plein, '#') + std::string(30 - plein, ' ') + "] " + std::to_string(pct) + " %";
            return ecoulee_ ? t + "  " + ecoulee : t;
        }
        return ecoulee_ ? ecoulee + "  (Ctrl-C pour arrêter)" : std::string();
    }

    Console& console_;
    const Conventions& conv_;
    int vues_ = 0;
    bool attente_ = false, barre_ = false, ecoulee_ = false;
    uint32_t maximum_ = 0, paquets_ = 0, secondes_ = 0;
};

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

// The duration within the range the window's spinner takes.
void fixe_duree(Configuration& cfg, double valeur) { cfg.duree = std::max(0.0, std::min(valeur, cfg.duree_max)); }

// The duration keeps one decimal, as the window's spinner: the
// configuration writes it so, and a value read back as 0 would mean an
// open-ended run. A duration that is not 0 stays at 0.1 s at least.
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

// The data file of manual naming (advanced mode): the options' folder and
// name.
std::string fichier_manuel(const Options& o)
{
    return avec_separateur(o.dossier) + (o.nom.empty() ? "Test" : o.nom) + ".dat";
}

// The data file a run would write, as the run will name it.
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

// The settings of the run: the built-in ones, then the configuration (the
// working folder's config_en_cours.txt, or the one given, which applies
// over the built-in settings alone), then the options. -1 when the
// configuration given cannot be read, or the duration asked for is beyond
// the frequency's longest.
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

// The files of the run, as Start asks for them: the data file's name and,
// with manual naming, the files opened. False when the run must not start.
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

// As libusb does on Linux, a Ctrl-C interrupts the simulated box's event
// handling in progress, so that a rehearsal meets what a real box meets.
class RelaisInterruptions {
public:
    explicit RelaisInterruptions(sim::SimulatedBox* box)
    {
        if (!box)
            return;
        thread_ = std::thread([this, box] {
            int vues = 0;
            while (!fin_.load()) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
                const int n = demandes_fin();
                if (n == vues)
                    continue;
                vues = n;
                sim::Faults f = box->faults();
                ++f.interrupted_events;
                box->set_faults(f);
            }
        });
    }
    ~RelaisInterruptions()
    {
        fin_.store(true);
        if (thread_.joinable())
            thread_.join();
    }

private:
    std::atomic<bool> fin_{false};
    std::thread thread_;
};

// A capture without a file for a live consumer of its frames: the
// configured frequency, channels and sample type, a start at once, `duree`
// seconds.
void reglages_sans_fichier(Configuration& cfg, double duree)
{
    cfg.enregistrement = false;
    cfg.declenchement = Declenchement::Soft;
    cfg.duree_definie = true;
    cfg.duree_max = duree_max_de(frequence_de(cfg));
    fixe_duree(cfg, duree);
}

// The exit code of a capture without a file that did not end as asked.
int code_de_fin(FinRun fin)
{
    return fin == FIN_REFUSEE ? EXIT_REFUSED : fin == FIN_ABANDONNEE ? EXIT_ABANDONED : EXIT_INCOMPLETE;
}

constexpr int DELAI_ANALYSE_MS = 30000; // for the analysis to end once the run has

// A run whose frames go, as copies, to `prise`'s consumer; the consumer is
// given its last frames before this returns.
FinRun capture(Run& run, PriseTrames& prise, SuiviConsole& suivi)
{
    Robinet robinet;
    robinet.attache(&prise);
    suivi.run = &run;
    suivi.robinet = &robinet;
    const FinRun fin = run.execute();
    suivi.run = nullptr;
    suivi.robinet = nullptr;
    robinet.ferme();
    prise.termine(DELAI_ANALYSE_MS);
    return fin;
}

constexpr double DUREE_DIAGNOSTIC_S = 1.0;

// The microphones' health over a capture without a file. The analysis works
// on copies of the frames on a thread of its own and may leave packets out;
// the run never waits for it.
int diagnostic(Boitier& boitier, const Configuration& cfg, SuiviConsole& suivi, Console& console)
{
    if (cfg.selection.nb_micros() == 0) {
        boitier.journal.call_verb("Pas de micro choisi !\r\n", 1);
        return EXIT_REFUSED;
    }
    ParametresRun params = parametres_du_run(cfg, boitier.journal);
    AnalyseMicros analyse(disposition_de(params.header, cfg.selection.etat).codes, params.flottant);
    PriseTrames prise(params.nb_voies,
                      [&analyse](const uint32_t* mots, size_t n, bool suite) { analyse.ajoute(mots, n, suite); });
    suivi.definie = true;
    suivi.duree = params.duree;
    Run run(boitier, std::move(params), FichiersRun(), suivi);
    const FinRun fin = capture(run, prise, suivi);
    console.efface_progression();
    if (fin != FIN_COMPLETE)
        return code_de_fin(fin);

    const std::vector<StatistiquesMicro> bilan = analyse.bilan();
    int signales = 0;
    for (const StatistiquesMicro& s : bilan)
        if (s.defauts) {
            ++signales;
            std::printf("micro %d : %s\n", s.micro, raisons(s).c_str());
        }
    std::printf("Micros : %zu analysés sur %llu trames, %s\n", bilan.size(),
                static_cast<unsigned long long>(analyse.trames()), compte_signales(bilan).c_str());
    if (prise.paquets_ignores() > 0)
        std::printf("(%llu paquets laissés de côté par l'analyse)\n",
                    static_cast<unsigned long long>(prise.paquets_ignores()));
    return signales > 0 ? EXIT_MICROS_SIGNALES : EXIT_OK;
}

constexpr double DELAI_CALIBREUR_S = 20.0; // for a steady reading

// The factors of --calibration: the file's, or the nominal ones when it is
// not there yet and --calibre will make it. False, with the reason
// printed, when it cannot be read.
bool charge_calibration(const Options& o, Calibration& cal)
{
    std::string erreur;
    if (!calibration_disponible()) {
        lit_calibration(o.calibration, 1024, cal, erreur); // says why
        std::fprintf(stderr, "ondaris-acq : %s\n", erreur.c_str());
        return false;
    }
    std::error_code ec;
    if (!std::filesystem::exists(std::filesystem::u8path(o.calibration), ec) && o.calibre > 0) {
        cal = calibration_nominale();
        std::printf("  Calibration : %s, à créer (sensibilité nominale)\n", o.calibration.c_str());
        return true;
    }
    if (lit_calibration(o.calibration, 1024, cal, erreur) != 0) {
        std::fprintf(stderr, "ondaris-acq : calibration refusée : %s\n", erreur.c_str());
        return false;
    }
    std::printf("  Calibration : %s (1024 micros)\n", o.calibration.c_str());
    return true;
}

// The calibrator assistant: which microphone carries the calibrator, its
// steady level through its current factor, and the factor that makes it
// read the calibrator's level, stored in the calibration file. The run
// lasts until the reading is steady, DELAI_CALIBREUR_S at most; the reading
// works on copies of the frames on a thread of its own.
int calibre(Boitier& boitier, const Configuration& cfg, const Options& o, Calibration& cal, SuiviConsole& suivi,
            Console& console)
{
    const Conventions& cv = boitier.journal.conv;
    if (cfg.selection.nb_micros() == 0) {
        boitier.journal.call_verb("Pas de micro choisi !\r\n", 1);
        return EXIT_REFUSED;
    }
    // Whether its file can be written is known before the calibrator is heard.
    {
        FichierEntier essai;
        std::string erreur;
        if (essai.ouvre(o.calibration, erreur) != 0) {
            std::printf("Pas de calibration : %s\n", erreur.c_str());
            return EXIT_CALIBRAGE;
        }
        // A file of 1024 factors takes about 50 kB.
        uint64_t libre = 0;
        const std::string dossier = std::filesystem::u8path(o.calibration).parent_path().u8string();
        if (espace_libre(dossier, libre) && libre < 128 * 1024) {
            std::printf("Pas de calibration : %s : disque plein (%llu octets libres)\n", o.calibration.c_str(),
                        static_cast<unsigned long long>(libre));
            return EXIT_CALIBRAGE;
        }
    }
    ParametresRun params = parametres_du_run(cfg, boitier.journal);
    const int nb_voies = params.nb_voies;
    Calibreur calibreur(disposition_de(params.header, cfg.selection.etat).codes, params.flottant, frequence_de(cfg),
                        cal.facteurs);
    suivi.definie = true;
    suivi.duree = params.duree;
    Run run(boitier, std::move(params), FichiersRun(), suivi);
    PriseTrames prise(nb_voies, [&calibreur, &run](const uint32_t* mots, size_t n, bool suite) {
        if (calibreur.fini())
            return;
        calibreur.ajoute(mots, n, suite);
        if (calibreur.fini())
            run.demande_stop();
    });
    const FinRun fin = capture(run, prise, suivi);
    console.efface_progression();
    if (fin != FIN_COMPLETE && fin != FIN_STOPPEE)
        return code_de_fin(fin);

    const int m = calibreur.micro();
    switch (calibreur.etat()) {
    case Calibreur::RECHERCHE:
        std::printf("Pas de calibration : trop peu de trames pour chercher le calibreur.\n");
        return EXIT_CALIBRAGE;
    case Calibreur::ABSENT:
        std::fputs(compose(cv,
                           "Pas de calibreur : le niveau à 1 kHz le plus fort, {0:N1} dB sur le micro {1:G}, n'est "
                           "que {2:N1} dB au-dessus du suivant (micro {3:G}) ; il en faut {4:G}.\n",
                           {calibreur.niveau_micro(), m, calibreur.niveau_micro() - calibreur.niveau_suivant(),
                            calibreur.suivant(), SEUIL_CALIBREUR_DB})
                       .c_str(),
                   stdout);
        return EXIT_CALIBRAGE;
    case Calibreur::LECTURE: {
        std::string lues;
        for (double l : calibreur.lectures())
            lues += (lues.empty() ? "" : " ") + compose(cv, "{0:N2}", {l});
        std::fputs(compose(cv,
                           "Pas de calibration : le calibreur du micro {0:G} ne donne pas de lecture stable "
                           "(lectures de {1:N2} s en dB : {2}).\n",
                           {m, DUREE_LECTURE_S, lues})
                       .c_str(),
                   stdout);
        return EXIT_CALIBRAGE;
    }
    case Calibreur::STABLE:
        break;
    }
    const double avant = cal.facteurs[static_cast<size_t>(m)];
    const double apres = facteur_calibre(avant, calibreur.niveau(), o.calibre);
    std::fputs(compose(cv, "Calibreur sur le micro {0:G} : {1:N2} dB SPL lus pour {2:N1} dB.\n",
                       {m, calibreur.niveau(), o.calibre})
                   .c_str(),
               stdout);
    std::printf("Facteur du micro %d : %.6g -> %.6g Pa par point (%+.2f dB)\n", m, avant, apres,
                o.calibre - calibreur.niveau());
    std::string erreur, raison;
    if (!facteur_plausible(apres, raison)) {
        std::printf("Pas de calibration : le facteur corrigé du micro %d serait %s\n", m, raison.c_str());
        return EXIT_CALIBRAGE;
    }
    cal.facteurs[static_cast<size_t>(m)] = apres;
    if (ecrit_calibration(o.calibration, cal, erreur) != 0) {
        std::printf("Pas de calibration : %s\n", erreur.c_str());
        return EXIT_CALIBRAGE;
    }
    std::printf("Calibration écrite : %s\n", o.calibration.c_str());
    return EXIT_OK;
}

} // namespace

int main(int argc, char** argv)
{
    console_utf8();
    Options o;
    const int code = lit_options(arguments_utf8(argc, argv), o);
    if (code != LigneCommande::CONTINUER)
        return code;
    if (!o.config.empty() && !std::filesystem::exists(std::filesystem::u8path(o.config))) {
        std::fprintf(stderr, "ondaris-acq : configuration introuvable : %s\n", o.config.c_str());
        return EXIT_USAGE;
    }
    int rang = -1;
    if (o.frequence >= 0 && (rang = rang_frequence(o.frequence)) < 0) {
        std::fprintf(stderr, "ondaris-acq : %g Hz n'est pas une fréquence du boîtier\n", o.frequence);
        return EXIT_USAGE;
    }

    capte_demandes_fin();

    std::unique_ptr<usb::UsbApi> usb;
    sim::SimulatedBox* box = nullptr;
    if (o.simulateur) {
        sim::Options so;
        so.paced = o.sim_temps_reel;
        so.trigger_delay_ms = o.sim_declenchement_ms;
        so.control_delay_ms = o.sim_lenteur_ms;
        if (o.sim_ton_hz >= 0)
            so.scene.tone_hz = o.sim_ton_hz;
        if (o.sim_amplitude >= 0)
            so.scene.tone_amplitude = o.sim_amplitude;
        if (o.sim_bruit >= 0)
            so.scene.noise_rms = o.sim_bruit;
        if (o.sim_faisceau >= 0) {
            so.scene.source_beam = o.sim_faisceau;
            so.scene.source_row = o.sim_rangee;
        }
        so.scene.faults = o.sim_defauts;
        so.scene.calibrator = o.sim_calibreur;
        if (o.sim_ecart_db >= 0)
            so.scene.sensitivity_spread_db = o.sim_ecart_db;
        if (!o.sim_rejoue.empty()) {
            auto rejeu = std::make_shared<sim::Recording>();
            const std::string refus = sim::load_recording(o.sim_rejoue, *rejeu);
            if (!refus.empty()) {
                std::fprintf(stderr, "ondaris-acq : %s\n", refus.c_str());
                return EXIT_USAGE;
            }
            so.replay = rejeu;
        }
        so.scene.geometry = o.sim_geometrie;
        so.scene.points = o.sim_points;
        auto b = std::make_unique<sim::SimulatedBox>(so);
        box = b.get();
        usb = std::move(b);
    } else {
        usb = std::make_unique<LibusbApi>();
    }
    RelaisInterruptions relais(box);

    Console console(o);
    SystemClock clock;
    Journal journal;
    journal.conv = Conventions::from_locale();
    journal.sortie = [&console](const std::string& text, int flag) { console.message(text, flag); };
    Boitier boitier(*usb, clock, journal);
    if (box && box->options().replay) {
        sim::Options so = box->options();
        so.notice = [&journal](const std::string& text) { journal.call_verb(text); };
        box->set_options(so);
    }

    Configuration cfg;
    if (reglages(o, rang, journal, cfg) != 0)
        return EXIT_USAGE;
    if (o.diagnostic)
        reglages_sans_fichier(cfg, DUREE_DIAGNOSTIC_S);
    if (o.calibre > 0) {
        reglages_sans_fichier(cfg, DELAI_CALIBREUR_S);
        if (!frequence_calibrable(frequence_de(cfg))) {
            std::fprintf(stderr,
                         "ondaris-acq : à %g Hz, la bande du calibreur (891 à 1122 Hz) dépasse la moitié "
                         "de la fréquence d'échantillonnage\n",
                         static_cast<double>(frequence_de(cfg)));
            return EXIT_USAGE;
        }
    }
    std::printf("ondaris-acq %s\n", version_ondaris());
    const std::string avis = avis_interruption("config_en_cours.txt", journal.conv);
    if (!avis.empty())
        journal.call_verb(avis);
    affiche_reglages(cfg, o, journal.conv);
    if (!o.sim_defauts.empty())
        std::printf("  Boîtier simulé, micros défaillants : %s\n", sim::faults_text(o.sim_defauts).c_str());
    if (o.sim_calibreur.microphone >= 0)
        std::fputs(compose(journal.conv, "  Boîtier simulé, calibreur : {0:N1} dB SPL à 1 kHz sur le micro {1:G}\n",
                           {o.sim_calibreur.level_db, o.sim_calibreur.microphone})
                       .c_str(),
                   stdout);
    if (const auto rejeu = box ? box->options().replay : nullptr) {
        std::printf("  Boîtier simulé, %s\n", sim::recording_summary(*rejeu).c_str());
        for (const std::string& r : rejeu->remarks)
            std::printf("    %s\n", r.c_str());
    }
    Calibration cal;
    if (!o.calibration.empty() && !charge_calibration(o, cal))
        return EXIT_USAGE;

    SuiviConsole suivi(console, journal.conv);
    const int init = init_boitier(boitier, suivi);
    if (demandes_fin() > 0) {
        console.efface_progression();
        std::printf("\nInterrompu pendant l'Init : liaison USB fermée, aucune acquisition.\n");
        ferme_liaison(boitier);
        return EXIT_INTERRUPTED;
    }
    if (init != 0) {
        ferme_liaison(boitier);
        return EXIT_NO_BOX;
    }
    // Advanced mode names the file by hand: the options' folder and name.
    if (o.avance) {
        journal.detail = true;
        cfg.nom_automatique = false;
    }
    if (o.diagnostic || o.calibre > 0) {
        const int r =
            o.diagnostic ? diagnostic(boitier, cfg, suivi, console) : calibre(boitier, cfg, o, cal, suivi, console);
        ferme_liaison(boitier);
        return r;
    }

    // Start: the settings saved, then every refusal before the run.
    ecrit_fichier_config("config_en_cours.txt", cfg, journal);
    FinRun fin = FIN_REFUSEE;
    bool erreur_compteur = false;
    std::string data;
    if (cfg.selection.nb_voies() == 0) {
        journal.call_verb("Pas de voie choisie !\r\n", 1);
    } else {
        // The longest duration of the frequency the run sends.
        cfg.duree_max = duree_max_de(frequence_de(cfg));
        fixe_duree(cfg, cfg.duree);
        FichiersRun fichiers;
        if (!cfg.enregistrement || choisit_fichiers(cfg, o, console, journal, data, fichiers)) {
            ParametresRun params = parametres_du_run(cfg, journal);
            params.acqui_name = data;
            suivi.definie = params.definie;
            suivi.duree = params.duree;
            // The live map, through the run's tap.
            Robinet robinet;
            std::unique_ptr<JournalDirect> direct;
            std::unique_ptr<PriseTrames> prise;
            if (o.carte_directe) {
                direct = std::make_unique<JournalDirect>(std::make_shared<const Geometrie>(o.geometrie),
                                                         disposition_de(params.header, cfg.selection.etat).codes,
                                                         params.flottant, frequence_de(cfg), journal.conv);
                prise = direct->commence();
                if (prise)
                    robinet.attache(prise.get());
                else
                    journal.call_verb("Carte en direct : aucun micro enregistré\r\n");
            }
            Run run(boitier, std::move(params), std::move(fichiers), suivi);
            suivi.run = &run;
            suivi.robinet = &robinet;
            suivi.direct = direct.get();
            fin = run.execute();
            suivi.run = nullptr;
            suivi.robinet = nullptr;
            suivi.direct = nullptr;
            if (PriseTrames* q = robinet.ferme())
                console.ecrit(direct->fin(*q));
            erreur_compteur = run.erreur_compteur();
        }
    }
    console.efface_progression();
    ferme_liaison(boitier);

    if (cfg.enregistrement && fin != FIN_REFUSEE) {
        std::printf("\nFichiers de l'acquisition :\n");
        liste_fichiers(data);
    }
    if (erreur_compteur)
        return EXIT_COUNTER;
    switch (fin) {
    case FIN_COMPLETE:
        return EXIT_OK;
    case FIN_STOPPEE: // Ctrl-C, or an open-ended run at its disk budget
        return EXIT_OK;
    case FIN_ABANDONNEE:
        return EXIT_ABANDONED;
    case FIN_REFUSEE:
        return EXIT_REFUSED;
    case FIN_ECRITURE:
        return EXIT_WRITE;
    default:
        return EXIT_INCOMPLETE;
    }
}
