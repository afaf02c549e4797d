#include "files/header.h"

#include <cstring>

#include "files/lignes.h"

void init_header(type_header_file& h)
{
    std::memset(&h, 0, sizeof h);
    std::memset(h.micros_actifs, 1, sizeof h.micros_actifs);
    std::memset(h.texte_commentaire, ' ', sizeof h.texte_commentaire);
}

namespace {

void put16(uint8_t* p, uint16_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

void put32(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

uint32_t float_bits(float f)
{
    uint32_t u;
    std::memcpy(&u, &f, 4);
    return u;
}

} // namespace

std::array<uint8_t, HEADER_FILE_SIZE> header_bytes(const type_header_file& h)
{
    std::array<uint8_t, HEADER_FILE_SIZE> out{};
    uint8_t* p = out.data();
    const type_date_heure& d = h.date_heure;
    const uint16_t date[8] = {d.wYear, d.wMonth, d.wDayOfWeek, d.wDay,
                              d.wHour, d.wMinute, d.wSecond, d.wMilliseconds};
    for (int i = 0; i < 8; ++i)
        put16(p + 2 * i, date[i]);
    std::memcpy(p + 16, h.micros_actifs, 1024);
    std::memcpy(p + 1040, h.va_actives, 16);
    std::memcpy(p + 1056, h.compteurs_actifs, 4);
    put32(p + 1060, float_bits(h.freq));
    put32(p + 1064, h.nb_ech);
    put32(p + 1068, float_bits(h.duree_acq));
    p[1072] = h.type_float;
    std::memcpy(p + 1073, h.texte_commentaire, 1024);
    return out;
}

type_header_file header_de_bytes(const uint8_t* p)
{
    auto get16 = [p](int o) { return static_cast<uint16_t>(p[o] | p[o + 1] << 8); };
    auto get32 = [p](int o) {
        return static_cast<uint32_t>(p[o]) | static_cast<uint32_t>(p[o + 1]) << 8 |
               static_cast<uint32_t>(p[o + 2]) << 16 | static_cast<uint32_t>(p[o + 3]) << 24;
    };
    auto get_float = [&](int o) {
        uint32_t u = get32(o);
        float f;
        std::memcpy(&f, &u, 4);
        return f;
    };
    type_header_file h;
    h.date_heure = {get16(0), get16(2), get16(4), get16(6), get16(8), get16(10), get16(12), get16(14)};
    std::memcpy(h.micros_actifs, p + 16, 1024);
    std::memcpy(h.va_actives, p + 1040, 16);
    std::memcpy(h.compteurs_actifs, p + 1056, 4);
    h.freq = get_float(1060);
    h.nb_ech = get32(1064);
    h.duree_acq = get_float(1068);
    h.type_float = p[1072];
    std::memcpy(h.texte_commentaire, p + 1073, 1024);
    return h;
}

uint32_t nb_ech_de(uint64_t octets, int nb_voies)
{
    return nb_voies > 0 ? static_cast<uint32_t>((octets / 4) / static_cast<uint64_t>(nb_voies)) : 0;
}

float duree_de(uint32_t nb_ech, float frequence)
{
    return frequence > 0
               ? static_cast<float>(static_cast<double>(static_cast<float>(nb_ech)) / static_cast<double>(frequence))
               : 0.0f;
}

int ecrit_header(const type_header_file& h, std::FILE* f)
{
    if (!f)
        return -1;
    auto bytes = header_bytes(h);
    return std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size() ? 0 : -1;
}

namespace {

// Code points 0x80..0x9F of Windows-1252.
const uint16_t CP1252_HIGH[32] = {
    0x20AC, 0, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0, 0x017D, 0,
    0, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0, 0x017E, 0x0178,
};

char cp1252_of(uint32_t cp)
{
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF))
        return static_cast<char>(cp);
    for (int i = 0; i < 32; ++i)
        if (CP1252_HIGH[i] != 0 && CP1252_HIGH[i] == cp)
            return static_cast<char>(0x80 + i);
    return '?';
}

} // namespace

std::string utf8_vers_cp1252(const std::string& s)
{
    std::string out;
    out.reserve(s.size());
    size_t i = 0;
    while (i < s.size()) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        uint32_t cp;
        int extra;
        if (c < 0x80) {
            cp = c;
            extra = 0;
        } else if ((c & 0xE0) == 0xC0) {
            cp = c & 0x1F;
            extra = 1;
        } else if ((c & 0xF0) == 0xE0) {
            cp = c & 0x0F;
            extra = 2;
        } else if ((c & 0xF8) == 0xF0) {
            cp = c & 0x07;
            extra = 3;
        } else {
            out += '?';
            ++i;
            continue;
        }
        bool ok = true;
        for (int k = 1; k <= extra; ++k) {
            if (i + k >= s.size() || (static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) {
                ok = false;
                break;
            }
            cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
        }
        if (!ok) {
            out += '?';
            ++i;
            continue;
        }
        out += cp1252_of(cp);
        i += 1 + extra;
    }
    return out;
}

std::string cp1252_vers_utf8(const std::string& s)
{
    std::string out;
    out.reserve(s.size());
    for (char ch : s) {
        unsigned char c = static_cast<unsigned char>(ch);
        uint32_t cp = c;
        if (c >= 0x80 && c < 0xA0)
            cp = CP1252_HIGH[c - 0x80] != 0 ? CP1252_HIGH[c - 0x80] : 0xFFFD;
        ajoute_utf8(out, cp);
    }
    return out;
}
