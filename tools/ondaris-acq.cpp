// ondaris-acq: one acquisition from the command line, with the logic of the
// window. Reads a configuration file, brings the box up, records one run and
// prints the information pane as it grows. The simulated box is used only
// when asked for with --simulateur.

#include <atomic>
#include <climits>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/model/acquisition.h"
#include "app/model/acquisition.h"
#include "app/model/coche.h"
#include "app/model/construction.h"
#include "app/model/mode_avance.h"
#include "app/model/principale.h"
#include "app/model/init.h"
#include "acquisition/presence.h"
#include "device/bringup.h"
#include "app/model/parametres.h"
#include "device/parametres.h"
#include "base/plateforme.h"
#include "base/version.h"
#include "device/usb_libusb.h"
#include "files/chemins.h"
#include "app/model/config_controles.h"
#include "files/fichier_donnees.h"
#include "app/model/nommage_controles.h"
#include "simulator/simulated_box.h"
#include "tools/console.h"
#include "tools/ligne_commande.h"

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
    EXIT_INTERRUPTED = 130,
};

std::atomic<int> interruptions{0};

extern "C" void on_interrupt(int) { interruptions.fetch_add(1); }

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
};

const char* const AIDE = "Usage : ondaris-acq [options]\n"
                         "Une acquisition Ondaris 1024 sans fenêtre : lecture d'une configuration, Init,\n"
                         "un enregistrement, puis fin. Ctrl-C arrête l'acquisition proprement (Stop).\n"
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
                         "  --version               version du programme\n"
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
                         "6 erreur de compteur, 7 écriture impossible (disque plein), 64 options invalides,\n"
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
        o.nom = s;
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
    l.drapeau("--simulateur", o.simulateur);
    int rythme = -1;
    l.mot("--sim-rythme", rythme, {"temps-reel", "libre"}, "temps-reel ou libre");
    l.valeur("--sim-declenchement", [&o](const std::string& s) {
        double d;
        if (s == "jamais")
            o.sim_declenchement_ms = -1;
        else if (LigneCommande::nombre_fini(s, d) && d >= 0 && d <= INT_MAX)
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
            !LigneCommande::nombre_fini(s.substr(virgule + 1), o.sim_rangee))
            return std::string("--sim-source : faisceau,rangée (par exemple 40,3.5)");
        return std::string();
    });
    const int code = l.analyse(argv);
    if (code != LigneCommande::CONTINUER)
        return code;
    if (rythme >= 0)
        o.sim_temps_reel = rythme == 0;
    o.sim_lenteur_ms = static_cast<int>(lenteur);
    if (!o.simulateur &&
        (o.sim_ton_hz >= 0 || o.sim_amplitude >= 0 || o.sim_bruit >= 0 || o.sim_faisceau >= 0 || o.sim_lenteur_ms > 0))
        return l.refuse("les options --sim-* demandent --simulateur");
    return LigneCommande::CONTINUER;
}

// The operator at a terminal: boxes are printed, questions answered from
// the options, and pumping the events turns Ctrl-C into Stop or Abort.
class ConsoleOperator : public Operator {
public:
    ConsoleOperator(const Options& o) : o_(o), tty_(ONDARIS_ISATTY(ONDARIS_FILENO(stderr)) != 0) {}
    Principale* p = nullptr;

    void message_box(const std::string& text, const std::string& caption, Icon) override
    {
        efface_progression();
        std::fprintf(stderr, "[%s] %s\n", caption.c_str(), text.c_str());
    }
    bool ask_yes_no(const std::string& text, const std::string& caption, Icon) override
    {
        efface_progression();
        std::fprintf(stderr, "[%s] %s %s\n", caption.c_str(), text.c_str(),
                     o_.ecraser ? "Oui (--ecraser)" : "Non (--ecraser pour écraser)");
        return o_.ecraser;
    }
    bool choose_save_file(const std::string&, std::string& path) override
    {
        // Manual naming (advanced mode): the folder and name of the options.
        path = avec_separateur(o_.dossier) + (o_.nom.empty() ? "Test" : o_.nom) + ".dat";
        if (std::filesystem::exists(std::filesystem::u8path(path)) && !o_.ecraser) {
            std::fprintf(stderr, "%s existe déjà (--ecraser pour écraser)\n", path.c_str());
            return false;
        }
        return true;
    }
    bool choose_open_file(const std::string&, std::string&) override { return false; }
    bool choose_folder(const std::string&, std::string&) override { return false; }

    // Ctrl-C: Abort while waiting for the trigger, Stop in the main loop,
    // and a further one after Stop abandons a stream the box does not end.
    // One pressed before the run is kept for it (or for the end of Init).
    void pump_events() override
    {
        if (!p)
            return;
        const int n = interruptions.load();
        if (n != vues_ && p->run_en_cours && p->run) {
            if (p->phase_run == PHASE_ATTENTE) {
                vues_ = n;
                button_Abort_Click(*p);
            } else if (p->phase_run == PHASE_BOUCLE) {
                vues_ = n;
                if (!p->run->stoppe())
                    button_Stop_Click(*p);
                else
                    button_Abort_Click(*p);
            }
        }
        if (o_.progression && tty_)
            affiche_progression();
    }

    void efface_progression()
    {
        if (ligne_) {
            std::fputs("\r\033[K", stderr);
            ligne_ = false;
        }
    }

private:
    void affiche_progression()
    {
        const Controles& c = p->ctl;
        std::string texte;
        if (p->phase_run == PHASE_ATTENTE)
            texte = "En attente du déclenchement...";
        else if (c.panel_Progress.shown && c.progressBar_Progress.maximum > 0) {
            int pct = 100 * c.progressBar_Progress.value / c.progressBar_Progress.maximum;
            int plein = pct * 30 / 100;
            texte = "[" + std::string(plein, '#') + std::string(30 - plein, ' ') + "] " + std::to_string(pct) + " %";
            if (c.label_Duree_Ecoulee.shown)
                texte += "  " + c.label_Duree_Ecoulee.text;
        } else if (c.label_Duree_Ecoulee.shown)
            texte = c.label_Duree_Ecoulee.text + "  (Ctrl-C pour arrêter)";
        else
            return;
        std::fprintf(stderr, "\r\033[K%s", texte.c_str());
        std::fflush(stderr);
        ligne_ = true;
    }

    const Options& o_;
    bool tty_;
    bool ligne_ = false;
    int vues_ = 0;
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

// The duration keeps one decimal, as the window's spinner: the
// configuration writes it so, and a value read back as 0 would mean an
// open-ended run. A duration that is not 0 stays at 0.1 s at least.
void arrondit_duree(Principale& p)
{
    if (!p.ctl.checkBox_Definie.checked)
        return;
    const double v = p.ctl.numericUpDown_Duree.value;
    double r = std::round(v * 10.0) / 10.0;
    if (v > 0 && r < 0.1)
        r = 0.1;
    if (r == v)
        return;
    set_duree(p, r);
    std::printf("Durée arrondie à une décimale : %s s au lieu de %g s\n",
                compose(p.journal.conv, "{0:N1}", {p.ctl.numericUpDown_Duree.value}).c_str(), v);
}

// The data file a run would write, as the run will name it.
std::string fichier_prevu(const Principale& p, const Options& o)
{
    const Controles& c = p.ctl;
    if (c.checkBox_Nom_Fich.checked && !o.avance)
        return avec_separateur(c.textBox_Rep.text) + c.textBox_Nom_Fich.text + ".dat";
    return avec_separateur(o.dossier) + (o.nom.empty() ? "Test" : o.nom) + ".dat";
}

void affiche_reglages(const Principale& p, const Options& o)
{
    const Controles& c = p.ctl;
    const Conventions& cv = p.journal.conv;
    std::string t = "Réglages :\n";
    t += compose(cv, "  Fréquence : {0:N0} Hz\n", {frequence_de_division(FREQ[c.listBox_Freq.top_index])});
    if (c.checkBox_Definie.checked && c.numericUpDown_Duree.value > 0)
        t += compose(cv, "  Durée : {0:N1} s\n", {c.numericUpDown_Duree.value});
    else
        t += "  Durée : non définie (jusqu'à Ctrl-C ou la limite du disque)\n";
    if (c.radioButton_Start_Soft.checked) {
        t += "  Déclenchement : soft (immédiat)\n";
    } else {
        t += c.radioButton_Start_Trig2.checked ? "  Déclenchement : trig2, " : "  Déclenchement : trig1, ";
        t += c.radioButton_Start_FD.checked   ? "front descendant\n"
             : c.radioButton_Start_EH.checked ? "état haut\n"
             : c.radioButton_Start_EB.checked ? "état bas\n"
                                              : "front montant\n";
    }
    t += c.radioButton_Float.checked ? "  Échantillons : float32\n" : "  Échantillons : int32\n";
    int micros = 0, analogiques = 0;
    for (const auto& faisceau : c.grid)
        for (const auto& m : faisceau)
            micros += m.checked;
    for (const auto& v : c.grid_VA)
        analogiques += v.checked;
    std::string compteurs;
    const CheckBox* cpt[4] = {&c.checkBox_CptA, &c.checkBox_CptB, &c.checkBox_CptC, &c.checkBox_CptD};
    for (int k = 0; k < 4; ++k)
        if (cpt[k]->checked)
            compteurs += static_cast<char>('A' + k);
    t += compose(cv, "  Voies : {0:G} micros, {1:G} analogiques, compteurs ", {micros, analogiques}) +
         (compteurs.empty() ? "aucun" : compteurs) +
         (c.checkBox_Status.checked ? ", voie d'état\n" : ", sans voie d'état\n");
    if (!c.checkBox_Record.checked)
        t += "  Fichiers : aucun (sans enregistrement)\n";
    else
        t += "  Fichiers : " + fichier_prevu(p, o) + " (et .Ond, .log)\n";
    std::fputs(t.c_str(), stdout);
    std::fflush(stdout);
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
                const int n = interruptions.load();
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

    std::signal(SIGINT, on_interrupt);

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
        auto b = std::make_unique<sim::SimulatedBox>(so);
        box = b.get();
        usb = std::move(b);
    } else {
        usb = std::make_unique<LibusbApi>();
    }
    RelaisInterruptions relais(box);

    ConsoleOperator op(o);
    SystemClock clock;
    Principale p(*usb, op, clock);
    op.p = &p;
    p.pane.on_append = [&op](const std::string& s) {
        op.efface_progression();
        std::string t;
        t.reserve(s.size());
        for (char c : s)
            if (c != '\r')
                t += c;
        std::fputs(t.c_str(), stdout);
        std::fflush(stdout);
    };

    // The window's start-up, then the configuration asked for, then the
    // options. A configuration given applies over the built-in defaults: a
    // config_en_cours.txt left by an earlier run must not add to it.
    p.config_en_cours = o.config.empty() ? "config_en_cours.txt" : "";
    construction(p);
    p.config_en_cours = "config_en_cours.txt";
    if (!o.config.empty() && lit_config(p, o.config) != 0)
        return EXIT_USAGE;
    Controles& c = p.ctl;
    if (o.enregistrement == 0) {
        coche(p, c.checkBox_Record, false, checkBox_Record_CheckedChanged);
    } else if (o.dossier_donne || o.nom_donne) {
        coche(p, c.checkBox_Record, true, checkBox_Record_CheckedChanged);
        coche(p, c.checkBox_Nom_Fich, true, checkBox_Nom_Fich_CheckedChanged);
        if (o.dossier_donne) {
            std::error_code ec;
            std::filesystem::create_directories(std::filesystem::u8path(o.dossier), ec);
            c.textBox_Rep.text = avec_separateur(o.dossier);
        }
        if (o.nom_donne)
            c.textBox_Nom_Fich.text = o.nom;
    }
    if (o.dossier.empty())
        o.dossier = c.textBox_Rep.text;
    if (o.nom.empty())
        o.nom = c.textBox_Nom_Fich.text;
    if (rang >= 0)
        c.listBox_Freq.top_index = rang;
    if (o.source >= 0) {
        RadioButton* sources[] = {&c.radioButton_Start_Soft, &c.radioButton_Start_Trig1, &c.radioButton_Start_Trig2};
        for (int k = 0; k < 3; ++k)
            sources[k]->checked = k == o.source;
        radioButton_Start_Soft_CheckedChanged(p);
    }
    if (o.condition >= 0) {
        RadioButton* conditions[] = {&c.radioButton_Start_FM, &c.radioButton_Start_FD, &c.radioButton_Start_EH,
                                     &c.radioButton_Start_EB};
        for (int k = 0; k < 4; ++k)
            conditions[k]->checked = k == o.condition;
    }
    if (o.duree == 0) {
        coche(p, c.checkBox_Definie, false, checkBox_Definie_CheckedChanged);
    } else if (o.duree > 0) {
        coche(p, c.checkBox_Definie, true, checkBox_Definie_CheckedChanged);
        set_duree_maximum(p, duree_max_de(frequence_de_division(FREQ[c.listBox_Freq.top_index])));
        set_duree(p, o.duree);
    }
    arrondit_duree(p);
    if (o.compteurs >= 0) {
        CheckBox* cpt[4] = {&c.checkBox_CptA, &c.checkBox_CptB, &c.checkBox_CptC, &c.checkBox_CptD};
        for (int k = 0; k < 4; ++k)
            cpt[k]->checked = (o.compteurs >> k & 1) != 0;
    }
    if (o.etat)
        c.checkBox_Status.checked = true;

    std::printf("ondaris-acq %s\n", version_ondaris());
    affiche_reglages(p, o);

    button_Init_Click(p);
    if (interruptions.load() > 0) {
        op.efface_progression();
        std::printf("\nInterrompu pendant l'Init : liaison USB fermée, aucune acquisition.\n");
        fermeture(p);
        return EXIT_INTERRUPTED;
    }
    if (!p.enabled[9]) {
        fermeture(p);
        return EXIT_NO_BOX;
    }
    if (o.avance) {
        // Mode avancé switches to manual naming: the file is the options' one.
        coche(p, c.checkBox_Test, true, checkBox_Test_CheckedChanged);
    }

    button_Start_Click(p);
    op.efface_progression();
    const int fin = p.fin_run;
    const bool erreur_compteur = p.dernier.erreur_compteur;
    const std::string data = p.acqui_name;
    fermeture(p);

    if (p.record && fin != FIN_REFUSEE) {
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
