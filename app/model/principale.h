// The main window's state, without the window: every field the handlers of
// device/, acquisition/, files/ and app/model/ read or write. One instance
// owns everything for the life of the program; tests make their own.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include <memory>
#include <thread>

#include "acquisition/run.h"
#include "direct/analyse_directe.h"
#include "files/calibration.h"
#include "files/geometrie.h"
#include "files/fichiers_run.h"
#include "app/model/controles.h"
#include "base/disque.h"
#include "base/format.h"
#include "base/horloge.h"
#include "base/operateur.h"
#include "base/journal.h"
#include "base/pane.h"
#include "device/boitier.h"
#include "device/usb.h"
#include "files/header.h"

class PassageRun;

struct Principale {
    Principale(usb::UsbApi& usb, Operator& op, Clock& clock, Conventions conv = Conventions::from_locale(),
               Disque& disque = disque_systeme());
    ~Principale();
    Principale(const Principale&) = delete;
    Principale& operator=(const Principale&) = delete;

    // The outside world.
    usb::UsbApi& usb;
    Operator& op;
    Clock& clock;
    Disque& disque;

    // Controls and the information pane. The journal appends to the pane
    // (and raises the alerts); its `detail` is advanced mode.
    Controles ctl;
    Pane pane;
    Journal journal;
    std::array<bool, 12> enabled{};

    // The box.
    Boitier boitier;

    // Device state and sampling parameters.
    float duree = 5;     // s
    float duree_max = 0; // s
    int retour = 0;

    // Acquisition header record.
    type_header_file header_file;

    // Channel model.
    int32_t nb_micros = 0;
    int32_t nb_voies = 0;
    std::array<int32_t, 1024> num_mic_valid{};
    std::array<int32_t, 1044> num_voies_valid{};
    int32_t nb_voies_valid = 0; // entries of num_voies_valid built by the last choix_micros
    bool compteur = false;      // counter A recorded: word 0 of each frame is a counter

    // Run. The window sets run_sur_fil: the run then goes on a thread of
    // its own and reports through `passage`, which releve_run() empties.
    bool run_sur_fil = false;
    std::unique_ptr<Run> run;
    std::shared_ptr<PassageRun> passage; // shared: the model's state needs only its name
    std::thread fil_run;
    bool run_en_cours = false; // a run, or Init, holds the box
    int resultat_init = 0;     // what Init on the run's thread gave
    bool run_prete = false;    // the run has set the controls for itself
    std::array<bool, 12> enabled_avant_run{};
    std::function<void(const std::string&, int)> sortie_pane; // the journal's own output, kept during a run
    int phase_run = 0;                                        // PhaseRun of acquisition/run.h
    int fin_run = 0;                                          // FinRun: how the last run ended
    bool fermeture_demandee = false;                          // the window was closed during a run
    // What the last run counted.
    struct Bilan {
        uint32_t num_pkt = 0, n_pkt = 0;
        uint64_t ntr = 0, ntw = 0;
        bool stoppe = false, erreur_compteur = false;
        int64_t budget_paquets = 0;
    } dernier;

    // Live analysis (the analysis window) and the consumer of the run's
    // frames it gets; a capture without a file (the health check, the
    // calibrator assistant) asked of the next Start.
    AnalyseDirecte direct;
    std::unique_ptr<PriseTrames> prise;
    struct TramesRun {
        std::vector<int32_t> codes; // of every word of the run's frame
        bool flottant = false;
        double frequence = 0; // Hz
    } trames_run;
    struct Capture {
        bool demandee = false;
        double duree = 0; // s; 0: until Stop
    } capture;

    bool analyse_ouverte = false;    // the analysis window is open
    bool assistant = false;          // the calibrator assistant runs
    double reference_calibreur = 94; // dB SPL
    bool ponderation_a = false;      // the level map A-weighted

    // The acoustic map and the spectrum: the array's geometry and where it
    // came from, the map's settings, the microphone whose spectrum is shown
    // (-1: none), and the microphones the health check flagged (left out of
    // the map).
    std::shared_ptr<const Geometrie> geometrie;
    std::string fichier_geometrie;
    bool carte_voulue = false;
    ReglagesCarte reglages_carte;
    int micro_spectre = -1;
    std::vector<int> micros_signales;

    // The calibration in use: every microphone's factor (Pa per count) and
    // the file it came from; empty when none is loaded.
    Calibration calibration;
    std::string fichier_calibration;

    // Files and naming.
    bool file_open = false;
    std::string acqui_name;
    std::string nom_dir;
    FichiersRun fichiers; // chosen with "Fichier", until a run takes them
    std::string config_en_cours = "config_en_cours.txt";

    // Comment.
    bool commentaires = false;
    std::string commentaire; // empty until the editor is closed once

    // Level display.
    std::array<int32_t, 128> R_jet{}, V_jet{}, B_jet{};

    // Message sink of the information pane: level 1 also raises an alert.
    void call_verb(const std::string& text, int flag = 0);
    // Formats and appends (level 0).
    void verb(const std::string& pattern, std::initializer_list<FmtArg> args, int flag = 0)
    {
        journal.verb(pattern, args, flag);
    }
};

// A calibration is loaded: a factor for every microphone.
inline bool calibration_chargee(const Principale& p) { return p.calibration.facteurs.size() == 1024; }
