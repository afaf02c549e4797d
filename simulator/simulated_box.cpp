#include "simulator/simulated_box.h"

#include <algorithm>

namespace sim {

namespace {

constexpr size_t kChunkBytes = 1 << 20; // most the box writes between two looks at its state
constexpr auto kEventsTimeout = std::chrono::seconds(60);

} // namespace

uint64_t stream_checksum(const void* data, size_t n, uint64_t seed)
{
    const unsigned char* p = static_cast<const unsigned char*>(data);
    uint64_t h = seed;
    for (size_t i = 0; i < n; ++i) {
        h ^= p[i];
        h *= 0x100000001B3ull;
    }
    return h;
}

struct SimulatedBox::Slot {
    usb::Transfer transfer; // what the caller sees
    enum State { Idle, Queued, Done } state = Idle;
    bool writing = false; // the box thread is copying into the buffer, unlocked
    bool has_deadline = false;
    Clock::time_point deadline;
    uint64_t sequence = 0;
    // Latched at submission.
    unsigned char* buffer = nullptr;
    int length = 0;
    int received = 0;
    int64_t stream_transfer = -1;
    int status = usb::TRANSFER_COMPLETED;
};

SimulatedBox::SimulatedBox(const Options& options) : options_(options), next_counter_(options.counter_start)
{
    thread_ = std::thread([this] { box_thread(); });
}

SimulatedBox::~SimulatedBox()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        quit_ = true;
    }
    box_wake_.notify_all();
    thread_.join();
    for (Slot* s : slots_)
        delete s;
}

// --- Library and device ---------------------------------------------------

int SimulatedBox::init() { return usb::SUCCESS; }
void SimulatedBox::set_debug(int) {}
void SimulatedBox::exit() {}

usb::DeviceHandle SimulatedBox::open_device_with_vid_pid(uint16_t vendor, uint16_t product)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (vendor != kVendorId || product != kProductId || !plugged_ || faults_.absent)
        return nullptr;
    // Tokens live as long as the box, so a closed handle never comes back to life.
    handle_tokens_.push_back(std::make_unique<char>());
    usb::DeviceHandle h = handle_tokens_.back().get();
    handles_[h] = plug_generation_;
    return h;
}

int SimulatedBox::check_handle(usb::DeviceHandle handle) const
{
    auto it = handles_.find(handle);
    if (it == handles_.end())
        return usb::ERROR_INVALID_PARAM;
    if (!plugged_ || it->second != plug_generation_)
        return usb::ERROR_NO_DEVICE;
    return usb::SUCCESS;
}

int SimulatedBox::claim_interface(usb::DeviceHandle handle, int number)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (int r = check_handle(handle))
        return r;
    if (number != 0)
        return usb::ERROR_NOT_FOUND;
    claimed_ = true;
    return usb::SUCCESS;
}

int SimulatedBox::release_interface(usb::DeviceHandle handle, int number)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (int r = check_handle(handle))
        return r;
    if (number != 0)
        return usb::ERROR_NOT_FOUND;
    claimed_ = false;
    return usb::SUCCESS;
}

void SimulatedBox::close(usb::DeviceHandle handle)
{
    std::lock_guard<std::mutex> lock(mutex_);
    handles_.erase(handle);
    if (handles_.empty())
        claimed_ = false;
}

// --- Control requests -----------------------------------------------------

int SimulatedBox::control_transfer(usb::DeviceHandle handle, uint8_t request_type, uint8_t request, uint16_t value,
                                   uint16_t index, unsigned char* data, uint16_t length, unsigned int)
{
    std::unique_lock<std::mutex> lock(mutex_);
    if (options_.control_delay_ms > 0) { // a slow box: the request takes this long
        const auto delay = std::chrono::milliseconds(options_.control_delay_ms);
        lock.unlock();
        std::this_thread::sleep_for(delay);
        lock.lock();
    }
    if (options_.events_in_control && check_handle(handle) == usb::SUCCESS)
        pump(lock, Clock::now());
    settle(lock); // a command that ends the stream ends it between two writes

    int result = check_handle(handle);
    if (result == usb::SUCCESS) {
        if (data == nullptr && length > 0) {
            result = usb::ERROR_INVALID_PARAM;
        } else {
            const Decoded d = decode_request(settings_, request_type, request, value, index, data, length);
            result = d.result;
            if (result >= 0)
                apply(d);
        }
    }
    ControlRecord rec;
    rec.request_type = request_type;
    rec.request = request;
    rec.value = value;
    rec.index = index;
    if (data)
        rec.data.assign(data, data + length);
    rec.result = result;
    control_log_.push_back(std::move(rec));
    if (!notice_.empty()) {
        const std::string text = std::move(notice_);
        notice_.clear();
        const auto notice = options_.notice;
        lock.unlock();
        if (notice)
            notice(text);
    }
    return result;
}

void SimulatedBox::apply(const Decoded& d)
{
    switch (d.action) {
    case Action::None:
        break;
    case Action::Start:
        start_stream(d.start_byte);
        break;
    case Action::Stop:
        stop_stream();
        break;
    case Action::ResetMicros: {
        end_stream(false);
        const Settings fresh;
        settings_.division_byte = fresh.division_byte;
        settings_.delay = fresh.delay;
        settings_.sample_count = fresh.sample_count;
        reset_counters();
        break;
    }
    case Action::ResetFx3:
        end_stream(false);
        break;
    case Action::ResetPseudoHard:
        end_stream(false);
        settings_ = Settings();
        reset_counters();
        break;
    }
}

void SimulatedBox::reset_counters() { next_counter_ = options_.counter_start; }

int SimulatedBox::frame_bytes() const { return replay_ ? replay_->frame_bytes() : source_->frame_bytes(); }

uint32_t SimulatedBox::counter(uint64_t frame) const
{
    return replay_ ? replay_->counter(frame) : source_->counter(frame);
}

// --- The stream -----------------------------------------------------------

void SimulatedBox::start_stream(uint8_t start_byte)
{
    if (phase_ != Phase::Idle)
        return;
    start_byte_ = start_byte;
    ++generation_;
    const Clock::time_point debut_rendu = Clock::now();

    source_.reset();
    replay_.reset();
    if (options_.replay) {
        ReplaySource::Params r;
        r.settings = settings_;
        r.extra_words = std::max(0, faults_.extra_words);
        r.first_counter = next_counter_;
        r.skip_frame = faults_.counter_skip_frame;
        replay_ = std::make_shared<ReplaySource>(options_.replay, r);
        notice_ = replay_notice(*options_.replay, settings_);
    }
    FrameSource::Params p;
    p.settings = settings_;
    p.scene = options_.scene;
    p.extra_words = std::max(0, faults_.extra_words);
    p.first_counter = next_counter_;
    p.skip_frame = faults_.counter_skip_frame;
    if (!replay_)
        source_ = std::make_shared<FrameSource>(p);
    // The box starts at once: the time taken here to render the scene (long
    // for point sources under a sanitizer) does not count against the
    // transfers already waiting.
    const Clock::duration rendu = Clock::now() - debut_rendu;
    for (Slot* s : queue_)
        if (s->has_deadline)
            s->deadline += rendu;

    const uint64_t fb = uint64_t(frame_bytes());
    position_ = 0;
    end_ = settings_.sample_count ? uint64_t(settings_.sample_count) * fb : UINT64_MAX;
    frequency_hz_ = settings_.frequency_hz();
    stream_ = Stream();
    stream_.frame_bytes = int(fb);
    stream_.first_counter = next_counter_;
    stream_.checksum = stream_checksum(nullptr, 0);
    copy_.clear();

    const Clock::time_point now = Clock::now();
    if ((start_byte & 0x03) == TRIGGER_SOFT) {
        begin_streaming(now);
    } else {
        phase_ = Phase::Armed;
        trigger_pending_ = options_.trigger_delay_ms >= 0;
        trigger_at_ = now + std::chrono::milliseconds(std::max(0, options_.trigger_delay_ms));
    }
    box_wake_.notify_all();
}

void SimulatedBox::begin_streaming(Clock::time_point at)
{
    phase_ = Phase::Streaming;
    trigger_pending_ = false;
    began_ = at;
    box_wake_.notify_all();
}

void SimulatedBox::stop_stream()
{
    if (phase_ == Phase::Idle)
        return;
    if (faults_.silent || faults_.no_end_on_stop) {
        end_stream(false);
        return;
    }
    // Finish the frame in progress, then close.
    const uint64_t fb = uint64_t(frame_bytes());
    const uint64_t frame_end = fb ? (position_ + fb - 1) / fb * fb : position_;
    end_ = std::min(end_, frame_end);
    phase_ = Phase::Ending;
    box_wake_.notify_all();
}

void SimulatedBox::end_stream(bool closed)
{
    if (phase_ == Phase::Idle)
        return;
    const uint64_t fb = uint64_t(frame_bytes());
    if (fb)
        next_counter_ = counter((position_ + fb - 1) / fb);
    stream_.ended = closed;
    phase_ = Phase::Idle;
    trigger_pending_ = false;
    ++generation_; // a write still under way no longer counts
    source_.reset();
    replay_.reset();
    host_wake_.notify_all();
}

void SimulatedBox::box_thread()
{
    std::unique_lock<std::mutex> lock(mutex_);
    while (!quit_) {
        Clock::time_point wake = Clock::time_point::max();
        if (write_step(lock, wake))
            continue;
        if (wake == Clock::time_point::max())
            box_wake_.wait(lock);
        else
            box_wake_.wait_until(lock, wake);
    }
}

// One step of the box: true if it did something, else `wake` says when to
// look again (max: when woken).
bool SimulatedBox::write_step(std::unique_lock<std::mutex>& lock, Clock::time_point& wake)
{
    const Clock::time_point now = Clock::now();
    if (phase_ == Phase::Armed) {
        if (!trigger_pending_)
            return false;
        if (now < trigger_at_) {
            wake = trigger_at_;
            return false;
        }
        begin_streaming(trigger_at_);
        return true;
    }
    if (phase_ == Phase::Idle || faults_.silent || queue_.empty())
        return false;
    if (host_waiting_ > 0)
        return false; // let the host in between two writes

    Slot* head = queue_.front();
    if (head->stream_transfer < 0)
        head->stream_transfer = int64_t(stream_.transfers++);
    const bool failing = head->stream_transfer == faults_.fail_transfer;
    if (failing && head->received >= faults_.fail_after_bytes) {
        if (faults_.fail_status == usb::TRANSFER_NO_DEVICE)
            unplug_locked();
        else
            complete(head, faults_.fail_status);
        return true;
    }
    if (position_ >= end_) { // this transfer closes the stream, short or empty
        complete(head, usb::TRANSFER_COMPLETED);
        end_stream(true);
        return true;
    }
    const uint64_t fb = uint64_t(frame_bytes());
    if (fb == 0)
        return false; // nothing to send until Stop

    uint64_t available = end_ - position_;
    if (options_.paced) {
        const double seconds = std::chrono::duration<double>(now - began_).count();
        const uint64_t due = uint64_t(seconds * frequency_hz_) * fb;
        if (due <= position_) {
            // Look again when about a millisecond of frames is due.
            const uint64_t next = position_ / fb + std::max(1, frequency_hz_ / 1000);
            wake = began_ + std::chrono::duration_cast<Clock::duration>(
                                std::chrono::duration<double>(double(next) / frequency_hz_));
            return false;
        }
        available = std::min(available, due - position_);
    }
    uint64_t room = uint64_t(head->length - head->received);
    if (failing)
        room = std::min<uint64_t>(room, uint64_t(faults_.fail_after_bytes - head->received));
    const size_t n = size_t(std::min<uint64_t>({available, room, uint64_t(kChunkBytes)}));

    // Copy without the lock: the host may look at the box meanwhile.
    std::shared_ptr<FrameSource> source = source_;
    std::shared_ptr<ReplaySource> replay = replay_;
    const uint64_t generation = generation_;
    const uint64_t position = position_;
    const bool keep_checksum = options_.keep_checksum;
    uint64_t checksum = stream_.checksum;
    unsigned char* dest = head->buffer + head->received;
    head->writing = true;
    lock.unlock();
    const Clock::time_point t0 = Clock::now();
    if (replay)
        replay->write(position, dest, n);
    else
        source->write(position, dest, n);
    if (keep_checksum)
        checksum = stream_checksum(dest, n, checksum);
    const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    lock.lock();
    head->writing = false;
    write_done_.notify_all();

    if (generation == generation_) {
        // A write that a stream end overtook was never sent: it stays out
        // of the transfer as well as out of the stream. (Host calls that end
        // a stream settle first, so this is only a safeguard.)
        head->received += int(n);
        position_ += n;
        stream_.bytes = position_;
        stream_.frames = position_ / fb;
        if (keep_checksum)
            stream_.checksum = checksum;
        stream_.copy_seconds += seconds;
        if (options_.keep_copy)
            copy_.insert(copy_.end(), dest, dest + n);
    }
    if (head->received == head->length)
        complete(head, usb::TRANSFER_COMPLETED);
    return true;
}

// --- Transfers ------------------------------------------------------------

usb::Transfer* SimulatedBox::alloc_transfer(int)
{
    std::lock_guard<std::mutex> lock(mutex_);
    Slot* s = new Slot;
    s->transfer.impl = s;
    slots_.insert(s);
    return &s->transfer;
}

SimulatedBox::Slot* SimulatedBox::find_slot(usb::Transfer* transfer) const
{
    if (transfer == nullptr)
        return nullptr;
    Slot* s = static_cast<Slot*>(transfer->impl);
    if (slots_.count(s) == 0 || &s->transfer != transfer)
        return nullptr;
    return s;
}

void SimulatedBox::wait_write(std::unique_lock<std::mutex>& lock, Slot* slot)
{
    if (!slot->writing)
        return;
    ++host_waiting_;
    write_done_.wait(lock, [slot] { return !slot->writing; });
    if (--host_waiting_ == 0)
        box_wake_.notify_all();
}

void SimulatedBox::settle(std::unique_lock<std::mutex>& lock)
{
    if (!queue_.empty())
        wait_write(lock, queue_.front());
}

unsigned char SimulatedBox::peek_in_flight(usb::Transfer* t, int i)
{
    std::unique_lock<std::mutex> lock(mutex_);
    Slot* s = find_slot(t);
    if (s == nullptr || t->buffer == nullptr || i < 0 || i >= t->length)
        return 0;
    wait_write(lock, s);
    return t->buffer[i];
}

int SimulatedBox::submit_transfer(usb::Transfer* t)
{
    std::lock_guard<std::mutex> lock(mutex_);
    Slot* s = find_slot(t);
    if (s == nullptr)
        return usb::ERROR_INVALID_PARAM;
    const uint64_t call = submits_++;
    if (s->state != Slot::Idle)
        return usb::ERROR_BUSY;
    if (!plugged_)
        return usb::ERROR_NO_DEVICE;
    if (int r = check_handle(t->dev_handle))
        return r;
    if (faults_.refuse_submit >= 0 && call == uint64_t(faults_.refuse_submit))
        return faults_.refuse_error;
    if (t->endpoint != kDataEndpoint)
        return usb::ERROR_IO;
    if (t->buffer == nullptr || t->length <= 0)
        return usb::ERROR_INVALID_PARAM;

    s->state = Slot::Queued;
    s->buffer = t->buffer;
    s->length = t->length;
    s->received = 0;
    s->stream_transfer = -1;
    s->sequence = sequence_++;
    s->has_deadline = t->timeout > 0;
    s->deadline = Clock::now() + std::chrono::milliseconds(t->timeout);
    queue_.push_back(s);
    box_wake_.notify_all();
    host_wake_.notify_all(); // a new, perhaps earlier, time-out
    return usb::SUCCESS;
}

int SimulatedBox::cancel_transfer(usb::Transfer* t)
{
    std::unique_lock<std::mutex> lock(mutex_);
    Slot* s = find_slot(t);
    if (s == nullptr)
        return usb::ERROR_INVALID_PARAM;
    wait_write(lock, s);
    if (s->state != Slot::Queued)
        return usb::ERROR_NOT_FOUND;
    complete(s, usb::TRANSFER_CANCELLED);
    return usb::SUCCESS;
}

void SimulatedBox::free_transfer(usb::Transfer* t)
{
    std::unique_lock<std::mutex> lock(mutex_);
    Slot* s = find_slot(t);
    if (s == nullptr)
        return;
    wait_write(lock, s);
    if (s->state == Slot::Queued) {
        queue_.erase(std::find(queue_.begin(), queue_.end(), s));
        ++misuses_;
    } else if (s->state == Slot::Done) {
        done_.erase(std::find(done_.begin(), done_.end(), s));
        ++misuses_;
    }
    slots_.erase(s);
    delete s;
}

void SimulatedBox::complete(Slot* s, int status)
{
    auto it = std::find(queue_.begin(), queue_.end(), s);
    if (it != queue_.end())
        queue_.erase(it);
    s->state = Slot::Done;
    s->status = status;
    done_.push_back(s);
    host_wake_.notify_all();
}

void SimulatedBox::unplug_locked()
{
    if (!plugged_)
        return;
    plugged_ = false;
    claimed_ = false;
    end_stream(false);
    while (!queue_.empty())
        complete(queue_.front(), usb::TRANSFER_NO_DEVICE);
}

// --- Event handling -------------------------------------------------------

void SimulatedBox::expire_timeouts(std::unique_lock<std::mutex>& lock, Clock::time_point now)
{
    for (;;) {
        Slot* late = nullptr;
        for (Slot* s : queue_)
            if (s->has_deadline && s->deadline <= now &&
                (late == nullptr || s->deadline < late->deadline ||
                 (s->deadline == late->deadline && s->sequence < late->sequence)))
                late = s;
        if (late == nullptr)
            return;
        if (late->writing) {
            wait_write(lock, late);
            continue; // it may have completed meanwhile
        }
        complete(late, usb::TRANSFER_TIMED_OUT);
    }
}

int SimulatedBox::pump(std::unique_lock<std::mutex>& lock, Clock::time_point until, bool interruptible)
{
    for (;;) {
        // libusb's synchronous calls repeat an interrupted wait themselves.
        if (interruptible && faults_.interrupted_events > 0) {
            --faults_.interrupted_events;
            return usb::ERROR_INTERRUPTED;
        }
        const Clock::time_point now = Clock::now();
        expire_timeouts(lock, now);
        if (!done_.empty()) {
            deliver(lock);
            return usb::SUCCESS;
        }
        if (!plugged_)
            return usb::ERROR_NO_DEVICE;
        if (now >= until)
            return usb::SUCCESS;
        Clock::time_point wake = until;
        for (Slot* s : queue_)
            if (s->has_deadline)
                wake = std::min(wake, s->deadline);
        host_wake_.wait_until(lock, wake);
    }
}

void SimulatedBox::deliver(std::unique_lock<std::mutex>& lock)
{
    // Only what is due now: a fast stream must not keep the caller here.
    for (size_t n = done_.size(); n > 0 && !done_.empty(); --n) {
        Slot* s = done_.front();
        done_.pop_front();
        s->state = Slot::Idle;
        usb::Transfer* t = &s->transfer;
        t->status = s->status;
        t->actual_length = s->received;
        completion_log_.push_back({t, s->stream_transfer, s->status, s->received});
        const usb::TransferCallback callback = t->callback;
        lock.unlock();
        if (callback)
            callback(t); // may submit, cancel or free t
        lock.lock();
    }
}

int SimulatedBox::handle_events()
{
    std::unique_lock<std::mutex> lock(mutex_);
    return pump(lock, Clock::now() + kEventsTimeout, true);
}

int SimulatedBox::handle_events_timeout(int timeout_ms)
{
    std::unique_lock<std::mutex> lock(mutex_);
    return pump(lock, Clock::now() + std::chrono::milliseconds(std::max(0, timeout_ms)), true);
}

// --- Controls and observation ---------------------------------------------

void SimulatedBox::set_options(const Options& options)
{
    std::lock_guard<std::mutex> lock(mutex_);
    options_ = options;
    box_wake_.notify_all();
}

Options SimulatedBox::options() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return options_;
}

void SimulatedBox::set_faults(const Faults& faults)
{
    std::lock_guard<std::mutex> lock(mutex_);
    faults_ = faults;
    submits_ = 0;
    box_wake_.notify_all();
    host_wake_.notify_all(); // a waiting event handling may be interrupted
}

Faults SimulatedBox::faults() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return faults_;
}

double SimulatedBox::sensitivity(int microphone) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return microphone_sensitivity(options_.scene, microphone);
}

void SimulatedBox::fire_trigger()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (phase_ == Phase::Armed)
        begin_streaming(Clock::now());
}

void SimulatedBox::unplug()
{
    std::unique_lock<std::mutex> lock(mutex_);
    settle(lock); // so every queued transfer ends in submission order
    unplug_locked();
}

void SimulatedBox::replug()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (plugged_)
        return;
    plugged_ = true;
    ++plug_generation_;
    settings_ = Settings();
    reset_counters();
}

View SimulatedBox::view() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    View v;
    v.settings = settings_;
    v.phase = phase_;
    v.start_byte = start_byte_;
    v.next_counter = next_counter_;
    v.plugged = plugged_;
    v.open_handles = int(handles_.size());
    v.claimed = claimed_;
    v.queued = queue_.size();
    v.head_bytes = queue_.empty() ? 0 : queue_.front()->received;
    v.submits = submits_;
    v.misuses = misuses_;
    v.stream = stream_;
    return v;
}

std::vector<ControlRecord> SimulatedBox::control_log() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return control_log_;
}

std::vector<CompletionRecord> SimulatedBox::completion_log() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return completion_log_;
}

void SimulatedBox::clear_logs()
{
    std::lock_guard<std::mutex> lock(mutex_);
    control_log_.clear();
    completion_log_.clear();
}

std::vector<unsigned char> SimulatedBox::stream_copy() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return copy_;
}

bool SimulatedBox::wait_idle(int timeout_ms) const
{
    std::unique_lock<std::mutex> lock(mutex_);
    return host_wake_.wait_for(lock, std::chrono::milliseconds(timeout_ms), [this] { return phase_ == Phase::Idle; });
}

} // namespace sim
