// The live consumers' copy of the stream: frames rebuilt across packets cut
// anywhere, and packets left out, never waited for, while the consumer is
// busy.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <vector>

#include "direct/prise_trames.h"

namespace {

constexpr int MOTS = 3; // words per frame

// Word w of frame f is 100 f + w.
std::vector<unsigned char> flux(int trames)
{
    std::vector<uint32_t> mots;
    for (int f = 0; f < trames; ++f)
        for (int w = 0; w < MOTS; ++w)
            mots.push_back(static_cast<uint32_t>(100 * f + w));
    std::vector<unsigned char> octets(4 * mots.size());
    std::memcpy(octets.data(), mots.data(), octets.size());
    return octets;
}

struct Bloc {
    std::vector<int> trames; // frame numbers, from their first word
    bool suite;
    bool intactes = true;
};

Bloc bloc_de(const uint32_t* mots, size_t n, bool suite)
{
    Bloc b{{}, suite};
    for (size_t i = 0; i < n; ++i) {
        const int f = static_cast<int>(mots[MOTS * i] / 100);
        b.trames.push_back(f);
        for (int w = 0; w < MOTS; ++w)
            b.intactes = b.intactes && mots[MOTS * i + w] == static_cast<uint32_t>(100 * f + w);
    }
    return b;
}

} // namespace

TEST(PriseTrames, FramesAcrossPackets)
{
    const std::vector<unsigned char> octets = flux(8);
    std::vector<Bloc> blocs;
    PriseTrames prise(
        MOTS, [&](const uint32_t* m, size_t n, bool suite) { blocs.push_back(bloc_de(m, n, suite)); }, 16);
    uint64_t position = 0;
    for (uint32_t n : {7u, 20u, 5u, 1u, 30u, 13u, 12u, 8u}) {
        prise.paquet(octets.data() + position, n, position);
        position += n;
    }
    ASSERT_EQ(position, octets.size());
    EXPECT_TRUE(prise.termine(10000));
    EXPECT_EQ(prise.paquets_ignores(), 0u);
    std::vector<int> trames;
    for (size_t i = 0; i < blocs.size(); ++i) {
        EXPECT_TRUE(blocs[i].intactes);
        EXPECT_EQ(blocs[i].suite, i > 0);
        trames.insert(trames.end(), blocs[i].trames.begin(), blocs[i].trames.end());
    }
    EXPECT_EQ(trames, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7}));
}

// Two buffers: while the consumer holds the first block and the second
// waits, a third packet is left out at once. The block after it starts at
// its packet's first frame boundary and does not follow.
TEST(PriseTrames, LeavesOutPacketsWithoutWaiting)
{
    const std::vector<unsigned char> octets = flux(10);
    std::mutex m;
    std::condition_variable cv;
    int recus = 0, liberes = 0;
    std::vector<Bloc> blocs;
    PriseTrames prise(
        MOTS,
        [&](const uint32_t* mots, size_t n, bool suite) {
            std::unique_lock<std::mutex> l(m);
            blocs.push_back(bloc_de(mots, n, suite));
            ++recus;
            cv.notify_all();
            const int moi = recus;
            cv.wait_for(l, std::chrono::seconds(10), [&] { return liberes >= moi; });
        },
        2);
    auto attend_recus = [&](int n) {
        std::unique_lock<std::mutex> l(m);
        return cv.wait_for(l, std::chrono::seconds(10), [&] { return recus >= n; });
    };
    auto libere = [&] {
        std::lock_guard<std::mutex> l(m);
        ++liberes;
        cv.notify_all();
    };

    prise.paquet(octets.data(), 30, 0); // frames 0, 1 and half of 2
    ASSERT_TRUE(attend_recus(1));
    prise.paquet(octets.data() + 30, 30, 30); // the rest of 2, then 3, 4
    const auto avant = std::chrono::steady_clock::now();
    prise.paquet(octets.data() + 60, 30, 60); // no buffer: left out
    EXPECT_LT(std::chrono::steady_clock::now() - avant, std::chrono::seconds(1));
    EXPECT_EQ(prise.paquets_ignores(), 1u);
    libere();
    // The consumer holds the second block: the first buffer is free.
    ASSERT_TRUE(attend_recus(2));
    prise.paquet(octets.data() + 90, 30, 90); // from byte 96: frames 8, 9
    libere();
    ASSERT_TRUE(attend_recus(3));
    libere();
    EXPECT_TRUE(prise.termine(10000));

    ASSERT_EQ(blocs.size(), 3u);
    EXPECT_EQ(blocs[0].trames, (std::vector<int>{0, 1}));
    EXPECT_EQ(blocs[1].trames, (std::vector<int>{2, 3, 4}));
    EXPECT_EQ(blocs[2].trames, (std::vector<int>{8, 9}));
    EXPECT_TRUE(blocs[1].suite);
    EXPECT_FALSE(blocs[2].suite);
    for (const Bloc& b : blocs)
        EXPECT_TRUE(b.intactes);
}

// A packet left out, then one too short to reach the next frame boundary
// (a transfer that failed after a few bytes): the packet after them still
// starts at its first frame boundary.
TEST(PriseTrames, RealignsAfterAShortPacket)
{
    const std::vector<unsigned char> octets = flux(10);
    std::mutex m;
    std::condition_variable cv;
    int recus = 0, liberes = 0;
    std::vector<Bloc> blocs;
    PriseTrames prise(
        MOTS,
        [&](const uint32_t* mots, size_t n, bool suite) {
            std::unique_lock<std::mutex> l(m);
            blocs.push_back(bloc_de(mots, n, suite));
            ++recus;
            cv.notify_all();
            const int moi = recus;
            cv.wait_for(l, std::chrono::seconds(10), [&] { return liberes >= moi; });
        },
        2);
    auto attend_recus = [&](int n) {
        std::unique_lock<std::mutex> l(m);
        return cv.wait_for(l, std::chrono::seconds(10), [&] { return recus >= n; });
    };
    auto libere = [&] {
        std::lock_guard<std::mutex> l(m);
        ++liberes;
        cv.notify_all();
    };

    prise.paquet(octets.data(), 24, 0); // frames 0, 1
    ASSERT_TRUE(attend_recus(1));
    prise.paquet(octets.data() + 24, 24, 24); // frames 2, 3, waiting
    prise.paquet(octets.data() + 48, 28, 48); // no buffer: left out
    EXPECT_EQ(prise.paquets_ignores(), 1u);
    libere();
    ASSERT_TRUE(attend_recus(2));
    prise.paquet(octets.data() + 76, 4, 76);  // inside frame 6: nothing whole
    prise.paquet(octets.data() + 80, 40, 80); // from byte 84: frames 7, 8, 9
    libere();
    ASSERT_TRUE(attend_recus(3));
    libere();
    EXPECT_TRUE(prise.termine(10000));

    ASSERT_EQ(blocs.size(), 3u);
    EXPECT_EQ(blocs[2].trames, (std::vector<int>{7, 8, 9}));
    EXPECT_FALSE(blocs[2].suite);
    for (const Bloc& b : blocs)
        EXPECT_TRUE(b.intactes);
}
