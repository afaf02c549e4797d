#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "app/model/affiche_niveaux.h"
#include "app/model/choix_micros.h"
#include "app/model/principale.h"
#include "channels/niveaux.h"
#include "support/doubles.h"

namespace {

struct Refresh : ::testing::Test, Modele {
    std::vector<unsigned char> buffer = std::vector<unsigned char>(TAILLE_PAQUET);

    void SetUp() override
    {
        init_colorbar(p);
        for (auto& beam : p.ctl.grid_n)
            beam.fill(White);
        p.anneau.buffers[5] = buffer.data();
        p.n_pkt = 100;
    }
    void TearDown() override { p.anneau.buffers[5] = nullptr; }

    // Packet t (in slot 5) whose frame word w of every frame is amplitude[w]
    // with alternating signs.
    void packet(uint32_t t, const std::vector<int32_t>& amplitude, uint32_t bytes = TAILLE_PAQUET)
    {
        const uint64_t F = 4ull * p.nb_voies;
        const uint64_t A = static_cast<uint64_t>(t) * TAILLE_PAQUET;
        for (uint32_t i = 0; i < MOTS_PAQUET; ++i) {
            uint64_t stream_word = A / 4 + i;
            uint64_t w = stream_word % (F / 4);
            int32_t v = amplitude[w] * ((stream_word / (F / 4)) % 2 ? -1 : 1);
            std::memcpy(&buffer[4 * i], &v, 4);
        }
        p.anneau.num_pkt = t + 1;
        p.anneau.paquet_complete = t;
        p.anneau.slot_complete = 5;
        p.anneau.a_ecrire[5] = bytes;
    }
};

TEST_F(Refresh, ColoursEachSelectedMicrophoneFromItsWord)
{
    // Counter A, microphones 0, 9 and 1023, analogue 3.
    for (auto& beam : p.ctl.grid)
        for (auto& b : beam)
            b.checked = false;
    p.ctl.grid[0][0].checked = p.ctl.grid[1][1].checked = p.ctl.grid[127][7].checked = true;
    p.ctl.grid_VA[3].checked = true;
    choix_micros(p, false);
    ASSERT_EQ(p.nb_voies, 5);
    // Frame: counter, microphones 0 and 9, analogue 3 (quarter 0), microphone 1023.
    packet(3, {7, 100, 1000, 50, 8388608}); // a packet that starts mid-frame
    rafraichit_niveaux(p);
    EXPECT_EQ(p.ctl.grid_n[0][0], couleur_niveau(p, 25));
    EXPECT_EQ(p.ctl.grid_n[1][1], couleur_niveau(p, 45));
    EXPECT_EQ(p.ctl.grid_n[127][7], couleur_niveau(p, 123));
    EXPECT_EQ(p.ctl.grid_n[0][1], White); // not selected
    EXPECT_EQ(p.num_pkt_aff, 3u);
}

TEST_F(Refresh, NothingShownOutsideItsConditions)
{
    choix_micros(p, false); // default: 1024 microphones + counter A
    std::vector<int32_t> amp(1025, 1000);
    struct Case {
        const char* why;
        uint32_t bytes;
        uint32_t n_pkt;
        bool stopped;
    };
    const uint32_t frames2001 = 4 * 2001 * 1025;
    const Case cases[] = {
        {"packet of 2001 frames", frames2001, 100, false},
        {"last planned packet", TAILLE_PAQUET, 4, false},
        {"stopped", TAILLE_PAQUET, 100, true},
    };
    for (const Case& c : cases) {
        p.n_pkt = c.n_pkt;
        p.stopped = c.stopped;
        packet(3, amp, c.bytes);
        rafraichit_niveaux(p);
        EXPECT_EQ(p.ctl.grid_n[0][0], White) << c.why;
    }
    p.n_pkt = 100;
    p.stopped = false;
    packet(3, amp, frames2001 + 4);
    rafraichit_niveaux(p);
    EXPECT_EQ(p.ctl.grid_n[0][0], couleur_niveau(p, 45));
}

TEST_F(Refresh, WithoutCounterALastListEntryIsNotShown)
{
    p.ctl.checkBox_CptA.checked = false;
    for (auto& beam : p.ctl.grid)
        for (auto& b : beam)
            b.checked = false;
    p.ctl.grid[0][0].checked = p.ctl.grid[0][1].checked = true;
    choix_micros(p, false);
    ASSERT_EQ(p.nb_voies, 2);
    packet(0, {100, 1000});
    rafraichit_niveaux(p);
    // Entry 0 (microphone 0) is read from word 1; entry 1 is past the frame.
    EXPECT_EQ(p.ctl.grid_n[0][0], couleur_niveau(p, 45));
    EXPECT_EQ(p.ctl.grid_n[0][1], White);
}

TEST_F(Refresh, NoMicrophoneNoColour)
{
    for (auto& beam : p.ctl.grid)
        for (auto& b : beam)
            b.checked = false;
    p.ctl.grid_VA[0].checked = true;
    choix_micros(p, false);
    packet(1, {100, 100});
    rafraichit_niveaux(p);
    for (const auto& beam : p.ctl.grid_n)
        for (const auto& c : beam)
            ASSERT_EQ(c, White);
}

TEST_F(Refresh, EveryWordOfAFullFrameGoesToItsOwnCell)
{
    // Every channel; each word has its own amplitude, so a word read into
    // the wrong cell shows.
    for (auto& beam : p.ctl.grid)
        for (auto& b : beam)
            b.checked = true;
    for (auto& b : p.ctl.grid_VA)
        b.checked = true;
    p.ctl.checkBox_CptB.checked = p.ctl.checkBox_CptC.checked = p.ctl.checkBox_CptD.checked = true;
    p.ctl.checkBox_Status.checked = true;
    choix_micros(p, false);
    ASSERT_EQ(p.nb_voies, 1045);
    std::vector<int32_t> amp(1045);
    for (int w = 0; w < 1045; ++w)
        amp[w] = static_cast<int32_t>(std::lround(std::pow(10.0, ((w * 37) % 128 + 15) / 20.0)));
    packet(7, amp);
    rafraichit_niveaux(p);
    for (int n = 0; n < p.nb_voies_valid; ++n) {
        const int c = p.num_voies_valid[n];
        if (c >= 1024)
            continue;
        const double a = amp[n + 1];
        ASSERT_EQ(p.ctl.grid_n[c / 8][c % 8], couleur_niveau(p, niveau_de(a * a))) << "entry " << n;
    }
}

} // namespace
