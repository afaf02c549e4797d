#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

#include "app/model/acquisition.h"
#include "app/model/acquisition.h"
#include "app/model/construction.h"
#include "app/model/parametres.h"
#include "device/parametres.h"
#include "simulator/simulated_box.h"
#include "support/doubles.h"

namespace {

using Horloge = std::chrono::steady_clock;

double ms_entre(Horloge::time_point a, Horloge::time_point b)
{
    return std::chrono::duration<double, std::milli>(b - a).count();
}

// The simulated box, paced, that adds up how long the logic lets the
// library wait for events between two pumps of the window (the blocking
// call counts its 60 s).
class BoxEspion : public sim::SimulatedBox {
public:
    using sim::SimulatedBox::SimulatedBox;
    int attente_ms = 0;      // since the last pump
    int pire_attente_ms = 0; // most between two pumps

    int handle_events() override
    {
        attente_ms += 60000;
        return sim::SimulatedBox::handle_events();
    }
    int handle_events_timeout(int ms) override
    {
        attente_ms += ms;
        return sim::SimulatedBox::handle_events_timeout(ms);
    }
    void pompe()
    {
        pire_attente_ms = std::max(pire_attente_ms, attente_ms);
        attente_ms = 0;
    }
};

// Eight words per frame at 50 000 Hz: one packet lasts 10.5 s, the window
// must still be pumped several times a second.
struct Pompe : ::testing::Test {
    BoxEspion box{[] {
        sim::Options o;
        o.paced = true;
        o.trigger_delay_ms = 150;
        return o;
    }()};
    ScriptedOperator op;
    TestClock clock;
    TempDir dir;
    Principale p{box, op, clock, Conventions::french()};
    std::vector<Horloge::time_point> pompes; // of the main loop
    Horloge::time_point debut_attente{}, clic{};
    bool clique = false;

    void SetUp() override
    {
        p.config_en_cours = dir.file("config_en_cours.txt");
        construction(p);
        p.ctl.textBox_Rep.text = dir.path() + "/";
        for (int m = 0; m < 1024; ++m)
            p.ctl.grid[m / 8][m % 8].checked = m < 7;
        p.ctl.checkBox_CptA.checked = true;
        p.ctl.checkBox_Definie.checked = false;
        checkBox_Definie_CheckedChanged(p);
        p.ctl.radioButton_Start_Soft.checked = false;
        p.ctl.radioButton_Start_Trig1.checked = true;
    }

    // The run from Start: the box is brought up (presence test) and armed.
    void start()
    {
        op.on_pump = [this] {
            box.pompe();
            const auto t = Horloge::now();
            if (p.phase_run == PHASE_ATTENTE && debut_attente == Horloge::time_point{})
                debut_attente = t;
            if (p.phase_run == PHASE_BOUCLE)
                pompes.push_back(t);
            if (clique)
                return;
            if (p.phase_run == PHASE_BOUCLE && ms_entre(pompes.front(), t) > 300) {
                clique = true;
                clic = t;
                button_Stop_Click(p);
            } else if (p.phase_run == PHASE_ATTENTE && box.options().trigger_delay_ms < 0 &&
                       ms_entre(debut_attente, t) > 150) {
                clique = true;
                clic = t;
                button_Abort_Click(p);
            }
        };
        button_Start_Click(p);
        box.pompe();
    }
};

TEST_F(Pompe, StopActsWithinOnePassOfAPacketOfTenSeconds)
{
    start();
    const auto fin = Horloge::now();
    ASSERT_EQ(p.fin_run, FIN_STOPPEE) << p.pane.text;
    EXPECT_EQ(p.nb_voies, 8);
    // Presence test, trigger wait, main loop and end loop alike.
    EXPECT_LE(box.pire_attente_ms, ATTENTE_EVENEMENTS_MS);
    // A blocking call would hold the window for a whole packet (10.5 s); the
    // bounds leave room for a loaded machine.
    double pire = 0;
    for (size_t i = 1; i < pompes.size(); ++i)
        pire = std::max(pire, ms_entre(pompes[i - 1], pompes[i]));
    EXPECT_LT(pire, 1000.0);
    EXPECT_LT(ms_entre(clic, fin), 2000.0);
    EXPECT_GT(p.dernier.ntr, 0u);
}

TEST_F(Pompe, AbortDuringTheTriggerWaitAndItsDrain)
{
    box.set_options([] {
        sim::Options o;
        o.paced = true;
        o.trigger_delay_ms = -1;
        return o;
    }());
    start();
    const auto fin = Horloge::now();
    ASSERT_EQ(p.fin_run, FIN_ABANDONNEE) << p.pane.text;
    EXPECT_LE(box.pire_attente_ms, ATTENTE_EVENEMENTS_MS);
    EXPECT_LT(ms_entre(clic, fin), 2000.0);
}

} // namespace
