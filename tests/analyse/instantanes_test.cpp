#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "analyse/instantanes.h"

namespace {

constexpr std::size_t MOTS = 11;

// Frame f's word w, as an int32 count or a float32 bit pattern: a value
// that says which frame and word it came from.
uint32_t mot(std::size_t f, std::size_t w, bool flottant)
{
    const int32_t v = static_cast<int32_t>(f * 16 + w) * (w % 2 ? -1 : 1);
    if (!flottant)
        return static_cast<uint32_t>(v);
    const float x = static_cast<float>(v) * 0.25f;
    uint32_t u;
    std::memcpy(&u, &x, 4);
    return u;
}

struct Flux {
    std::vector<uint32_t> mots;
    Flux(std::size_t trames, bool flottant) : mots(trames * MOTS)
    {
        for (std::size_t f = 0; f < trames; ++f)
            for (std::size_t w = 0; w < MOTS; ++w)
                mots[f * MOTS + w] = mot(f, w, flottant);
    }
};

// The first frame of a snapshot, from what its first microphone holds.
std::size_t premiere_trame(const Instantanes::Vue& v, int colonne, float facteur, bool flottant)
{
    const float x = v.colonnes[v.debut] / facteur / (flottant ? 0.25f : 1.0f);
    const long n = std::lround(x) * (colonne % 2 ? -1 : 1);
    return static_cast<std::size_t>((n - colonne) / 16);
}

// What a snapshot of frames [debut, debut + points) holds, microphone by
// microphone, read back through its view.
void attendu(const Instantanes::Vue& v, std::size_t points, std::size_t debut, const std::vector<int32_t>& colonnes,
             const std::vector<float>& facteurs, bool flottant)
{
    for (std::size_t i = 0; i < colonnes.size(); ++i)
        for (std::size_t t = 0; t < points; ++t) {
            const uint32_t u = mot(debut + t, static_cast<std::size_t>(colonnes[i]), flottant);
            float x;
            if (flottant)
                std::memcpy(&x, &u, 4);
            else
                x = static_cast<float>(static_cast<int32_t>(u));
            if (!facteurs.empty())
                x *= facteurs[i];
            ASSERT_EQ(v.colonnes[i * v.ligne + (static_cast<std::size_t>(v.debut) + t) % points], x)
                << "frame " << debut + t << " microphone " << i;
        }
}

// Blocks of every size, one frame at a time and larger than a snapshot, a
// gap at frame 300: every snapshot of 64 frames overlapping by half is
// handed over with its own frames, as counts or floats, scaled or not, for
// microphones in words that follow one another by fours or not; the one
// begun before the gap and not finished there is dropped.
TEST(Instantanes, SnapshotsOverlapByHalfAcrossBlocksAndGaps)
{
    constexpr std::size_t POINTS = 64, TRAMES = 700;
    for (const std::vector<int32_t>& colonnes :
         {std::vector<int32_t>{3, 0, 4}, std::vector<int32_t>{2, 3, 4, 5, 6, 7, 8, 9, 0, 10, 1}})
        for (bool flottant : {false, true})
            for (bool calibre : {false, true}) {
                SCOPED_TRACE(testing::Message()
                             << colonnes.size() << " microphones, flottant " << flottant << ", calibre " << calibre);
                std::vector<float> facteurs;
                for (std::size_t i = 0; calibre && i < colonnes.size(); ++i)
                    facteurs.push_back(i % 3 == 0 ? 0.5f : i % 3 == 1 ? -3.0f : 1e-3f);
                const Flux flux(TRAMES, flottant);
                Instantanes inst(MOTS, flottant, colonnes, facteurs, static_cast<int>(POINTS));
                std::vector<std::size_t> debuts;
                std::size_t f = 0;
                for (std::size_t n : {1, 1, 1, 2, 3, 9, 13, 17, 40, 100, 113, 250, 7, 143}) {
                    inst.ajoute(flux.mots.data() + f * MOTS, n, f != 300, [&](const Instantanes::Vue& v) {
                        const std::size_t d =
                            premiere_trame(v, colonnes[0], facteurs.empty() ? 1 : facteurs[0], flottant);
                        ASSERT_LE(d + POINTS, f + n);
                        ASSERT_GT(d + POINTS, f);
                        debuts.push_back(d);
                        attendu(v, POINTS, d, colonnes, facteurs, flottant);
                    });
                    f += n;
                }
                ASSERT_EQ(f, TRAMES);
                std::vector<std::size_t> voulus;
                for (std::size_t d = 0; d + POINTS <= 300; d += POINTS / 2)
                    voulus.push_back(d);
                for (std::size_t d = 300; d + POINTS <= TRAMES; d += POINTS / 2)
                    voulus.push_back(d);
                EXPECT_EQ(debuts, voulus);
                EXPECT_EQ(inst.completes(), voulus.size());
            }
}

// A guard that wants the snapshots begun at 0, 12, 24... of the stream: it
// is asked at each one's first frame whether it is wanted, told whether the
// one before is still being filled; only the wanted ones are handed over
// (with their own frames), all are counted.
TEST(Instantanes, OnlyTheWantedSnapshotsAreHandedOver)
{
    constexpr std::size_t POINTS = 8;
    const std::vector<int32_t> colonnes{1, 2};
    const Flux flux(80, false);
    Instantanes inst(MOTS, false, colonnes, {}, static_cast<int>(POINTS));
    std::size_t appel = 0;
    std::vector<std::pair<std::size_t, bool>> demandes;
    std::vector<std::size_t> remis;
    const Instantanes::Garde garde = [&](std::size_t t, bool precedent) {
        demandes.push_back({appel + t, precedent});
        return (appel + t) / 4 % 3 == 0;
    };
    for (std::size_t n : {5, 6, 7, 2, 20, 9, 31}) {
        inst.ajoute(
            flux.mots.data() + appel * MOTS, n, appel != 40,
            [&](const Instantanes::Vue& v) {
                const std::size_t d = premiere_trame(v, colonnes[0], 1, false);
                remis.push_back(d);
                attendu(v, POINTS, d, colonnes, {}, false);
            },
            garde);
        appel += n;
    }
    // Snapshots begin every 4 frames, afresh at 40 (the gap, where the one
    // begun at 36 is dropped); the first block's end asked about 40 before
    // the gap was known.
    std::vector<std::pair<std::size_t, bool>> voulues;
    for (std::size_t d = 0; d <= 40; d += 4)
        voulues.push_back({d, d != 0});
    for (std::size_t d = 40; d <= 80; d += 4)
        voulues.push_back({d, d != 40});
    EXPECT_EQ(demandes, voulues);
    EXPECT_EQ(remis, (std::vector<std::size_t>{0, 12, 24, 48, 60, 72}));
    // Completed: begun at 0..32 (9) and 40..72 (9).
    EXPECT_EQ(inst.completes(), 18u);
}

} // namespace
