// The calibrator assistant on frames of three microphones at 10 000 Hz,
// counter A first: a calibrator found and read, one that does not stand out,
// and one whose level drifts.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "analyse/acoustique.h"
#include "analyse/calibreur.h"

namespace {

constexpr double FS = 10000, PI = 3.14159265358979323846;

// 3 s of frames (counter, microphones 4, 5, 6); microphone m's tone peaks at
// amplitude[m - 4] counts, growing by `derive` dB per second; noise of 50
// counts RMS.
std::vector<uint32_t> trames(const double (&amplitude)[3], double derive)
{
    std::mt19937 alea(7);
    std::normal_distribution<double> bruit(0.0, 50.0);
    std::vector<uint32_t> mots;
    for (int i = 0; i < 3 * FS; ++i) {
        mots.push_back(static_cast<uint32_t>(i));
        const double t = i / FS, gain = std::pow(10.0, derive * t / 20);
        for (double a : amplitude)
            mots.push_back(static_cast<uint32_t>(
                static_cast<int32_t>(std::lround(a * gain * std::sin(2 * PI * 1000.98 * t) + bruit(alea)))));
    }
    return mots;
}

} // namespace

TEST(Calibreur, FindsAndReadsTheCalibrator)
{
    const std::vector<int32_t> codes = {3000, 4, 5, 6};
    // 94 dB SPL at the nominal sensitivity, read through a factor 1 dB high.
    const double a94 = std::sqrt(2.0) * PRESSION_REFERENCE * std::pow(10.0, 94.0 / 20) * SENSIBILITE_NOMINALE;
    std::vector<double> facteurs(1024, 1.0 / SENSIBILITE_NOMINALE);
    facteurs[5] *= std::pow(10.0, 1.0 / 20);
    const struct {
        double amplitude[3];
        double derive;
        Calibreur::Etat etat;
    } cas[] = {
        {{0, a94, 0}, 0, Calibreur::STABLE},
        {{0, a94, a94 / 2}, 0, Calibreur::ABSENT}, // 6 dB apart
        {{0, a94, 0}, 0.5, Calibreur::LECTURE},    // 0.125 dB per reading
    };
    for (const auto& c : cas) {
        const std::vector<uint32_t> mots = trames(c.amplitude, c.derive);
        Calibreur cal(codes, false, FS, facteurs);
        // In blocks of 1000 frames, the third one cut off from the second.
        for (size_t debut = 0; debut < mots.size(); debut += 4000)
            cal.ajoute(mots.data() + debut, 1000, debut != 8000);
        EXPECT_EQ(cal.etat(), c.etat) << c.amplitude[2] << " " << c.derive;
        EXPECT_EQ(cal.micro(), 5);
        if (cal.etat() == Calibreur::STABLE) {
            EXPECT_NEAR(cal.niveau(), 95.0, 0.01);
            EXPECT_NEAR(facteur_calibre(facteurs[5], cal.niveau(), 94.0) * SENSIBILITE_NOMINALE, 1.0, 0.001);
        }
    }
}
