// The hand-over that brings a run's reports to the window.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "acquisition/run.h"
#include "direct/robinet.h"

struct Principale;

// The one place where a run's reports reach the window: messages for the
// pane (with their alerts), the steps that change the controls, progress,
// elapsed time and levels. The run's thread adds to it under the lock; the
// window's thread takes everything out in releve_run(), from a timer, and
// applies it to the model in the order it came. In the synchronous mode the
// run takes them out itself at every pump, on its (the caller's) thread.
class PassageRun : public ObservateurRun {
public:
    explicit PassageRun(Principale& p) : p_(p) {}

    // True: the window takes the reports (releve_run, from its timer);
    // false: the run applies them itself at every pump, on its thread.
    bool differe = false;

    void message(const std::string& text, int flag);
    void pompe() override;
    void etape(Etape e) override;
    void progression(uint32_t paquets) override;
    void duree_ecoulee(uint32_t secondes) override;
    void niveaux(const std::array<int, 1024>& niveaux) override;
    // The frames go to the live analysis through the run's tap: its
    // consumer is attached at Start or later from the window's thread, and
    // taken back by the run's thread at its end (direct/robinet.h).
    void paquet(const unsigned char* octets, uint32_t n, uint64_t position) override
    {
        robinet.paquet(octets, n, position);
    }
    Robinet robinet;

    // Takes out and applies what was queued; true when the run has ended
    // since the last call.
    bool releve();
    // Called by the run's thread as its last act.
    void termine();

    // What the steps need to know of the run's settings.
    bool definie = true;
    bool declenchement = false;

private:
    struct Evenement {
        enum Type { MESSAGE, ETAPE } type;
        std::string texte;
        int flag = 0;
        Etape etape = PRETE;
        // PRETE: the packets the run needs (Run::n_pkt), read on the run's
        // thread, so that the window never reads the run's state.
        uint32_t paquets = 0;
    };
    void applique(const Evenement& e);
    void applique_niveaux(const std::array<int, 1024>& niveaux);

    Principale& p_;
    std::mutex m_;
    std::vector<Evenement> file_;
    bool progression_ = false, secondes_ = false, niveaux_ = false, fini_ = false;
    uint32_t paquets_ = 0, s_ = 0;
    std::array<int, 1024> valeurs_{};
};
