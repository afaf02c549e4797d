#include "simulator/microphones.h"

#include <cstdlib>

namespace sim {

namespace {

const char* const kWords[] = {"muet",    "fige",   "sature", "bruit",   "continu", "",
                              "coupure", "ecrete", "sourd",  "inverse", "claque",  "ronfle"};
const MicFault::Kind kKinds[] = {MicFault::Dead,     MicFault::Stuck,   MicFault::Clipping, MicFault::Noisy,
                                 MicFault::DcOffset, MicFault::Dropout, MicFault::FlatTop,  MicFault::Deaf,
                                 MicFault::Inverted, MicFault::Bang,    MicFault::Hum};
constexpr size_t kNbKinds = sizeof kKinds / sizeof kKinds[0];

// A microphone number 0..1023, digits only.
bool read_microphone(const std::string& s, int& m)
{
    if (s.empty() || s.size() > 4 || s.find_first_not_of("0123456789") != std::string::npos)
        return false;
    m = std::atoi(s.c_str());
    return m < 1024;
}

std::string refusal(const std::string& item, const std::string& why)
{
    return "--sim-defauts : « " + item + " » : " + why;
}

} // namespace

std::string parse_faults(const std::string& text, std::vector<MicFault>& faults)
{
    std::vector<MicFault> read;
    std::vector<bool> faulty(1024, false), swapped(1024, false);
    size_t begin = 0;
    while (true) {
        const size_t comma = text.find(',', begin);
        const std::string item = text.substr(begin, comma == std::string::npos ? std::string::npos : comma - begin);
        if (item.empty())
            return "--sim-defauts : élément vide, MICRO:DÉFAUT attendu entre les virgules";
        const size_t colon = item.find(':');
        if (colon == std::string::npos)
            return refusal(item, "MICRO:DÉFAUT attendu (par exemple 3:muet ou 12-13:permute)");
        const std::string who = item.substr(0, colon), what = item.substr(colon + 1);
        if (what == "permute") {
            const size_t dash = who.find('-');
            MicFault f{MicFault::Swap, 0, 0};
            if (dash == std::string::npos || !read_microphone(who.substr(0, dash), f.microphone) ||
                !read_microphone(who.substr(dash + 1), f.other))
                return refusal(item, "deux micros de 0 à 1023 attendus (A-B:permute)");
            if (f.microphone == f.other)
                return refusal(item, "un micro ne s'échange pas avec lui-même");
            if (swapped[f.microphone] || swapped[f.other])
                return refusal(item, "un micro est déjà échangé");
            swapped[f.microphone] = swapped[f.other] = true;
            read.push_back(f);
        } else {
            MicFault f;
            if (!read_microphone(who, f.microphone))
                return refusal(item, "micro de 0 à 1023 attendu");
            size_t k = 0;
            while (k < kNbKinds && what != kWords[kKinds[k]])
                ++k;
            if (k == kNbKinds)
                return refusal(item, "défaut inconnu ; muet, fige, sature, bruit, continu, coupure, ecrete, sourd, "
                                     "inverse, claque, ronfle, ou A-B:permute");
            if (faulty[f.microphone])
                return refusal(item, "ce micro a déjà un défaut");
            faulty[f.microphone] = true;
            f.kind = kKinds[k];
            read.push_back(f);
        }
        if (comma == std::string::npos)
            break;
        begin = comma + 1;
    }
    faults = read;
    return "";
}

std::string faults_text(const std::vector<MicFault>& faults)
{
    std::string t;
    for (const MicFault& f : faults) {
        if (!t.empty())
            t += ',';
        if (f.kind == MicFault::Swap)
            t += std::to_string(f.microphone) + '-' + std::to_string(f.other) + ":permute";
        else
            t += std::to_string(f.microphone) + ':' + kWords[f.kind];
    }
    return t;
}

std::string parse_calibrator(const std::string& text, Calibrator& calibrator)
{
    const size_t colon = text.find(':');
    Calibrator c;
    char* end = nullptr;
    if (colon != std::string::npos && colon + 1 < text.size())
        c.level_db = std::strtod(text.c_str() + colon + 1, &end);
    if (colon == std::string::npos || !end || *end != '\0' || !read_microphone(text.substr(0, colon), c.microphone))
        return "--sim-calibreur : MICRO:DB attendu, par exemple 17:94 (micro 0 à 1023, dB SPL)";
    if (!(c.level_db >= 0 && c.level_db <= 160))
        return "--sim-calibreur : niveau de 0 à 160 dB SPL";
    calibrator = c;
    return "";
}

int heard_by(const std::vector<MicFault>& faults, int microphone)
{
    for (const MicFault& f : faults)
        if (f.kind == MicFault::Swap) {
            if (f.microphone == microphone)
                return f.other;
            if (f.other == microphone)
                return f.microphone;
        }
    return microphone;
}

const MicFault* fault_of(const std::vector<MicFault>& faults, int microphone)
{
    for (const MicFault& f : faults)
        if (f.kind != MicFault::Swap && f.microphone == microphone)
            return &f;
    return nullptr;
}

} // namespace sim
