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

using Bytes = std::vector<uint8_t>;

struct Link : ::testing::Test, Modele {};

TEST_F(Link, NoBoxRaisesOneAlertAndKeepsTheLinkClosed)
{
    usb.present = false;
    EXPECT_EQ(init_USB(p.boitier), -1);
    EXPECT_EQ(p.boitier.handle, nullptr);
    EXPECT_FALSE(p.boitier.initialisation_FX3);
    ASSERT_EQ(op.count("message"), 1);
    EXPECT_EQ(op.shown[0].text, "Alerte : Pas de détection de Ondaris !\r\n");
    EXPECT_EQ(p.pane.text, "Pas de détection de Ondaris !\r\n");
}

TEST_F(Link, ReopeningReleasesTheOldHandleFirst)
{
    ASSERT_EQ(init_USB(p.boitier), 0);
    EXPECT_EQ(p.pane.text, "Liaison USB activée !\r\n");
    usb::DeviceHandle first = p.boitier.handle;
    ASSERT_EQ(init_USB(p.boitier), 0);
    EXPECT_NE(p.boitier.handle, first);
    EXPECT_EQ(usb.releases, 1);
    EXPECT_EQ(usb.closes, 1);
    EXPECT_EQ(usb.open_handles, 1);
    EXPECT_EQ(usb.claims, 2);
    EXPECT_TRUE(p.boitier.initialisation_FX3);
}

TEST_F(Link, WireFormOfTheCommandTable)
{
    ASSERT_EQ(init_USB(p.boitier), 0);
    struct Row {
        const char* label;
        uint8_t code;
        Bytes args;
        uint8_t request;
    };
    const std::vector<Row> rows = {
        {"reset micros", CMD_RESET_MICROS, {}, 0xB0},
        {"clock division 50 kHz", CMD_CLOCK_DIVISION, {0x09}, 0xB1},
        {"start trig2 falling edge", CMD_START, {0x42}, 0xB1},
        {"stop", CMD_STOP, {0x00}, 0xB1},
        {"count 255", CMD_SAMPLE_COUNT, {0xFF, 0, 0, 0}, 0xB4},
        {"count 250 000", CMD_SAMPLE_COUNT, {0x90, 0xD0, 0x03, 0x00}, 0xB4},
        {"selection 255 <- C9", CMD_SELECTION, {0x00, 0xFF, 0xC9}, 0xB3},
        {"delay", CMD_DELAY, {10}, 0xB1},
        {"sample type float", CMD_SAMPLE_TYPE, {1}, 0xB1},
        {"faisceaux", CMD_FAISCEAUX, {0xFF, 0xFF}, 0xB2},
    };
    for (const Row& r : rows) {
        usb.requests.clear();
        p.boitier.buf[0] = r.code;
        for (size_t i = 0; i < r.args.size(); ++i)
            p.boitier.buf[1 + i] = r.args[i];
        EXPECT_EQ(commande(p.boitier, static_cast<int>(r.args.size())), static_cast<int>(r.args.size()) + 1) << r.label;
        ASSERT_EQ(usb.requests.size(), 1u) << r.label;
        const auto& q = usb.requests[0];
        EXPECT_EQ(q.type, 0x40) << r.label;
        EXPECT_EQ(q.request, r.request) << r.label;
        EXPECT_EQ(q.value, 0) << r.label;
        EXPECT_EQ(q.index, 0) << r.label;
        Bytes expected{r.code};
        expected.insert(expected.end(), r.args.begin(), r.args.end());
        EXPECT_EQ(q.data, expected) << r.label;
    }
}

TEST_F(Link, ResetsWithTheLinkOpenOrClosed)
{
    // Closed link: Reset Micros does nothing, FX3 and PH open it first.
    button_Reset_Micros_Click(p);
    EXPECT_TRUE(usb.requests.empty());
    EXPECT_EQ(usb.opens, 0);

    button_Reset_FX3_Click(p);
    EXPECT_EQ(usb.opens, 1);
    ASSERT_EQ(usb.requests.size(), 1u);
    EXPECT_EQ(usb.requests[0].request, 0xC0);
    EXPECT_TRUE(usb.requests[0].data.empty());

    button_Reset_PH_Click(p);
    EXPECT_EQ(usb.opens, 1);
    EXPECT_EQ(usb.requests.back().request, 0xC4);
    EXPECT_TRUE(usb.requests.back().data.empty());

    p.boitier.clock_def = p.boitier.count_def = true;
    button_Reset_Micros_Click(p);
    EXPECT_EQ(usb.requests.back().request, 0xB0);
    EXPECT_EQ(usb.requests.back().data, Bytes{0x00});
    EXPECT_TRUE(p.boitier.initialisation);
    EXPECT_FALSE(p.boitier.clock_def);
    EXPECT_FALSE(p.boitier.count_def);

    // No box at all: FX3 and PH give up after the alert, nothing is sent.
    RecordingUsb none;
    none.present = false;
    ScriptedOperator op2;
    Principale q(none, op2, clock, Conventions::french());
    button_Reset_FX3_Click(q);
    button_Reset_PH_Click(q);
    EXPECT_EQ(reset_micros(q.boitier), -1);
    EXPECT_TRUE(none.requests.empty());
    EXPECT_EQ(op2.count("message"), 3);
}

TEST_F(Link, AdvancedModeNamesEachReset)
{
    ASSERT_EQ(init_USB(p.boitier), 0);
    p.journal.detail = true;
    p.pane.text.clear();
    button_Reset_FX3_Click(p);
    button_Reset_PH_Click(p);
    EXPECT_EQ(reset_micros(p.boitier), 0);
    EXPECT_EQ(p.pane.text, "Reset FX3\r\nReset Pseudo Hard (C4)\r\nReset B0\r\n");
}

} // namespace
