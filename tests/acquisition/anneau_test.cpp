#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "acquisition/run.h"
#include "channels/selection.h"
#include "device/commandes.h"
#include "device/parametres.h"
#include "support/rig.h"

namespace {

// --- Completions handed to a run by hand ----------------------------------

struct Handler : ::testing::Test {
    RecordingUsb usb;
    TestClock clock;
    std::string texte;
    Journal journal{Conventions::french(), false, [this](const std::string& t, int) { texte += t; }};
    Boitier b{usb, clock, journal};
    ObservateurRun obs;
    std::unique_ptr<::Run> run;

    // A run that records nothing, over frames of `nb_voies` words, with
    // counter A at word 0 when `compteur`; its ring allocated, not submitted.
    void demarre(int nb_voies, bool compteur)
    {
        usb.submit_result = 0;
        ParametresRun params;
        params.nb_voies = nb_voies;
        params.compteur = compteur;
        params.enregistre = false;
        run = std::make_unique<::Run>(b, std::move(params), FichiersRun{}, obs);
        ASSERT_EQ(run->anneau().alloue(nullptr, 1000), 0);
    }

    void TearDown() override
    {
        if (!run)
            return;
        // The library completes what the run resubmitted, so that the whole
        // ring is freed.
        for (int s = 0; s < NB_TRANSFERTS; ++s) {
            if (!run->anneau().en_vol(s))
                continue;
            usb::Transfer* t = run->anneau().transfert(s);
            t->status = usb::TRANSFER_CANCELLED;
            Anneau::rappel(t);
        }
        run.reset();
        EXPECT_EQ(usb.frees, usb.allocs);
    }

    // Packet k of a stream whose frames are N words with a counter at word
    // 0 starting at `ref`, every other word a filler, completed in slot 0.
    void packet(uint32_t k, int32_t N, int32_t ref, uint32_t length = TAILLE_PAQUET)
    {
        unsigned char* buffer = run->anneau().buffer(0);
        for (uint32_t i = 0; i < MOTS_PAQUET; ++i) {
            uint64_t w = static_cast<uint64_t>(k) * MOTS_PAQUET + i;
            int32_t v = w % N == 0 ? static_cast<int32_t>(static_cast<uint32_t>(ref) + w / N) : 0x5A5A5A5A;
            std::memcpy(&buffer[4 * i], &v, 4);
        }
        run->traite({0, usb::TRANSFER_COMPLETED, length});
    }
};

TEST_F(Handler, CounterCheckFollowsTheFrameBoundaries)
{
    demarre(1045, true);
    const int32_t ref = 1000;
    const uint32_t positions[] = {0, 326, 652, 978, 259};
    const int32_t values[] = {ref, ref + 4014, ref + 8028, ref + 12042, ref + 16055};
    for (uint32_t k = 0; k < 5; ++k) {
        packet(k, 1045, ref);
        EXPECT_EQ(run->compteur().position, positions[k]) << k;
        EXPECT_EQ(run->compteur().valeur, values[k]) << k;
    }
    EXPECT_FALSE(run->erreur_compteur());
    EXPECT_EQ(texte, "");

    // A counter that jumps is reported once per run; later packets are not tested.
    packet(5, 1045, ref + 7);
    packet(6, 1045, ref + 9);
    EXPECT_TRUE(run->erreur_compteur());
    EXPECT_EQ(texte, "\r\nErreur sur le compteur paquet : 5\r\n");
}

TEST_F(Handler, CounterWrapsAndDividingFrameSizeKeepsPositionZero)
{
    demarre(8, true);                       // divides the packet: the position stays 0
    const int32_t ref = INT32_MAX - 600000; // wraps during packet 1
    for (uint32_t k = 0; k < 3; ++k) {
        packet(k, 8, ref);
        EXPECT_EQ(run->compteur().position, 0u);
        EXPECT_EQ(run->compteur().valeur, static_cast<int32_t>(static_cast<uint32_t>(ref) + k * 524288u)) << k;
    }
    EXPECT_FALSE(run->erreur_compteur());
}

TEST_F(Handler, ShortPacketsOfFourFramesOrLessAreNotCheckedAndEndTheStream)
{
    demarre(10, true);
    packet(0, 10, 0);
    packet(1, 10, 99, 16 * 10); // wrong counter, but only 4 frames long
    EXPECT_FALSE(run->erreur_compteur());
    EXPECT_EQ(run->ntr(), TAILLE_PAQUET + 160u);
    EXPECT_EQ(usb.cancels, NB_TRANSFERTS); // end of stream: every slot is cancelled
}

TEST_F(Handler, FailedAndTimedOutCompletions)
{
    demarre(8, false);
    b.test_init = true;
    run->traite({0, usb::TRANSFER_TIMED_OUT, 0});
    EXPECT_EQ(texte, ""); // silent during the presence test
    b.test_init = false;
    run->traite({0, usb::TRANSFER_TIMED_OUT, 0});
    run->traite({0, usb::TRANSFER_STALL, 0});
    EXPECT_EQ(texte, "TIMEOUT lors du transfert du paquet 1\r\n"
                     "Erreur lors du transfert du paquet 2 status 4\r\n");
    EXPECT_EQ(run->num_pkt(), 3u);
    EXPECT_EQ(run->ntr(), 0u);
    EXPECT_EQ(usb.cancels, 0); // a failure does not end the stream
}

TEST_F(Handler, RefusedResubmissionNamesThePacketItWouldCarry)
{
    demarre(8, false);
    for (int k = 0; k < 5; ++k)
        run->traite({0, usb::TRANSFER_COMPLETED, TAILLE_PAQUET});
    usb.submit_result = usb::ERROR_IO;
    run->traite({0, usb::TRANSFER_COMPLETED, TAILLE_PAQUET});
    EXPECT_EQ(texte, "Erreur lancement transfert du paquet 37\r\n");
}

TEST_F(Handler, OutOfKernelMemoryIsExplainedOncePerRun)
{
    demarre(8, false);
    usb.submit_result = usb::ERROR_NO_MEM;
    run->traite({0, usb::TRANSFER_COMPLETED, TAILLE_PAQUET});
    run->traite({0, usb::TRANSFER_COMPLETED, TAILLE_PAQUET});
    size_t first = texte.find("usbfs_memory_mb");
    ASSERT_NE(first, std::string::npos);
    EXPECT_NE(texte.find("/sys/module/usbcore/parameters/usbfs_memory_mb"), std::string::npos);
    EXPECT_NE(texte.find("600"), std::string::npos);
    // Two refusals, one explanation.
    EXPECT_NE(texte.find("Erreur lancement transfert du paquet 33"), std::string::npos);
    EXPECT_EQ(texte.find("LIBUSB_ERROR_NO_MEM"), texte.rfind("LIBUSB_ERROR_NO_MEM"));
}

TEST(RingAllocation, FailureFreesWhatWasAllocatedAndRefuses)
{
    RecordingUsb usb;
    usb.alloc_fail_at = 5;
    TestClock clock;
    std::string texte;
    Journal journal{Conventions::french(), false, [&texte](const std::string& t, int) { texte += t; }};
    Anneau a(usb, clock, journal);
    EXPECT_EQ(a.alloue(nullptr, 1000), -1);
    EXPECT_EQ(usb.frees, 5);
    for (int i = 0; i < NB_TRANSFERTS; ++i) {
        EXPECT_EQ(a.transfert(i), nullptr);
        EXPECT_EQ(a.buffer(i), nullptr);
    }
    EXPECT_NE(texte.find("Mémoire insuffisante"), std::string::npos);
}

// --- Whole runs against the simulated box ----------------------------------

struct RingRun : ::testing::Test {
    Rig rig;
    Principale& p = *rig.p;
    Boitier& b = p.boitier;
    std::string data = rig.dir.file("run.dat");
    ObservateurRun obs;
    std::unique_ptr<::Run> run;

    // A recorded run at 50 000 Hz of `micros` microphones from 0, with
    // counter A when `counter`, for the `count` samples the box holds.
    FinRun lance(int micros, bool counter, uint32_t count)
    {
        EXPECT_EQ(init_USB(b), 0);
        envoie_frequence(b, 0);
        envoie_nb_echantillons(b, count);
        Selection sel;
        for (int m = 0; m < micros; ++m)
            sel.micros[m / 8][m % 8] = true;
        sel.compteurs[0] = counter;
        ParametresRun params;
        params.nb_voies = sel.nb_voies();
        params.nb_micros = sel.nb_micros();
        params.compteur = counter;
        params.voies.resize(1043);
        params.voies.resize(sel.liste_voies(params.voies.data()));
        for (const CommandeSelection& c : sel.commandes())
            params.commandes_selection.push_back(c);
        params.ligne_freq = 0;
        params.definie = true;
        params.enregistre = true;
        params.fich_auto = true;
        params.acqui_name = data;
        rig.disque.place = [](const std::string&) { return uint64_t(1) << 40; };
        run = std::make_unique<::Run>(b, std::move(params), FichiersRun{}, obs, rig.disque);
        return run->execute();
    }

    bool pane_has(const std::string& s) const { return p.pane.text.find(s) != std::string::npos; }

    void expect_file_is_stream()
    {
        auto file = read_bytes(data);
        auto sent = rig.box.stream_copy();
        ASSERT_EQ(file.size(), sent.size());
        EXPECT_TRUE(file == sent);
        EXPECT_EQ(run->ntw(), sent.size());
    }

    void TearDown() override
    {
        run.reset();
        EXPECT_EQ(rig.box.view().misuses, 0u);
        EXPECT_EQ(rig.box.view().queued, 0u);
    }
};

TEST_F(RingRun, StreamShorterThanOnePacket)
{
    EXPECT_EQ(lance(7, true, 1000), FIN_COMPLETE) << p.pane.text; // 8 words per frame
    EXPECT_EQ(run->ntr(), 32000u);
    EXPECT_EQ(run->num_pkt(), 1u + 32u); // the packet, then one cancel per slot
    EXPECT_FALSE(run->erreur_compteur());
    expect_file_is_stream();
}

TEST_F(RingRun, ExactMultipleOfThePacketEndsOnAnEmptyTransfer)
{
    EXPECT_EQ(lance(7, true, 2 * TAILLE_PAQUET / 32), FIN_COMPLETE) << p.pane.text; // exactly 2 packets
    EXPECT_EQ(run->n_pkt(), 2u);
    EXPECT_EQ(run->ntr(), 2ull * TAILLE_PAQUET);
    EXPECT_EQ(run->num_pkt(), 3u + 32u); // two packets, the empty one, the cancels
    EXPECT_FALSE(run->erreur_compteur());
    expect_file_is_stream();
}

TEST_F(RingRun, CounterCheckPassesOverManyPacketsOfAnOddFrame)
{
    // 1045 words, about 6 packets.
    EXPECT_EQ(lance(1044, true, 6 * (TAILLE_PAQUET / 4 / 1045)), FIN_COMPLETE) << p.pane.text;
    EXPECT_FALSE(run->erreur_compteur());
    expect_file_is_stream();
}

TEST_F(RingRun, SkippingCounterIsReportedOnceAndEverythingIsWritten)
{
    sim::Faults f;
    f.counter_skip_frame = 10000;
    rig.box.set_faults(f);
    EXPECT_EQ(lance(15, true, 5 * TAILLE_PAQUET / 64), FIN_STOPPEE); // 16 words, 5 packets
    EXPECT_TRUE(run->erreur_compteur());
    EXPECT_TRUE(pane_has("Erreur sur le compteur"));
    EXPECT_EQ(p.pane.text.find("Erreur sur le compteur"), p.pane.text.rfind("Erreur sur le compteur"));
    expect_file_is_stream();
}

// A slot that fails is not resubmitted; the packets that follow must still
// reach the file from the transfer that carried them, past a full turn of
// the ring.
TEST_F(RingRun, FailedSlotLeavesLaterPacketsInPlace)
{
    sim::Faults f;
    f.fail_transfer = 1;
    f.fail_status = usb::TRANSFER_TIMED_OUT;
    rig.box.set_faults(f);
    EXPECT_EQ(lance(7, true, 34 * TAILLE_PAQUET / 32), FIN_COMPLETE) << p.pane.text; // one more turn of the ring
    EXPECT_EQ(run->ntr(), 34ull * TAILLE_PAQUET);
    EXPECT_FALSE(run->erreur_compteur());
    EXPECT_TRUE(pane_has("TIMEOUT lors du transfert du paquet 1\r\n"));
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
    EXPECT_EQ(lance(7, true, 34 * TAILLE_PAQUET / 32), FIN_COMPLETE) << p.pane.text;
    EXPECT_EQ(run->ntr(), 34ull * TAILLE_PAQUET);
    EXPECT_FALSE(run->erreur_compteur());
    expect_file_is_stream();
}

TEST_F(RingRun, RingWhoseEverySlotFailsEnds)
{
    sim::Faults f;
    f.fail_transfer = 2;
    f.fail_status = usb::TRANSFER_NO_DEVICE; // unplugged
    rig.box.set_faults(f);
    EXPECT_EQ(lance(7, true, 10 * TAILLE_PAQUET / 32), FIN_INCOMPLETE); // returns: nothing left in flight
    EXPECT_EQ(run->ntr(), 2ull * TAILLE_PAQUET);
    EXPECT_TRUE(pane_has("status 5"));
    expect_file_is_stream();
}

TEST_F(RingRun, ReleaseNeverFreesAPendingTransfer)
{
    ASSERT_EQ(init_USB(b), 0);
    Anneau a(b.usb, b.clock, b.journal);
    ASSERT_EQ(a.alloue(b.handle, 0), 0);
    a.soumet_tout();
    envoie(b, CMD_START, {1}); // waits for a trigger that never comes
    EXPECT_EQ(a.en_vol(), 32);
    a.libere();
    EXPECT_EQ(a.en_vol(), 0);
    for (int i = 0; i < NB_TRANSFERTS; ++i)
        EXPECT_EQ(a.transfert(i), nullptr);
    EXPECT_EQ(rig.box.view().misuses, 0u);
    EXPECT_EQ(rig.box.view().queued, 0u);
}

} // namespace
