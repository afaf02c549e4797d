// A simulated Ondaris 1024 behind the USB calls of usb::UsbApi: the command
// protocol, the ring and the completion handler run against it unchanged.
// Operators use it to learn the program and rehearse runs; tests use its
// faults and its records. Nothing in the program picks it by itself.
//
// Firmware (see firmware.h for the checks made on every request):
//  - Found under 0xFE27:0xAC02; interface 0; data on bulk IN endpoint 0x81.
//  - Settings changed during a stream apply to the next one: a stream keeps
//    the selection, division, sample count and sample type of its Start.
//  - Start while a stream is armed or running is accepted and ignored.
//  - Start with Trig1/Trig2 arms the box; the trigger arrives after
//    Options::trigger_delay_ms, or at fire_trigger().
//  - The end of a stream: after a sample count n on k words per frame the
//    box has sent exactly n*k*4 bytes and completes the transfer in progress
//    short (empty when the total filled the previous transfer exactly). Stop
//    finishes the frame in progress and ends the same way; Stop while armed
//    ends with an empty transfer. If no transfer is queued at that moment,
//    the next one submitted carries the end. Later transfers stay pending.
//  - Reset micros: the stream stops at once without a closing transfer
//    (queued transfers stay pending, for the host to cancel); division,
//    delay and sample count return to their power-up values (the host must
//    send them again); selection, sample type and Faisceaux mask are kept;
//    the counters restart at Options::counter_start.
//  - Reset FX3: the stream stops at once, like Reset micros; settings kept.
//  - Reset pseudo-hard: the stream stops at once; every setting returns to
//    its power-up value (Settings{}), counters restart.
//  - Counters continue from one stream to the next.
//  - Paced, frames come at 500 000 / division per second from the start (or
//    the trigger); frames a slow host has no transfer for wait in the box
//    and come at once when one is queued. Unpaced, as fast as taken.
//  - Requests act between two chunks of data, so what the box records as
//    sent is exactly what reached the transfers.
//
// USB, as libusb behaves:
//  - Queued transfers are filled in submission order by the box's own
//    thread, a chunk at a time, so bytes appear in a pending transfer's
//    buffer before it completes. A transfer completes when full, or short at
//    the end of the stream.
//  - A transfer's time-out counts from its own submission (0 = none). As in
//    libusb, time-outs are acted on by the event handling: a late transfer
//    completes TIMED_OUT with the bytes received so far.
//  - cancel_transfer: 0 and a CANCELLED completion (with the bytes received
//    so far) for a queued transfer; ERROR_NOT_FOUND for one not in flight,
//    already cancelled, or completed and awaiting delivery. A cancelled or
//    timed-out transfer leaves the queue at once and the stream goes on in
//    the next one.
//  - Completions are delivered in the order they happened: data
//    completions in submission order, a cancellation when it is made.
//  - Callbacks run only inside handle_events*, or inside control_transfer
//    (which, like libusb's synchronous calls, first handles the events
//    already due unless Options::events_in_control is off), always on the
//    caller's thread. A callback may submit, cancel, free its transfer or
//    send control requests.
//  - Unplugged (unplug() or the NO_DEVICE fault): every queued transfer
//    completes NO_DEVICE, open finds nothing, handles stay dead even after
//    replug(), control requests, claims and submissions return
//    ERROR_NO_DEVICE. handle_events delivers what is due and, once nothing
//    is left, returns ERROR_NO_DEVICE at once rather than wait out its
//    time-out, so an event loop notices the box has gone.
//  - submit_transfer: ERROR_INVALID_PARAM for a null or unknown transfer, a
//    null buffer or a length <= 0, an unknown handle; ERROR_BUSY when in
//    flight; ERROR_IO for an endpoint other than 0x81.
//  - free_transfer of a transfer still in flight (a caller's error) drops it
//    from the queue without a completion and counts it in View::misuses.
//
// Every public call is thread-safe.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_set>
#include <vector>

#include "device/usb.h"
#include "simulator/firmware.h"
#include "simulator/frame_source.h"
#include "simulator/replay.h"

namespace sim {

struct Options {
    bool paced = true;             // real time at the sampling frequency; false: as fast as taken
    int trigger_delay_ms = 1000;   // an external trigger comes this long after Start; < 0: never
    uint32_t counter_start = 0;    // counters at power-up and after a reset
    bool events_in_control = true; // control_transfer first delivers what is due (libusb-like)
    bool keep_copy = false;        // keep every byte of the last stream (stream_copy()); for tests
    bool keep_checksum = false;    // running checksum of the last stream (Stream::checksum)
    int control_delay_ms = 0;      // a slow box: every control request takes this long
    Scene scene;                   // read at each Start
    // A recording streamed instead of the scene (replay.h), read at each
    // Start; the box says what the operator must know of it through
    // `notice`, called on the thread of the Start request, outside the lock.
    std::shared_ptr<const Recording> replay;
    std::function<void(const std::string&)> notice;
};

// Faults, settable at any time; the ones marked "at Start" are read when a
// stream starts. Transfer numbers count the transfers a stream has reached,
// from 0 at its Start.
struct Faults {
    bool absent = false;                       // open_device_with_vid_pid finds nothing
    bool silent = false;                       // the box sends nothing (no data, no closing transfer);
                                               // set during a stream, it pauses it
    int extra_words = 0;                       // at Start: words per frame the selection did not ask for
    int64_t fail_transfer = -1;                // this transfer of the stream fails...
    int fail_status = usb::TRANSFER_TIMED_OUT; // ...with this status; the stream goes on in
                                               // the next one. NO_DEVICE: the box is unplugged.
    int fail_after_bytes = 0;                  // ...once it holds this many bytes (0: at once, empty)
    int64_t counter_skip_frame = -1;           // at Start: the counters step twice into this frame
    bool no_end_on_stop = false;               // Stop just stops: no closing transfer
    int64_t refuse_submit = -1;                // this submit call (0 = the first after set_faults)...
    int refuse_error = usb::ERROR_IO;          // ...returns this, and the transfer is not queued
    int interrupted_events = 0;                // the next this many handle_events* calls (or the one
                                               // waiting now) return ERROR_INTERRUPTED at once, handling
                                               // nothing: a signal arriving while libusb waits
};

// One control request as the box saw it.
struct ControlRecord {
    uint8_t request_type = 0;
    uint8_t request = 0;
    uint16_t value = 0;
    uint16_t index = 0;
    std::vector<unsigned char> data;
    int result = 0;
};

// One delivered completion.
struct CompletionRecord {
    usb::Transfer* transfer = nullptr;
    int64_t stream_transfer = -1; // its number in the stream, -1 if the stream never reached it
    int status = 0;
    int actual_length = 0;
};

enum class Phase { Idle, Armed, Streaming, Ending };

// The current or last stream.
struct Stream {
    uint64_t bytes = 0;     // sent
    uint64_t frames = 0;    // whole frames sent
    uint64_t transfers = 0; // transfers reached
    int frame_bytes = 0;
    uint32_t first_counter = 0;
    bool ended = false;      // closed by a short transfer
    uint64_t checksum = 0;   // stream_checksum() of the bytes, if Options::keep_checksum
    double copy_seconds = 0; // the box thread's time spent writing the bytes into transfers
};

struct View {
    Settings settings;
    Phase phase = Phase::Idle;
    uint8_t start_byte = 0;    // of the last Start
    uint32_t next_counter = 0; // counter A of the next stream's first frame
    bool plugged = true;
    int open_handles = 0;
    bool claimed = false; // interface 0, on some handle
    size_t queued = 0;    // transfers pending on the endpoint
    int head_bytes = 0;   // bytes already in the oldest of them
    uint64_t submits = 0; // submit calls since set_faults
    uint64_t misuses = 0;
    Stream stream;
};

// FNV-1a 64 over bytes, chainable: stream_checksum(b, n2, stream_checksum(a, n1)).
uint64_t stream_checksum(const void* data, size_t n, uint64_t seed = 0xCBF29CE484222325ull);

class SimulatedBox : public usb::UsbApi {
public:
    explicit SimulatedBox(const Options& options = Options());
    ~SimulatedBox() override;
    SimulatedBox(const SimulatedBox&) = delete;
    SimulatedBox& operator=(const SimulatedBox&) = delete;

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
    // Read under the box's lock, after any copy into that buffer has ended.
    unsigned char peek_in_flight(usb::Transfer* transfer, int i) override;

    void set_options(const Options& options);
    Options options() const;
    void set_faults(const Faults& faults); // also restarts the submit count
    // Counts per pascal of a microphone in the scene of the next Start.
    double sensitivity(int microphone) const;
    Faults faults() const;

    void fire_trigger(); // the external trigger, now (only while armed)
    void unplug();
    void replug(); // back at power-up; old handles stay dead

    View view() const;
    std::vector<ControlRecord> control_log() const;
    std::vector<CompletionRecord> completion_log() const;
    void clear_logs();
    std::vector<unsigned char> stream_copy() const; // the last stream, if Options::keep_copy

    // Blocks until no stream is armed or running, or timeout_ms pass; true if idle.
    bool wait_idle(int timeout_ms) const;

private:
    using Clock = std::chrono::steady_clock;
    struct Slot;

    void box_thread();
    bool write_step(std::unique_lock<std::mutex>& lock, Clock::time_point& wake);
    void wait_write(std::unique_lock<std::mutex>& lock, Slot* slot);
    void settle(std::unique_lock<std::mutex>& lock);
    void begin_streaming(Clock::time_point now);
    void end_stream(bool closed);
    void start_stream(uint8_t start_byte);
    void stop_stream();
    void apply(const Decoded& decoded);
    void reset_counters();
    int frame_bytes() const;
    uint32_t counter(uint64_t frame) const;
    void complete(Slot* slot, int status);
    void unplug_locked();
    void expire_timeouts(std::unique_lock<std::mutex>& lock, Clock::time_point now);
    int pump(std::unique_lock<std::mutex>& lock, Clock::time_point until, bool interruptible = false);
    void deliver(std::unique_lock<std::mutex>& lock);
    Slot* find_slot(usb::Transfer* transfer) const;
    int check_handle(usb::DeviceHandle handle) const;

    mutable std::mutex mutex_;
    std::condition_variable box_wake_;          // work for the box thread
    mutable std::condition_variable host_wake_; // completions due, stream idle
    std::condition_variable write_done_;        // the box has left a buffer
    std::thread thread_;
    bool quit_ = false;
    int host_waiting_ = 0; // host calls waiting for a write to end; the box pauses

    Options options_;
    Faults faults_;
    Settings settings_;
    bool plugged_ = true;
    int plug_generation_ = 0;
    std::map<usb::DeviceHandle, int> handles_; // handle -> plug generation
    std::vector<std::unique_ptr<char>> handle_tokens_;
    bool claimed_ = false;
    uint64_t submits_ = 0;
    uint64_t misuses_ = 0;
    uint64_t sequence_ = 0;

    std::unordered_set<Slot*> slots_;
    std::deque<Slot*> queue_; // pending on the endpoint, submission order
    std::deque<Slot*> done_;  // completions due, in order

    // The stream.
    Phase phase_ = Phase::Idle;
    uint8_t start_byte_ = 0;
    std::shared_ptr<FrameSource> source_;
    uint64_t generation_ = 0; // of the stream, against writes that outlive it
    uint64_t position_ = 0;   // bytes sent
    uint64_t end_ = 0;        // bytes to send in all; UINT64_MAX: until Stop
    int frequency_hz_ = 0;
    Clock::time_point began_; // first frame due
    Clock::time_point trigger_at_;
    bool trigger_pending_ = false;
    uint32_t next_counter_ = 0;
    Stream stream_;
    std::vector<unsigned char> copy_;

    // A replayed stream: its source instead of source_, and what to tell
    // through Options::notice once the lock is released.
    std::shared_ptr<ReplaySource> replay_;
    std::string notice_;

    std::vector<ControlRecord> control_log_;
    std::vector<CompletionRecord> completion_log_;
};

} // namespace sim
