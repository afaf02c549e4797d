#include "simulator/frame_source.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace sim {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kSoundSpeed = 343.0; // m/s
constexpr int kSineBits = 10;         // analogue sine table: 1024 entries

void put_le32(unsigned char* p, uint32_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}

int32_t to_int32(double v)
{
    if (v >= 2147483647.0)
        return INT32_MAX;
    if (v <= -2147483648.0)
        return INT32_MIN;
    return int32_t(v < 0 ? v - 0.5 : v + 0.5); // nearest, half away from zero
}

uint32_t sample_word(int32_t v, bool as_float)
{
    if (!as_float)
        return uint32_t(v);
    const float f = float(v);
    uint32_t bits;
    std::memcpy(&bits, &f, 4);
    return bits;
}

// xorshift64*: fast, and the same sequence on every platform.
struct Noise {
    uint64_t s;
    explicit Noise(uint64_t seed) : s(seed ? seed : 0x9E3779B97F4A7C15ull) {}
    uint64_t next()
    {
        s ^= s >> 12;
        s ^= s << 25;
        s ^= s >> 27;
        return s * 0x2545F4914F6CDD1Dull;
    }
    // Sum of four 16-bit uniforms from one draw, scaled to unit variance:
    // close enough to normal for a noise floor.
    double gaussian()
    {
        const uint64_t r = next();
        const uint32_t sum =
            uint32_t(r & 0xFFFF) + uint32_t((r >> 16) & 0xFFFF) + uint32_t((r >> 32) & 0xFFFF) + uint32_t(r >> 48);
        return (double(sum) - 2 * 65535.0) * (1.7320508 / 65536.0);
    }
};

// splitmix64: one independent draw per key.
uint64_t mix(uint64_t x)
{
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

// What a microphone word carries besides the scene's tone and noise.
enum class Special : uint8_t { None, Stuck, Clipping, FlatTop, DcOffset, Calibrator, Dropout, Bang, Hum };

double clip(double s) { return std::clamp(s, -double(kFullScale), double(kFullScale - 1)); }

// Fractional delay by a Hann-windowed sinc of kTaps taps: flat to about 0.8
// of the Nyquist frequency, which is what a broadband source needs here.
constexpr int kTaps = 32;

double sinc(double t) { return t == 0 ? 1.0 : std::sin(kPi * t) / (kPi * t); }

// `out` += `gain` times the periodic `in` delayed by `delay` frames.
void add_delayed(const std::vector<float>& in, double delay, double gain, std::vector<float>& out)
{
    const int64_t n = int64_t(in.size());
    const int64_t whole = int64_t(std::floor(delay));
    const double mu = delay - double(whole);
    double h[kTaps];
    double sum = 0;
    for (int k = 0; k < kTaps; ++k) {
        const double t = double(k - (kTaps / 2 - 1)) - mu; // taps j = -15..16
        h[k] = sinc(t) * 0.5 * (1 + std::cos(kPi * t / (kTaps / 2)));
        sum += h[k];
    }
    for (double& v : h)
        v *= gain / sum;
    // The input with kTaps frames of its own end before it, so that every
    // output frame reads one contiguous run: y[i] = sum over k of h[k] x[i -
    // whole + 15 - k].
    std::vector<float> ext(size_t(n + 2 * kTaps));
    for (int64_t i = 0; i < n + 2 * kTaps; ++i)
        ext[size_t(i)] = in[size_t(((i - kTaps) % n + n) % n)];
    float hr[kTaps]; // reversed, to run forward through ext
    for (int k = 0; k < kTaps; ++k)
        hr[k] = float(h[kTaps - 1 - k]);
    const int64_t shift = ((whole % n) + n) % n;
    for (int64_t i = 0; i < n; ++i) {
        // x[i - whole + 15 - k] for k = 31..0 starts at i - whole - 16
        int64_t first = i - shift - (kTaps / 2);
        if (first < -kTaps)
            first += n;
        const float* x = &ext[size_t(first + kTaps)];
        float y = 0;
        for (int k = 0; k < kTaps; ++k)
            y += hr[k] * x[k];
        out[size_t(i)] += y;
    }
}

} // namespace

double microphone_sensitivity(const Scene& scene, int microphone)
{
    double s = kNominalSensitivity;
    if (const MicFault* f = fault_of(scene.faults, microphone)) {
        if (f->kind == MicFault::Deaf)
            s *= std::pow(10.0, -kDeafDb / 20.0);
        else if (f->kind == MicFault::Inverted)
            s = -s;
    }
    if (scene.sensitivity_spread_db == 0)
        return s;
    Noise draw(mix(scene.seed ^ mix(uint64_t(microphone) + 1)));
    return s * std::pow(10.0, scene.sensitivity_spread_db * draw.gaussian() / 20.0);
}

std::string parse_point(const std::string& text, PointSource& p)
{
    const std::string refus = "--sim-point « " + text +
                              " » : X,Y,Z,bruit ou X,Y,Z,HZ attendu, en mètres, "
                              "Z > 0, puis ,DB en option "
                              "(dB SPL à 1 m, 94 par défaut, de 0 à 160)";
    std::vector<std::string> champs;
    size_t debut = 0;
    while (true) {
        const size_t fin = text.find(',', debut);
        champs.push_back(text.substr(debut, fin == std::string::npos ? std::string::npos : fin - debut));
        if (fin == std::string::npos)
            break;
        debut = fin + 1;
    }
    if (champs.size() != 4 && champs.size() != 5)
        return refus;
    double v[5] = {0, 0, 0, 0, 94};
    bool bruit = false;
    for (size_t k = 0; k < champs.size(); ++k) {
        if (k == 3 && champs[k] == "bruit") {
            bruit = true;
            continue;
        }
        char* apres = nullptr;
        v[k] = std::strtod(champs[k].c_str(), &apres);
        if (champs[k].empty() || *apres != '\0' || !std::isfinite(v[k]))
            return refus;
    }
    if (!(v[2] > 0) || (!bruit && !(v[3] > 0)) || !(v[4] >= 0 && v[4] <= 160))
        return refus;
    PointSource q = p;
    q.x = v[0];
    q.y = v[1];
    q.z = v[2];
    q.tone_hz = bruit ? 0 : v[3];
    q.level_db = v[4];
    p = q;
    return "";
}

uint32_t status_word(const Settings& settings) { return 1u | uint32_t(settings.delay) << 8; }

namespace {

// What each word of the frame carries: the microphone it hears (a swap
// crosses two; -1 for the other words), the tone's amplitude and phase
// there, its own noise and what else it carries.
struct Voix {
    std::vector<double> amp, cos_phi, sin_phi, noise_rms, extra_amp;
    std::vector<int> heard;
    std::vector<Special> special;
};

// A microphone's fault on its word.
void applique_defaut(const MicFault& f, Voix& v, size_t w)
{
    switch (f.kind) {
    case MicFault::Dead:
        v.special[w] = Special::None;
        v.amp[w] = 0;
        v.noise_rms[w] *= kDeadNoise;
        break;
    case MicFault::Stuck:
        v.special[w] = Special::Stuck;
        break;
    case MicFault::Clipping:
        v.special[w] = Special::Clipping;
        v.extra_amp[w] = kClippingDrive * kFullScale;
        break;
    case MicFault::Noisy:
        v.noise_rms[w] *= kNoisyGain;
        break;
    case MicFault::DcOffset:
        v.special[w] = Special::DcOffset;
        break;
    case MicFault::FlatTop:
        v.special[w] = Special::FlatTop;
        v.extra_amp[w] = kClippingDrive * kAnalogueClip * kFullScale;
        break;
    case MicFault::Dropout:
        v.special[w] = Special::Dropout;
        break;
    case MicFault::Bang:
        v.special[w] = Special::Bang;
        break;
    case MicFault::Hum:
        v.special[w] = Special::Hum;
        break;
    case MicFault::Swap:
    case MicFault::Deaf: // in its sensitivity
    case MicFault::Inverted:
        break;
    }
}

Voix voix(const std::vector<Word>& layout, const Scene& sc, double tone_hz, double height)
{
    const size_t words = layout.size();
    Voix v;
    v.amp.assign(words, 0.0);
    v.cos_phi.assign(words, 1.0);
    v.sin_phi.assign(words, 0.0);
    v.noise_rms.assign(words, sc.noise_rms);
    v.extra_amp.assign(words, 0.0);
    v.heard.assign(words, -1);
    v.special.assign(words, Special::None);
    for (size_t w = 0; w < words; ++w) {
        const Word word = layout[w];
        if (word.kind != Word::Microphone)
            continue;
        const int m = heard_by(sc.faults, word.index);
        v.heard[w] = m;
        const double dx = m / 8 - sc.source_beam;
        const double dy = m % 8 - sc.source_row;
        const double d = std::sqrt(dx * dx + dy * dy + height * height);
        const double gain = microphone_sensitivity(sc, m) / kNominalSensitivity;
        v.amp[w] = sc.tone_amplitude * std::pow(10.0, -sc.falloff_db_per_pitch * (d - height) / 20.0) * gain;
        const double phi = 2 * kPi * tone_hz * d * sc.pitch_m / kSoundSpeed;
        v.cos_phi[w] = std::cos(phi);
        v.sin_phi[w] = std::sin(phi);

        if (sc.calibrator.microphone == m) {
            v.special[w] = Special::Calibrator;
            v.amp[w] = 0;
            v.extra_amp[w] = std::sqrt(2.0) * kReferencePa * std::pow(10.0, sc.calibrator.level_db / 20.0) *
                             microphone_sensitivity(sc, m);
        }
        if (const MicFault* f = fault_of(sc.faults, m))
            applique_defaut(*f, v, w);
    }
    return v;
}

// The physical scene over `n` frames, frame by frame and word by word, in
// counts. The microphones that hear it lose the plain scene's tone.
std::vector<float> champ(const Scene& sc, double fs, size_t n, Voix& v)
{
    const size_t words = v.heard.size();
    std::vector<float> field(n * words, 0.0f);
    std::vector<std::vector<float>> broadband(sc.points.size());
    std::vector<std::vector<double>> tone(sc.points.size()); // sin and cos of each frame
    for (size_t k = 0; k < sc.points.size(); ++k) {
        if (sc.points[k].tone_hz > 0)
            continue;
        Noise draw(mix(sc.seed ^ mix(0x504F494E54ull + k)));
        broadband[k].resize(n);
        for (float& x : broadband[k])
            x = float(draw.gaussian());
    }
    std::vector<float> heard_here(n);
    for (size_t w = 0; w < words; ++w) {
        if (v.heard[w] < 0)
            continue;
        const bool hears = v.amp[w] != 0; // not dead, not under the calibrator
        v.amp[w] = 0;
        if (!hears)
            continue;
        const int m = v.heard[w];
        const Point3 at = sc.geometry[size_t(m)];
        const double gain = microphone_sensitivity(sc, m);
        std::fill(heard_here.begin(), heard_here.end(), 0.0f);
        for (size_t k = 0; k < sc.points.size(); ++k) {
            const PointSource& src = sc.points[k];
            const double r = std::max(std::hypot(src.x - at.x, src.y - at.y, src.z - at.z), 1e-3);
            const double rms = kReferencePa * std::pow(10.0, src.level_db / 20.0) / r * gain;
            if (src.tone_hz > 0) {
                const double c = std::clamp(std::round(src.tone_hz * n / fs), 1.0, double(n / 2 - 1));
                // sin(t - phi) = sin t cos phi - cos t sin phi, t from the table
                const double phi = 2 * kPi * (c * fs / n) * r / kSoundSpeed;
                const double a = std::sqrt(2.0) * rms * std::cos(phi), b = -std::sqrt(2.0) * rms * std::sin(phi);
                if (tone[k].empty()) {
                    tone[k].resize(2 * n);
                    for (size_t i = 0; i < n; ++i) {
                        tone[k][2 * i] = std::sin(2 * kPi * c * double(i) / n);
                        tone[k][2 * i + 1] = std::cos(2 * kPi * c * double(i) / n);
                    }
                }
                for (size_t i = 0; i < n; ++i)
                    heard_here[i] += float(a * tone[k][2 * i] + b * tone[k][2 * i + 1]);
            } else {
                add_delayed(broadband[k], r / kSoundSpeed * fs, rms, heard_here);
            }
        }
        for (size_t i = 0; i < n; ++i)
            field[i * words + w] = heard_here[i];
    }
    return field;
}

// The moments of the table the faults act at: the calibrator's tone and
// the clipping oscillation (about 1 kHz) and the hum in whole periods of
// the table below the Nyquist frequency, the dropout, the bang.
struct Moments {
    uint64_t n = 0;
    double cycles_1k = 0, cycles_hum = 0;
    uint64_t dropout_from = 0, dropout_to = 0, bang_from = 0;

    Moments(uint64_t table_frames, double fs) : n(table_frames)
    {
        cycles_1k = std::clamp(std::round(kCalibratorHz * n / fs), 1.0, double(n / 2 - 1));
        cycles_hum = std::clamp(std::round(kHumHz * n / fs), 1.0, double(n / 6 - 1));
        dropout_from = n / 4;
        dropout_to = dropout_from + std::min<uint64_t>(kDropoutFrames, n / 2);
        bang_from = n / 2;
    }
};

// Sample `s` of frame i with what the word carries besides; s1k the 1 kHz
// oscillation at i.
double avec_special(Special sp, double s, double extra, uint64_t i, double s1k, const Moments& t)
{
    switch (sp) {
    case Special::None:
        break;
    case Special::Stuck:
        s = kStuckValue;
        break;
    case Special::DcOffset:
        s = clip(s + kDcOffset);
        break;
    case Special::Clipping:
    case Special::Calibrator:
        s = clip(s + extra * s1k);
        break;
    case Special::FlatTop:
        s = std::clamp(s + extra * s1k, -kAnalogueClip * kFullScale, kAnalogueClip * kFullScale);
        break;
    case Special::Dropout:
        if (i >= t.dropout_from && i < t.dropout_to)
            s = 0;
        break;
    case Special::Bang:
        if (i >= t.bang_from && i < t.bang_from + kBangSamples)
            s = clip(s + kBangPeak * std::sin(2 * kPi * double(i - t.bang_from) / kBangSamples));
        break;
    case Special::Hum:
        for (int h = 1; h <= 3; ++h)
            s += kHumPeak / h * std::sin(2 * kPi * h * t.cycles_hum * double(i) / double(t.n));
        s = clip(s);
        break;
    }
    return s;
}

} // namespace

FrameSource::FrameSource(const Params& p)
    : layout_(frame_layout(p.settings.selection, p.extra_words)), frame_bytes_(int(layout_.size()) * 4),
      float_samples_(p.settings.sample_type == SampleType::Float), first_counter_(p.first_counter),
      skip_frame_(p.skip_frame)
{
    const Scene& sc = p.scene;
    const double fs = p.settings.frequency_hz();
    const bool physical = !sc.points.empty() && sc.geometry.size() == MICROS_GEOMETRIE && !sc.test_pattern;
    table_frames_ = uint64_t(std::clamp(sc.table_frames, 16, 65536));
    if (physical)
        table_frames_ = std::max<uint64_t>(table_frames_, kPointTableFrames);
    table_.resize(table_frames_ * frame_bytes_);
    scratch_.resize(frame_bytes_);

    // Whole periods of the tone in the table, so that it loops seamlessly,
    // below the Nyquist frequency.
    const double cycles = std::clamp(std::round(sc.tone_hz * table_frames_ / fs), 0.0, double(table_frames_ / 2 - 1));
    const double height = std::max(sc.source_height, 1e-3);
    const Moments moments(table_frames_, fs);
    Voix v = voix(layout_, sc, cycles * fs / table_frames_, height);
    const std::vector<float> field = physical ? champ(sc, fs, size_t(table_frames_), v) : std::vector<float>{};

    const size_t words = layout_.size();
    const uint32_t status = status_word(p.settings);
    Noise noise(sc.seed);
    for (uint64_t i = 0; i < table_frames_; ++i) {
        const double t = 2 * kPi * cycles * double(i) / double(table_frames_);
        const double st = std::sin(t), ct = std::cos(t);
        const double s1k = std::sin(2 * kPi * moments.cycles_1k * double(i) / double(table_frames_));
        unsigned char* frame = &table_[i * frame_bytes_];
        for (size_t w = 0; w < words; ++w) {
            const Word word = layout_[w];
            uint32_t x = 0;
            switch (word.kind) {
            case Word::Microphone:
                if (sc.test_pattern) {
                    x = sample_word(int32_t(kPatternMicrophone + v.heard[w]), float_samples_);
                } else {
                    // sin(t - phi) = sin t cos phi - cos t sin phi
                    double s = v.amp[w] * (st * v.cos_phi[w] - ct * v.sin_phi[w]) + v.noise_rms[w] * noise.gaussian();
                    if (!field.empty())
                        s += field[i * words + w];
                    s = avec_special(v.special[w], s, v.extra_amp[w], i, s1k, moments);
                    x = sample_word(to_int32(s), float_samples_);
                }
                break;
            case Word::Analogue:
                x = sample_word(int32_t(kPatternAnalogue + word.index), float_samples_);
                break;
            case Word::Filler:
                x = sc.test_pattern ? sample_word(int32_t(kPatternFiller), float_samples_) : 0;
                break;
            case Word::Status:
                x = status;
                break;
            case Word::Counter:
                break; // patched
            }
            put_le32(frame + 4 * w, x);
        }
    }

    for (size_t w = 0; w < words; ++w) {
        const Word word = layout_[w];
        if (word.kind == Word::Counter || (word.kind == Word::Analogue && !sc.test_pattern))
            patches_.push_back({int(4 * w), word});
    }
    sine_.resize(size_t(1) << kSineBits);
    for (size_t i = 0; i < sine_.size(); ++i)
        sine_[i] = to_int32(sc.analogue_amplitude * std::sin(2 * kPi * double(i) / sine_.size()));
    phase_step_ = uint32_t(std::llround(sc.analogue_hz / fs * 4294967296.0));
}

uint32_t FrameSource::counter(uint64_t frame) const
{
    const bool skipped = skip_frame_ >= 0 && frame >= uint64_t(skip_frame_);
    return first_counter_ + uint32_t(frame) + (skipped ? 1u : 0u);
}

void FrameSource::patch(uint64_t frame, unsigned char* bytes) const
{
    for (const Patch& p : patches_) {
        uint32_t v;
        if (p.word.kind == Word::Counter) {
            v = counter(frame) + uint32_t(p.word.index) * kCounterStep;
        } else {
            // Analogue channel v lags by v/16 of a period.
            const uint32_t phase = uint32_t(frame) * phase_step_ + uint32_t(p.word.index) * (1u << 28);
            v = sample_word(sine_[phase >> (32 - kSineBits)], float_samples_);
        }
        put_le32(bytes + p.byte, v);
    }
}

void FrameSource::render_frames(uint64_t frame, uint64_t count, unsigned char* dest) const
{
    while (count > 0) {
        const uint64_t t = frame % table_frames_;
        const uint64_t run = std::min(count, table_frames_ - t);
        std::memcpy(dest, &table_[t * frame_bytes_], run * frame_bytes_);
        if (!patches_.empty())
            for (uint64_t i = 0; i < run; ++i)
                patch(frame + i, dest + i * frame_bytes_);
        dest += run * frame_bytes_;
        frame += run;
        count -= run;
    }
}

void FrameSource::write(uint64_t offset, unsigned char* dest, size_t n)
{
    if (frame_bytes_ == 0 || n == 0)
        return;
    const uint64_t fb = uint64_t(frame_bytes_);
    uint64_t frame = offset / fb;
    const size_t inside = size_t(offset % fb);
    if (inside != 0) { // the tail of a frame begun earlier
        render_frames(frame, 1, scratch_.data());
        const size_t k = std::min(n, size_t(fb) - inside);
        std::memcpy(dest, scratch_.data() + inside, k);
        dest += k;
        n -= k;
        ++frame;
    }
    const uint64_t whole = n / fb;
    render_frames(frame, whole, dest);
    dest += whole * fb;
    n -= size_t(whole * fb);
    if (n != 0) { // the head of a frame finished later
        render_frames(frame + whole, 1, scratch_.data());
        std::memcpy(dest, scratch_.data(), n);
    }
}

} // namespace sim
