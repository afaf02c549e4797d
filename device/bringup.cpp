#include "device/bringup.h"

#include <cstdio>

#include "acquisition/anneau.h"
#include "app/model/enable.h"
#include "app/model/principale.h"
#include "device/commandes.h"
#include "device/parametres.h"

void button_Init_Click(Principale& p)
{
    set_enabled(p, false);
    if (init_USB(p) == 0 && p.usb.linux_usbfs())
        verifie_usbfs(p);
    if (!p.initialisation_FX3 || initialise(p) != 0) {
        set_enabled(p, false, 0, true);
        return;
    }
    set_enabled(p, true);
}

void verifie_usbfs(Principale& p)
{
    std::FILE* f = p.usbfs_memory_mb.empty() ? nullptr : std::fopen(p.usbfs_memory_mb.c_str(), "r");
    if (!f)
        return;
    long mo = -1;
    const bool lu = std::fscanf(f, "%ld", &mo) == 1;
    std::fclose(f);
    if (!lu || mo == 0 || mo >= USBFS_MO_NECESSAIRES)
        return;
    p.verb("Attention : le paramètre usbcore usbfs_memory_mb vaut {0:G} Mo, moins que les {1:G} Mo des 32 "
           "transferts de 16 Mo : le système refusera les transferts. Pour lever la limite : "
           "echo 0 | sudo tee /sys/module/usbcore/parameters/usbfs_memory_mb\r\n",
           {mo, USBFS_MO_NECESSAIRES});
}

int initialise(Principale& p)
{
    button_Reset_FX3_Click(p);
    if (!p.initialisation_FX3)
        return -1;
    p.clock.sleep_ms(10);
    button_Reset_PH_Click(p);
    p.clock.sleep_ms(10);
    button_Reset_Micros_Click(p);
    p.clock.sleep_ms(10);
    button_Reset_PH_Click(p);
    p.clock.sleep_ms(10);
    button_Reset_FX3_Click(p);
    p.clock.sleep_ms(10);
    p.test_init = true;
    p.journal.detail = false;
    if (test_boitier(p) != 0) {
        p.call_verb("Ondaris 1024 ne répond pas ! \r\nVérifier l'alimentation !\r\n", 1);
        p.test_init = false;
        return -1;
    }
    p.test_init = false;
    p.call_verb("Ondaris 1024 détecté `\r\n\r\n");
    p.clock_def = false;
    p.num_freq = -1;
    p.stopped = false;
    p.file_open = false;
    return 0;
}

int test_boitier(Principale& p)
{
    // No file is written and no counter checked during the test; the packet
    // counts are zeroed when the ring is primed.
    Anneau& a = p.anneau;
    a.ntr = 0;
    p.compteur = false;
    p.record = false;
    a.fini = false;
    a.err_timeout = false;
    a.erreur_compteur = false;

    envoie(p, CMD_CLOCK_DIVISION, {0x09});
    envoie(p, CMD_SAMPLE_COUNT, {0xFF, 0x00, 0x00, 0x00});
    for (int f = 0; f < 128; ++f)
        envoie(p, CMD_SELECTION, {0x00, static_cast<uint8_t>(f), static_cast<uint8_t>(f == 0 ? 0xFF : 0x00)});
    for (int adr = 252; adr <= 255; ++adr)
        envoie(p, CMD_SELECTION, {0x00, static_cast<uint8_t>(adr), 0x00});

    int ok = -1;
    if (alloue_anneau(p, TIMEOUT_TEST_PRESENCE) == 0) {
        // The ended flags are cleared at priming, as for a run, so that no
        // cancellation reported early can keep the wait below from ending.
        soumet_anneau(p);
        envoie(p, CMD_START, {0x00});

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

int reset_micros(Principale& p)
{
    if (!p.initialisation_FX3 && init_USB(p) != 0)
        return -1;
    int r = envoie(p, CMD_RESET_MICROS, {});
    p.initialisation = true;
    p.clock_def = false;
    p.count_def = false;
    if (p.journal.detail)
        p.call_verb("Reset B0\r\n");
    return r == 1 ? 0 : -1;
}

void button_Reset_Micros_Click(Principale& p)
{
    if (p.initialisation_FX3)
        reset_micros(p);
}

void button_Reset_FX3_Click(Principale& p)
{
    if (!p.initialisation_FX3 && init_USB(p) != 0)
        return;
    write_command(p, p.handle, REQUEST_RESET_FX3, nullptr, 0);
    if (p.journal.detail)
        p.call_verb("Reset FX3\r\n");
}

void button_Reset_PH_Click(Principale& p)
{
    if (!p.initialisation_FX3 && init_USB(p) != 0)
        return;
    write_command(p, p.handle, REQUEST_RESET_PH, nullptr, 0);
    if (p.journal.detail)
        p.call_verb("Reset Pseudo Hard (C4)\r\n");
}
