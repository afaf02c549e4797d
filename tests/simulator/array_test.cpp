// The array's microphones: the option texts, a swap, the calibrator and the
// sensitivities the box reports.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>

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

// The words of the faults added to the array, and a point source's level.
TEST(SimulatedArray, MoreFaultsAndPointLevel)
{
    using K = sim::MicFault;
    std::vector<sim::MicFault> f;
    const char* texte = "1:coupure,2:ecrete,3:sourd,11:inverse,5:claque,6:ronfle";
    ASSERT_EQ(sim::parse_faults(texte, f), "");
    const std::vector<sim::MicFault> expected = {{K::Dropout, 1},   {K::FlatTop, 2}, {K::Deaf, 3},
                                                 {K::Inverted, 11}, {K::Bang, 5},    {K::Hum, 6}};
    EXPECT_EQ(f, expected);
    EXPECT_EQ(sim::faults_text(f), texte);

    sim::PointSource p;
    ASSERT_EQ(sim::parse_point("0,0.08,0.01,bruit,70", p), "");
    EXPECT_EQ(p.tone_hz, 0.0);
    EXPECT_EQ(p.level_db, 70.0);
    EXPECT_EQ(p.z, 0.01);
    ASSERT_EQ(sim::parse_point("0.2,-0.1,1,3000", p), "");
    EXPECT_EQ(p.tone_hz, 3000.0);
    EXPECT_EQ(p.level_db, 94.0);
    for (const char* t : {"0,0,1,bruit,", "0,0,1,bruit,161", "0,0,1,bruit,-1", "0,0,1,bruit,70,1", "0,0,1"}) {
        SCOPED_TRACE(t);
        EXPECT_EQ(sim::parse_point(t, p).rfind("--sim-point ", 0), 0u);
        EXPECT_EQ(p.tone_hz, 3000.0);
    }
}

namespace {

// 2048 frames (one period of the scene) of microphones 0..15, the source
// over beam 0 between positions 3 and 4, at `division_byte`.
std::vector<int32_t> samples(const std::string& faults, uint8_t division_byte = 9)
{
    sim::Options o = unpaced();
    o.scene.source_beam = 0;
    if (!faults.empty()) {
        EXPECT_EQ(sim::parse_faults(faults, o.scene.faults), "");
    }
    Harness h(o);
    h.command({0x01, division_byte});
    h.select_words(16);
    h.count(2048);
    h.queue(2, 1 << 20);
    h.start();
    EXPECT_TRUE(h.run_to_end());
    std::vector<int32_t> s;
    for (uint32_t w : h.words())
        s.push_back(int32_t(w));
    return s;
}

// The scene's tone at microphone m: its complex amplitude over the 2048 frames.
std::complex<double> tone(const std::vector<int32_t>& s, int m, double cycles)
{
    std::complex<double> a;
    for (size_t i = 0; i < s.size() / 16; ++i)
        a += double(s[i * 16 + size_t(m)]) *
             std::polar(2.0 / 2048, -2 * 3.14159265358979323846 * cycles * double(i) / 2048);
    return a;
}

} // namespace

// Each fault against the same stream without it (the noise is drawn alike):
// what differs is what the fault does, and nothing else.
TEST(SimulatedArray, EachFaultWritesWhatItSays)
{
    constexpr double kPi = 3.14159265358979323846;
    const std::vector<int32_t> clean = samples("");
    const std::vector<int32_t> s = samples("1:coupure,2:ecrete,3:sourd,11:inverse,5:claque,6:ronfle");
    ASSERT_EQ(s.size(), clean.size());
    const double cycles = std::round(1000.0 * 2048 / 50000); // the scene's tone
    const double hum = std::round(sim::kHumHz * 2048 / 50000);
    int zeros = 0, flat = 0;
    for (size_t i = 0; i < 2048; ++i) {
        auto at = [&](const std::vector<int32_t>& v, int m) { return v[i * 16 + size_t(m)]; };
        const bool gap = i >= 512 && i < 512 + 1024; // a quarter of the table on, half of it at most
        EXPECT_EQ(at(s, 1), gap ? 0 : at(clean, 1)) << i;
        zeros += at(s, 1) == 0;
        const double top = std::round(sim::kAnalogueClip * sim::kFullScale);
        EXPECT_LE(std::abs(at(s, 2)), top);
        flat += std::abs(at(s, 2)) == top;
        const double bang = i >= 1024 && i < 1024 + sim::kBangSamples
                                ? sim::kBangPeak * std::sin(2 * kPi * double(i - 1024) / sim::kBangSamples)
                                : 0;
        EXPECT_NEAR(at(s, 5) - at(clean, 5), bang, 1.0) << i;
        double h = 0;
        for (int k = 1; k <= 3; ++k)
            h += sim::kHumPeak / k * std::sin(2 * kPi * k * hum * double(i) / 2048);
        EXPECT_NEAR(at(s, 6) - at(clean, 6), h, 1.0) << i;
        for (int m : {0, 4, 7, 8, 12, 15})
            EXPECT_EQ(at(s, m), at(clean, m));
    }
    EXPECT_GE(zeros, 1024);
    EXPECT_GT(flat, 2048 / 4);
    EXPECT_NEAR(20 * std::log10(std::abs(tone(s, 3, cycles)) / std::abs(tone(clean, 3, cycles))), -sim::kDeafDb, 0.01);
    EXPECT_NEAR(std::abs(tone(s, 11, cycles) + tone(clean, 11, cycles)) / std::abs(tone(clean, 11, cycles)), 0.0, 1e-4);
}

// At 2000 Hz the scene's 1 kHz tone would sit on the Nyquist frequency and
// vanish: it is kept below it, as the calibrator's.
TEST(SimulatedArray, ToneBelowNyquist)
{
    const std::vector<int32_t> s = samples("", 249); // 500 000 / 250
    double ms = 0;
    for (size_t i = 0; i < s.size() / 16; ++i)
        ms += double(s[i * 16 + 3]) * double(s[i * 16 + 3]) / 2048;
    EXPECT_GT(std::sqrt(ms), 1e5); // the tone, far above the 56 counts of noise
}
