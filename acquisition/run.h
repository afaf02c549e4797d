// One acquisition run, from the configured box to the closed files: the
// commands that set the box up, the files, the ring, the trigger wait, the
// main loop and the end of run.
//
// Threads: execute() runs on one thread, the run's (the window starts it on
// a thread of its own; the runner and the tests call it directly). It alone
// touches the box, the ring and the files until it returns. demande_stop(),
// demande_abandon() and demande_fermeture() may be called from any thread:
// they only set a request, which the run acts on within one short event
// wait (ATTENTE_EVENEMENTS_MS). Messages go to the box's Journal, every other
// report to the ObservateurRun, both called on the run's thread.
//
// A recording's packets are written by a thread of its own, the writer's
// (acquisition/ecrivain.h): the run's thread hands it each slot that
// brought bytes, checks the counter and takes the levels meanwhile, and
// resubmits the slot, reports the write and shows the packet to the
// observer once the writer gave it back. The end of run, and an abandon,
// wait for every write before they close the files.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "acquisition/anneau.h"
#include "acquisition/ecrivain.h"
#include "base/disque.h"
#include "channels/niveaux.h"
#include "channels/selection.h"
#include "device/boitier.h"
#include "files/configuration.h"
#include "files/fichiers_run.h"
#include "files/header.h"

enum PhaseRun { PHASE_INACTIF = 0, PHASE_PREPARATION, PHASE_ATTENTE, PHASE_BOUCLE, PHASE_FIN };

// How a run ended.
enum FinRun {
    FIN_AUCUNE = 0, // no run yet
    FIN_COMPLETE,   // the stream ended by itself with every byte asked for
    FIN_STOPPEE,    // stopped (operator, counter error, disk budget, window closed): the files hold what came
    FIN_INCOMPLETE, // ended early by a transfer error or a box that went away: the files hold what came
    FIN_REFUSEE,    // refused before recording (no channel, no file, no space, the box...): every file as it was
    FIN_ABANDONNEE, // trigger never came, or Abort during the wait: the files are left empty
    FIN_ECRITURE,   // the data file refused bytes (disk full) or could not be closed: the files describe what it holds
};

constexpr uint64_t RESERVE_DISQUE = 1000000000;
constexpr uint32_t ATTENTE_DECLENCHEMENT_MS = 30000;

// Packets an open-ended recording keeps in hand: it stops when it comes
// this close to what the disk can take, and is refused when it would stop
// at its first pass.
constexpr int64_t MARGE_BUDGET_PAQUETS = 64;

// Transfer time-out of a run: 2000 ms, or the time to fill 32 packets plus
// one second when that is longer.
int calcule_timeout(int nb_voies, float frequence);

// Everything a run needs to know, decided before it starts (the operator's
// questions included).
struct ParametresRun {
    // Channels: the frame size (status word included), the microphones, the
    // channel list in frame order after counter A, and the selection
    // commands to send (each one command code and its arguments).
    int nb_voies = 0;
    int nb_micros = 0;
    bool compteur = false; // counter A recorded: word 0 of each frame counts frames
    std::vector<int32_t> voies;
    std::vector<std::array<uint8_t, 4>> commandes_selection;
    uint8_t faisceaux[2] = {0, 0}; // the Faisceaux mask

    // Sampling: the list's row, sent when the box does not hold it, with the
    // delay that goes with it; the duration and whether it is defined.
    int ligne_freq = 0;
    uint8_t delai = 0;
    bool delai_avance = false; // advanced mode: the delay is the spinner's, and says so
    float duree = 5;           // s
    bool definie = true;
    bool flottant = false;

    // Trigger: the Start command's argument byte; 0 starts at once.
    uint8_t octet_start = 0;

    // Recording. With `fich_auto` the files of `acqui_name` are opened by
    // the run; otherwise they come already open.
    bool enregistre = true;
    bool fich_auto = true;
    std::string acqui_name;
    type_header_file header{}; // selection bytes and comment; the run fills the rest
    std::string commentaire;   // the description file's comment
};

// The channel part of a run's parameters from the selection it records:
// frame size, microphones, counter A, channel list and selection commands.
void canaux_du_run(ParametresRun& r, const Selection& s);

// A run's parameters from the operator's settings: channels, frequency row
// and its delay (the advanced one in advanced mode), duration, sample type,
// trigger, recording and naming. Every Faisceaux box is set; the file's
// name, the header and the comment are left to the caller.
ParametresRun parametres_de(const Configuration& cfg, bool avance, uint8_t delai_avance);

// Counter A check state, kept across the packets of one stream.
struct VerifCompteur {
    bool reference = false; // the stream's first counter value is known
    int32_t val0 = 0;       // counter A at the stream's first frame
    uint32_t position = 0;  // word of the first frame boundary in the last packet checked
    int32_t valeur = 0;     // counter A expected there
};

// What the run shows while it lasts; called on the run's thread.
class ObservateurRun {
public:
    enum Etape {
        PRETE,      // the box is set up and the files open: the window takes its run state
        ATTENTE,    // waiting for the external trigger: Abort replaces Stop
        DECLENCHEE, // the trigger came
        BOUCLE,     // the main loop: Stop and the level scale shown
        STOPPEE,    // Stop was sent to the box
        REFUSEE,    // refused after PRETE: the window as it was before
        ABANDONNEE, // abandoned during the trigger wait
        FINIE,      // the files are closed and the ring freed
    };
    virtual ~ObservateurRun() = default;
    // Between two event waits of a loop, at least every ATTENTE_EVENEMENTS_MS.
    virtual void pompe() {}
    virtual void etape(Etape) {}
    // Packets received; seconds since the main loop began.
    virtual void progression(uint32_t paquets) {}
    virtual void duree_ecoulee(uint32_t secondes) {}
    // Level index (0..127) of each microphone, -1 for those not recorded,
    // from the packet just received.
    virtual void niveaux(const std::array<int, 1024>& niveaux) {}
    // The bytes a transfer brought, once written: bytes `position` to
    // `position + n` of the stream. Valid during the call only: a live
    // consumer copies what it needs and returns (the live analysis's tap,
    // direct/robinet.h).
    virtual void paquet(const unsigned char* octets, uint32_t n, uint64_t position) {}
};

class Run {
public:
    // The disk takes the data file's appends and says how much room is left.
    Run(Boitier& b, ParametresRun params, FichiersRun fichiers, ObservateurRun& obs, Disque& disque = disque_systeme());
    Run(const Run&) = delete;
    Run& operator=(const Run&) = delete;

    // The whole run; returns how it ended.
    FinRun execute();

    // Requests, from any thread.
    void demande_stop() { stop_demande_ = true; }
    void demande_abandon() { abandon_demande_ = true; }
    // The window is closing: Abort during the trigger wait, Stop in the loop.
    void demande_fermeture() { fermeture_demandee_ = true; }

    // What the run knows, for the window and the tests; read them on the
    // run's thread or after execute() returned (docs/fils.md). phase() and
    // num_pkt() alone are atomics any thread may read while the run goes
    // on (Stop looks at the phase; a display may follow the packets).
    const ParametresRun& parametres() const { return p_; }
    PhaseRun phase() const { return phase_.load(); }
    FinRun fin() const { return fin_; }
    uint32_t n_pkt() const { return n_pkt_; }     // packets a defined run needs (or the disk budget)
    uint32_t num_pkt() const { return num_pkt_; } // completions so far
    uint64_t ntr() const { return ntr_; }         // bytes received
    uint64_t ntw() const { return ntw_; }         // bytes written to the data file
    uint64_t octets_demandes() const { return octets_demandes_; }
    uint32_t count() const { return b_.count; }
    bool stoppe() const { return stopped_; }
    bool erreur_compteur() const { return erreur_compteur_; }
    bool erreur_ecriture() const { return erreur_ecriture_; }
    bool attend_declenchement() const { return attente_declenchement_; }
    int64_t budget_paquets() const { return budget_paquets_; }
    const VerifCompteur& compteur() const { return verif_; }
    const type_header_file& header() const { return p_.header; }
    const std::string& acqui_name() const { return fichiers_.nom(); }

    // The presence test's stream (acquisition/presence.h); 0 when exactly
    // its bytes came without time-out.
    int presence();

    // One completion as the run handles it: written, checked, levels taken,
    // resubmitted. Public so that tests can feed a slot by hand.
    void traite(const Completion& c);
    Anneau& anneau() { return anneau_; }

private:
    bool preparation();
    bool prepare_fichiers();
    void refuse_apres_controles();
    bool attente_declenchement();
    bool abandon_boucle();
    void stop();
    void abort();
    void abandon();
    int boucle_principale(uint32_t& t0);
    void fin_de_run(int rc, uint32_t t0);
    int attend_completion(uint32_t debut, uint32_t limite_ms);
    int vidange(int rc, uint32_t limite_ms, bool fin_de_run);
    int traite_evenements();
    // The `n` bytes a transfer brought into `slot`: counted, handed to the
    // writer, shown to the observer once written. True when the writer
    // holds the slot: it is resubmitted when given back.
    bool garde(int slot, uint32_t n);
    // The slots the writer gave back: written bytes counted, a refusal
    // reported, the packet shown, the slot resubmitted. `attente_ms` waits
    // that long for the first.
    void recolte(int attente_ms = 0);
    void rendu(const Ecrivain::Rendu& r);
    void resoumet(int s);
    // Every write handed is done and taken back; the writer stopped.
    void attend_ecrivain();
    void verifie_compteur(const unsigned char* buffer, uint32_t L);
    void niveaux_du_paquet(int slot, uint32_t t, uint32_t L);
    void ferme_donnees();
    uint64_t espace_utilisable(const std::string& path) const;

    Boitier& b_;
    ParametresRun p_;
    FichiersRun fichiers_;
    ObservateurRun& obs_;
    Disque& disque_;
    Anneau anneau_;
    Ecrivain ecrivain_; // declared after the ring: stopped before its buffers go

    std::atomic<bool> stop_demande_{false}, abandon_demande_{false}, fermeture_demandee_{false};
    std::atomic<PhaseRun> phase_{PHASE_INACTIF};
    FinRun fin_ = FIN_AUCUNE;

    // Per-slot state.
    std::array<bool, NB_TRANSFERTS> t_fini_{};
    std::array<bool, NB_TRANSFERTS> transf_arret_{};
    std::array<uint32_t, NB_TRANSFERTS> a_ecrire_{};
    std::array<int, NB_TRANSFERTS> dernier_status_{};
    std::array<bool, NB_TRANSFERTS> chez_ecrivain_{};      // handed to the writer, not yet back
    std::array<bool, NB_TRANSFERTS> a_resoumettre_{};      // to resubmit when back
    std::array<uint32_t, NB_TRANSFERTS> paquet_suivant_{}; // the packet it will then carry

    std::atomic<uint32_t> num_pkt_{0}; // may be read from any thread (num_pkt)
    uint64_t ntr_ = 0, ntw_ = 0;
    uint32_t n_pkt_ = 0;
    uint64_t octets_demandes_ = 0;
    int64_t budget_paquets_ = 0;
    bool fin_en_cours_ = false, fini_ = false, err_timeout_ = false;
    bool erreur_compteur_ = false, erreur_ecriture_ = false;
    bool stopped_ = false, aborted_ = false;
    bool attente_declenchement_ = false;
    VerifCompteur verif_;
    DispositionNiveaux disposition_;
    std::array<int, 1024> niveaux_{};
};

// An open-ended recording (`count` 0) has come within MARGE_BUDGET_PAQUETS
// of the `budget` packets the disk can take (a disk with less than one
// packet to spare stops it at once).
bool budget_disque_atteint(bool enregistre, uint32_t count, uint32_t num_pkt, int64_t budget);

// Argument byte of the Start command for a trigger input (0 software, 1 or
// 2) and a condition (0 rising edge, 1 falling edge, 2 high level, 3 low).
uint8_t octet_start(int entree, int condition);
