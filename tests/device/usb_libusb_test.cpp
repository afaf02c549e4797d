#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "device/usb_libusb.h"

#ifdef __linux__
#include <pthread.h>
#include <signal.h>
#endif

namespace {

#ifdef __linux__

extern "C" void ignore_signal(int) {}

// A signal that reaches the thread while libusb waits for events (Ctrl-C)
// makes the wait return LIBUSB_ERROR_INTERRUPTED; the call goes on instead.
TEST(LibusbEvents, SignalDuringTheWaitIsNotAnError)
{
    LibusbApi usb;
    if (usb.init() != 0)
        GTEST_SKIP() << "libusb ne démarre pas sur cette machine";
    struct sigaction sa {
    }, avant{};
    sa.sa_handler = ignore_signal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGUSR1, &sa, &avant);
    const pthread_t moi = pthread_self();
    std::thread signal([moi] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        pthread_kill(moi, SIGUSR1);
    });
    const auto debut = std::chrono::steady_clock::now();
    const int r = usb.handle_events_timeout(300);
    const auto duree = std::chrono::steady_clock::now() - debut;
    signal.join();
    sigaction(SIGUSR1, &avant, nullptr);
    usb.exit();
    EXPECT_EQ(r, usb::SUCCESS);
    EXPECT_GE(duree, std::chrono::milliseconds(250)); // the wait went on after the signal
}

#endif

} // namespace
