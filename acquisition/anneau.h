// The ring of 32 bulk transfers of 16 MiB queued on the box's endpoint, and
// the run counters and flags that its completion handler keeps.
#pragma once

#include <array>
#include <cstdint>

#include "device/usb.h"

constexpr int NB_TRANSFERTS = 32;
constexpr uint32_t TAILLE_PAQUET = 16777216;          // bytes per transfer
constexpr uint32_t MOTS_PAQUET = TAILLE_PAQUET / 4;   // 32-bit words per transfer
constexpr unsigned char ENDPOINT_DONNEES = 0x81;

struct Principale;

// What a transfer carries as its user data: the slot it belongs to.
struct Slot {
    Principale* p = nullptr;
    int index = 0;
};

struct Anneau {
    std::array<usb::Transfer*, NB_TRANSFERTS> transfert{};
    std::array<unsigned char*, NB_TRANSFERTS> buffers{};
    std::array<bool, NB_TRANSFERTS> t_fini{};
    std::array<bool, NB_TRANSFERTS> transf_arret{};
    std::array<uint32_t, NB_TRANSFERTS> a_ecrire{};
    std::array<bool, NB_TRANSFERTS> en_vol{};       // submitted and not yet completed
    std::array<int, NB_TRANSFERTS> dernier_status{}; // last status reported per slot
    std::array<Slot, NB_TRANSFERTS> slots{};

    uint32_t num_pkt = 0;
    uint64_t ntr = 0;
    uint64_t ntw = 0;
    bool fin_en_cours = false;
    bool fini = false;
    bool err_timeout = false;
    bool erreur_compteur = false;
    bool erreur_ecriture = false;  // the data file refused bytes (disk full, device error): nothing more is written
    bool no_mem_signale = false; // the usbfs memory hint was given in this run
    bool liberation = false;       // being released: completed slots are not resubmitted
    int slot_complete = -1;        // slot of the last completed packet
    uint32_t paquet_complete = 0;  // its packet number

    bool reference_compteur = false; // the stream's first counter value is known
    int32_t val_compteur0 = 0;       // counter A at the stream's first frame
    uint32_t position_compteur = 0;
    int32_t val_compteur = 0;
    int32_t increment_position = 0;
    int32_t increment_compteur = 0;
};

// Completion handler of every ring transfer; runs inside the library's
// event handling. The slot is the one the transfer carries.
void fn_callback(usb::Transfer* transfer);

// Counter-check increments for the current nb_voies.
void calcule_increments(Principale& p);

// Allocates the 32 transfers and buffers and fills them as bulk IN
// transfers of 16 MiB on 0x81 with `timeout_ms`. On an allocation failure
// everything allocated is freed, the pane says so and -1 is returned; -1
// too while a transfer of an earlier run is still held by the library.
// With `touche`, the buffers are zeroed now, so that the first turn of the
// ring does not pay 512 MiB of page faults while the data flow.
int alloue_anneau(Principale& p, unsigned int timeout_ms, bool touche = false);

// Zeroes num_pkt, ntr, ntw, clears fin_en_cours and fini, then slot by slot clears
// t_fini and transf_arret and submits. A refusal is reported with the slot.
void soumet_anneau(Principale& p);

// Longest wait of one call of the library's event handling in the loops of
// a run, its drains and the presence test: the window's events are pumped
// between two calls, so it repaints and Stop or Abort act at every rate.
constexpr int ATTENTE_EVENEMENTS_MS = 20;

// One call of the library's event handling that waits at most
// ATTENTE_EVENEMENTS_MS. Its time-out is not an error, nor is a wait
// interrupted by a signal (such as Ctrl-C): 0, and the loop goes on.
int traite_evenements(Principale& p);

// Handles the library's events as its blocking call does, until at least
// one transfer has completed or more than `limite_ms` have passed since
// `debut` (clock ticks), but in calls of at most ATTENTE_EVENEMENTS_MS with
// the window's events pumped before each. The first non-zero library
// result ends it and is returned; otherwise 0.
int attend_completion(Principale& p, uint32_t debut, uint32_t limite_ms);

// Transfers submitted and not yet completed.
int transferts_en_vol(const Principale& p);

// Cancels every transfer still in flight and handles events until each has
// completed, for at most `limite_ms`; 0 when none is left in flight.
int annule_et_vide(Principale& p, uint32_t limite_ms = 5000);

// Frees the 32 transfers and their buffers, after cancelling and completing
// whatever is still in flight. A transfer that will not complete is left
// allocated rather than freed under the library.
void libere_anneau(Principale& p);
