// Start, Stop and Abort, the closing of the window, and the hand-over that
// brings a run's reports to the window.
//
// Start asks the operator everything first (folder, overwrite, file), turns
// the controls into a ParametresRun, and starts the Run: on a thread of its
// own when Principale::run_sur_fil is set (the window), otherwise on the
// caller's thread (the tests), where the run pumps the operator between its
// short event waits. Stop and Abort only pass a request to the run.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "direct/robinet.h"
#include "acquisition/run.h"

struct Principale;

void button_Start_Click(Principale& p);
void button_Stop_Click(Principale& p);
void button_Abort_Click(Principale& p);

// A run without a file for the live analysis: the window's channels and
// frequency, a start at once, `duree` seconds (0: until Stop). The
// recording box, the trigger and the duration shown stay as they are.
void capture_sans_fichier(Principale& p, double duree);

// The live analysis takes the frames of the run going on, when it asks for
// some and has none yet (it was asked for after Start).
void attache_analyse(Principale& p);

// The window asks to close. During a run this turns into a Stop (or an
// Abort while waiting for the trigger) and returns false: the window closes
// once the run has written its files. Otherwise runs the teardown and
// returns true.
bool demande_fermeture(Principale& p);

// Teardown: reset the microphones, release the interface, close the link,
// leave the library.
void fermeture(Principale& p);

// The files chosen with "Fichier" (no automatic naming): opened at once for
// p.acqui_name but left as they are until a run starts on them, held until
// the next run takes them; released, an existing file keeps its bytes. -1,
// with the reason in the pane, when one cannot be created.
int ouvre_fichiers(Principale& p);
void ferme_fichiers(Principale& p);

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

// Applies what the run's thread handed over since the last call; when the
// run has ended, joins its thread and gives the window back. True while a
// run is going on. The window calls it from a timer (about every 50 ms).
bool releve_run(Principale& p);
