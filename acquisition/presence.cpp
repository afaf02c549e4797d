#include "acquisition/presence.h"

#include "device/bringup.h"
#include "device/commandes.h"

int test_boitier(Boitier& b, ObservateurRun& obs)
{
    // No file is written and no counter checked during the test.
    ParametresRun params;
    params.enregistre = false;
    params.compteur = false;
    params.nb_voies = 8;
    Run run(b, std::move(params), FichiersRun{}, obs);
    return run.presence();
}

int initialise_boitier(Boitier& b, ObservateurRun& obs)
{
    if (sequence_reset(b) != 0)
        return -1;
    b.test_init = true;
    b.journal.detail = false;
    const int r = test_boitier(b, obs);
    b.test_init = false;
    if (r != 0) {
        b.journal.call_verb("Ondaris 1024 ne répond pas ! \r\nVérifier l'alimentation !\r\n", 1);
        return -1;
    }
    b.journal.call_verb("Ondaris 1024 détecté `\r\n\r\n");
    b.clock_def = false;
    b.num_freq = -1;
    return 0;
}

int init_boitier(Boitier& b, ObservateurRun& obs)
{
    if (init_USB(b) == 0 && b.usb.linux_usbfs())
        verifie_usbfs(b);
    if (!b.initialisation_FX3)
        return -1;
    return initialise_boitier(b, obs);
}

int Run::presence()
{
    envoie(b_, CMD_CLOCK_DIVISION, {0x09});
    envoie(b_, CMD_SAMPLE_COUNT, {0xFF, 0x00, 0x00, 0x00});
    for (int f = 0; f < 128; ++f)
        envoie(b_, CMD_SELECTION, {0x00, static_cast<uint8_t>(f), static_cast<uint8_t>(f == 0 ? 0xFF : 0x00)});
    for (int adr = 252; adr <= 255; ++adr)
        envoie(b_, CMD_SELECTION, {0x00, static_cast<uint8_t>(adr), 0x00});

    if (anneau_.alloue(b_.handle, TIMEOUT_TEST_PRESENCE) != 0)
        return -1;
    anneau_.soumet_tout();
    envoie(b_, CMD_START, {0x00});

    int rc = 0;
    while (rc == 0 && !err_timeout_ && anneau_.en_vol() > 0) {
        obs_.pompe();
        rc = traite_evenements();
        if (rc != 0 || fin_en_cours_)
            break;
    }
    if (!fini_ && !err_timeout_) {
        while (rc == 0 && !fini_ && anneau_.en_vol() > 0) {
            obs_.pompe();
            rc = traite_evenements();
        }
        if (rc != 0 && !fini_)
            b_.journal.call_verb("ERREUR \r\n");
    }
    anneau_.libere();
    return (!err_timeout_ && ntr_ == OCTETS_TEST_PRESENCE) ? 0 : -1;
}
