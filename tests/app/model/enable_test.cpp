#include <gtest/gtest.h>

#include "app/model/acquisition.h"
#include "app/model/construction.h"
#include "app/model/init.h"
#include "app/model/nommage_controles.h"
#include "app/model/principale.h"
#include "simulator/simulated_box.h"
#include "support/doubles.h"

namespace {

// What the operator can use (shown and enabled) of the main controls, as one text: I(nit),
// S(tart), s(top), R(ecord), D(uration), C(hoice of channels), T(est mode),
// P(ane).
std::string utilisables(const Controles& c)
{
    std::string t;
    const std::pair<char, const Control*> controles[] = {
        {'I', &c.button_Init},      {'S', &c.button_Start},   {'s', &c.button_Stop},   {'R', &c.checkBox_Record},
        {'D', &c.checkBox_Definie}, {'C', &c.groupBox_Choix}, {'T', &c.checkBox_Test}, {'P', &c.textBox_Info}};
    for (auto [lettre, controle] : controles)
        if (controle->enabled && controle->shown)
            t += lettre;
    return t;
}

// The window's life: before Init only Init; a failed Init gives only Init
// again; after Init everything but Stop; during a run only Stop; after it
// everything but Stop.
TEST(Commandes, WhatTheOperatorCanUseAtEachStage)
{
    {
        RecordingUsb sans_boitier; // no box on the bus
        ScriptedOperator op;
        TestClock clock;
        TempDir dir;
        Principale p(sans_boitier, op, clock, Conventions::french());
        p.config_en_cours = dir.file("config_en_cours.txt");
        construction(p);
        EXPECT_EQ(utilisables(p.ctl), "I");
        button_Init_Click(p);
        EXPECT_EQ(utilisables(p.ctl), "I");
    }
    sim::Options o;
    o.paced = false;
    sim::SimulatedBox box(o);
    ScriptedOperator op;
    TestClock clock;
    TempDir dir;
    Principale p(box, op, clock, Conventions::french());
    p.config_en_cours = dir.file("config_en_cours.txt");
    construction(p);
    button_Init_Click(p);
    ASSERT_TRUE(p.boitier.initialisation);
    EXPECT_EQ(utilisables(p.ctl), "ISRDCTP");

    p.ctl.checkBox_Record.checked = false;
    checkBox_Record_CheckedChanged(p);
    p.ctl.numericUpDown_Duree.value = 0.1;
    std::string pendant;
    op.on_pump = [&] {
        if (p.phase_run == PHASE_BOUCLE && pendant.empty())
            pendant = utilisables(p.ctl);
    };
    button_Start_Click(p);
    EXPECT_EQ(pendant, "s");
    EXPECT_EQ(p.fin_run, FIN_COMPLETE);
    EXPECT_EQ(utilisables(p.ctl), "ISRDCTP");
}

} // namespace
