// The USB calls the program makes, as a small interface: the libusb 1.0
// implementation talks to a real box, the simulated box (simulator/) stands
// in for one. Codes, statuses and semantics are libusb's.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace usb {

// Library results (libusb_error).
enum Error : int {
    SUCCESS = 0,
    ERROR_IO = -1,
    ERROR_INVALID_PARAM = -2,
    ERROR_ACCESS = -3,
    ERROR_NO_DEVICE = -4,
    ERROR_NOT_FOUND = -5,
    ERROR_BUSY = -6,
    ERROR_TIMEOUT = -7,
    ERROR_OVERFLOW = -8,
    ERROR_PIPE = -9,
    ERROR_INTERRUPTED = -10,
    ERROR_NO_MEM = -11,
    ERROR_NOT_SUPPORTED = -12,
    ERROR_OTHER = -99,
};

// Transfer statuses (libusb_transfer_status).
enum TransferStatus : int {
    TRANSFER_COMPLETED = 0,
    TRANSFER_ERROR = 1,
    TRANSFER_TIMED_OUT = 2,
    TRANSFER_CANCELLED = 3,
    TRANSFER_STALL = 4,
    TRANSFER_NO_DEVICE = 5,
    TRANSFER_OVERFLOW = 6,
};

// libusb's name for a result or a status ("LIBUSB_ERROR_NO_MEM", ...).
const char* error_name(int code);
const char* status_name(int status);

using DeviceHandle = void*;

struct Transfer;
using TransferCallback = void (*)(Transfer*);

// The fields of libusb_transfer that the program reads or sets. An
// implementation may keep its own object behind `impl`.
struct Transfer {
    DeviceHandle dev_handle = nullptr;
    unsigned char endpoint = 0;
    unsigned int timeout = 0;        // milliseconds, 0 = none
    int status = TRANSFER_COMPLETED; // valid in the callback
    int length = 0;                  // bytes asked for
    int actual_length = 0;           // bytes delivered, valid in the callback
    TransferCallback callback = nullptr;
    void* user_data = nullptr;
    unsigned char* buffer = nullptr; // owned by the caller
    void* impl = nullptr;
};

class UsbApi {
public:
    virtual ~UsbApi() = default;

    // Empty when the USB library can be used; otherwise the reason, for the
    // information pane (a library that could not be loaded).
    virtual std::string missing_library() { return {}; }

    // Default context.
    virtual int init() = 0;
    virtual void set_debug(int level) = 0;
    virtual void exit() = 0;

    // Device. open returns null when no such device is found.
    virtual DeviceHandle open_device_with_vid_pid(uint16_t vendor, uint16_t product) = 0;
    virtual int claim_interface(DeviceHandle handle, int number) = 0;
    virtual int release_interface(DeviceHandle handle, int number) = 0;
    virtual void close(DeviceHandle handle) = 0;

    // Synchronous control transfer: bytes transferred or a negative Error.
    virtual int control_transfer(DeviceHandle handle, uint8_t request_type, uint8_t request, uint16_t value,
                                 uint16_t index, unsigned char* data, uint16_t length, unsigned int timeout_ms) = 0;

    // Asynchronous transfers. A transfer may be freed only when it is not in
    // flight (never submitted, or its callback has run).
    virtual Transfer* alloc_transfer(int iso_packets) = 0;
    virtual int submit_transfer(Transfer* transfer) = 0;
    virtual int cancel_transfer(Transfer* transfer) = 0;
    virtual void free_transfer(Transfer* transfer) = 0;

    // Event handling on the default context: callbacks run inside these, on
    // the caller's thread. handle_events blocks until something completes or
    // 60 s pass; handle_events_timeout waits at most timeout_ms (0 = poll).
    virtual int handle_events() = 0;
    virtual int handle_events_timeout(int timeout_ms) = 0;

    // Byte `i` of the buffer of a transfer that may be in flight, as the
    // host can see it before the completion (the wait for an external
    // trigger watches byte 8). The default reads it atomically: the library
    // or the kernel may be filling the buffer meanwhile.
    virtual unsigned char peek_in_flight(Transfer* transfer, int i)
    {
        return __atomic_load_n(transfer->buffer + i, __ATOMIC_RELAXED);
    }

    // True when bulk transfers go through the Linux kernel's usbfs, whose
    // memory limit (usbcore usbfs_memory_mb) the ring must fit in.
    virtual bool linux_usbfs() const { return false; }
};

// A signal that arrives while the library waits for events (Ctrl-C) makes
// the wait return ERROR_INTERRUPTED: nothing went wrong, so the wait is made
// again. `attente(ms)` waits at most ms milliseconds and is repeated with
// what is left of `timeout_ms`; once nothing is left the result is 0, as
// for a wait that timed out. A negative `timeout_ms` repeats without limit
// (and passes -1).
int repete_si_interrompu(const std::function<int(int)>& attente, int timeout_ms);

inline void fill_bulk_transfer(Transfer* t, DeviceHandle handle, unsigned char endpoint, unsigned char* buffer,
                               int length, TransferCallback callback, void* user_data, unsigned int timeout_ms)
{
    t->dev_handle = handle;
    t->endpoint = endpoint;
    t->buffer = buffer;
    t->length = length;
    t->callback = callback;
    t->user_data = user_data;
    t->timeout = timeout_ms;
}

} // namespace usb
