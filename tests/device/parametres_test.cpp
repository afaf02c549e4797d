#include <gtest/gtest.h>

#include "app/model/principale.h"
#include "app/model/init.h"
#include "acquisition/presence.h"
#include "device/bringup.h"
#include "device/commandes.h"
#include "app/model/parametres.h"
#include "device/parametres.h"
#include "support/doubles.h"

namespace {

TEST(FrequencyTable, DivisionsFrequenciesAndMaximumDurations)
{
    struct Row {
        int division_byte;
        float hz;
        int delay;
        const char* max; // to one decimal
    };
    const Row rows[NB_FREQ] = {
        {0x09, 50000, 10, "85,899.3"},  {0x0A, 45454, 9, "94,490.4"},   {0x0B, 41666, 9, "103,080.9"},
        {0x0C, 38461, 9, "111,670.7"},  {0x0D, 35714, 9, "120,260.0"},  {0x0E, 33333, 9, "128,850.3"},
        {0x0F, 31250, 9, "137,439.0"},  {0x13, 25000, 8, "171,798.7"},  {0x18, 20000, 8, "214,748.4"},
        {0x27, 12500, 7, "343,597.4"},  {0x31, 10000, 7, "429,496.7"},  {0x4F, 6250, 7, "687,194.8"},
        {0x63, 5000, 7, "858,993.4"},   {0x7C, 4000, 7, "1,073,741.9"}, {0x9F, 3125, 7, "1,374,389.5"},
        {0xC7, 2500, 7, "1,717,986.9"}, {0xF9, 2000, 7, "2,147,483.8"},
    };
    for (int r = 0; r < NB_FREQ; ++r) {
        EXPECT_EQ(FREQ[r] - 1, rows[r].division_byte) << r;
        EXPECT_EQ(frequence_de_division(FREQ[r]), rows[r].hz) << r;
        EXPECT_EQ(DELAY[r], rows[r].delay) << r;
        EXPECT_EQ(format_number(Conventions::english(), duree_max_de(rows[r].hz), 1), rows[r].max) << r;
    }
}

TEST(SampleCount, FromDurationAndFrequency)
{
    EXPECT_EQ(calcule_nb_echantillons(5.0f, 50000), 250000u);
    EXPECT_EQ(calcule_nb_echantillons(0.7f, 50000), 34999u);
    EXPECT_EQ(calcule_nb_echantillons(0.3f, 41666), 12499u);
    EXPECT_EQ(calcule_nb_echantillons(0.0f, 50000), 0u);
    // At the top of the range the count is held rather than wrapped.
    // At the top of the range the product can reach 2^32: the count is held
    // rather than wrapped to a small one, at every frequency.
    for (int r = 0; r < NB_FREQ; ++r) {
        float f = frequence_de_division(FREQ[r]);
        EXPECT_GT(calcule_nb_echantillons(duree_max_de(f), f), 4294960000u) << r;
    }
    EXPECT_EQ(calcule_nb_echantillons(1e30f, 50000), 4294967295u);
    EXPECT_EQ(calcule_nb_echantillons(85899.36f, 50000), 4294967295u); // just past 2^32
}

struct Params : ::testing::Test, Modele {

    void SetUp() override
    {
        ASSERT_EQ(init_USB(p.boitier), 0);
        p.boitier.initialisation = true;
        p.pane.text.clear();
    }
};

TEST_F(Params, ApplyingRowTwo)
{
    p.journal.detail = true;
    p.ctl.listBox_Freq.top_index = 2;
    p.ctl.listBox_Freq.selected = 2;
    uint64_t avant = clock.slept_ms;
    listBox_Freq_Click(p);
    EXPECT_EQ(clock.slept_ms - avant, 500u);
    EXPECT_EQ(p.boitier.num_freq, 2);
    EXPECT_EQ(p.ctl.listBox_Freq.selected, -1);
    EXPECT_EQ(p.boitier.frequence, 41666.0f);
    EXPECT_EQ(p.header_file.freq, 41666.0f);
    EXPECT_TRUE(p.boitier.clock_def);
    EXPECT_FALSE(p.boitier.count_def);
    EXPECT_EQ(usb.sent(0xB1)[0], (std::vector<uint8_t>{0x01, 0x0B}));
    // Advanced mode: the delay spinner's value goes to the box.
    EXPECT_EQ(usb.sent(0xB1)[1], (std::vector<uint8_t>{0x07, 10}));
    EXPECT_EQ(p.pane.text, "Clock division : 11.  Fréquence : 41\xC2\xA0"
                           "666 Hz.  Durée max d'acquisition : 103\xC2\xA0"
                           "080,9 s \r\nN_DELAY : 10  \r\n");
}

TEST_F(Params, DelayFromTheTableOutsideAdvancedMode)
{
    p.ctl.listBox_Freq.top_index = 7;
    listBox_Freq_Click(p);
    EXPECT_EQ(usb.sent(0xB1)[1], (std::vector<uint8_t>{0x07, 8}));
    EXPECT_EQ(p.pane.text.find("N_DELAY"), std::string::npos);
}

TEST_F(Params, FasterFrequencyClampsTheDuration)
{
    p.ctl.listBox_Freq.top_index = 16; // 2000 Hz
    listBox_Freq_Click(p);
    set_duree(p, 100000.0);
    EXPECT_EQ(p.duree, 100000.0f);
    p.boitier.count_def = true;
    p.ctl.listBox_Freq.top_index = 0; // 50 000 Hz
    listBox_Freq_Click(p);
    EXPECT_FLOAT_EQ(static_cast<float>(p.ctl.numericUpDown_Duree.value), duree_max_de(50000));
    EXPECT_FLOAT_EQ(p.duree, duree_max_de(50000));
    calcul_count(p);
    EXPECT_GT(p.boitier.count, 4294960000u);
}

TEST_F(Params, SampleCountSentAndOpenEndedIsZero)
{
    p.ctl.listBox_Freq.top_index = 0;
    listBox_Freq_Click(p);
    set_duree(p, 5.0);
    p.ctl.numericUpDown_Duree.value = 5.0;
    calcul_count(p);
    EXPECT_EQ(usb.sent(0xB4).back(), (std::vector<uint8_t>{0x04, 0x90, 0xD0, 0x03, 0x00}));
    EXPECT_TRUE(p.boitier.count_def);

    p.ctl.checkBox_Definie.checked = false;
    checkBox_Definie_CheckedChanged(p);
    EXPECT_FALSE(p.boitier.count_def);
    EXPECT_FALSE(p.ctl.panel_Duree.shown);
    calcul_count(p);
    EXPECT_EQ(p.boitier.count, 0u);
    EXPECT_EQ(usb.sent(0xB4).back(), (std::vector<uint8_t>{0x04, 0, 0, 0, 0}));
}

TEST_F(Params, CountAppliesTheFrequencyFirstWhenStale)
{
    p.boitier.clock_def = false;
    p.ctl.listBox_Freq.top_index = 0;
    calcul_count(p);
    ASSERT_EQ(usb.sent(0xB1).size(), 2u); // clock division, delay
    EXPECT_EQ(p.boitier.count, 250000u);
}

TEST(ParamsNoBox, CountWithTheLinkClosedSendsNothing)
{
    RecordingUsb usb;
    usb.present = false;
    ScriptedOperator op;
    TestClock clock;
    Principale p(usb, op, clock, Conventions::french());
    p.boitier.count = 7;
    calcul_count(p);
    EXPECT_EQ(p.boitier.count, 7u);
    EXPECT_FALSE(p.boitier.count_def);
    EXPECT_EQ(p.retour, -1);
    EXPECT_EQ(op.count("message"), 1);
}

TEST(ParamsNoBox, ApplyingAFrequencyBringsTheBoxUpFirst)
{
    RecordingUsb usb;
    usb.present = false;
    ScriptedOperator op;
    TestClock clock;
    Principale p(usb, op, clock, Conventions::french());
    listBox_Freq_Click(p);
    EXPECT_TRUE(usb.requests.empty());
    EXPECT_FALSE(p.boitier.clock_def);
}

TEST(TriggerChoice, ConditionGroupFollowsSoft)
{
    RecordingUsb usb;
    ScriptedOperator op;
    TestClock clock;
    Principale p(usb, op, clock, Conventions::french());
    p.ctl.radioButton_Start_Soft.checked = false;
    radioButton_Start_Soft_CheckedChanged(p);
    EXPECT_TRUE(p.ctl.groupBox_Condition.shown);
    p.ctl.radioButton_Start_Soft.checked = true;
    radioButton_Start_Soft_CheckedChanged(p);
    EXPECT_FALSE(p.ctl.groupBox_Condition.shown);
}

} // namespace
