#include <algorithm>
#include <chrono>

#include "device/usb.h"

int usb::repete_si_interrompu(const std::function<int(int)>& attente, int timeout_ms)
{
    using Horloge = std::chrono::steady_clock;
    const Horloge::time_point fin = Horloge::now() + std::chrono::milliseconds(std::max(0, timeout_ms));
    int reste = timeout_ms < 0 ? -1 : timeout_ms;
    for (;;) {
        const int r = attente(reste);
        if (r != ERROR_INTERRUPTED)
            return r;
        if (timeout_ms < 0)
            continue;
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(fin - Horloge::now()).count();
        if (ms <= 0)
            return SUCCESS;
        reste = static_cast<int>(ms);
    }
}
