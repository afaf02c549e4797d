// A stand-in libusb-1.0.dll for the Windows tests: it answers like a bus
// that holds one Ondaris box, so that loading the library and calling
// through it can be checked without libusb's Windows binaries.
#include <libusb.h>

#include <cstdarg>

namespace {
int niveau = -1;
int boite; // its address is the handle
} // namespace

extern "C" {

int LIBUSB_CALL libusb_init(libusb_context**) { return 0; }
void LIBUSB_CALL libusb_exit(libusb_context*) {}

int LIBUSB_CALL libusb_set_option(libusb_context*, enum libusb_option option, ...)
{
    va_list args;
    va_start(args, option);
    if (option == LIBUSB_OPTION_LOG_LEVEL)
        niveau = va_arg(args, int);
    va_end(args);
    return 0;
}

libusb_device_handle* LIBUSB_CALL libusb_open_device_with_vid_pid(libusb_context*, uint16_t vendor, uint16_t product)
{
    return vendor == 0xFE27 && product == 0xAC02 ? reinterpret_cast<libusb_device_handle*>(&boite) : nullptr;
}

void LIBUSB_CALL libusb_close(libusb_device_handle*) {}

// Answers with the data length plus the log level set, so that a test sees
// both arguments arrive.
int LIBUSB_CALL libusb_control_transfer(libusb_device_handle* h, uint8_t type, uint8_t request, uint16_t, uint16_t,
                                        unsigned char* data, uint16_t length, unsigned int)
{
    if (h != reinterpret_cast<libusb_device_handle*>(&boite) || type != 0x40 || request != 0xB1 || !data)
        return LIBUSB_ERROR_INVALID_PARAM;
    return length + 100 * niveau;
}

} // extern "C"
