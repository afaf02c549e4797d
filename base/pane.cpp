#include "base/pane.h"

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

std::size_t Pane::characters() const
{
    if (counted_bytes_ != text.size()) {
        chars_ = count_chars(text);
        counted_bytes_ = text.size();
    }
    return chars_;
}

void Pane::append(const std::string& s)
{
    const std::size_t avant = characters();
    text += s;
    chars_ = avant + count_chars(s);
    counted_bytes_ = text.size();
    if (on_append)
        on_append(s);
    std::size_t n = chars_;
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
    chars_ = count_chars(text);
    counted_bytes_ = text.size();
}
