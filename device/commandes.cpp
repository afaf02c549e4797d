#include "device/commandes.h"

#include <initializer_list>

#include "app/model/principale.h"

int init_USB(Principale& p)
{
    if (p.handle) {
        p.usb.release_interface(p.handle, 0);
        p.usb.close(p.handle);
    }
    p.initialisation_FX3 = false;
    p.handle = nullptr;
    // Without its library (libusb-1.0.dll on Windows) no box can be found.
    const std::string absente = p.usb.missing_library();
    if (!absente.empty())
        p.call_verb(absente);
    p.usb.init();
    p.usb.set_debug(LIBUSB_LOG_LEVEL);
    usb::DeviceHandle h = p.usb.open_device_with_vid_pid(VENDOR_ONDARIS, PRODUCT_ONDARIS);
    if (!h) {
        p.call_verb("Pas de détection de Ondaris !\r\n", 1);
        return -1;
    }
    p.handle = h;
    p.usb.claim_interface(h, 0);
    p.call_verb("Liaison USB activée !\r\n", 0);
    p.initialisation_FX3 = true;
    return 0;
}

int write_command(Principale& p, usb::DeviceHandle handle, int request, const unsigned char* data, int length)
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
    return p.usb.control_transfer(handle, REQUEST_TYPE_VENDOR_OUT, static_cast<uint8_t>(request & 0xFF), 0, 0, d,
                                  static_cast<uint16_t>(length), static_cast<unsigned int>(p.TimeOut));
}

int commande(Principale& p, int nb_arg)
{
    if (nb_arg < 0 || nb_arg > 15)
        return usb::ERROR_INVALID_PARAM;
    return write_command(p, p.handle, 0xB0 + nb_arg, p.buf.data(), nb_arg + 1);
}

int envoie(Principale& p, uint8_t code, std::initializer_list<uint8_t> args)
{
    p.buf[0] = code;
    int n = 0;
    for (uint8_t a : args)
        p.buf[++n] = a;
    return commande(p, n);
}
