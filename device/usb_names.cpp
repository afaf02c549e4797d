#include "device/usb.h"

namespace usb {

const char* error_name(int code)
{
    switch (code) {
    case SUCCESS:
        return "LIBUSB_SUCCESS";
    case ERROR_IO:
        return "LIBUSB_ERROR_IO";
    case ERROR_INVALID_PARAM:
        return "LIBUSB_ERROR_INVALID_PARAM";
    case ERROR_ACCESS:
        return "LIBUSB_ERROR_ACCESS";
    case ERROR_NO_DEVICE:
        return "LIBUSB_ERROR_NO_DEVICE";
    case ERROR_NOT_FOUND:
        return "LIBUSB_ERROR_NOT_FOUND";
    case ERROR_BUSY:
        return "LIBUSB_ERROR_BUSY";
    case ERROR_TIMEOUT:
        return "LIBUSB_ERROR_TIMEOUT";
    case ERROR_OVERFLOW:
        return "LIBUSB_ERROR_OVERFLOW";
    case ERROR_PIPE:
        return "LIBUSB_ERROR_PIPE";
    case ERROR_INTERRUPTED:
        return "LIBUSB_ERROR_INTERRUPTED";
    case ERROR_NO_MEM:
        return "LIBUSB_ERROR_NO_MEM";
    case ERROR_NOT_SUPPORTED:
        return "LIBUSB_ERROR_NOT_SUPPORTED";
    default:
        return code > 0 ? "LIBUSB_SUCCESS" : "LIBUSB_ERROR_OTHER";
    }
}

const char* status_name(int status)
{
    switch (status) {
    case TRANSFER_COMPLETED:
        return "LIBUSB_TRANSFER_COMPLETED";
    case TRANSFER_ERROR:
        return "LIBUSB_TRANSFER_ERROR";
    case TRANSFER_TIMED_OUT:
        return "LIBUSB_TRANSFER_TIMED_OUT";
    case TRANSFER_CANCELLED:
        return "LIBUSB_TRANSFER_CANCELLED";
    case TRANSFER_STALL:
        return "LIBUSB_TRANSFER_STALL";
    case TRANSFER_NO_DEVICE:
        return "LIBUSB_TRANSFER_NO_DEVICE";
    case TRANSFER_OVERFLOW:
        return "LIBUSB_TRANSFER_OVERFLOW";
    default:
        return "LIBUSB_TRANSFER_UNKNOWN";
    }
}

} // namespace usb
