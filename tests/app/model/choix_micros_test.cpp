#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

#include "app/model/choix_micros.h"
#include "app/model/grille.h"
#include "app/model/principale.h"
#include "device/commandes.h"
#include "support/doubles.h"

namespace {

struct ChoixMicros : ::testing::Test, Modele {

    void SetUp() override { ASSERT_EQ(init_USB(p.boitier), 0); }

    std::vector<int> liste() const
    {
        return std::vector<int>(p.num_voies_valid.begin(), p.num_voies_valid.begin() + p.nb_voies_valid);
    }
    // (address, mask) of every selection command sent, in order.
    std::vector<std::pair<int, int>> masques() const
    {
        std::vector<std::pair<int, int>> out;
        for (const auto& d : usb.sent(0xB3))
            out.emplace_back(d[2], d[3]);
        return out;
    }
    void tout_decocher()
    {
        for (auto& beam : p.ctl.grid)
            for (auto& b : beam)
                b.checked = false;
        p.ctl.checkBox_CptA.checked = false;
    }
};

TEST_F(ChoixMicros, DefaultSelectionSendsThe132MasksInOrder)
{
    uint64_t avant = clock.slept_ms;
    choix_micros(p, true);
    EXPECT_EQ(clock.slept_ms - avant, 300u);
    auto m = masques();
    ASSERT_EQ(m.size(), 132u);
    for (int f = 0; f < 128; ++f)
        EXPECT_EQ(m[f], std::make_pair(f, 0xFF));
    EXPECT_EQ(m[128], std::make_pair(252, 0));
    EXPECT_EQ(m[129], std::make_pair(253, 0));
    EXPECT_EQ(m[130], std::make_pair(254, 0));
    EXPECT_EQ(m[131], std::make_pair(255, 0x80));
    for (const auto& d : usb.sent(0xB3)) {
        EXPECT_EQ(d[0], CMD_SELECTION);
        EXPECT_EQ(d[1], 0);
    }
    EXPECT_EQ(p.nb_micros, 1024);
    EXPECT_EQ(p.nb_voies, 1025);
    EXPECT_TRUE(p.compteur);
    auto l = liste();
    ASSERT_EQ(l.size(), 1024u);
    for (int i = 0; i < 1024; ++i)
        ASSERT_EQ(l[i], i);
    EXPECT_EQ(p.header_file.compteurs_actifs[0], 1);
}

TEST_F(ChoixMicros, PassiveSelectionSendsNothing)
{
    choix_micros(p, false);
    EXPECT_TRUE(usb.sent(0xB3).empty());
    EXPECT_EQ(p.nb_voies, 1025);
}

TEST_F(ChoixMicros, StatusAndAnalogueChannelsOnAddress255)
{
    p.ctl.checkBox_Status.checked = true;
    p.ctl.grid_VA[0].checked = true;
    p.ctl.grid_VA[3].checked = true;
    choix_micros(p, true);
    EXPECT_EQ(masques()[131], std::make_pair(255, 0xC9));
    // Status adds a word but nothing to the list or the header.
    EXPECT_EQ(p.nb_voies, 1024 + 1 + 1 + 2);
    EXPECT_EQ(p.nb_voies_valid, 1024 + 2);
    EXPECT_EQ(p.header_file.va_actives[0][0], 1);
    EXPECT_EQ(p.header_file.va_actives[0][3], 1);
    EXPECT_EQ(p.header_file.va_actives[0][1], 0);
}

TEST_F(ChoixMicros, EveryChannelButStatusInFrameOrder)
{
    for (auto& b : p.ctl.grid_VA)
        b.checked = true;
    p.ctl.checkBox_CptB.checked = p.ctl.checkBox_CptC.checked = p.ctl.checkBox_CptD.checked = true;
    choix_micros(p, true);
    EXPECT_EQ(p.nb_voies, 1044);
    std::vector<int> expected;
    for (int q = 0; q < 4; ++q) {
        if (q > 0)
            expected.push_back(3000 + q);
        for (int m = 256 * q; m < 256 * (q + 1); ++m)
            expected.push_back(m);
        for (int k = 0; k < 4; ++k)
            expected.push_back(2000 + 4 * q + k);
    }
    EXPECT_EQ(liste(), expected);
    EXPECT_EQ(liste().size(), 1043u);
    auto m = masques();
    EXPECT_EQ(m[128], std::make_pair(252, 0x8F));
    EXPECT_EQ(m[131], std::make_pair(255, 0x8F));
}

TEST_F(ChoixMicros, CounterBSitsBetweenQuarters)
{
    tout_decocher();
    p.ctl.grid[3][1].checked = true;  // microphone 25, quarter 0
    p.ctl.grid[40][0].checked = true; // microphone 320, quarter 1
    p.ctl.grid_VA[2].checked = true;  // block A
    p.ctl.checkBox_CptB.checked = true;
    choix_micros(p, false);
    EXPECT_EQ(liste(), (std::vector<int>{25, 2002, 3001, 320}));
    EXPECT_EQ(p.nb_voies, 4);
    EXPECT_FALSE(p.compteur);
}

TEST_F(ChoixMicros, EdgeSelections)
{
    tout_decocher();
    p.ctl.checkBox_CptA.checked = true;
    choix_micros(p, true);
    EXPECT_EQ(p.nb_voies, 1);
    EXPECT_EQ(p.nb_voies_valid, 0);
    for (int f = 0; f < 128; ++f)
        EXPECT_EQ(masques()[f], std::make_pair(f, 0)); // empty beams are still sent

    p.ctl.checkBox_CptA.checked = false;
    choix_micros(p, false);
    EXPECT_EQ(p.nb_voies, 0);
}

TEST_F(ChoixMicros, ValideMicrosTouchesOnlyTheMicrophones)
{
    choix_micros(p, false);
    p.ctl.grid[0][0].checked = false;
    p.ctl.grid[0][2].checked = false;
    p.ctl.grid[127][7].checked = false;
    auto m = valide_micros(p);
    EXPECT_EQ(m[0], 0xFA);
    EXPECT_EQ(m[127], 0x7F);
    EXPECT_EQ(m[64], 0xFF);
    EXPECT_EQ(p.nb_micros, 1021);
    EXPECT_EQ(p.nb_voies, 1025); // until the next full pass
    EXPECT_EQ(p.header_file.micros_actifs[0][2], 0);
    EXPECT_EQ(p.header_file.micros_actifs[0][1], 1);
}

TEST_F(ChoixMicros, BoxesSelectionAndHeaderAgree)
{
    // Varied selections: the commands sent, the header bytes read back as a
    // Selection, and the boxes set from a Selection all give the same channels.
    std::mt19937 gen(1209);
    for (int cas = 0; cas < 12; ++cas) {
        SCOPED_TRACE(cas);
        const unsigned densite = gen() % 5; // 0: nothing .. 4: everything
        auto tire = [&] { return gen() % 4 < densite; };
        Controles& c = p.ctl;
        for (auto& beam : c.grid)
            for (auto& b : beam)
                b.checked = tire();
        for (auto& b : c.grid_VA)
            b.checked = tire();
        for (CheckBox* b : {&c.checkBox_CptA, &c.checkBox_CptB, &c.checkBox_CptC, &c.checkBox_CptD, &c.checkBox_Status})
            b->checked = tire();
        usb.requests.clear();
        choix_micros(p, true);
        const ::Selection s = selection_des_cases(c);

        const auto envoyees = usb.sent(0xB3);
        const auto commandes = s.commandes();
        ASSERT_EQ(envoyees.size(), commandes.size());
        for (size_t i = 0; i < commandes.size(); ++i)
            ASSERT_EQ(std::vector<uint8_t>(commandes[i].begin(), commandes[i].end()), envoyees[i]) << i;

        ::Selection lue = selection_de_header(p.header_file);
        lue.etat = c.checkBox_Status.checked; // the status word has no byte
        EXPECT_EQ(lue.nb_voies(), p.nb_voies);
        std::vector<int32_t> l(1043);
        l.resize(lue.liste_voies(l.data()));
        EXPECT_EQ(l, liste());
        type_header_file h;
        std::memset(&h, 7, sizeof h);
        ecrit_selection(h, lue);
        const auto octets = header_bytes(h), attendus = header_bytes(p.header_file);
        EXPECT_TRUE(std::equal(octets.begin() + 16, octets.begin() + 1060, attendus.begin() + 16)); // selection bytes

        p.ctl = Controles{};
        cases_de_selection(p, s);
        const ::Selection t = selection_des_cases(p.ctl);
        EXPECT_TRUE(t.micros == s.micros && t.va == s.va && t.compteurs == s.compteurs && t.etat == s.etat);
        for (int f = 0; f < 128; ++f)
            ASSERT_EQ(p.ctl.faisceaux_T[f].checked, s.masques()[f] == 0xFF) << f;
        EXPECT_EQ(p.ctl.paq_T.checked, s.nb_micros() == 1024);
    }
}

} // namespace
