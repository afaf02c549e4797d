#include <gtest/gtest.h>

#include <cstring>

#include "acquisition/anneau.h"
#include "app/model/choix_micros.h"
#include "device/commandes.h"
#include "files/fichier_donnees.h"
#include "support/rig.h"

namespace {

// --- The completion handler on its own, fed by hand -----------------------

struct Handler : ::testing::Test, Modele {
    std::vector<unsigned char> buffer = std::vector<unsigned char>(TAILLE_PAQUET);
    usb::Transfer t;

    void SetUp() override
    {
        usb.submit_result = 0;
        p.anneau.slots[0] = {&p, 0};
        t.user_data = &p.anneau.slots[0];
        t.buffer = buffer.data();
        t.length = static_cast<int>(TAILLE_PAQUET);
        p.anneau.transfert[0] = &t;
        p.record = false;
    }

    // Packet k of a stream whose frames are N words with a counter at word
    // 0 starting at `ref`; every other word holds a filler.
    void packet(uint32_t k, int32_t N, int32_t ref, uint32_t length = TAILLE_PAQUET)
    {
        for (uint32_t i = 0; i < MOTS_PAQUET; ++i) {
            uint64_t w = static_cast<uint64_t>(k) * MOTS_PAQUET + i;
            int32_t v = w % N == 0 ? static_cast<int32_t>(ref + w / N) : 0x5A5A5A5A;
            std::memcpy(&buffer[4 * i], &v, 4);
        }
        t.status = usb::TRANSFER_COMPLETED;
        t.actual_length = static_cast<int>(length);
        fn_callback(&t);
    }
};

TEST_F(Handler, CounterCheckFollowsTheFrameBoundaries)
{
    p.nb_voies = 1045;
    p.compteur = true;
    calcule_increments(p);
    EXPECT_EQ(p.anneau.increment_position, 326);
    EXPECT_EQ(p.anneau.increment_compteur, 4014);

    const int32_t ref = 1000;
    const uint32_t positions[] = {0, 326, 652, 978, 259};
    const int32_t values[] = {ref, ref + 4014, ref + 8028, ref + 12042, ref + 16055};
    for (uint32_t k = 0; k < 5; ++k) {
        packet(k, 1045, ref);
        EXPECT_EQ(p.anneau.position_compteur, positions[k]) << k;
        EXPECT_EQ(p.anneau.val_compteur, values[k]) << k;
    }
    EXPECT_FALSE(p.anneau.erreur_compteur);
    EXPECT_EQ(p.pane.text.find("compteur"), std::string::npos);

    // A counter that jumps is reported once per run; later packets are not tested.
    packet(5, 1045, ref + 7);
    packet(6, 1045, ref + 9);
    EXPECT_TRUE(p.anneau.erreur_compteur);
    EXPECT_EQ(p.pane.text, "\r\nErreur sur le compteur paquet : 5\r\n");
}

TEST_F(Handler, CounterWrapsAndDividingFrameSizeKeepsPositionZero)
{
    p.nb_voies = 8; // divides the packet: the position stays 0
    p.compteur = true;
    calcule_increments(p);
    EXPECT_EQ(p.anneau.increment_position, 0);
    EXPECT_EQ(p.anneau.increment_compteur, 524288);
    const int32_t ref = INT32_MAX - 600000; // wraps during packet 1
    for (uint32_t k = 0; k < 3; ++k) {
        packet(k, 8, ref);
        EXPECT_EQ(p.anneau.position_compteur, 0u);
    }
    EXPECT_FALSE(p.anneau.erreur_compteur);
}

TEST_F(Handler, ShortPacketsOfFourFramesOrLessAreNotChecked)
{
    p.nb_voies = 10;
    p.compteur = true;
    calcule_increments(p);
    packet(0, 10, 0);
    packet(1, 10, 99, 16 * 10); // wrong counter, but only 4 frames long
    EXPECT_FALSE(p.anneau.erreur_compteur);
    EXPECT_TRUE(p.anneau.fin_en_cours); // short: end of stream
}

TEST_F(Handler, FailedAndTimedOutCompletions)
{
    p.boitier.test_init = true;
    t.status = usb::TRANSFER_TIMED_OUT;
    fn_callback(&t);
    EXPECT_TRUE(p.anneau.err_timeout);
    EXPECT_TRUE(p.anneau.t_fini[0]);
    EXPECT_EQ(p.pane.text, ""); // silent during the presence test
    p.boitier.test_init = false;
    t.status = usb::TRANSFER_TIMED_OUT;
    fn_callback(&t);
    t.status = usb::TRANSFER_STALL;
    fn_callback(&t);
    EXPECT_EQ(p.pane.text, "TIMEOUT lors du transfert du paquet 1\r\n"
                           "Erreur lors du transfert du paquet 2 status 4\r\n");
    EXPECT_EQ(p.anneau.num_pkt, 3u);
    EXPECT_EQ(p.anneau.ntr, 0u);
    EXPECT_FALSE(p.anneau.fini);
}

TEST_F(Handler, RefusedResubmissionNamesThePacketItWouldCarry)
{
    usb.submit_result = usb::ERROR_IO;
    p.anneau.num_pkt = 5;
    packet(5, 8, 0);
    EXPECT_EQ(p.pane.text, "Erreur lancement transfert du paquet 37\r\n");
    EXPECT_FALSE(p.anneau.transf_arret[0]);
}

TEST_F(Handler, OutOfKernelMemoryIsExplainedOncePerRun)
{
    usb.submit_result = usb::ERROR_NO_MEM;
    packet(0, 8, 0);
    packet(1, 8, 0);
    const std::string& text = p.pane.text;
    size_t first = text.find("usbfs_memory_mb");
    ASSERT_NE(first, std::string::npos);
    EXPECT_NE(text.find("/sys/module/usbcore/parameters/usbfs_memory_mb"), std::string::npos);
    EXPECT_NE(text.find("600"), std::string::npos);
    // Two refusals, one explanation.
    EXPECT_NE(text.find("Erreur lancement transfert du paquet 33"), std::string::npos);
    EXPECT_EQ(text.find("LIBUSB_ERROR_NO_MEM"), text.rfind("LIBUSB_ERROR_NO_MEM"));
}

TEST(RingAllocation, FailureFreesWhatWasAllocatedAndRefuses)
{
    RecordingUsb usb;
    usb.alloc_fail_at = 5;
    ScriptedOperator op;
    TestClock clock;
    Principale p(usb, op, clock, Conventions::french());
    EXPECT_EQ(alloue_anneau(p, 1000), -1);
    EXPECT_EQ(usb.frees, 5);
    for (int i = 0; i < NB_TRANSFERTS; ++i) {
        EXPECT_EQ(p.anneau.transfert[i], nullptr);
        EXPECT_EQ(p.anneau.buffers[i], nullptr);
    }
    EXPECT_NE(p.pane.text.find("Mémoire insuffisante"), std::string::npos);
}

// --- The ring against the simulated box ------------------------------------

struct RingRun : ::testing::Test {
    Rig rig;
    Principale& p = *rig.p;
    std::string data = rig.dir.file("run.dat");

    void arm(int micros, bool counter, uint32_t count)
    {
        ASSERT_EQ(init_USB(p.boitier), 0);
        rig.selection(micros, counter);
        choix_micros(p, true);
        envoie(p.boitier, CMD_CLOCK_DIVISION, {9});
        envoie(p.boitier, CMD_SAMPLE_COUNT, {static_cast<uint8_t>(count), static_cast<uint8_t>(count >> 8),
                                     static_cast<uint8_t>(count >> 16), static_cast<uint8_t>(count >> 24)});
        calcule_increments(p);
        p.record = true;
        p.acqui_name = data;
        ASSERT_EQ(ouvre_fichiers(p), 0);
        ASSERT_EQ(alloue_anneau(p, 10000), 0);
        soumet_anneau(p);
        envoie(p.boitier, CMD_START, {0});
    }

    // Main loop and end loop, as the run turns them.
    void drive()
    {
        int rc = 0;
        while (rc == 0 && !p.anneau.fin_en_cours && transferts_en_vol(p) > 0)
            rc = p.usb.handle_events();
        while (rc == 0 && !p.anneau.fini && transferts_en_vol(p) > 0)
            rc = p.usb.handle_events();
        ferme_fichiers(p);
    }

    void expect_file_is_stream()
    {
        auto file = read_bytes(data);
        auto sent = rig.box.stream_copy();
        ASSERT_EQ(file.size(), sent.size());
        EXPECT_TRUE(file == sent);
        EXPECT_EQ(p.anneau.ntw, sent.size());
    }

    void TearDown() override
    {
        libere_anneau(p);
        EXPECT_EQ(rig.box.view().misuses, 0u);
    }
};

TEST_F(RingRun, StreamShorterThanOnePacket)
{
    arm(7, true, 1000); // 8 words per frame
    drive();
    EXPECT_EQ(p.anneau.ntr, 32000u);
    EXPECT_TRUE(p.anneau.fini);
    EXPECT_EQ(p.anneau.num_pkt, 1u + 32u); // the packet, then one cancel per slot
    EXPECT_FALSE(p.anneau.erreur_compteur);
    expect_file_is_stream();
}

TEST_F(RingRun, ExactMultipleOfThePacketEndsOnAnEmptyTransfer)
{
    arm(7, true, 2 * TAILLE_PAQUET / 32); // exactly 2 packets
    drive();
    EXPECT_EQ(p.anneau.ntr, 2ull * TAILLE_PAQUET);
    EXPECT_EQ(p.anneau.num_pkt, 3u + 32u);
    EXPECT_EQ(p.anneau.a_ecrire[2], 0u);
    EXPECT_TRUE(p.anneau.fini);
    EXPECT_FALSE(p.anneau.erreur_compteur);
    expect_file_is_stream();
}

TEST_F(RingRun, CounterCheckPassesOverManyPacketsOfAnOddFrame)
{
    arm(1044, true, 6 * (TAILLE_PAQUET / 4 / 1045)); // 1045 words, about 6 packets
    drive();
    EXPECT_FALSE(p.anneau.erreur_compteur);
    EXPECT_TRUE(p.anneau.fini);
    expect_file_is_stream();
}

TEST_F(RingRun, SkippingCounterIsReportedOnceAndEverythingIsWritten)
{
    sim::Faults f;
    f.counter_skip_frame = 10000;
    rig.box.set_faults(f);
    arm(15, true, 5 * TAILLE_PAQUET / 64); // 16 words, 5 packets
    drive();
    EXPECT_TRUE(p.anneau.erreur_compteur);
    EXPECT_EQ(p.pane.text.find("Erreur sur le compteur"), p.pane.text.rfind("Erreur sur le compteur"));
    expect_file_is_stream();
}

// A slot that fails is not resubmitted; the packets that follow must still
// reach the file from the transfer that carried them, past a full turn of
// the ring (a stalled transfer mid-run is in the run's tests).
TEST_F(RingRun, FailedSlotLeavesLaterPacketsInPlace)
{
    sim::Faults f;
    f.fail_transfer = 1;
    f.fail_status = usb::TRANSFER_TIMED_OUT;
    rig.box.set_faults(f);
    arm(7, true, 34 * TAILLE_PAQUET / 32); // 34 packets: one more turn of the ring
    drive();
    EXPECT_EQ(p.anneau.ntr, 34ull * TAILLE_PAQUET);
    EXPECT_FALSE(p.anneau.erreur_compteur);
    EXPECT_NE(p.pane.text.find("TIMEOUT lors du transfert du paquet 1\r\n"), std::string::npos);
    expect_file_is_stream();
}

TEST_F(RingRun, TransferCutShortKeepsItsBytesAndTheCounterCheck)
{
    // A transfer that times out part-way: its bytes are kept, and the
    // packets after it, shifted by a part of a frame, pass the counter check.
    sim::Faults f;
    f.fail_transfer = 1;
    f.fail_status = usb::TRANSFER_TIMED_OUT;
    f.fail_after_bytes = 5 * 1024 * 1024 + 12;
    rig.box.set_faults(f);
    arm(7, true, 34 * TAILLE_PAQUET / 32);
    drive();
    EXPECT_EQ(p.anneau.ntr, 34ull * TAILLE_PAQUET);
    EXPECT_FALSE(p.anneau.erreur_compteur);
    expect_file_is_stream();
}

TEST_F(RingRun, RingWhoseEverySlotFailsEnds)
{
    sim::Faults f;
    f.fail_transfer = 2;
    f.fail_status = usb::TRANSFER_NO_DEVICE; // unplugged
    rig.box.set_faults(f);
    arm(7, true, 10 * TAILLE_PAQUET / 32);
    drive(); // returns: nothing left in flight
    EXPECT_EQ(transferts_en_vol(p), 0);
    EXPECT_EQ(p.anneau.ntr, 2ull * TAILLE_PAQUET);
    EXPECT_FALSE(p.anneau.fini);
    EXPECT_NE(p.pane.text.find("status 5"), std::string::npos);
}

TEST_F(RingRun, ReleaseNeverFreesAPendingTransfer)
{
    rig.box.set_options([] {
        sim::Options o = Rig::unpaced();
        o.trigger_delay_ms = -1;
        return o;
    }());
    ASSERT_EQ(init_USB(p.boitier), 0);
    rig.selection(7, true);
    choix_micros(p, true);
    ASSERT_EQ(alloue_anneau(p, 0), 0);
    soumet_anneau(p);
    envoie(p.boitier, CMD_START, {1}); // waits for a trigger that never comes
    EXPECT_EQ(transferts_en_vol(p), 32);
    libere_anneau(p);
    EXPECT_EQ(transferts_en_vol(p), 0);
    for (int i = 0; i < NB_TRANSFERTS; ++i)
        EXPECT_EQ(p.anneau.transfert[i], nullptr);
    EXPECT_EQ(rig.box.view().misuses, 0u);
    EXPECT_EQ(rig.box.view().queued, 0u);
}

} // namespace
