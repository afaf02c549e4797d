// The ring of 32 bulk transfers of 16 MiB queued on the box's endpoint.
//
// The completion handler runs inside the library's event handling, on the
// thread that calls traite_evenements(): it only records the completion
// (slot, status, bytes) in a queue and returns. The caller then takes the
// completions in the order they came (prochaine()), uses the slot's buffer
// (write, counter check, levels; a run's writer thread may read it
// meanwhile) and resubmits it (resoumet()): a buffer is never read after it
// went back to the library. A transfer is never freed
// while it is in flight; libere() cancels and drains first.
//
// One thread at a time uses a ring: the run's, or the presence test's.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>

#include "base/horloge.h"
#include "base/journal.h"
#include "device/usb.h"

constexpr int NB_TRANSFERTS = 32;
constexpr uint32_t TAILLE_PAQUET = 16777216;        // bytes per transfer
constexpr uint32_t MOTS_PAQUET = TAILLE_PAQUET / 4; // 32-bit words per transfer
constexpr unsigned char ENDPOINT_DONNEES = 0x81;
// Alignment of the buffers: a page, as the writes past the system's cache
// ask (base/plateforme.h).
constexpr std::size_t ALIGNEMENT_TAMPONS = 4096;

// Longest wait of one call of the library's event handling in the loops of
// a run, its drains and the presence test, so that Stop and Abort act at
// every rate.
constexpr int ATTENTE_EVENEMENTS_MS = 20;

// One completed transfer, as the handler saw it.
struct Completion {
    int slot = 0;
    int status = 0;
    uint32_t longueur = 0; // bytes delivered (actual_length, never negative)
};

class Anneau {
public:
    Anneau(usb::UsbApi& usb, Clock& clock, const Journal& journal);
    ~Anneau() { libere(); }
    Anneau(const Anneau&) = delete;
    Anneau& operator=(const Anneau&) = delete;

    // Allocates the 32 transfers and buffers and fills them as bulk IN
    // transfers of 16 MiB on 0x81 with `timeout_ms`. On an allocation
    // failure everything allocated is freed, the pane says so and -1 is
    // returned. With `touche`, the buffers are zeroed now, so that the first
    // turn of the ring does not pay 512 MiB of page faults while data flow.
    int alloue(usb::DeviceHandle handle, unsigned int timeout_ms, bool touche = false);

    // Submits the 32 slots in order; a refusal is reported with the slot.
    void soumet_tout();

    // Resubmits slot `s`, which will carry packet `paquet`; a refusal is
    // reported with that packet number (`pattern` holds {0}). Not while the
    // ring is being released.
    int resoumet(int s, uint32_t paquet, const char* pattern = "Erreur lancement transfert du paquet {0:N0}\r\n");

    // One call of the library's event handling that waits at most
    // ATTENTE_EVENEMENTS_MS. Its time-out is not an error, nor is a wait
    // interrupted by a signal (such as Ctrl-C): 0, and the loop goes on.
    int traite_evenements();

    // The next completion recorded by the handler, oldest first.
    bool prochaine(Completion& c);
    bool completions_en_attente() const { return !completions_.empty(); }

    // Transfers submitted and not yet completed.
    int en_vol() const;
    bool en_vol(int s) const { return en_vol_[s]; }

    // Cancels one slot's transfer (when it is allocated); the library's result.
    int annule(int s);

    // Cancels every transfer still in flight and handles events until each
    // has completed, for at most `limite_ms`; 0 when none is left in flight.
    // Completions that arrive meanwhile are dropped.
    int annule_et_vide(uint32_t limite_ms = 5000);

    // Frees the transfers and buffers after cancelling and completing what
    // is still in flight. A transfer that will not complete is left
    // allocated rather than freed under the library.
    void libere();

    bool est_alloue() const { return transfert_[0] != nullptr; }
    unsigned char* buffer(int s) const { return buffers_[s]; }
    usb::Transfer* transfert(int s) const { return transfert_[s]; }

    // Called by the library through each transfer's user data.
    static void rappel(usb::Transfer* t);

private:
    struct Slot {
        Anneau* anneau = nullptr;
        int index = 0;
    };
    void signale_refus(int r, const std::string& pattern, uint32_t paquet);

    usb::UsbApi& usb_;
    Clock& clock_;
    const Journal& journal_;
    std::array<usb::Transfer*, NB_TRANSFERTS> transfert_{};
    std::array<unsigned char*, NB_TRANSFERTS> buffers_{};
    std::array<bool, NB_TRANSFERTS> en_vol_{};
    std::array<Slot, NB_TRANSFERTS> slots_{};
    std::deque<Completion> completions_;
    bool liberation_ = false;
    bool no_mem_signale_ = false;
};
