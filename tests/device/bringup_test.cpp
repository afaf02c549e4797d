#include <gtest/gtest.h>

#include <cstdio>

#include "app/model/construction.h"
#include "app/model/enable.h"
#include "app/model/init.h"
#include "acquisition/presence.h"
#include "device/bringup.h"
#include "device/commandes.h"
#include "support/rig.h"

namespace {

struct Init : ::testing::Test {
    Rig rig;
    Principale& p = *rig.p;

    void SetUp() override { construction(p); }

    void expect_only_init()
    {
        for (int i = 0; i < 12; ++i)
            EXPECT_EQ(p.enabled[i], i == 0) << i;
        EXPECT_TRUE(p.ctl.button_Sauv_Config.shown);
    }
};

TEST_F(Init, BoxThatAnswersEnablesEverything)
{
    p.journal.detail = true;
    p.ctl.checkBox_Test.checked = true; // left ticked: advanced messages stay off after Init
    button_Init_Click(p);
    for (int i = 0; i < 12; ++i)
        EXPECT_TRUE(p.enabled[i]) << i;
    // Advanced mode is still on during the resets, off from the presence test.
    EXPECT_EQ(p.pane.text, "Liaison USB activée !\r\nReset FX3\r\nReset Pseudo Hard (C4)\r\nReset B0\r\n"
                           "Reset Pseudo Hard (C4)\r\nReset FX3\r\nOndaris 1024 détecté `\r\n\r\n");
    EXPECT_TRUE(rig.op.shown.empty());
    EXPECT_TRUE(p.boitier.initialisation);
    EXPECT_FALSE(p.journal.detail);
    EXPECT_FALSE(p.boitier.test_init);
    EXPECT_FALSE(p.boitier.clock_def);
    EXPECT_EQ(p.boitier.num_freq, -1);
    EXPECT_EQ(rig.box.view().stream.bytes, 8160u);
    EXPECT_EQ(rig.box.view().queued, 0u); // nothing left on the endpoint
    EXPECT_EQ(rig.box.view().misuses, 0u);

    // The reset sequence and the presence test's commands, in order.
    std::vector<int> requests;
    for (const auto& r : rig.box.control_log())
        requests.push_back(r.request);
    ASSERT_GE(requests.size(), 5u + 2 + 132 + 1);
    EXPECT_EQ(std::vector<int>(requests.begin(), requests.begin() + 5),
              (std::vector<int>{0xC0, 0xC4, 0xB0, 0xC4, 0xC0}));
    auto log = rig.box.control_log();
    EXPECT_EQ(log[5].data, (std::vector<unsigned char>{0x01, 0x09}));
    EXPECT_EQ(log[6].data, (std::vector<unsigned char>{0x04, 0xFF, 0, 0, 0}));
    EXPECT_EQ(log[7].data, (std::vector<unsigned char>{0x05, 0, 0, 0xFF}));
    EXPECT_EQ(log[8].data, (std::vector<unsigned char>{0x05, 0, 1, 0x00}));
    EXPECT_EQ(log[7 + 131].data, (std::vector<unsigned char>{0x05, 0, 255, 0x00}));
    EXPECT_EQ(log[7 + 132].data, (std::vector<unsigned char>{0x02, 0x00}));
}

TEST_F(Init, NoBox)
{
    sim::Faults f;
    f.absent = true;
    rig.box.set_faults(f);
    button_Init_Click(p);
    EXPECT_EQ(rig.op.count("message"), 1);
    EXPECT_EQ(rig.op.shown[0].text, "Alerte : Pas de détection de Ondaris !\r\n");
    expect_only_init();
}

TEST_F(Init, SilentBoxFailsThePresenceTestWithoutAMessagePerTimeOut)
{
    sim::Faults f;
    f.silent = true;
    rig.box.set_faults(f);
    button_Init_Click(p);
    ASSERT_EQ(rig.op.count("message"), 1);
    EXPECT_EQ(rig.op.shown[0].text, "Alerte : Ondaris 1024 ne répond pas ! \r\nVérifier l'alimentation !\r\n");
    EXPECT_EQ(p.pane.text.find("TIMEOUT"), std::string::npos);
    EXPECT_TRUE(p.boitier.initialisation); // the link is open, the box silent
    EXPECT_FALSE(p.boitier.test_init);
    expect_only_init();
    EXPECT_EQ(rig.box.view().queued, 0u);
    EXPECT_EQ(rig.box.view().misuses, 0u);
}

TEST_F(Init, BoxStreamingAnExtraChannelFails)
{
    sim::Faults f;
    f.extra_words = 1;
    rig.box.set_faults(f);
    button_Init_Click(p);
    EXPECT_GT(rig.box.view().stream.bytes, 8160u);
    EXPECT_EQ(rig.op.count("message"), 1);
    expect_only_init();
}

TEST_F(Init, RefusedSubmissionIsReportedWithItsSlot)
{
    sim::Faults f;
    f.refuse_submit = 3;
    f.refuse_error = usb::ERROR_IO;
    rig.box.set_faults(f);
    button_Init_Click(p);
    EXPECT_NE(p.pane.text.find("Erreur lancement transfert du paquet 3\r\n"), std::string::npos);
    // The other slots carry the test: 8160 bytes fit in the first transfer.
    for (int i = 0; i < 12; ++i)
        EXPECT_TRUE(p.enabled[i]);
}

TEST_F(Init, InitAgainReopensTheLink)
{
    button_Init_Click(p);
    button_Init_Click(p);
    EXPECT_EQ(rig.box.view().open_handles, 1);
    EXPECT_TRUE(p.enabled[9]);
}

TEST(InitUsbfs, LimitTooSmallForTheRingIsReportedBeforeAnyTransfer)
{
    struct UsbfsUsb : RecordingUsb {
        bool linux_usbfs() const override { return true; }
    };
    struct Cas {
        const char* contenu; // nullptr: no such file (another system)
        bool signale;
    };
    const Cas cas[] = {{"16\n", true}, {"599\n", true},  {"600\n", false},
                       {"0\n", false}, {"abc\n", false}, {nullptr, false}};
    TempDir dir;
    for (const Cas& c : cas) {
        SCOPED_TRACE(c.contenu ? c.contenu : "absent");
        UsbfsUsb usb;
        ScriptedOperator op;
        TestClock clock;
        Principale p(usb, op, clock, Conventions::french());
        p.boitier.usbfs_memory_mb = dir.file("usbfs_memory_mb");
        std::remove(p.boitier.usbfs_memory_mb.c_str());
        if (c.contenu) {
            std::FILE* f = std::fopen(p.boitier.usbfs_memory_mb.c_str(), "w");
            std::fputs(c.contenu, f);
            std::fclose(f);
        }
        button_Init_Click(p);
        const size_t at = p.pane.text.find("Attention : le paramètre usbcore usbfs_memory_mb vaut ");
        EXPECT_EQ(at != std::string::npos, c.signale) << p.pane.text;
        if (c.signale) {
            EXPECT_LT(at, p.pane.text.find("Erreur lancement transfert")); // before any transfer fails
            EXPECT_NE(p.pane.text.find("echo 0 | sudo tee /sys/module/usbcore/parameters/usbfs_memory_mb\r\n"),
                      std::string::npos);
        }
    }
}

} // namespace
