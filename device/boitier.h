// The box as the logic holds it: the USB link, the command buffer, the
// time-out of its requests, and what the box has been told (frequency,
// sample count). One object for the life of the program; every device
// function works on it, from one thread at a time.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "base/horloge.h"
#include "base/journal.h"
#include "device/usb.h"

struct Boitier {
    Boitier(usb::UsbApi& u, Clock& c, Journal& j) : usb(u), clock(c), journal(j) {}
    Boitier(const Boitier&) = delete;
    Boitier& operator=(const Boitier&) = delete;

    usb::UsbApi& usb;
    Clock& clock;
    Journal& journal;

    usb::DeviceHandle handle = nullptr;
    bool initialisation_FX3 = false; // the link is open and the interface claimed
    std::array<unsigned char, 16> buf{};
    int TimeOut = 2000; // ms, control requests and the run's transfers
    // The kernel's limit on queued USB transfer memory, read at Init when
    // the link goes through usbfs.
    std::string usbfs_memory_mb = "/sys/module/usbcore/parameters/usbfs_memory_mb";

    bool initialisation = false; // the reset sequence has been sent
    bool test_init = false;      // the presence test is running
    bool clock_def = false;      // the box holds the frequency of row num_freq
    bool count_def = false;      // the box holds `count`
    int num_freq = 0;
    float frequence = 0; // Hz
    uint32_t count = 0;  // samples per channel, 0 = open-ended
};
