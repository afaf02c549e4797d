// Pieces the command-line tools share: a number argument read whole, a
// progress line on a terminal.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#ifdef _WIN32
#include <io.h>
#define ONDARIS_ISATTY _isatty
#define ONDARIS_FILENO _fileno
#else
#include <unistd.h>
#define ONDARIS_ISATTY isatty
#define ONDARIS_FILENO fileno
#endif

// `s` read whole as a number; false when anything else is in it.
inline bool nombre(const char* s, double& v)
{
    char* fin = nullptr;
    v = std::strtod(s, &fin);
    return fin && fin != s && *fin == '\0';
}

// "Export : 37 %" on stderr, rewritten in place, only when stderr is a
// terminal and only when the percentage changes.
class Progression {
public:
    Progression(const char* libelle, uint64_t total)
        : libelle_(libelle), total_(total), tty_(ONDARIS_ISATTY(ONDARIS_FILENO(stderr)) != 0)
    {
    }
    void avance(uint64_t fait)
    {
        if (!tty_ || total_ == 0)
            return;
        int pct = static_cast<int>(fait * 100 / total_);
        if (pct == pct_)
            return;
        pct_ = pct;
        std::fprintf(stderr, "\r\033[K%s : %d %%", libelle_, pct);
        std::fflush(stderr);
    }
    void fin()
    {
        if (tty_ && pct_ >= 0)
            std::fputs("\r\033[K", stderr);
        pct_ = -1;
    }

private:
    const char* libelle_;
    uint64_t total_;
    bool tty_;
    int pct_ = -1;
};
