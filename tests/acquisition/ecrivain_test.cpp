#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>

#include "acquisition/ecrivain.h"
#include "acquisition/run.h"
#include "channels/selection.h"
#include "device/bringup.h"
#include "device/commandes.h"
#include "device/parametres.h"
#include "support/rig.h"

namespace {

// The system's disk, with its writes counted and a refusal when a test asks
// for one: at opening (`refus_ouverture`), at the direct write numbered
// `refus_direct` (an errno and the bytes it still takes).
struct DisqueCompte : Disque {
    int tamponnes = 0, directs = 0;
    int refus_ouverture = 0;
    int refus_direct = 0, erreur_direct = 0;
    std::size_t pris_au_refus = 0;

    FichierDirect* ouvre_direct(const std::string& chemin, int& err) override
    {
        if (refus_ouverture) {
            err = refus_ouverture;
            return nullptr;
        }
        return Disque::ouvre_direct(chemin, err);
    }
    std::size_t ecrit_direct(FichierDirect* f, uint64_t position, const unsigned char* octets, std::size_t n) override
    {
        if (++directs == refus_direct) {
            const std::size_t pris = Disque::ecrit_direct(f, position, octets, pris_au_refus);
            errno = erreur_direct;
            return pris;
        }
        return Disque::ecrit_direct(f, position, octets, n);
    }
    std::size_t ecrit(std::FILE* f, const unsigned char* octets, std::size_t n) override
    {
        ++tamponnes;
        return Disque::ecrit(f, octets, n);
    }
};

// --- The writer on its own ---------------------------------------------------

struct Tampons {
    static constexpr std::size_t N = 1 << 20;
    unsigned char* p[4];
    Tampons()
    {
        for (int i = 0; i < 4; ++i) {
            p[i] = static_cast<unsigned char*>(::operator new[](N, std::align_val_t(ALIGNEMENT_DIRECT)));
            for (std::size_t k = 0; k < N; ++k)
                p[i][k] = static_cast<unsigned char>(k * 7 + i * 13 + k / 4096);
        }
    }
    ~Tampons()
    {
        for (unsigned char* b : p)
            ::operator delete[](b, std::align_val_t(ALIGNEMENT_DIRECT));
    }
};

// Hands `longueurs` bytes of the four buffers in turn to a writer on `nom`
// and takes everything back; the file must hold them end to end.
std::vector<Ecrivain::Rendu> ecrit_tout(Disque& d, const std::string& nom, const std::vector<uint32_t>& longueurs,
                                        int& refus, std::vector<uint8_t>& attendu)
{
    Tampons t;
    std::FILE* f = std::fopen(nom.c_str(), "w+b");
    EXPECT_NE(f, nullptr);
    Ecrivain e(d);
    refus = e.commence(f, nom);
    uint64_t position = 0;
    for (std::size_t i = 0; i < longueurs.size(); ++i) {
        e.confie(static_cast<int>(i % 4), t.p[i % 4], longueurs[i], position);
        attendu.insert(attendu.end(), t.p[i % 4], t.p[i % 4] + longueurs[i]);
        position += longueurs[i];
    }
    std::vector<Ecrivain::Rendu> rendus;
    Ecrivain::Rendu r;
    while (e.en_cours() > 0)
        if (e.attend_rendu(r, 1000))
            rendus.push_back(r);
    e.termine();
    std::fclose(f);
    return rendus;
}

TEST(Ecrivain, WritesEveryPacketInOrderDirectWhereAlignedBufferedElsewhere)
{
    TempDir dir;
    DisqueCompte d;
    int refus = -1;
    std::vector<uint8_t> attendu;
    // Full, full, a packet cut short (the rest unaligned: buffered), full
    // again, then the short last one.
    const std::vector<uint32_t> l = {Tampons::N, Tampons::N, 12345, Tampons::N, Tampons::N, 1000};
    const auto rendus = ecrit_tout(d, dir.file("a.dat"), l, refus, attendu);
    ASSERT_EQ(rendus.size(), l.size());
    for (std::size_t i = 0; i < l.size(); ++i) {
        EXPECT_EQ(rendus[i].slot, static_cast<int>(i % 4));
        EXPECT_TRUE(rendus[i].offert);
        EXPECT_EQ(rendus[i].ecrits, l[i]) << i;
    }
    EXPECT_TRUE(read_bytes(dir.file("a.dat")) == attendu);
    if (refus == 0) { // a file system that takes direct writes
        EXPECT_EQ(d.directs, 2);
        EXPECT_EQ(d.tamponnes, 4);
    }
}

TEST(Ecrivain, FileSystemThatRefusesDirectWritesGetsThemBuffered)
{
    TempDir dir;
    std::vector<uint32_t> l(3, Tampons::N);
    l.push_back(100);
    struct Cas {
        const char* nom;
        int ouverture, direct;
    } cas[] = {{"refused at opening", EINVAL, 0}, {"refused at the first write", 0, 1}};
    for (const Cas& c : cas) {
        SCOPED_TRACE(c.nom);
        DisqueCompte d;
        d.refus_ouverture = c.ouverture;
        d.refus_direct = c.direct;
        d.erreur_direct = EINVAL;
        int refus = -1;
        std::vector<uint8_t> attendu;
        const auto rendus = ecrit_tout(d, dir.file("b.dat"), l, refus, attendu);
        EXPECT_EQ(refus, c.ouverture);
        ASSERT_EQ(rendus.size(), l.size());
        int refus_direct = 0;
        for (const auto& r : rendus) {
            EXPECT_EQ(r.ecrits, r.n);
            refus_direct += r.refus_direct;
        }
        EXPECT_EQ(refus_direct, c.direct ? 1 : 0);
        EXPECT_EQ(d.tamponnes, 4);
        EXPECT_TRUE(read_bytes(dir.file("b.dat")) == attendu);
    }

    // A real one: tmpfs refuses O_DIRECT at opening.
    if (!std::filesystem::is_directory("/dev/shm"))
        return;
    const std::string nom =
        "/dev/shm/ondaris-ecrivain-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed());
    DisqueCompte d;
    int refus = -1;
    std::vector<uint8_t> attendu;
    ecrit_tout(d, nom, l, refus, attendu);
    EXPECT_TRUE(read_bytes(nom) == attendu);
    std::filesystem::remove(nom);
}

TEST(Ecrivain, FirstShortWriteEndsTheWritingAndTheRestIsNotOffered)
{
    TempDir dir;
    DisqueCompte d;
    d.refus_direct = 2;
    d.erreur_direct = ENOSPC;
    d.pris_au_refus = 8192;
    int refus = -1;
    std::vector<uint8_t> attendu;
    const auto rendus = ecrit_tout(d, dir.file("c.dat"), {Tampons::N, Tampons::N, Tampons::N, 10}, refus, attendu);
    if (refus != 0)
        GTEST_SKIP() << "no direct writes on this file system";
    ASSERT_EQ(rendus.size(), 4u);
    EXPECT_EQ(rendus[1].ecrits, 8192u);
    EXPECT_EQ(rendus[1].err, ENOSPC);
    for (int i : {2, 3}) {
        EXPECT_FALSE(rendus[i].offert);
        EXPECT_EQ(rendus[i].ecrits, 0u);
    }
    EXPECT_EQ(d.directs, 2);
    EXPECT_EQ(d.tamponnes, 0);
    EXPECT_EQ(read_bytes(dir.file("c.dat")).size(), Tampons::N + 8192);
}

// --- Whole runs --------------------------------------------------------------

struct RunDirect : ::testing::Test {
    Rig rig;
    Principale& p = *rig.p;
    Boitier& b = p.boitier;
    std::string data = rig.dir.file("run.dat");
    ObservateurRun obs;
    DisqueCompte disque;
    std::unique_ptr<::Run> run;
    bool initialise_ = false;

    // A recorded run at 50 000 Hz of 1022 microphones and counter A (frames
    // of 4092 bytes: a short last packet is unaligned), for the `count`
    // samples the box holds.
    FinRun lance(uint32_t count)
    {
        if (!initialise_) {
            EXPECT_EQ(init_USB(b), 0);
        }
        initialise_ = true;
        envoie_frequence(b, 0);
        envoie_nb_echantillons(b, count);
        Selection sel;
        for (int m = 0; m < 1022; ++m)
            sel.micros[m / 8][m % 8] = true;
        sel.compteurs[0] = true;
        ParametresRun params;
        params.nb_voies = sel.nb_voies();
        params.nb_micros = sel.nb_micros();
        params.compteur = true;
        params.voies.resize(1043);
        params.voies.resize(sel.liste_voies(params.voies.data()));
        for (const CommandeSelection& c : sel.commandes())
            params.commandes_selection.push_back(c);
        params.definie = true;
        params.acqui_name = data;
        run = std::make_unique<::Run>(b, std::move(params), FichiersRun{}, obs, disque);
        return run->execute();
    }
    bool pane_has(const std::string& s) const { return p.pane.text.find(s) != std::string::npos; }
    void TearDown() override
    {
        run.reset();
        EXPECT_EQ(rig.box.view().misuses, 0u);
        EXPECT_EQ(rig.box.view().queued, 0u);
    }
};

// 3 packets and a short last one.
constexpr uint32_t TROIS_PAQUETS_ET_DEMI = 3 * MOTS_PAQUET / 1023 + 2000;

TEST_F(RunDirect, RecordingIsTheStreamWhetherWrittenDirectOrBuffered)
{
    const std::string refus = "Écriture directe refusée par le système de fichiers";
    struct Cas {
        const char* nom;
        int ouverture, direct;
        bool ligne;
    } cas[] = {{"direct", 0, 0, false}, {"refused at opening", EINVAL, 0, true}, {"refused at a write", 0, 2, true}};
    for (const Cas& c : cas) {
        SCOPED_TRACE(c.nom);
        p.pane.text.clear();
        disque = DisqueCompte{};
        disque.refus_ouverture = c.ouverture;
        disque.refus_direct = c.direct;
        disque.erreur_direct = EINVAL;
        ASSERT_EQ(lance(TROIS_PAQUETS_ET_DEMI), FIN_COMPLETE) << p.pane.text;
        const auto file = read_bytes(data);
        const auto sent = rig.box.stream_copy();
        ASSERT_EQ(file.size(), sent.size());
        EXPECT_TRUE(file == sent);
        EXPECT_EQ(run->ntw(), sent.size());
        EXPECT_EQ(run->num_pkt(), 4u + 32u); // the packets, then one cancel per slot
        // One line, and only when the file system refused.
        const auto premiere = p.pane.text.find(refus);
        EXPECT_EQ(premiere != std::string::npos, c.ligne) << p.pane.text;
        EXPECT_EQ(premiere, p.pane.text.rfind(refus));
        if (!c.ligne && disque.directs > 0) {
            EXPECT_EQ(disque.tamponnes, 1); // the short last packet
        }
    }
}

TEST_F(RunDirect, FullDiskDuringADirectWriteStopsTheRunAndTheFilesSayWhatItHolds)
{
    disque.refus_direct = 2;
    disque.erreur_direct = ENOSPC;
    disque.pris_au_refus = 1 << 20;
    const FinRun fin = lance(TROIS_PAQUETS_ET_DEMI);
    if (disque.directs == 0)
        GTEST_SKIP() << "no direct writes on this file system";
    EXPECT_EQ(fin, FIN_ECRITURE) << p.pane.text;
    EXPECT_EQ(disque.directs, 2); // nothing more is offered to the file
    EXPECT_TRUE(pane_has("\r\nDisque plein : le fichier de données " + data +
                         " n'accepte plus d'octets. Acquisition arrêtée.\r\n"))
        << p.pane.text;
    const uint64_t octets = TAILLE_PAQUET + (1 << 20);
    EXPECT_EQ(read_bytes(data).size(), octets);
    EXPECT_EQ(run->ntw(), octets);
    EXPECT_EQ(run->header().nb_ech, octets / 4092);
}

} // namespace
