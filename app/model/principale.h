// The main window's state, without the window: every field the handlers of
// device/, acquisition/, files/ and app/model/ read or write. One instance
// owns everything for the life of the program; tests make their own.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "acquisition/anneau.h"
#include "app/model/controles.h"
#include "base/format.h"
#include "base/horloge.h"
#include "base/operateur.h"
#include "base/journal.h"
#include "base/pane.h"
#include "device/usb.h"
#include "files/header.h"

struct Principale {
    Principale(usb::UsbApi& usb, Operator& op, Clock& clock, Conventions conv = Conventions::from_locale());
    Principale(const Principale&) = delete;
    Principale& operator=(const Principale&) = delete;

    // The outside world.
    usb::UsbApi& usb;
    Operator& op;
    Clock& clock;

    // Controls and the information pane. The journal appends to the pane
    // (and raises the alerts); its `detail` is advanced mode.
    Controles ctl;
    Pane pane;
    Journal journal;
    std::array<bool, 12> enabled{};

    // USB link and commands.
    usb::DeviceHandle handle = nullptr;
    bool initialisation_FX3 = false;
    std::array<unsigned char, 16> buf{};
    int TimeOut = 2000; // ms, control requests and the run's transfers
    // The kernel's limit on queued USB transfer memory, read at Init when
    // the link goes through usbfs.
    std::string usbfs_memory_mb = "/sys/module/usbcore/parameters/usbfs_memory_mb";

    // Device state and sampling parameters.
    bool initialisation = false;
    bool test_init = false;
    bool clock_def = false;
    bool count_def = false;
    int num_freq = 0;
    float frequence = 0;        // Hz
    float duree = 5;            // s
    float duree_max = 0;        // s
    uint32_t count = 0;         // samples per channel, 0 = open-ended
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

    // Transfer ring.
    Anneau anneau;

    // Run.
    bool stopped = false;
    bool aborted = false;
    uint32_t n_pkt = 0;
    uint64_t octets_demandes = 0; // B = 4 * nb_voies * count
    bool attente_declenchement = false;
    bool run_en_cours = false;
    int phase_run = 0;               // PhaseRun of acquisition/acquisition.h
    int fin_run = 0;                 // FinRun: how the last run ended
    int64_t budget_paquets = 0;      // open-ended recording: packets the disk can take
    bool fermeture_demandee = false; // the window was closed during a run

    // Files and naming.
    bool record = true;
    bool fich_auto = true;
    bool file_open = false;
    std::string acqui_name;
    std::string nom_dir;
    std::FILE* Filep = nullptr;         // data file
    std::FILE* fichier_header = nullptr; // header file (.Ond)
    std::FILE* log = nullptr;           // description file (.log)
    std::string nom_header, nom_log;    // the companions as opened, cut to their content when closed
    // Appends to the data file; empty: fwrite (tests make it fail).
    std::function<std::size_t(std::FILE*, const unsigned char*, std::size_t)> ecriture_donnees;
    std::string config_en_cours = "config_en_cours.txt";
    // Bytes available to the user on the volume holding a path; empty: the
    // file system is asked (tests give their own).
    std::function<uint64_t(const std::string&)> espace_disque;

    // Comment.
    bool commentaires = false;
    std::string commentaire; // empty until the editor is closed once

    // Level display.
    uint32_t num_pkt_aff = 0;
    std::array<int32_t, 128> R_jet{}, V_jet{}, B_jet{};

    // Message sink of the information pane: level 1 also raises an alert.
    void call_verb(const std::string& text, int flag = 0);
    // Formats and appends (level 0).
    void verb(const std::string& pattern, std::initializer_list<FmtArg> args, int flag = 0)
    {
        journal.verb(pattern, args, flag);
    }
};
