#include "device/usb_libusb.h"

#include <libusb.h>

#include <new>

namespace {

libusb_device_handle* dev(usb::DeviceHandle h) { return static_cast<libusb_device_handle*>(h); }
libusb_transfer* lt(usb::Transfer* t) { return static_cast<libusb_transfer*>(t->impl); }

void LIBUSB_CALL trampoline(libusb_transfer* raw)
{
    auto* t = static_cast<usb::Transfer*>(raw->user_data);
    t->status = raw->status;
    t->actual_length = raw->actual_length;
    if (t->callback)
        t->callback(t);
}

} // namespace

int LibusbApi::init()
{
    if (initialised_)
        return 0; // one reference on the default context is enough
    int r = libusb_init(nullptr);
    initialised_ = r == 0;
    return r;
}

void LibusbApi::set_debug(int level)
{
    if (!initialised_)
        return;
#if defined(LIBUSB_API_VERSION) && LIBUSB_API_VERSION >= 0x01000106
    libusb_set_option(nullptr, LIBUSB_OPTION_LOG_LEVEL, level);
#else
    libusb_set_debug(nullptr, level);
#endif
}

void LibusbApi::exit()
{
    if (initialised_)
        libusb_exit(nullptr);
    initialised_ = false;
}

usb::DeviceHandle LibusbApi::open_device_with_vid_pid(uint16_t vendor, uint16_t product)
{
    // Without a context (no USB support on this machine) there is no box.
    if (!initialised_)
        return nullptr;
    return libusb_open_device_with_vid_pid(nullptr, vendor, product);
}

int LibusbApi::claim_interface(usb::DeviceHandle h, int n) { return libusb_claim_interface(dev(h), n); }
int LibusbApi::release_interface(usb::DeviceHandle h, int n) { return libusb_release_interface(dev(h), n); }
void LibusbApi::close(usb::DeviceHandle h) { libusb_close(dev(h)); }

int LibusbApi::control_transfer(usb::DeviceHandle h, uint8_t type, uint8_t request, uint16_t value, uint16_t index,
                                unsigned char* data, uint16_t length, unsigned int timeout_ms)
{
    if (!h)
        return usb::ERROR_INVALID_PARAM;
    return libusb_control_transfer(dev(h), type, request, value, index, data, length, timeout_ms);
}

usb::Transfer* LibusbApi::alloc_transfer(int iso_packets)
{
    libusb_transfer* raw = libusb_alloc_transfer(iso_packets);
    if (!raw)
        return nullptr;
    auto* t = new (std::nothrow) usb::Transfer;
    if (!t) {
        libusb_free_transfer(raw);
        return nullptr;
    }
    t->impl = raw;
    return t;
}

int LibusbApi::submit_transfer(usb::Transfer* t)
{
    libusb_transfer* raw = lt(t);
    libusb_fill_bulk_transfer(raw, dev(t->dev_handle), t->endpoint, t->buffer, t->length, trampoline, t, t->timeout);
    return libusb_submit_transfer(raw);
}

int LibusbApi::cancel_transfer(usb::Transfer* t) { return libusb_cancel_transfer(lt(t)); }

void LibusbApi::free_transfer(usb::Transfer* t)
{
    if (!t)
        return;
    libusb_transfer* raw = lt(t);
    raw->buffer = nullptr; // the buffer is the caller's
    libusb_free_transfer(raw);
    delete t;
}

int LibusbApi::handle_events()
{
    return usb::repete_si_interrompu([](int) { return libusb_handle_events(nullptr); }, -1);
}

int LibusbApi::handle_events_timeout(int timeout_ms)
{
    return usb::repete_si_interrompu(
        [](int ms) {
            timeval tv{ms / 1000, (ms % 1000) * 1000};
            return libusb_handle_events_timeout_completed(nullptr, &tv, nullptr);
        },
        timeout_ms);
}
