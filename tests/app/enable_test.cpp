#include <gtest/gtest.h>

#include "app/model/enable.h"
#include "app/model/principale.h"
#include "support/doubles.h"

namespace {

struct Table : ::testing::Test, Modele {

    // Every governed control with its entry.
    std::vector<std::pair<int, const Control*>> governed() const
    {
        const Controles& c = p.ctl;
        return {{0, &c.button_Init},       {1, &c.panel_Init},         {2, &c.panel_Duree},
                {2, &c.checkBox_Definie},  {4, &c.groupBox_Data_Type}, {5, &c.checkBox_Record},
                {5, &c.checkBox_Nom_Fich}, {6, &c.groupBox_Nom_Fich},  {6, &c.button_Fichier},
                {6, &c.button_Comment},    {7, &c.groupBox_Choix},     {8, &c.checkBox_Test},
                {8, &c.groupBox_Test},     {9, &c.button_Start},       {9, &c.panel_Start},
                {10, &c.button_Stop},      {11, &c.textBox_Info}};
    }
};

TEST_F(Table, EachEntryGovernsItsGroupAlone)
{
    for (int entry = 0; entry < 12; ++entry) {
        set_enabled(p, false, entry, true);
        for (auto [e, control] : governed())
            EXPECT_EQ(control->enabled, e == entry) << "entry " << entry << " control of " << e;
        EXPECT_EQ(p.ctl.button_Sauv_Config.shown, entry == 0);
        EXPECT_EQ(p.ctl.button_Lit_Config.shown, entry == 0);
    }
}

TEST_F(Table, StatesOfTheWindow)
{
    set_enabled(p, false, 0, true); // after construction, or Init failed
    EXPECT_TRUE(p.ctl.button_Init.enabled);
    EXPECT_FALSE(p.ctl.textBox_Info.enabled);
    set_enabled(p, false, 10, true); // run in progress
    for (auto [e, control] : governed())
        EXPECT_EQ(control->enabled, e == 10);
    set_enabled(p, true, 10, false); // run ended
    for (auto [e, control] : governed())
        EXPECT_EQ(control->enabled, e != 10);
}

TEST_F(Table, WritingAnEntryChangesNothingUntilApplied)
{
    set_enabled(p, false);
    p.enabled[9] = true;
    EXPECT_FALSE(p.ctl.button_Start.enabled);
    enable(p);
    EXPECT_TRUE(p.ctl.button_Start.enabled);
}

} // namespace
