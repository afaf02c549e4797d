#include "files/header.h"

#include "channels/canaux.h"

#include <cstring>

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
    const uint16_t date[8] = {d.wYear, d.wMonth, d.wDayOfWeek, d.wDay, d.wHour, d.wMinute, d.wSecond, d.wMilliseconds};
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

Selection selection_de_header(const type_header_file& h)
{
    Selection s;
    for (int f = 0; f < NB_FAISCEAUX; ++f)
        for (int j = 0; j < 8; ++j)
            s.micros[f][j] = h.micros_actifs[f][j] == 1;
    for (int v = 0; v < NB_VA; ++v)
        s.va[v] = h.va_actives[v / 4][v % 4] == 1;
    for (int c = 0; c < 4; ++c)
        s.compteurs[c] = h.compteurs_actifs[c] == 1;
    return s;
}

void ecrit_selection(type_header_file& h, const Selection& s)
{
    for (int f = 0; f < NB_FAISCEAUX; ++f)
        for (int j = 0; j < 8; ++j)
            h.micros_actifs[f][j] = s.micros[f][j] ? 1 : 0;
    for (int v = 0; v < NB_VA; ++v)
        h.va_actives[v / 4][v % 4] = s.va[v] ? 1 : 0;
    for (int c = 0; c < 4; ++c)
        h.compteurs_actifs[c] = s.compteurs[c] ? 1 : 0;
}
