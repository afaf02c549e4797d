// The array's microphones: the option texts, a swap, the calibrator and the
// sensitivities the box reports.
#include <gtest/gtest.h>

#include <cmath>

#include "harness.h"

using namespace simtest;

TEST(SimulatedArray, OptionTexts)
{
    using K = sim::MicFault;
    std::vector<sim::MicFault> f;
    ASSERT_EQ(sim::parse_faults("3:muet,17:sature,200:bruit,511:continu,700:fige,12-13:permute", f), "");
    const std::vector<sim::MicFault> expected = {{K::Dead, 3},       {K::Clipping, 17}, {K::Noisy, 200},
                                                 {K::DcOffset, 511}, {K::Stuck, 700},   {K::Swap, 12, 13}};
    EXPECT_EQ(f, expected);
    EXPECT_EQ(sim::faults_text(f), "3:muet,17:sature,200:bruit,511:continu,700:fige,12-13:permute");
    ASSERT_EQ(sim::parse_faults("1023:fige,12-13:permute,13:bruit", f), ""); // a swapped microphone may be faulty

    // Each refusal names the item and leaves the faults as they were.
    struct Refus {
        const char* texte;
        const char* cite;
    } const refus[] = {
        {"", "élément vide"},
        {"3:muet,", "élément vide"},
        {"3", "« 3 »"},
        {"1024:muet", "« 1024:muet »"},
        {"-1:muet", "« -1:muet »"},
        {"3:mute", "défaut inconnu"},
        {"3:muet,3:bruit", "« 3:bruit » : ce micro a déjà un défaut"},
        {"12-12:permute", "lui-même"},
        {"12-13:permute,13-14:permute", "déjà échangé"},
        {"12:permute", "A-B:permute"},
        {"12-:permute", "A-B:permute"},
    };
    for (const Refus& r : refus) {
        SCOPED_TRACE(r.texte);
        const std::string message = sim::parse_faults(r.texte, f);
        EXPECT_EQ(message.rfind("--sim-defauts : ", 0), 0u) << message;
        EXPECT_NE(message.find(r.cite), std::string::npos) << message;
        EXPECT_EQ(f.size(), 3u);
    }

    sim::Calibrator c;
    ASSERT_EQ(sim::parse_calibrator("17:94", c), "");
    EXPECT_EQ(c.microphone, 17);
    EXPECT_EQ(c.level_db, 94.0);
    ASSERT_EQ(sim::parse_calibrator("1023:113.5", c), "");
    EXPECT_EQ(c.level_db, 113.5);
    for (const char* t : {"17", "17:", ":94", "1024:94", "17:94dB", "17:-1", "17:161", "a:94"}) {
        SCOPED_TRACE(t);
        EXPECT_EQ(sim::parse_calibrator(t, c).rfind("--sim-calibreur : ", 0), 0u);
        EXPECT_EQ(c.microphone, 1023);
    }
}

// Words 12 and 13 carry each other's microphone; the rest stay in place.
TEST(SimulatedArray, SwapCrossesTwoWords)
{
    sim::Options o = unpaced();
    o.scene.test_pattern = true;
    ASSERT_EQ(sim::parse_faults("12-13:permute,5:muet", o.scene.faults), "");
    Harness h(o);
    h.select_words(16);
    h.count(2);
    h.queue(1, 4096);
    h.start();
    ASSERT_TRUE(h.run_to_end());
    const std::vector<uint32_t> w = h.words();
    ASSERT_EQ(w.size(), 32u);
    for (int m = 0; m < 16; ++m)
        EXPECT_EQ(w[size_t(16 + m)], sim::kPatternMicrophone + (m == 12 ? 13 : m == 13 ? 12 : m)) << m;
}

// The calibrator's tone has the RMS its level and the microphone's own
// sensitivity give, on the microphone it is held on; the sensitivities
// spread as asked, and not at all by default.
TEST(SimulatedArray, CalibratorAndSensitivities)
{
    sim::Options o = unpaced();
    o.scene.sensitivity_spread_db = 1.0;
    o.scene.calibrator = {17, 94.0};
    Harness h(o);
    double sum = 0, squares = 0;
    for (int m = 0; m < 1024; ++m) {
        const double g = 20 * std::log10(h.box.sensitivity(m) / sim::kNominalSensitivity);
        sum += g;
        squares += g * g;
    }
    const double sd = std::sqrt(squares / 1024 - (sum / 1024) * (sum / 1024));
    EXPECT_NEAR(sd, 1.0, 0.1);
    EXPECT_NE(h.box.sensitivity(17), h.box.sensitivity(18));

    h.select_words(24);
    h.count(2048);
    h.queue(2, 1 << 20);
    h.start();
    ASSERT_TRUE(h.run_to_end());
    const std::vector<uint32_t> w = h.words();
    double ms[24] = {};
    for (size_t i = 0; i < w.size(); ++i)
        ms[i % 24] += double(int32_t(w[i])) * double(int32_t(w[i])) / 2048;
    const double spl = 20 * std::log10(std::sqrt(ms[17]) / h.box.sensitivity(17) / sim::kReferencePa);
    EXPECT_NEAR(spl, 94.0, 0.05);
    EXPECT_LT(ms[16], ms[17] / 1000); // its neighbour hears the room, far below

    sim::SimulatedBox plain;
    EXPECT_EQ(plain.sensitivity(17), sim::kNominalSensitivity);
}
