#include <gtest/gtest.h>

#include "app/model/principale.h"
#include "support/doubles.h"

namespace {

struct PaneFixture : ::testing::Test, Modele {};

TEST_F(PaneFixture, AppendsVerbatimAndAlertsOnlyAtLevelOne)
{
    p.call_verb("Paquet : ");
    p.call_verb("12");
    p.call_verb(" suite\r\n", 2);
    EXPECT_EQ(p.pane.text, "Paquet : 12 suite\r\n");
    EXPECT_TRUE(op.shown.empty());

    p.call_verb("Pas de voie choisie !\r\n", 1);
    ASSERT_EQ(op.shown.size(), 1u);
    EXPECT_EQ(op.shown[0].text, "Alerte : Pas de voie choisie !\r\n");
    EXPECT_EQ(op.shown[0].caption, "Erreur");
    EXPECT_EQ(op.shown[0].icon, Icon::Warning);
    // The pane keeps the alert's text.
    EXPECT_NE(p.pane.text.find("Pas de voie choisie"), std::string::npos);
}

TEST_F(PaneFixture, FullPaneDropsOldestTextAndGoesOn)
{
    for (int i = 0; i < 20000; ++i)
        p.call_verb("ligne é " + std::to_string(i) + "\r\n");
    EXPECT_LE(p.pane.characters(), Pane::LIMITE);
    EXPECT_GT(p.pane.characters(), Pane::LIMITE / 10 * 9 - 2000);
    // Newest text kept, oldest dropped, and the pane starts on a whole line.
    EXPECT_NE(p.pane.text.find("ligne é 19999\r\n"), std::string::npos);
    EXPECT_EQ(p.pane.text.find("ligne é 0\r\n"), std::string::npos);
    EXPECT_EQ(p.pane.text.rfind("ligne", 0), 0u);

    // One huge message without line ends is cut on a character boundary.
    std::string big;
    for (int i = 0; i < 70000; ++i)
        big += "é";
    p.call_verb(big);
    EXPECT_EQ(p.pane.characters(), Pane::LIMITE / 10 * 9);
    EXPECT_NE(static_cast<unsigned char>(p.pane.text[0]) & 0xC0, 0x80);
}

TEST_F(PaneFixture, ListenerSeesEachPiece)
{
    std::string seen;
    p.pane.on_append = [&](const std::string& s) { seen += "[" + s + "]"; };
    p.call_verb("a");
    p.call_verb("b\r\n");
    EXPECT_EQ(seen, "[a][b\r\n]");
}

} // namespace
