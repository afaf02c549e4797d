#include "app/model/init.h"

#include "acquisition/presence.h"
#include "app/model/enable.h"
#include "app/model/principale.h"
#include "device/bringup.h"
#include "device/commandes.h"

void button_Init_Click(Principale& p)
{
    set_enabled(p, false);
    if (init_USB(p.boitier) == 0 && p.usb.linux_usbfs())
        verifie_usbfs(p.boitier);
    if (!p.boitier.initialisation_FX3 || initialise(p) != 0) {
        set_enabled(p, false, 0, true);
        return;
    }
    set_enabled(p, true);
}

namespace {

// The presence test runs on the window's thread, which is pumped between
// its short waits.
struct PompeFenetre : ObservateurRun {
    explicit PompeFenetre(Operator& o) : op(o) {}
    void pompe() override { op.pump_events(); }
    Operator& op;
};

} // namespace

int initialise(Principale& p)
{
    Boitier& b = p.boitier;
    if (sequence_reset(b) != 0)
        return -1;
    b.test_init = true;
    p.journal.detail = false;
    PompeFenetre pompe(p.op);
    if (test_boitier(b, pompe) != 0) {
        p.call_verb("Ondaris 1024 ne répond pas ! \r\nVérifier l'alimentation !\r\n", 1);
        b.test_init = false;
        return -1;
    }
    b.test_init = false;
    p.call_verb("Ondaris 1024 détecté `\r\n\r\n");
    b.clock_def = false;
    b.num_freq = -1;
    p.file_open = false;
    return 0;
}

void button_Reset_Micros_Click(Principale& p)
{
    if (p.boitier.initialisation_FX3)
        reset_micros(p.boitier);
}

void button_Reset_FX3_Click(Principale& p) { reset_fx3(p.boitier); }

void button_Reset_PH_Click(Principale& p) { reset_ph(p.boitier); }
