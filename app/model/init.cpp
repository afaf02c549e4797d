#include "app/model/init.h"

#include "acquisition/presence.h"
#include "app/model/enable.h"
#include "app/model/passage_run.h"
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

void fin_init(Principale& p, int resultat)
{
    if (resultat != 0) {
        set_enabled(p, false, 0, true);
        return;
    }
    p.file_open = false;
    set_enabled(p, true);
}

void init_synchrone(Principale& p)
{
    set_enabled(p, false);
    PompeFenetre pompe(p.op);
    fin_init(p, init_boitier(p.boitier, pompe));
}

void button_Init_Click(Principale& p)
{
    if (p.run_en_cours)
        return;
    if (!p.run_sur_fil)
        return init_synchrone(p);
    // On the run's thread: the window shows Init's messages as they come
    // and gets its controls back from releve_run() once it has ended.
    set_enabled(p, false);
    p.run_en_cours = true;
    p.passage = std::make_shared<PassageRun>(p);
    PassageRun& passage = *p.passage;
    passage.differe = true;
    p.sortie_pane = p.journal.sortie;
    p.journal.sortie = [&passage](const std::string& text, int flag) { passage.message(text, flag); };
    Boitier& b = p.boitier;
    int& resultat = p.resultat_init;
    resultat = -1;
    p.fil_run = std::thread([&b, &passage, &resultat] {
        resultat = init_boitier(b, passage);
        passage.termine();
    });
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
