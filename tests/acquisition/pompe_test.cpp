#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

#include "app/model/acquisition.h"
#include "app/model/construction.h"
#include "app/model/parametres.h"
#include "device/commandes.h"
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
    Horloge::time_point debut_attente{};
    bool clique = false;
    int pompes_apres_clic = 0;
    // What the box had been sent by the first pump after the click.
    std::vector<sim::ControlRecord> envoye_apres_clic;

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
            if (clique) {
                if (++pompes_apres_clic == 1)
                    envoye_apres_clic = box.control_log();
                return;
            }
            if (p.phase_run == PHASE_BOUCLE && ms_entre(pompes.front(), t) > 300) {
                clique = true;
                box.clear_logs();
                button_Stop_Click(p);
            } else if (p.phase_run == PHASE_ATTENTE && box.options().trigger_delay_ms < 0 &&
                       ms_entre(debut_attente, t) > 150) {
                clique = true;
                box.clear_logs();
                button_Abort_Click(p);
            }
        };
        button_Start_Click(p);
        box.pompe();
    }

    // The first pump after the click came after the box had been sent `data`.
    bool envoye_avant_la_pompe_suivante(const std::vector<unsigned char>& data) const
    {
        for (const auto& r : envoye_apres_clic)
            if (r.data == data)
                return true;
        return false;
    }
};

TEST_F(Pompe, StopActsWithinOnePassOfAPacketOfTenSeconds)
{
    start();
    ASSERT_EQ(p.fin_run, FIN_STOPPEE) << p.pane.text;
    EXPECT_EQ(p.nb_voies, 8);
    // Presence test, trigger wait, main loop and end loop alike: no wait of
    // the library longer than one short wait between two pumps (a blocking
    // call would hold the window for a whole packet, 10.5 s).
    EXPECT_LE(box.pire_attente_ms, ATTENTE_EVENEMENTS_MS);
    // The Stop went out before the window was pumped again.
    EXPECT_TRUE(envoye_avant_la_pompe_suivante({CMD_STOP, 0x00}));
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
    ASSERT_EQ(p.fin_run, FIN_ABANDONNEE) << p.pane.text;
    EXPECT_LE(box.pire_attente_ms, ATTENTE_EVENEMENTS_MS);
    // Abort reset the microphones before the window was pumped again.
    EXPECT_TRUE(envoye_avant_la_pompe_suivante({CMD_RESET_MICROS}));
}

} // namespace
