#include "acquisition/presence.h"

#include "acquisition/anneau.h"
#include "app/model/principale.h"
#include "device/commandes.h"

int test_boitier(Principale& p)
{
    // No file is written and no counter checked during the test; the packet
    // counts are zeroed when the ring is primed.
    Boitier& b = p.boitier;
    Anneau& a = p.anneau;
    a.ntr = 0;
    p.compteur = false;
    p.record = false;
    a.fini = false;
    a.err_timeout = false;
    a.erreur_compteur = false;

    envoie(b, CMD_CLOCK_DIVISION, {0x09});
    envoie(b, CMD_SAMPLE_COUNT, {0xFF, 0x00, 0x00, 0x00});
    for (int f = 0; f < 128; ++f)
        envoie(b, CMD_SELECTION, {0x00, static_cast<uint8_t>(f), static_cast<uint8_t>(f == 0 ? 0xFF : 0x00)});
    for (int adr = 252; adr <= 255; ++adr)
        envoie(b, CMD_SELECTION, {0x00, static_cast<uint8_t>(adr), 0x00});

    int ok = -1;
    if (alloue_anneau(p, TIMEOUT_TEST_PRESENCE) == 0) {
        // The ended flags are cleared at priming, as for a run, so that no
        // cancellation reported early can keep the wait below from ending.
        soumet_anneau(p);
        envoie(b, CMD_START, {0x00});

        a.fin_en_cours = false;
        int rc = 0;
        // Short waits: the window is pumped between them.
        while (rc == 0 && !a.err_timeout && transferts_en_vol(p) > 0) {
            p.op.pump_events();
            rc = traite_evenements(p);
            if (rc != 0 || a.fin_en_cours)
                break;
        }
        if (!a.fini && !a.err_timeout) {
            while (rc == 0 && !a.fini && transferts_en_vol(p) > 0) {
                p.op.pump_events();
                rc = traite_evenements(p);
            }
            if (rc != 0 && !a.fini)
                p.call_verb("ERREUR \r\n");
        }
        libere_anneau(p);
        ok = (!a.err_timeout && a.ntr == OCTETS_TEST_PRESENCE) ? 0 : -1;
    }
    p.compteur = true;
    p.record = p.ctl.checkBox_Record.checked;
    return ok;
}
