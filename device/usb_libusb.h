// The USB calls forwarded to libusb 1.0 on its default context.
#pragma once

#include "device/libusb_dll.h"
#include "device/usb.h"

class LibusbApi : public usb::UsbApi {
public:
    std::string missing_library() override { return charge_libusb(); }
    int init() override;
    void set_debug(int level) override;
    void exit() override;
    usb::DeviceHandle open_device_with_vid_pid(uint16_t vendor, uint16_t product) override;
    int claim_interface(usb::DeviceHandle handle, int number) override;
    int release_interface(usb::DeviceHandle handle, int number) override;
    void close(usb::DeviceHandle handle) override;
    int control_transfer(usb::DeviceHandle handle, uint8_t request_type, uint8_t request, uint16_t value,
                         uint16_t index, unsigned char* data, uint16_t length, unsigned int timeout_ms) override;
    usb::Transfer* alloc_transfer(int iso_packets) override;
    int submit_transfer(usb::Transfer* transfer) override;
    int cancel_transfer(usb::Transfer* transfer) override;
    void free_transfer(usb::Transfer* transfer) override;
    int handle_events() override;
    int handle_events_timeout(int timeout_ms) override;
#ifdef __linux__
    bool linux_usbfs() const override { return true; }
#endif

private:
    bool initialised_ = false;
};
