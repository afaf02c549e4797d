// The runner's terminal: the pane's messages, alerts and questions, the
// progress line, and where Ctrl-C reaches a run.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <string>
#include <thread>

#include "acquisition/run.h"
#include "base/format.h"
#include "direct/robinet.h"
#include "simulator/simulated_box.h"
#include "tools/acq/journal_direct.h"
#include "tools/acq/options.h"

namespace acq {

// The terminal: the pane's messages on stdout, alerts and questions on
// stderr (questions answered from the options), and a progress line.
class Console {
public:
    explicit Console(const Options& o);

    void message(const std::string& s, int flag);
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
    bool ecraser(const std::string& chemin);
    // A progress line is shown (on a terminal, unless asked not to).
    bool ligne_active() const { return o_.progression && tty_; }
    void progression(const std::string& texte);
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
    Robinet* robinet = nullptr;      // the run's tap, to a live consumer of the frames
    JournalDirect* direct = nullptr; // the live map's log
    bool definie = false;
    float duree = 0;

    void pompe() override;
    void etape(Etape e) override;
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
    std::string texte() const;

    Console& console_;
    const Conventions& conv_;
    int vues_ = 0;
    bool attente_ = false, barre_ = false, ecoulee_ = false;
    uint32_t maximum_ = 0, paquets_ = 0, secondes_ = 0;
};

// As libusb does on Linux, a Ctrl-C interrupts the simulated box's event
// handling in progress, so that a rehearsal meets what a real box meets.
class RelaisInterruptions {
public:
    explicit RelaisInterruptions(sim::SimulatedBox* box);
    ~RelaisInterruptions();

private:
    std::atomic<bool> fin_{false};
    std::thread thread_;
};

} // namespace acq
