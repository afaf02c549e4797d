#include "device/bringup.h"

#include <cstdio>

#include "device/commandes.h"

void verifie_usbfs(Boitier& b)
{
    std::FILE* f = b.usbfs_memory_mb.empty() ? nullptr : std::fopen(b.usbfs_memory_mb.c_str(), "r");
    if (!f)
        return;
    long mo = -1;
    const bool lu = std::fscanf(f, "%ld", &mo) == 1;
    std::fclose(f);
    if (!lu || mo == 0 || mo >= USBFS_MO_NECESSAIRES)
        return;
    b.journal.verb("Attention : le paramètre usbcore usbfs_memory_mb vaut {0:G} Mo, moins que les {1:G} Mo des 32 "
                   "transferts de 16 Mo : le système refusera les transferts. Pour lever la limite : "
                   "echo 0 | sudo tee /sys/module/usbcore/parameters/usbfs_memory_mb\r\n",
                   {mo, USBFS_MO_NECESSAIRES});
}

int reset_micros(Boitier& b)
{
    if (!b.initialisation_FX3 && init_USB(b) != 0)
        return -1;
    int r = envoie(b, CMD_RESET_MICROS, {});
    b.initialisation = true;
    b.clock_def = false;
    b.count_def = false;
    if (b.journal.detail)
        b.journal.call_verb("Reset B0\r\n");
    return r == 1 ? 0 : -1;
}

namespace {

int requete_nue(Boitier& b, int requete, const char* message)
{
    if (!b.initialisation_FX3 && init_USB(b) != 0)
        return -1;
    const int r = write_command(b, b.handle, requete, nullptr, 0);
    if (b.journal.detail)
        b.journal.call_verb(message);
    return r < 0 ? -1 : 0;
}

} // namespace

int reset_fx3(Boitier& b) { return requete_nue(b, REQUEST_RESET_FX3, "Reset FX3\r\n"); }

int reset_ph(Boitier& b) { return requete_nue(b, REQUEST_RESET_PH, "Reset Pseudo Hard (C4)\r\n"); }

int sequence_reset(Boitier& b)
{
    reset_fx3(b);
    if (!b.initialisation_FX3)
        return -1;
    b.clock.sleep_ms(10);
    reset_ph(b);
    b.clock.sleep_ms(10);
    if (b.initialisation_FX3)
        reset_micros(b);
    b.clock.sleep_ms(10);
    reset_ph(b);
    b.clock.sleep_ms(10);
    reset_fx3(b);
    b.clock.sleep_ms(10);
    return 0;
}

void ferme_liaison(Boitier& b)
{
    if (!b.handle)
        return;
    reset_micros(b);
    b.usb.release_interface(b.handle, 0);
    b.usb.close(b.handle);
    b.usb.exit();
    b.handle = nullptr;
    b.initialisation_FX3 = false;
}
