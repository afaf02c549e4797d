#include "acquisition/arret.h"

#include "acquisition/acquisition.h"
#include "acquisition/anneau.h"
#include "app/model/enable.h"
#include "app/model/principale.h"
#include "app/model/init.h"
#include "acquisition/presence.h"
#include "device/bringup.h"
#include "device/commandes.h"
#include "files/fichier_donnees.h"

void button_Stop_Click(Principale& p)
{
    // A click still queued when the main loop has ended (the window is
    // pumped until the ring is drained) comes too late to stop anything.
    if (p.run_en_cours && p.phase_run != PHASE_BOUCLE)
        return;
    p.ctl.button_Stop.shown = false;
    p.ctl.button_Start.shown = true;
    envoie(p.boitier, CMD_STOP, {0x00});
    p.stopped = true;
    if (p.boitier.count != 0)
        p.call_verb("Acquisition stoppée avant la fin\r\n");
    else if (p.journal.detail)
        p.call_verb("Stopped\r\n");
    p.clock.sleep_ms(1);
}

void button_Abort_Click(Principale& p)
{
    p.aborted = true;
    p.ctl.button_Abort.shown = false;
    if (p.journal.detail)
        p.call_verb("  Aborted\r\n");
}

void abandon(Principale& p)
{
    Anneau& a = p.anneau;
    button_Reset_Micros_Click(p);
    p.clock.sleep_ms(10);
    p.call_verb("Acquisition arrêtée avant le déclenchement \r\n");
    for (int i = 0; i < NB_TRANSFERTS; ++i) {
        if (!a.transfert[i])
            continue;
        p.retour = p.usb.cancel_transfer(a.transfert[i]);
        if (p.journal.detail)
            p.verb("Anulation du transfert {0:G} retour {1:G} \r\n", {i, p.retour});
    }
    a.fini = false;
    a.t_fini.fill(false);
    int rc = 0;
    // A slot that had already failed is not in flight and will never report
    // again: the drain ends when nothing is left in flight.
    while (rc == 0 && transferts_en_vol(p) > 0) {
        // As one blocking call of up to 60 s, the window pumped meanwhile.
        rc = attend_completion(p, p.clock.tick_ms(), 60000);
        if (p.journal.detail)
            p.verb("Boucle de fin correspondant au 'paquet' {0:G}  \r\n", {a.num_pkt});
        if (rc != 0 || a.fini) {
            if (p.journal.detail && a.fini)
                p.call_verb("FIN COMPLETE\r\n");
            else if (!a.fini)
                p.call_verb("ERREUR \r\n");
            break;
        }
    }
    if (p.record)
        ferme_fichiers(p);
    p.file_open = false;
    libere_anneau(p);
    p.stopped = false;
    a.fini = false;
    set_enabled(p, true, 10, false);
    p.ctl.label_Duree_Ecoulee.shown = false;
    p.ctl.panel_Progress.shown = false;
    p.fin_run = FIN_ABANDONNEE;
}

bool demande_fermeture(Principale& p)
{
    if (p.run_en_cours) {
        p.fermeture_demandee = true;
        if (p.phase_run == PHASE_ATTENTE && !p.aborted)
            button_Abort_Click(p);
        else if (p.phase_run == PHASE_BOUCLE && !p.stopped)
            button_Stop_Click(p);
        return false;
    }
    fermeture(p);
    return true;
}

void fermeture(Principale& p)
{
    // Files chosen for a run that never came are left as they were opened:
    // empty.
    if (p.file_open)
        ferme_fichiers(p);
    if (!p.boitier.handle)
        return;
    reset_micros(p.boitier);
    p.usb.release_interface(p.boitier.handle, 0);
    p.usb.close(p.boitier.handle);
    p.usb.exit();
    p.boitier.handle = nullptr;
    p.boitier.initialisation_FX3 = false;
}
