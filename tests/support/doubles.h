// Test stand-ins for the operator, the clock and a bare USB bus.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "base/horloge.h"
#include "base/operateur.h"
#include "device/usb.h"

// Records every box shown and answers from queues; an empty queue answers
// "cancel" (or No). `on_pump` runs at every pump of the window's events.
class ScriptedOperator : public Operator {
public:
    struct Shown {
        std::string kind; // "message", "question", "save", "open", "folder"
        std::string text;
        std::string caption;
        Icon icon = Icon::None;
    };
    std::vector<Shown> shown;
    std::deque<bool> answers;           // ask_yes_no
    std::deque<std::string> save_files; // choose_save_file; "" = cancel
    std::deque<std::string> open_files; // choose_open_file; "" = cancel
    std::deque<std::string> folders;    // choose_folder; "" = cancel
    std::function<void()> on_pump;
    std::function<void()> on_modal; // runs in every box and dialog, before it answers
    int pumps = 0;

    void message_box(const std::string& text, const std::string& caption, Icon icon) override;
    bool ask_yes_no(const std::string& text, const std::string& caption, Icon icon) override;
    bool choose_save_file(const std::string& filter, std::string& path) override;
    bool choose_open_file(const std::string& filter, std::string& path) override;
    bool choose_folder(const std::string& start, std::string& path) override;
    void pump_events() override;

    int count(const std::string& kind) const;
};

// Time passes only when told: sleep advances it at once, and every tick
// read advances it by `step_ms` so that waiting loops make progress.
class TestClock : public Clock {
public:
    uint32_t ms = 1000;
    uint32_t step_ms = 0;
    uint64_t slept_ms = 0;
    DateHeure date{2026, 12, 1, 7, 9, 5, 3, 250};

    uint32_t tick_ms() override
    {
        uint32_t t = ms;
        ms += step_ms;
        return t;
    }
    DateHeure now() override { return date; }
    void sleep_ms(uint32_t d) override
    {
        ms += d;
        slept_ms += d;
    }
};

// A bus with a box that accepts every control request and records it; no
// streaming. `present` false: no box on the bus.
class RecordingUsb : public usb::UsbApi {
public:
    struct Request {
        uint8_t type, request;
        uint16_t value, index;
        std::vector<uint8_t> data;
    };
    bool present = true;
    int submit_result = usb::ERROR_NOT_SUPPORTED; // of every submission
    int alloc_fail_at = -1;                       // this alloc_transfer call returns null
    int allocs = 0, frees = 0, cancels = 0;
    std::vector<Request> requests;
    int opens = 0, closes = 0, claims = 0, releases = 0;
    int open_handles = 0;

    int init() override { return 0; }
    void set_debug(int) override {}
    void exit() override {}
    usb::DeviceHandle open_device_with_vid_pid(uint16_t vendor, uint16_t product) override;
    int claim_interface(usb::DeviceHandle, int) override { return ++claims, 0; }
    int release_interface(usb::DeviceHandle, int) override { return ++releases, 0; }
    void close(usb::DeviceHandle) override { ++closes, --open_handles; }
    int control_transfer(usb::DeviceHandle h, uint8_t type, uint8_t request, uint16_t value, uint16_t index,
                         unsigned char* data, uint16_t length, unsigned int timeout_ms) override;
    usb::Transfer* alloc_transfer(int) override { return allocs++ == alloc_fail_at ? nullptr : new usb::Transfer; }
    int submit_transfer(usb::Transfer*) override { return submit_result; }
    int cancel_transfer(usb::Transfer*) override { return ++cancels, usb::ERROR_NOT_FOUND; }
    void free_transfer(usb::Transfer* t) override { ++frees, delete t; }
    int handle_events() override { return usb::ERROR_INTERRUPTED; }
    int handle_events_timeout(int) override { return 0; }

    // The data stages of requests with bRequest `request`, in order.
    std::vector<std::vector<uint8_t>> sent(uint8_t request) const;
};

// Temporary folder removed with its content at scope exit.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const;

private:
    std::string path_;
};

std::vector<uint8_t> read_bytes(const std::string& path);
std::string read_text(const std::string& path);

#include "app/model/principale.h"

// A model over a bare recording bus, with the test operator and clock, in
// French conventions.
// A disk whose room and appends a test chooses; what it leaves unset is
// the system's.
class DisqueEssai : public Disque {
public:
    std::function<uint64_t(const std::string&)> place;
    std::function<std::size_t(std::FILE*, const unsigned char*, std::size_t)> ecriture;

    uint64_t espace(const std::string& chemin) override { return place ? place(chemin) : Disque::espace(chemin); }
    std::size_t ecrit(std::FILE* f, const unsigned char* octets, std::size_t n) override
    {
        return ecriture ? ecriture(f, octets, n) : Disque::ecrit(f, octets, n);
    }
    // The appends a test chooses take every byte, the full packets too.
    FichierDirect* ouvre_direct(const std::string& chemin, int& err) override
    {
        err = 0;
        return ecriture ? nullptr : Disque::ouvre_direct(chemin, err);
    }
};

struct Modele {
    RecordingUsb usb;
    ScriptedOperator op;
    TestClock clock;
    DisqueEssai disque;
    Principale p{usb, op, clock, Conventions::french(), disque};
    Controles& c = p.ctl;
};
