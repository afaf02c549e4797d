#include "app/model/init.h"

#include "acquisition/presence.h"
#include "app/model/enable.h"
#include "app/model/principale.h"
#include "device/bringup.h"
#include "device/commandes.h"

namespace {

// The presence test runs on the window's thread, which is pumped between
// its short waits.
struct PompeFenetre : ObservateurRun {
    explicit PompeFenetre(Operator& o) : op(o) {}
    void pompe() override { op.pump_events(); }
    Operator& op;
};

} // namespace

void button_Init_Click(Principale& p)
{
    set_enabled(p, false);
    PompeFenetre pompe(p.op);
    if (init_boitier(p.boitier, pompe) != 0) {
        set_enabled(p, false, 0, true);
        return;
    }
    p.file_open = false;
    set_enabled(p, true);
}

int initialise(Principale& p)
{
    PompeFenetre pompe(p.op);
    if (initialise_boitier(p.boitier, pompe) != 0)
        return -1;
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
