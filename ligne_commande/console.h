// A progress line on a terminal, for the command-line tools.
#pragma once

#include <cstdint>
#include <cstdio>

#ifdef _WIN32
#include <io.h>
#define ONDARIS_ISATTY _isatty
#define ONDARIS_FILENO _fileno
#else
#include <unistd.h>
#define ONDARIS_ISATTY isatty
#define ONDARIS_FILENO fileno
#endif

// "Export : 37 %" on stderr, rewritten in place, only when stderr is a
// terminal and only when the percentage changes.
class Progression {
public:
    Progression(const char* libelle, uint64_t total)
        : libelle_(libelle), total_(total), tty_(ONDARIS_ISATTY(ONDARIS_FILENO(stderr)) != 0)
    {}
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
