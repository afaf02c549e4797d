#include "base/horloge.h"

#include <chrono>
#include <ctime>
#include <thread>

#include "base/plateforme.h"

uint32_t SystemClock::tick_ms()
{
    using namespace std::chrono;
    return static_cast<uint32_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

DateHeure SystemClock::now()
{
    using namespace std::chrono;
    auto t = system_clock::now();
    std::time_t secs = system_clock::to_time_t(t);
    auto ms = duration_cast<milliseconds>(t.time_since_epoch()).count() % 1000;
    std::tm tm{};
    heure_locale(secs, tm);
    DateHeure d;
    d.year = static_cast<uint16_t>(tm.tm_year + 1900);
    d.month = static_cast<uint16_t>(tm.tm_mon + 1);
    d.day_of_week = static_cast<uint16_t>(tm.tm_wday);
    d.day = static_cast<uint16_t>(tm.tm_mday);
    d.hour = static_cast<uint16_t>(tm.tm_hour);
    d.minute = static_cast<uint16_t>(tm.tm_min);
    d.second = static_cast<uint16_t>(tm.tm_sec);
    d.milliseconds = static_cast<uint16_t>(ms);
    return d;
}

void SystemClock::sleep_ms(uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
