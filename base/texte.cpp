#include "base/texte.h"

void ajoute_utf8(std::string& out, uint32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

std::vector<std::string> lignes_de(const std::string& texte)
{
    std::vector<std::string> out;
    std::string courante;
    for (size_t i = 0; i < texte.size(); ++i) {
        char ch = texte[i];
        if (ch == '\r' || ch == '\n') {
            out.push_back(courante);
            courante.clear();
            if (ch == '\r' && i + 1 < texte.size() && texte[i + 1] == '\n')
                ++i;
        } else {
            courante += ch;
        }
    }
    if (!courante.empty())
        out.push_back(courante);
    return out;
}

namespace {

// Code points 0x80..0x9F of Windows-1252.
const uint16_t CP1252_HIGH[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
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
