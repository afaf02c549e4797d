// CPU time of the calling thread, in seconds, for the benchmarks.
#pragma once

#include <ctime>

inline double cpu_fil()
{
#if defined(CLOCK_THREAD_CPUTIME_ID)
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec + 1e-9 * t.tv_nsec;
#else
    return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
#endif
}
