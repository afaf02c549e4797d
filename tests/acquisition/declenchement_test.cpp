#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <fstream>

#include "app/model/acquisition.h"
#include "acquisition/anneau.h"
#include "app/model/construction.h"
#include "app/model/enable.h"
#include "device/commandes.h"
#include "app/model/nommage_controles.h"
#include "support/doubles.h"

namespace {

// A USB stack that writes nothing into a pending buffer: bytes appear only
// when a transfer completes, as some stacks do.
class CompletionOnlyUsb : public RecordingUsb {
public:
    std::deque<usb::Transfer*> pending;
    std::deque<std::pair<usb::Transfer*, int>> due; // transfer, status
    int deliver_bytes = -1;                         // >= 0: the head transfer completes with that many bytes
    bool first_cancel_completes = false;            // that transfer was already completing

    int submit_transfer(usb::Transfer* t) override
    {
        pending.push_back(t);
        return 0;
    }
    int cancel_transfer(usb::Transfer* t) override
    {
        for (auto it = pending.begin(); it != pending.end(); ++it)
            if (*it == t) {
                pending.erase(it);
                if (first_cancel_completes) {
                    first_cancel_completes = false;
                    t->actual_length = t->length;
                    due.emplace_back(t, usb::TRANSFER_COMPLETED);
                    return usb::ERROR_NOT_FOUND;
                }
                due.emplace_back(t, usb::TRANSFER_CANCELLED);
                return 0;
            }
        return usb::ERROR_NOT_FOUND;
    }
    int handle_events() override { return handle_events_timeout(0); }
    int handle_events_timeout(int) override
    {
        if (deliver_bytes >= 0 && !pending.empty()) {
            usb::Transfer* t = pending.front();
            pending.pop_front();
            t->actual_length = deliver_bytes;
            deliver_bytes = -1;
            due.emplace_back(t, usb::TRANSFER_COMPLETED);
        }
        while (!due.empty()) {
            auto [t, status] = due.front();
            due.pop_front();
            t->status = status;
            if (status == usb::TRANSFER_CANCELLED)
                t->actual_length = 0;
            t->callback(t);
        }
        return 0;
    }
};

// The model after start-up, the link open and the box counted as brought up.
void pret(Principale& p, const TempDir& dir)
{
    construction(p);
    p.config_en_cours = dir.file("config_en_cours.txt");
    p.ctl.textBox_Rep.text = dir.path() + "/";
    ASSERT_EQ(init_USB(p.boitier), 0);
    p.boitier.initialisation = true;
    set_enabled(p, true);
}

TEST(TriggerWait, FirstCompletedPacketCountsAsTheTrigger)
{
    CompletionOnlyUsb usb;
    ScriptedOperator op;
    TestClock clock;
    clock.step_ms = 1;
    Principale p(usb, op, clock, Conventions::french());
    TempDir dir;
    pret(p, dir);
    p.ctl.checkBox_Record.checked = false;
    checkBox_Record_CheckedChanged(p);
    for (int m = 8; m < 1024; ++m)
        p.ctl.grid[m / 8][m % 8].checked = false;
    p.ctl.radioButton_Start_Soft.checked = false;
    p.ctl.radioButton_Start_Trig1.checked = true;
    p.ctl.numericUpDown_Duree.value = 0.1;

    op.on_pump = [&] {
        if (p.phase_run == PHASE_ATTENTE && op.pumps == 20)
            usb.deliver_bytes = 9 * 4 * 500; // the whole short stream, at once
    };
    button_Start_Click(p);
    EXPECT_EQ(p.dernier.ntr, 9u * 4 * 500);
    EXPECT_FALSE(p.pane.text.find("Temps d'attente") != std::string::npos) << p.pane.text;
    EXPECT_NE(p.fin_run, FIN_ABANDONNEE);
    EXPECT_LT(clock.ms, 30000u);
    EXPECT_TRUE(usb.pending.empty());
}

TEST(RunStart, NothingQueuedRefusesTheRunBeforeTheBoxStarts)
{
    RecordingUsb usb;
    usb.submit_result = usb::ERROR_NO_MEM; // the kernel's usbfs limit
    ScriptedOperator op;
    TestClock clock;
    Principale p(usb, op, clock, Conventions::french());
    TempDir dir;
    pret(p, dir);
    button_Start_Click(p);
    EXPECT_EQ(p.fin_run, FIN_REFUSEE);
    EXPECT_NE(p.pane.text.find("usbfs_memory_mb"), std::string::npos);
    EXPECT_NE(p.pane.text.find("Aucun transfert n'a pu être lancé"), std::string::npos);
    for (const auto& d : usb.sent(0xB1))
        EXPECT_NE(d[0], 0x02) << "Start sent";
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(p.enabled[i], i != 10);
    EXPECT_FALSE(p.file_open);
    EXPECT_EQ(usb.frees, 32);
}

TEST(RunStart, StartTheBoxRefusesEndsTheRunAtOnceWithTheReason)
{
    // The box takes every request but Start, which it stalls.
    struct StartRefuse : CompletionOnlyUsb {
        int control_transfer(usb::DeviceHandle h, uint8_t type, uint8_t request, uint16_t value, uint16_t index,
                             unsigned char* data, uint16_t length, unsigned int timeout_ms) override
        {
            if (request == 0xB1 && data && data[0] == 0x02)
                return usb::ERROR_PIPE;
            return CompletionOnlyUsb::control_transfer(h, type, request, value, index, data, length, timeout_ms);
        }
    };
    StartRefuse usb;
    ScriptedOperator op;
    TestClock clock;
    clock.step_ms = 1;
    DisqueEssai disque;
    disque.place = [](const std::string&) { return RESERVE_DISQUE + (uint64_t(1) << 40); };
    Principale p(usb, op, clock, Conventions::french(), disque);
    TempDir dir;
    pret(p, dir);
    std::ofstream(dir.file("Test.dat"), std::ios::binary) << "ancien";
    op.answers.push_back(true); // overwrite it
    button_Start_Click(p);
    EXPECT_EQ(p.fin_run, FIN_REFUSEE);
    EXPECT_EQ(read_text(dir.file("Test.dat")), "ancien");
    EXPECT_FALSE(std::filesystem::exists(dir.file("Test.Ond")));
    const std::string& pane = p.pane.text;
    const size_t refus = pane.find("Commande Start refusée par le boîtier (LIBUSB_ERROR_PIPE)\r\n");
    ASSERT_NE(refus, std::string::npos) << pane;
    EXPECT_LT(refus, pane.find("Le boîtier refuse le départ de l'acquisition : acquisition annulée.\r\n"));
    EXPECT_EQ(pane.find("TIMEOUT"), std::string::npos);
    EXPECT_LT(clock.ms, 5000u); // no transfer time-out waited for
    EXPECT_TRUE(usb.pending.empty());
    EXPECT_EQ(usb.frees, 32);
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(p.enabled[i], i != 10);
}

TEST(RingRelease, TransferCompletingDuringTheDrainIsNotQueuedAgain)
{
    CompletionOnlyUsb usb;
    ScriptedOperator op;
    TestClock clock;
    clock.step_ms = 1;
    Journal journal;
    Anneau a(usb, clock, journal);
    ASSERT_EQ(a.alloue(nullptr, 1000), 0);
    a.soumet_tout();
    usb.first_cancel_completes = true;
    a.libere();
    EXPECT_EQ(a.en_vol(), 0);
    EXPECT_TRUE(usb.pending.empty());
    EXPECT_EQ(usb.frees, 32);
}

} // namespace
