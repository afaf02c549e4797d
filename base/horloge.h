// The clock: millisecond tick, local date and time, sleep.
#pragma once

#include <cstdint>

struct DateHeure {
    uint16_t year = 0, month = 0, day_of_week = 0, day = 0;
    uint16_t hour = 0, minute = 0, second = 0, milliseconds = 0;
};

class Clock {
public:
    virtual ~Clock() = default;
    // Milliseconds since an arbitrary origin; differences are taken modulo 2^32.
    virtual uint32_t tick_ms() = 0;
    virtual DateHeure now() = 0;
    virtual void sleep_ms(uint32_t ms) = 0;
};

// The machine's clock.
class SystemClock : public Clock {
public:
    uint32_t tick_ms() override;
    DateHeure now() override;
    void sleep_ms(uint32_t ms) override;
};
