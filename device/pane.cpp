#include "device/pane.h"

namespace {

bool continuation(unsigned char c) { return (c & 0xC0) == 0x80; }

std::size_t count_chars(const std::string& s)
{
    std::size_t n = 0;
    for (unsigned char c : s)
        n += !continuation(c);
    return n;
}

} // namespace

std::size_t Pane::characters() const { return count_chars(text); }

void Pane::append(const std::string& s)
{
    text += s;
    if (on_append)
        on_append(s);
    if (text.size() <= LIMITE) // never more characters than bytes
        return;
    std::size_t n = count_chars(text);
    if (n <= LIMITE)
        return;
    // Drop the oldest text down to nine tenths of the limit, so that a full
    // pane is not trimmed again at every message, then up to the next line
    // end so the pane starts on a whole line when one is near.
    std::size_t excess = n - LIMITE / 10 * 9, cut = 0;
    while (cut < text.size() && excess > 0) {
        ++cut;
        while (cut < text.size() && continuation(static_cast<unsigned char>(text[cut])))
            ++cut;
        --excess;
    }
    std::size_t nl = text.find('\n', cut);
    if (nl != std::string::npos && nl - cut < 2000)
        cut = nl + 1;
    text.erase(0, cut);
}
