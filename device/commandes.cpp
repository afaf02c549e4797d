#include "device/commandes.h"

#include <initializer_list>
#include <string>

int init_USB(Boitier& b)
{
    if (b.handle) {
        b.usb.release_interface(b.handle, 0);
        b.usb.close(b.handle);
    }
    b.initialisation_FX3 = false;
    b.handle = nullptr;
    // Without its library (libusb-1.0.dll on Windows) no box can be found.
    const std::string absente = b.usb.missing_library();
    if (!absente.empty())
        b.journal.call_verb(absente);
    b.usb.init();
    b.usb.set_debug(LIBUSB_LOG_LEVEL);
    usb::DeviceHandle h = b.usb.open_device_with_vid_pid(VENDOR_ONDARIS, PRODUCT_ONDARIS);
    if (!h) {
        b.journal.call_verb("Pas de détection de Ondaris !\r\n", 1);
        return -1;
    }
    b.handle = h;
    const int r = b.usb.claim_interface(h, 0);
    if (r < 0)
        b.journal.call_verb("Le boîtier refuse l'interface 0 (" + std::string(usb::error_name(r)) + ").\r\n");
    b.journal.call_verb("Liaison USB activée !\r\n", 0);
    b.initialisation_FX3 = true;
    return 0;
}

const char* nom_commande(int code)
{
    switch (code) {
    case CMD_RESET_MICROS:
        return "Reset micros";
    case CMD_CLOCK_DIVISION:
        return "Clock division";
    case CMD_START:
        return "Start";
    case CMD_STOP:
        return "Stop";
    case CMD_SAMPLE_COUNT:
        return "Sample count";
    case CMD_SELECTION:
        return "Selection";
    case CMD_DELAY:
        return "Delay";
    case CMD_SAMPLE_TYPE:
        return "Sample type";
    case CMD_FAISCEAUX:
        return "Faisceaux mask";
    case REQUEST_RESET_FX3:
        return "Reset FX3";
    case REQUEST_RESET_PH:
        return "Reset pseudo-hard";
    default:
        return "?";
    }
}

int write_command(Boitier& b, usb::DeviceHandle handle, int request, const unsigned char* data, int length)
{
    if (length < 0 || length > 65535)
        return usb::ERROR_INVALID_PARAM;
    // The library takes a writable pointer even for an OUT request.
    unsigned char scratch[16];
    unsigned char* d = nullptr;
    if (length > 0) {
        if (length > static_cast<int>(sizeof scratch))
            return usb::ERROR_INVALID_PARAM;
        for (int i = 0; i < length; ++i)
            scratch[i] = data[i];
        d = scratch;
    }
    const int r = b.usb.control_transfer(handle, REQUEST_TYPE_VENDOR_OUT, static_cast<uint8_t>(request & 0xFF), 0, 0, d,
                                         static_cast<uint16_t>(length), static_cast<unsigned int>(b.TimeOut));
    // Without an open link there is nobody to refuse: opening has said so.
    if (r < 0 && handle) {
        const int code = (request & 0xF0) == 0xB0 && length > 0 ? data[0] : request;
        b.journal.call_verb("Commande " + std::string(nom_commande(code)) + " refusée par le boîtier (" +
                            usb::error_name(r) + ")\r\n");
    }
    return r;
}

int commande(Boitier& b, int nb_arg)
{
    if (nb_arg < 0 || nb_arg > 15)
        return usb::ERROR_INVALID_PARAM;
    return write_command(b, b.handle, 0xB0 + nb_arg, b.buf.data(), nb_arg + 1);
}

int envoie(Boitier& b, uint8_t code, std::initializer_list<uint8_t> args)
{
    b.buf[0] = code;
    int n = 0;
    for (uint8_t a : args)
        b.buf[++n] = a;
    return commande(b, n);
}
