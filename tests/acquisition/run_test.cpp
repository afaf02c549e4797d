#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "app/model/acquisition.h"
#include "app/model/acquisition.h"
#include "app/model/construction.h"
#include "app/model/enable.h"
#include "channels/canaux.h"
#include "app/model/init.h"
#include "acquisition/presence.h"
#include "device/bringup.h"
#include "app/model/parametres.h"
#include "device/parametres.h"
#include "app/model/nommage_controles.h"
#include "support/rig.h"

namespace {

const std::string NBSP = "\xC2\xA0";

struct Run : ::testing::Test {
    Rig rig;
    Principale& p = *rig.p;

    void SetUp() override
    {
        construction(p);
        p.ctl.textBox_Rep.text = rig.dir.path() + "/";
        button_Init_Click(p);
        ASSERT_TRUE(p.enabled[9]) << p.pane.text;
        p.pane.text.clear();
        // Long runs are asked for and stopped early: their room is not the
        // test machine's disk (the tests of the disk budget give their own).
        rig.disque.place = [](const std::string&) { return RESERVE_DISQUE + (uint64_t(1) << 40); };
    }

    std::string path(const char* ext) const { return rig.dir.file(std::string("Test") + ext); }
    std::vector<uint8_t> data() const { return read_bytes(path(".dat")); }
    std::vector<uint8_t> header() const { return read_bytes(path(".Ond")); }

    uint32_t nb_ech() const
    {
        auto h = header();
        uint32_t n = 0;
        if (h.size() == 2097)
            std::memcpy(&n, &h[1064], 4);
        return n;
    }

    // Frequency row and duration, as the operator sets them.
    void reglage(int row, double duree)
    {
        p.ctl.listBox_Freq.top_index = row;
        set_duree_maximum(p, duree_max_de(frequence_de_division(FREQ[row])));
        set_duree(p, duree);
    }

    void start() { button_Start_Click(p); }

    bool pane_has(const std::string& s) const { return p.pane.text.find(s) != std::string::npos; }

    void expect_data_is_stream()
    {
        auto file = data();
        auto sent = rig.box.stream_copy();
        ASSERT_EQ(file.size(), sent.size());
        EXPECT_TRUE(file == sent);
    }

    void expect_idle_window()
    {
        for (int i = 0; i < 12; ++i)
            EXPECT_EQ(p.enabled[i], i != 10) << i;
        EXPECT_FALSE(p.ctl.button_Stop.shown);
        EXPECT_FALSE(p.ctl.button_Abort.shown);
        EXPECT_TRUE(p.ctl.button_Start.shown);
        EXPECT_FALSE(p.ctl.panel_Progress.shown);
        EXPECT_FALSE(p.ctl.label_Duree_Ecoulee.shown);
        EXPECT_FALSE(p.ctl.panel_dB.shown);
        EXPECT_FALSE(p.file_open);
        EXPECT_EQ(rig.box.view().queued, 0u);
        EXPECT_EQ(rig.box.view().misuses, 0u);
    }
};

TEST_F(Run, FixedRunOfEightChannelsAndAThousandSamples)
{
    p.journal.detail = true;
    rig.selection(7, true);
    reglage(0, 0.02001);
    start();
    EXPECT_EQ(p.fin_run, FIN_COMPLETE) << p.pane.text;
    EXPECT_EQ(p.boitier.count, 1000u);
    EXPECT_EQ(p.dernier.n_pkt, 1u);
    EXPECT_EQ(data().size(), 32000u);
    expect_data_is_stream();
    EXPECT_EQ(header().size(), 2097u);
    EXPECT_EQ(nb_ech(), 1000u);
    EXPECT_GT(read_bytes(path(".log")).size(), 1000u);
    EXPECT_TRUE(pane_has("32" + NBSP + "000 octets, soit 0 paquets de 16" + NBSP + "777" + NBSP +
                         "216 octets et un paquet de 32" + NBSP + "000 octets\r\n"));
    EXPECT_TRUE(pane_has("TimeOut = 336" + NBSP + "544 ms\r\n"));
    EXPECT_TRUE(pane_has("\r\nNb_voies (micros+VA+compteur) : 8\r\n"));
    EXPECT_TRUE(pane_has("Durée : 0,0 s, nb échantillons : 1" + NBSP + "000\r\n"));
    EXPECT_TRUE(pane_has("Transfert total : 32" + NBSP + "000 octets demandés,  32" + NBSP + "000 octets acquis, 32" +
                         NBSP + "000 octets écrits\r\n"));
    EXPECT_FALSE(pane_has("Manquent"));
    EXPECT_FALSE(pane_has("soit 1"));
    EXPECT_EQ(p.ctl.progressBar_Progress.maximum, 1);
    expect_idle_window();
    // The cells are back to the selection colours.
    EXPECT_EQ(p.ctl.grid_n[0][0], DeepPink);
    EXPECT_EQ(p.ctl.grid_n[1][0], White);
}

TEST_F(Run, ExactMultipleOfThePacketSize)
{
    p.journal.detail = true;
    rig.selection(7, true);
    reglage(0, 20.97153); // 2 * 524 288 frames of 8 words
    start();
    EXPECT_EQ(p.boitier.count, 1048576u);
    EXPECT_EQ(p.dernier.n_pkt, 2u);
    EXPECT_EQ(p.fin_run, FIN_COMPLETE) << p.pane.text;
    EXPECT_EQ(data().size(), 2ull * TAILLE_PAQUET);
    EXPECT_TRUE(pane_has("33" + NBSP + "554" + NBSP + "432 octets, soit 2 paquets de 16" + NBSP + "777" + NBSP +
                         "216 octets\r\n"));
    EXPECT_EQ(nb_ech(), 1048576u);
    expect_data_is_stream();
}

TEST(RunSizes, TimeOutOfARun)
{
    struct Row {
        int nb_voies;
        float frequence;
        int timeout;
    };
    const Row rows[] = {
        {8, 50000, 336544},
        {1045, 50000, 3568},
        {4194, 32000, 2000},                 // T exactly 1000 ms
        {4194, 32000000.0f / 1000.5f, 2000}, // T = 1000.5 ms, truncated
        {2796, 32000, 2500},                 // T = 1500 ms
    };
    for (const Row& r : rows)
        EXPECT_EQ(calcule_timeout(r.nb_voies, r.frequence), r.timeout) << r.nb_voies << " " << r.frequence;
}

TEST_F(Run, WorkedSizesOfAFullFrame)
{
    p.journal.detail = true;
    for (auto& b : p.ctl.grid_VA)
        b.checked = true;
    p.ctl.checkBox_CptB.checked = p.ctl.checkBox_CptC.checked = p.ctl.checkBox_CptD.checked = true;
    p.ctl.checkBox_Status.checked = true;
    reglage(0, 0.1);
    start();
    EXPECT_EQ(p.nb_voies, 1045);
    EXPECT_TRUE(pane_has("TimeOut = 3" + NBSP + "568 ms\r\n"));
    EXPECT_EQ(p.fin_run, FIN_COMPLETE) << p.pane.text;
    EXPECT_EQ(data().size(), 4ull * 1045 * 5000);
    expect_data_is_stream();

    // The same with an external trigger that comes at once.
    rig.box.set_options([] {
        sim::Options o = Rig::unpaced();
        o.trigger_delay_ms = 0;
        return o;
    }());
    p.ctl.radioButton_Start_Soft.checked = false;
    p.ctl.radioButton_Start_Trig1.checked = true;
    rig.op.answers.push_back(true); // overwrite Test.dat
    p.pane.text.clear();
    int attente_timeout = 0;
    rig.op.on_pump = [&] {
        if (p.phase_run == PHASE_ATTENTE)
            attente_timeout = p.boitier.TimeOut;
    };
    start();
    EXPECT_TRUE(
        pane_has("TimeOut = 3" + NBSP + "568 ms\r\nEn attente de déclenchement externe, le TimeOut est ajusté. \r\n"));
    EXPECT_EQ(attente_timeout, 33568);
    EXPECT_TRUE(pane_has("Le déclenchement doit intervenir avant 30 s \r\n"));
    EXPECT_EQ(p.fin_run, FIN_COMPLETE) << p.pane.text;
    EXPECT_EQ(p.boitier.TimeOut, 3568); // the allowance is dropped once triggered
}

TEST_F(Run, OperatorStopsAFixedRun)
{
    rig.selection(7, true);
    reglage(0, 300);
    rig.op.on_pump = [&] {
        if (p.phase_run == PHASE_BOUCLE && p.run->num_pkt() >= 3 && !p.run->stoppe())
            button_Stop_Click(p);
    };
    start();
    EXPECT_EQ(p.fin_run, FIN_STOPPEE);
    EXPECT_TRUE(pane_has("Acquisition stoppée avant la fin\r\n"));
    const uint64_t octets = data().size();
    EXPECT_GE(octets, 3ull * TAILLE_PAQUET);
    EXPECT_TRUE(pane_has(" soit " + compose(p.journal.conv, "{0:N0}", {octets / 32}) + " échantillons\r\n"));
    EXPECT_FALSE(pane_has("Manquent"));
    EXPECT_EQ(nb_ech(), octets / 32);
    expect_data_is_stream();
    expect_idle_window();
}

TEST(RunBudget, OpenEndedStopsWithinSixtyFourPacketsOfTheDisk)
{
    RecordingUsb usb;
    ScriptedOperator op;
    TestClock clock;
    Principale p(usb, op, clock, Conventions::french());
    EXPECT_FALSE(budget_disque_atteint(true, 0, 935, 1000));
    EXPECT_TRUE(budget_disque_atteint(true, 0, 936, 1000));
    EXPECT_TRUE(budget_disque_atteint(true, 0, 940, 1000)); // passed between two passes
    EXPECT_TRUE(budget_disque_atteint(true, 0, 0, -1));     // less than one packet to spare
    EXPECT_FALSE(budget_disque_atteint(false, 0, 0, -1));
    EXPECT_FALSE(budget_disque_atteint(true, 1000, 940, 1000)); // a defined run has its own end
}

TEST_F(Run, OpenEndedRecordingStopsAtItsDiskBudget)
{
    rig.selection(7, true);
    p.ctl.checkBox_Definie.checked = false;
    checkBox_Definie_CheckedChanged(p);
    rig.disque.place = [](const std::string&) { return RESERVE_DISQUE + 71ull * TAILLE_PAQUET; };
    start();
    EXPECT_EQ(p.dernier.n_pkt, 70u);
    EXPECT_EQ(p.fin_run, FIN_STOPPEE) << p.pane.text;
    EXPECT_TRUE(pane_has("1 Go disponibles sur le disque, soit "));
    EXPECT_FALSE(pane_has("Acquisition stoppée avant la fin"));
    const uint64_t octets = data().size();
    EXPECT_GE(octets, 6ull * TAILLE_PAQUET);
    EXPECT_LT(octets, 70ull * TAILLE_PAQUET);
    EXPECT_EQ(nb_ech(), octets / 32);
    expect_data_is_stream();
}

TEST_F(Run, RecordingOff)
{
    p.ctl.checkBox_Record.checked = false;
    checkBox_Record_CheckedChanged(p);
    rig.selection(7, true);
    reglage(0, 0.1);
    start();
    EXPECT_EQ(p.fin_run, FIN_COMPLETE);
    EXPECT_EQ(p.dernier.ntr, 32u * 5000);
    EXPECT_EQ(p.dernier.ntw, 0u);
    EXPECT_FALSE(std::filesystem::exists(path(".dat")));
    EXPECT_EQ(p.header_file.nb_ech, 0u);

    // Open-ended without recording: no disk budget.
    p.ctl.checkBox_Definie.checked = false;
    checkBox_Definie_CheckedChanged(p);
    rig.op.on_pump = [&] {
        if (p.phase_run == PHASE_BOUCLE && p.run->num_pkt() >= 2 && !p.run->stoppe())
            button_Stop_Click(p);
    };
    start();
    EXPECT_EQ(p.dernier.n_pkt, 4294967295u);
    EXPECT_EQ(p.fin_run, FIN_STOPPEE);
    EXPECT_FALSE(std::filesystem::exists(path(".dat")));
}

struct Trigger : Run {
    void SetUp() override
    {
        Run::SetUp();
        rig.selection(7, true);
        reglage(0, 0.1);
        p.ctl.radioButton_Start_Soft.checked = false;
        p.ctl.radioButton_Start_Trig2.checked = true;
        // Every tick read is a second later: each turn of the wait also
        // waits for the box's events for real, up to 20 ms.
        rig.clock.step_ms = 1000;
    }

    void expect_abandoned()
    {
        EXPECT_EQ(p.fin_run, FIN_ABANDONNEE);
        EXPECT_TRUE(pane_has("Acquisition arrêtée avant le déclenchement \r\n"));
        for (const char* ext : {".dat", ".Ond", ".log"}) {
            EXPECT_TRUE(std::filesystem::exists(path(ext))) << ext;
            EXPECT_EQ(read_bytes(path(ext)).size(), 0u) << ext;
        }
        expect_idle_window();
    }
};

TEST_F(Trigger, ComesAfterTwoSeconds)
{
    const uint32_t t0 = rig.clock.ms;
    rig.op.on_pump = [&] {
        if (p.phase_run == PHASE_ATTENTE && rig.clock.ms - t0 > 2000)
            rig.box.fire_trigger();
    };
    start();
    EXPECT_EQ(p.fin_run, FIN_COMPLETE) << p.pane.text;
    EXPECT_EQ(rig.box.view().start_byte, 0x02);
    EXPECT_EQ(data().size(), 32u * 5000);
    expect_data_is_stream();
    EXPECT_EQ(nb_ech(), 5000u);
}

TEST_F(Trigger, NeverComes)
{
    const uint32_t t0 = rig.clock.ms;
    start();
    EXPECT_GE(rig.clock.ms - t0, ATTENTE_DECLENCHEMENT_MS);
    EXPECT_TRUE(pane_has("Temps d'attente dépassé...    Acquisition arrêtée"));
    expect_abandoned();
}

TEST_F(Trigger, AbortDuringTheWait)
{
    int pompes = 0;
    rig.op.on_pump = [&] {
        if (p.phase_run == PHASE_ATTENTE && ++pompes == 5) {
            EXPECT_TRUE(p.ctl.button_Abort.shown);
            button_Abort_Click(p);
        }
    };
    start();
    EXPECT_FALSE(pane_has("Temps d'attente"));
    expect_abandoned();
}

TEST_F(Run, CounterThatSkipsStopsTheRunAndKeepsTheData)
{
    sim::Faults f;
    f.counter_skip_frame = 600000;
    rig.box.set_faults(f);
    rig.selection(7, true);
    reglage(0, 300);
    start();
    EXPECT_TRUE(pane_has("Erreur sur le compteur paquet : 2\r\n"));
    EXPECT_EQ(p.fin_run, FIN_STOPPEE);
    expect_data_is_stream();
    EXPECT_EQ(nb_ech(), data().size() / 32);
    expect_idle_window();
}

TEST_F(Run, StalledTransferMidRun)
{
    sim::Faults f;
    f.fail_transfer = 2;
    f.fail_status = usb::TRANSFER_STALL;
    rig.box.set_faults(f);
    rig.selection(7, true);
    reglage(0, 40); // about 4 packets
    start();
    EXPECT_TRUE(pane_has("Erreur lors du transfert du paquet 2 status 4\r\n"));
    expect_data_is_stream();
    EXPECT_EQ(nb_ech(), data().size() / 32);
    expect_idle_window();
}

TEST_F(Run, BoxUnpluggedMidRun)
{
    sim::Faults f;
    f.fail_transfer = 3;
    f.fail_status = usb::TRANSFER_NO_DEVICE;
    rig.box.set_faults(f);
    rig.selection(7, true);
    reglage(0, 200);
    start();
    EXPECT_EQ(p.fin_run, FIN_INCOMPLETE);
    EXPECT_EQ(data().size(), 3ull * TAILLE_PAQUET);
    expect_data_is_stream();
    EXPECT_EQ(nb_ech(), 3u * TAILLE_PAQUET / 32);
    EXPECT_TRUE(pane_has("Manquent"));
    expect_idle_window();
}

TEST_F(Run, BoxThatNeverEndsTheStreamAfterStop)
{
    sim::Faults f;
    f.no_end_on_stop = true;
    rig.box.set_faults(f);
    for (auto& b : p.ctl.grid_VA)
        b.checked = true; // 1041 words: transfers time out after about 3.6 s
    reglage(0, 300);
    rig.op.on_pump = [&] {
        if (p.phase_run == PHASE_BOUCLE && p.run->num_pkt() >= 2 && !p.run->stoppe())
            button_Stop_Click(p);
    };
    start();
    EXPECT_EQ(p.fin_run, FIN_STOPPEE);
    EXPECT_TRUE(pane_has("TIMEOUT lors du transfert"));
    expect_data_is_stream();
    EXPECT_EQ(nb_ech(), data().size() / (4 * 1041));
    expect_idle_window();
}

TEST_F(Run, NotEnoughDiskSpace)
{
    rig.selection(7, true);
    reglage(0, 10);
    rig.disque.place = [](const std::string&) { return RESERVE_DISQUE + 100; };
    start();
    EXPECT_EQ(p.fin_run, FIN_REFUSEE);
    EXPECT_EQ(rig.op.shown.back().text, "Alerte : Pas suffisamment de place sur le disque !\r\n");
    EXPECT_TRUE(pane_has("0 Go disponibles sur le disque, soit 0,0 s\r\n"));
    EXPECT_TRUE(p.enabled[9]); // still usable
    // The next run, with room, reopens the same names without trouble.
    rig.disque.place = nullptr;
    rig.op.answers.push_back(true);
    reglage(0, 0.1);
    start();
    EXPECT_EQ(p.fin_run, FIN_COMPLETE);
    EXPECT_EQ(data().size(), 32u * 5000);
}

TEST_F(Run, RefusedStartLeavesAnEarlierRecordingAsItWas)
{
    rig.selection(7, true);
    reglage(0, 0.1);
    start();
    ASSERT_EQ(p.fin_run, FIN_COMPLETE);
    const std::vector<uint8_t> avant[3] = {data(), header(), read_bytes(path(".log"))};
    auto intact = [&] {
        EXPECT_EQ(data(), avant[0]);
        EXPECT_EQ(header(), avant[1]);
        EXPECT_EQ(read_bytes(path(".log")), avant[2]);
    };
    reglage(0, 10);
    rig.disque.place = [](const std::string&) { return RESERVE_DISQUE + 100; };
    rig.op.answers.push_back(true); // overwrite it
    start();
    EXPECT_EQ(p.fin_run, FIN_REFUSEE);
    intact();
    // The same file chosen by hand: the run refused took it, the next one
    // asks again.
    p.ctl.checkBox_Nom_Fich.checked = false;
    checkBox_Nom_Fich_CheckedChanged(p);
    rig.op.save_files.push_back(path(".dat"));
    start();
    EXPECT_EQ(p.fin_run, FIN_REFUSEE);
    intact();
    EXPECT_FALSE(p.file_open);
}

TEST_F(Run, FolderThatCannotBeWritten)
{
    const std::string blocker = rig.dir.file("blocker");
    std::FILE* f = std::fopen(blocker.c_str(), "w");
    std::fclose(f);
    p.ctl.textBox_Rep.text = blocker + "/sub/";
    rig.selection(7, true);
    reglage(0, 0.1);
    start(); // the folder picker is cancelled
    EXPECT_EQ(p.fin_run, FIN_REFUSEE);
    EXPECT_EQ(rig.op.shown[0].text, "Le répertoire " + blocker + "/sub/ n'existe pas ! ");
    EXPECT_TRUE(pane_has("Impossible de créer le fichier"));
    EXPECT_FALSE(p.file_open);
    EXPECT_TRUE(p.enabled[9]);
    EXPECT_EQ(rig.box.view().phase, sim::Phase::Idle);
}

TEST_F(Run, NoChannelRefusesAfterSavingTheConfiguration)
{
    rig.selection(0, false);
    start();
    EXPECT_EQ(p.fin_run, FIN_REFUSEE);
    EXPECT_EQ(rig.op.shown.back().text, "Alerte : Pas de voie choisie !\r\n");
    EXPECT_TRUE(std::filesystem::exists(p.config_en_cours));
}

TEST_F(Run, ClosingTheWindowMidRunFinishesTheRecordingFirst)
{
    rig.selection(7, true);
    reglage(0, 300);
    bool ferme = true;
    rig.op.on_pump = [&] {
        if (p.phase_run == PHASE_BOUCLE && p.run->num_pkt() >= 2 && !p.fermeture_demandee)
            ferme = demande_fermeture(p);
    };
    start();
    EXPECT_FALSE(ferme);
    EXPECT_TRUE(p.fermeture_demandee);
    EXPECT_EQ(p.fin_run, FIN_STOPPEE);
    expect_data_is_stream();
    EXPECT_EQ(nb_ech(), data().size() / 32);
    EXPECT_TRUE(demande_fermeture(p)); // now the window may close
    EXPECT_EQ(p.boitier.handle, nullptr);
    EXPECT_EQ(rig.box.view().open_handles, 0);
    EXPECT_EQ(rig.box.control_log().back().request, 0xB0); // Reset micros before the release
}

TEST_F(Run, DefinedDurationOfZeroRunsUntilStopped)
{
    rig.selection(7, true);
    reglage(0, 0.0); // "Durée définie" with 0 s: no sample count
    rig.op.on_pump = [&] {
        if (p.phase_run == PHASE_BOUCLE && p.run->num_pkt() >= 3 && !p.run->stoppe())
            button_Stop_Click(p);
    };
    start();
    EXPECT_EQ(p.boitier.count, 0u);
    EXPECT_EQ(p.fin_run, FIN_STOPPEE);
    EXPECT_GE(data().size(), 3ull * TAILLE_PAQUET);
    expect_data_is_stream();
}

TEST_F(Run, WindowClosedWhileTheRunIsPreparedStopsItOnceStarted)
{
    rig.selection(7, true);
    reglage(0, 300);
    std::fclose(std::fopen(path(".dat").c_str(), "wb"));
    bool ferme = true;
    rig.op.on_modal = [&] { ferme = demande_fermeture(p); }; // during the overwrite question
    rig.op.answers.push_back(true);
    start();
    EXPECT_FALSE(ferme);
    EXPECT_EQ(p.fin_run, FIN_STOPPEE);
    EXPECT_LT(data().size(), 8ull * TAILLE_PAQUET); // not the 300 s asked for
    expect_data_is_stream();
    EXPECT_EQ(nb_ech(), data().size() / 32);
}

TEST_F(Run, LongRunShowsTheElapsedTime)
{
    rig.selection(7, true);
    reglage(0, 59.9);
    bool montre = false;
    rig.op.on_pump = [&] {
        if (p.phase_run == PHASE_BOUCLE) {
            montre = p.ctl.label_Duree_Ecoulee.shown;
            if (!p.run->stoppe())
                button_Stop_Click(p);
        }
    };
    start();
    EXPECT_TRUE(montre);
}

TEST_F(Run, InterruptedEventHandlingIsNotAnError)
{
    // A signal during the presence test's wait, then during the main loop's.
    sim::Faults f;
    f.interrupted_events = 1;
    rig.box.set_faults(f);
    button_Init_Click(p);
    EXPECT_TRUE(p.enabled[9]) << p.pane.text;
    rig.selection(7, true);
    reglage(0, 40); // about 4 packets
    rig.op.on_pump = [&] {
        if (p.phase_run == PHASE_BOUCLE && p.run->num_pkt() == 1 && rig.op.pumps % 2 == 0)
            rig.box.set_faults(f);
    };
    start();
    EXPECT_EQ(rig.box.faults().interrupted_events, 0);
    EXPECT_EQ(p.fin_run, FIN_COMPLETE) << p.pane.text;
    EXPECT_FALSE(pane_has("ERREUR"));
    expect_data_is_stream();
}

TEST_F(Run, AbortAfterAStopTheBoxIgnoresKeepsWhatTheFilesHold)
{
    sim::Faults f;
    f.no_end_on_stop = true;
    rig.box.set_faults(f);
    rig.selection(7, true); // 8 words: transfers would wait 336 s before timing out
    reglage(0, 300);
    bool arrete = false, abandonne = false;
    rig.op.on_pump = [&] {
        if (p.phase_run != PHASE_BOUCLE)
            return;
        if (p.run->num_pkt() >= 2 && !p.run->stoppe() && !arrete) {
            arrete = true;
            button_Stop_Click(p);
            f.interrupted_events = 1; // the operator's second Ctrl-C interrupts the wait
            rig.box.set_faults(f);
        } else if (p.run->stoppe() && !abandonne) {
            abandonne = true;
            button_Abort_Click(p);
        }
    };
    start();
    EXPECT_EQ(p.fin_run, FIN_INCOMPLETE);
    EXPECT_TRUE(pane_has("Acquisition abandonnée : le boîtier n'a pas terminé le flux après Stop.\r\n"));
    const auto file = data();
    const auto sent = rig.box.stream_copy();
    ASSERT_GE(file.size(), 2ull * TAILLE_PAQUET);
    ASSERT_LE(file.size(), sent.size());
    EXPECT_TRUE(std::equal(file.begin(), file.end(), sent.begin()));
    EXPECT_EQ(nb_ech(), file.size() / 32);
    expect_idle_window();
}

TEST_F(Run, DataFileThatRefusesBytesStopsTheRunAndTheFilesSayWhatItHolds)
{
    struct Cas {
        int err;
        std::string avant, apres; // around the data file's name
    };
    const Cas cas[] = {
        {ENOSPC, "\r\nDisque plein : le fichier de données ", " n'accepte plus d'octets. Acquisition arrêtée.\r\n"},
        {EIO, "\r\nErreur d'écriture du fichier de données ",
         std::string(" (") + std::strerror(EIO) + "). Acquisition arrêtée.\r\n"},
    };
    rig.selection(7, true);
    reglage(0, 300);
    for (const Cas& c : cas) {
        SCOPED_TRACE(c.err);
        p.pane.text.clear();
        rig.box.clear_logs();
        rig.op.answers.push_back(true); // overwrite
        int paquets = 0;
        // The third packet goes in halfway, then the disk refuses.
        rig.disque.ecriture = [&](std::FILE* f, const unsigned char* d, std::size_t n) -> std::size_t {
            if (++paquets < 3)
                return std::fwrite(d, 1, n, f);
            const std::size_t pris = paquets == 3 ? std::fwrite(d, 1, n / 2 + 3, f) : 0;
            errno = c.err;
            return pris;
        };
        start();
        EXPECT_EQ(p.fin_run, FIN_ECRITURE) << p.pane.text;
        EXPECT_EQ(paquets, 3); // nothing more is offered to the file
        EXPECT_TRUE(pane_has(c.avant + p.acqui_name + c.apres)) << p.pane.text;
        // The box was told to stop (how much it streamed meanwhile depends on
        // how fast its thread ran).
        bool stop = false;
        for (const auto& r : rig.box.control_log())
            stop = stop || (r.request == 0xB1 && r.data.size() == 2 && r.data[0] == 0x03);
        EXPECT_TRUE(stop);
        const uint64_t octets = 2ull * TAILLE_PAQUET + TAILLE_PAQUET / 2 + 3;
        EXPECT_EQ(data().size(), octets);
        EXPECT_EQ(nb_ech(), octets / 32);
        EXPECT_TRUE(pane_has(compose(p.journal.conv,
                                     "Le fichier de données contient {0:N0} octets, soit {1:N0} échantillons.\r\n",
                                     {octets, octets / 32})));
        EXPECT_NE(read_text(path(".log")).find("Nb_ech = " + std::to_string(octets / 32) + "\r\n"), std::string::npos);
        expect_idle_window();
    }

    // A close that fails (the buffered bytes cannot be written) is reported.
    if (!std::filesystem::exists("/dev/full"))
        return;
    p.pane.text.clear();
    rig.op.answers.push_back(true);
    reglage(0, 0.1);
    std::vector<char> tampon(1 << 20);
    bool remplace = false;
    rig.disque.ecriture = [&](std::FILE* f, const unsigned char* d, std::size_t n) -> std::size_t {
        if (!remplace) { // the real file stays empty
            remplace = true;
            std::freopen("/dev/full", "wb", f);
            std::setvbuf(f, tampon.data(), _IOFBF, tampon.size());
        }
        return std::fwrite(d, 1, n, f);
    };
    start();
    EXPECT_EQ(p.fin_run, FIN_ECRITURE);
    EXPECT_TRUE(pane_has("Erreur à la fermeture du fichier de données " + path(".dat") + " : " + std::strerror(ENOSPC)))
        << p.pane.text;
    EXPECT_EQ(nb_ech(), 0u);
    rig.disque.ecriture = nullptr;
}

TEST_F(Run, OpenEndedRecordingWithoutRoomIsRefusedBeforeTheBoxStarts)
{
    rig.selection(7, true);
    p.ctl.checkBox_Definie.checked = false;
    checkBox_Definie_CheckedChanged(p);
    rig.disque.place = [](const std::string&) { return RESERVE_DISQUE + 65ull * TAILLE_PAQUET + 100; };
    rig.box.clear_logs();
    start();
    EXPECT_EQ(p.fin_run, FIN_REFUSEE);
    EXPECT_EQ(rig.op.shown.back().text, "Alerte : Pas suffisamment de place sur le disque !\r\n");
    EXPECT_TRUE(pane_has("1 Go disponibles sur le disque, soit "));
    for (const auto& r : rig.box.control_log())
        EXPECT_FALSE(r.request == 0xB1 && r.data.size() == 2 && r.data[0] == 0x02) << "Start sent";
    EXPECT_TRUE(p.enabled[9]);
}

} // namespace
