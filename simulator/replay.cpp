#include "simulator/replay.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "channels/canaux.h"
#include "simulator/frame_source.h"

namespace sim {

namespace {

constexpr size_t kBlockBytes = size_t(1) << 20; // recorded frames read at a time

void put_le32(unsigned char* p, uint32_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}

uint32_t float_bits(float f)
{
    uint32_t bits;
    std::memcpy(&bits, &f, 4);
    return bits;
}

float bits_float(uint32_t bits)
{
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
}

uint32_t nearest_int32(float f)
{
    if (!(f == f))
        return 0;
    if (f >= 2147483647.0f)
        return uint32_t(INT32_MAX);
    if (f <= -2147483648.0f)
        return uint32_t(INT32_MIN);
    return uint32_t(int32_t(std::lround(f)));
}

// Where each code sits in the recorded frame, -1 when absent.
struct Places {
    std::vector<int> micro = std::vector<int>(NB_MICROS, -1);
    std::vector<int> va = std::vector<int>(NB_VA, -1);
    int counter[4] = {-1, -1, -1, -1};
    int status = -1;

    explicit Places(const std::vector<int32_t>& codes)
    {
        for (size_t w = 0; w < codes.size(); ++w) {
            const int c = codes[w];
            if (c >= 0 && c < NB_MICROS)
                micro[c] = int(w);
            else if (c >= CODE_VA && c < CODE_VA + NB_VA)
                va[c - CODE_VA] = int(w);
            else if (c >= CODE_COMPTEUR_A && c < CODE_COMPTEUR_A + 4)
                counter[c - CODE_COMPTEUR_A] = int(w);
            else if (c == CODE_ETAT)
                status = int(w);
        }
    }
};

// "micros 0 à 7, 12" from ascending numbers.
std::string ranges(const char* what, const std::vector<int>& n)
{
    std::string s = what;
    for (size_t i = 0; i < n.size();) {
        size_t j = i;
        while (j + 1 < n.size() && n[j + 1] == n[j] + 1)
            ++j;
        s += i == 0 ? " " : ", ";
        s += std::to_string(n[i]);
        if (j > i)
            s += (j == i + 1 ? ", " : " à ") + std::to_string(n[j]);
        i = j + 1;
    }
    return s;
}

std::string short_name(const std::string& path)
{
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool presence_test(const Settings& s)
{
    if (s.sample_count != 255 || s.frequency_hz() != 50000 || s.selection.beams[0] != 0xFF)
        return false;
    for (int f = 1; f < 128; ++f)
        if (s.selection.beams[f] != 0)
            return false;
    for (uint8_t b : s.selection.blocks)
        if (b != 0)
            return false;
    return true;
}

} // namespace

std::string load_recording(const std::string& dat, Recording& r)
{
    Enregistrement e;
    lit_enregistrement(dat, e);
    if (!e.lisible) {
        std::string s = "Rejeu impossible de " + dat + " :";
        for (const std::string& p : e.problemes)
            s += "\n  " + p;
        if (e.problemes.empty())
            s += " trames illisibles";
        return s;
    }
    if (e.nb_trames == 0)
        return "Rejeu impossible de " + dat + " : aucune trame entière";
    r = Recording{};
    r.dat = dat;
    r.codes = e.disposition.codes;
    r.frames = e.nb_trames;
    r.division = std::max(1, int(std::lround(kBaseClockHz / double(e.frequence))));
    r.float_samples = e.flottant;
    r.remarks = e.problemes;
    r.remarks.insert(r.remarks.end(), e.remarques.begin(), e.remarques.end());
    return std::string();
}

std::string recording_summary(const Recording& r)
{
    int micros = 0, va = 0;
    for (int32_t c : r.codes) {
        micros += c >= 0 && c < NB_MICROS;
        va += c >= CODE_VA && c < CODE_VA + NB_VA;
    }
    return "rejeu de " + short_name(r.dat) + " : " + std::to_string(micros) + " micros, " + std::to_string(va) +
           " VA, " + std::to_string(r.frames) + " trames à " + std::to_string(kBaseClockHz / r.division) + " Hz, " +
           (r.float_samples ? "flottants" : "entiers") + ", en boucle";
}

std::string replay_notice(const Recording& r, const Settings& s)
{
    if (presence_test(s))
        return std::string();
    const Places at(r.codes);
    std::vector<int> micros, va;
    for (int m = 0; m < NB_MICROS; ++m)
        if (s.selection.microphone(m) && at.micro[m] < 0)
            micros.push_back(m);
    for (int v = 0; v < NB_VA; ++v)
        if (s.selection.analogue(v) && at.va[v] < 0)
            va.push_back(v);
    std::string text;
    if (!micros.empty() || !va.empty()) {
        text += "Rejeu : " + short_name(r.dat) + " n'a pas ";
        if (!micros.empty())
            text += ranges(micros.size() > 1 ? "les micros" : "le micro", micros);
        if (!micros.empty() && !va.empty())
            text += " ni ";
        if (!va.empty())
            text += ranges(va.size() > 1 ? "les VA" : "la VA", va);
        text += " : ces voies sont à zéro.\r\n";
    }
    if (s.division() != r.division) {
        char ratio[32];
        std::snprintf(ratio, sizeof ratio, "%.3g", double(r.division) / s.division());
        text += "Rejeu : " + short_name(r.dat) + " a été enregistré à " + std::to_string(kBaseClockHz / r.division) +
                " Hz ; rejoué à " + std::to_string(s.frequency_hz()) + " Hz, il passe " +
                (s.division() < r.division ? "plus vite" : "plus lentement") +
                " (fréquences des sons multipliées par " + ratio + ").\r\n";
    }
    return text;
}

ReplaySource::ReplaySource(std::shared_ptr<const Recording> recording, const Params& p)
    : recording_(std::move(recording)), recorded_words_(int(recording_->codes.size())),
      status_(status_word(p.settings)), first_counter_(p.first_counter), skip_frame_(p.skip_frame)
{
    const Places at(recording_->codes);
    recorded_counter_a_ = at.counter[0];
    const bool to_float = p.settings.sample_type == SampleType::Float;
    const Source::Kind sample =
        to_float == recording_->float_samples ? Source::Copy : (to_float ? Source::ToFloat : Source::ToInteger);
    for (const Word& word : frame_layout(p.settings.selection, p.extra_words)) {
        Source src{Source::Zero, -1, 0};
        switch (word.kind) {
        case Word::Microphone:
            src.word = at.micro[word.index];
            break;
        case Word::Analogue:
            src.word = at.va[word.index];
            break;
        case Word::Counter:
            src.kind = word.index == 0 ? Source::CounterA : Source::Counter;
            src.word = at.counter[word.index];
            src.offset = uint32_t(word.index) * kCounterStep;
            break;
        case Word::Status:
            src.kind = Source::Status;
            src.word = at.status;
            break;
        case Word::Filler:
            break;
        }
        if ((word.kind == Word::Microphone || word.kind == Word::Analogue) && src.word >= 0)
            src.kind = sample;
        sources_.push_back(src);
    }
    frame_bytes_ = int(sources_.size()) * 4;
    scratch_.resize(size_t(frame_bytes_));
}

uint32_t ReplaySource::counter(uint64_t frame) const
{
    const bool skipped = skip_frame_ >= 0 && frame >= uint64_t(skip_frame_);
    return first_counter_ + uint32_t(frame) + (skipped ? 1u : 0u);
}

const uint32_t* ReplaySource::recorded(uint64_t frame)
{
    if (frame < block_first_ || frame >= block_first_ + block_count_) {
        std::string error;
        if (!open_ || frame != block_first_ + block_count_) {
            open_ = reader_.ouvre(recording_->dat, recorded_words_, frame, error) == 0;
            if (!open_)
                return nullptr;
        }
        const size_t n =
            size_t(std::min<uint64_t>(trames_par_bloc(recorded_words_, kBlockBytes), recording_->frames - frame));
        block_.resize(n * size_t(recorded_words_));
        const int64_t got = reader_.lit(block_.data(), n);
        block_first_ = frame;
        block_count_ = got > 0 ? uint64_t(got) : 0;
        if (block_count_ == 0) {
            open_ = false; // the file shrank or failed: zeros, and try again later
            return nullptr;
        }
    }
    return &block_[size_t(frame - block_first_) * size_t(recorded_words_)];
}

void ReplaySource::render(uint64_t frame, unsigned char* dest)
{
    const uint32_t* rec = recorded(frame % recording_->frames);
    const uint32_t a = counter(frame);
    // Recorded counters keep their distance to recorded counter A.
    const uint32_t shift = rec && recorded_counter_a_ >= 0 ? a - rec[recorded_counter_a_] : 0;
    for (size_t w = 0; w < sources_.size(); ++w) {
        const Source& s = sources_[w];
        const bool have = rec && s.word >= 0;
        uint32_t v = 0;
        switch (s.kind) {
        case Source::Zero:
            break;
        case Source::Copy:
            v = have ? rec[s.word] : 0;
            break;
        case Source::ToFloat:
            v = have ? float_bits(float(int32_t(rec[s.word]))) : 0;
            break;
        case Source::ToInteger:
            v = have ? nearest_int32(bits_float(rec[s.word])) : 0;
            break;
        case Source::CounterA:
            v = a;
            break;
        case Source::Counter:
            v = have ? rec[s.word] + shift : a + s.offset;
            break;
        case Source::Status:
            v = have ? rec[s.word] : status_;
            break;
        }
        put_le32(dest + 4 * w, v);
    }
}

void ReplaySource::write(uint64_t offset, unsigned char* dest, size_t n)
{
    if (frame_bytes_ == 0 || n == 0)
        return;
    const uint64_t fb = uint64_t(frame_bytes_);
    uint64_t frame = offset / fb;
    size_t inside = size_t(offset % fb);
    while (n > 0) {
        const size_t k = std::min(n, size_t(fb) - inside);
        if (inside == 0 && k == size_t(fb)) {
            render(frame, dest);
        } else { // part of a frame
            render(frame, scratch_.data());
            std::memcpy(dest, scratch_.data() + inside, k);
        }
        dest += k;
        n -= k;
        inside = 0;
        ++frame;
    }
}

} // namespace sim
