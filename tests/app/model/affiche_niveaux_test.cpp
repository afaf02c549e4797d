#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include "acquisition/run.h"
#include "app/model/acquisition.h"
#include "app/model/passage_run.h"
#include "app/model/affiche_niveaux.h"
#include "channels/niveaux.h"
#include "channels/selection.h"
#include "device/commandes.h"
#include "device/parametres.h"
#include "support/doubles.h"

namespace {

// A bus whose data transfers complete only when the test hands them to the
// run; a cancelled transfer completes CANCELLED at the next event handling,
// as with the library.
class BusManuel : public RecordingUsb {
public:
    BusManuel() { submit_result = 0; }
    int cancel_transfer(usb::Transfer* t) override
    {
        annules.push_back(t);
        return 0;
    }
    int handle_events_timeout(int) override
    {
        while (!annules.empty()) {
            usb::Transfer* t = annules.front();
            annules.pop_front();
            t->status = usb::TRANSFER_CANCELLED;
            t->actual_length = 0;
            t->callback(t);
        }
        return 0;
    }

private:
    std::deque<usb::Transfer*> annules;
};

// Keeps the levels the run sends; at each pass of the run's loop plays the
// next step of a script.
struct Observateur : ObservateurRun {
    std::deque<std::function<void()>> script;
    std::vector<std::array<int, NB_MICROS>> recus;

    void pompe() override
    {
        if (script.empty())
            return;
        std::function<void()> pas = std::move(script.front());
        script.pop_front();
        pas();
    }
    void niveaux(const std::array<int, 1024>& n) override { recus.push_back(n); }
};

struct Niveaux : ::testing::Test {
    BusManuel usb;
    TestClock clock;
    Journal journal;
    Boitier b{usb, clock, journal};
    Observateur obs;
    std::unique_ptr<::Run> run;
    std::vector<int32_t> amplitude; // of each frame word; the sign alternates from frame to frame
    uint64_t octets = 0;            // of the stream handed over so far
    int completions = 0;

    // A run of `sel` that needs `paquets` packets, recording nothing.
    void prepare(const Selection& sel, uint32_t paquets)
    {
        ASSERT_EQ(init_USB(b), 0);
        const int32_t N = sel.nb_voies();
        envoie_frequence(b, 0);
        envoie_nb_echantillons(b, static_cast<uint32_t>(uint64_t(paquets) * TAILLE_PAQUET / (4u * N)));
        ParametresRun params;
        params.nb_voies = N;
        params.nb_micros = sel.nb_micros();
        params.compteur = sel.compteur_a();
        params.voies.resize(1043);
        params.voies.resize(sel.liste_voies(params.voies.data()));
        params.enregistre = false;
        run = std::make_unique<::Run>(b, std::move(params), FichiersRun{}, obs);
    }

    // The next `longueur` bytes of the stream, completed in the next slot.
    void paquet(uint32_t longueur = TAILLE_PAQUET)
    {
        const int slot = completions++ % NB_TRANSFERTS;
        unsigned char* buffer = run->anneau().buffer(slot);
        const uint64_t N = amplitude.size();
        for (uint32_t i = 0; i < longueur / 4; ++i) {
            const uint64_t mot = octets / 4 + i;
            const int32_t v = amplitude[mot % N] * ((mot / N) % 2 ? -1 : 1);
            std::memcpy(&buffer[4 * i], &v, 4);
        }
        octets += longueur;
        run->traite({slot, usb::TRANSFER_COMPLETED, longueur});
    }

    // A transfer that timed out empty: the stream goes on in the next slot.
    void echec() { run->traite({completions++ % NB_TRANSFERTS, usb::TRANSFER_TIMED_OUT, 0}); }

    // Runs the script, one step per pass, then the box's closing transfer.
    void joue()
    {
        obs.script.push_back([this] { paquet(0); });
        run->execute();
        EXPECT_TRUE(obs.script.empty());
        EXPECT_EQ(usb.frees, usb.allocs);
    }
};

std::array<int, NB_MICROS> aucun()
{
    std::array<int, NB_MICROS> n;
    n.fill(-1);
    return n;
}

TEST_F(Niveaux, EachMicrophoneFromItsOwnWordOfTheFirstWholeFrame)
{
    // Counters A and B, microphones 0, 9, 300 and 1023, analogue 3: the
    // frame is A, 0, 9, analogue 3, B, 300, 1023. Packet 0 starts on a
    // frame boundary, packet 1 in the middle of a frame, after a transfer
    // that failed empty.
    Selection sel;
    sel.compteurs[0] = sel.compteurs[1] = true;
    sel.micros[0][0] = sel.micros[1][1] = sel.micros[37][4] = sel.micros[127][7] = true;
    sel.va[3] = true;
    ASSERT_EQ(sel.nb_voies(), 7);
    prepare(sel, 100);
    amplitude = {7, 100, 1000, 50, 3, 10000, 8388608};
    obs.script = {[this] { paquet(); }, [this] { echec(); }, [this] { paquet(); }};
    joue();
    std::array<int, NB_MICROS> attendu = aucun();
    attendu[0] = 25;
    attendu[9] = 45;
    attendu[300] = 65;
    attendu[1023] = 123;
    ASSERT_EQ(obs.recus.size(), 2u);
    EXPECT_EQ(obs.recus[0], attendu);
    EXPECT_EQ(obs.recus[1], attendu);
}

TEST_F(Niveaux, EveryWordOfAFullFrameGoesToItsOwnMicrophone)
{
    Selection sel;
    for (auto& f : sel.micros)
        f.fill(true);
    sel.va.fill(true);
    sel.compteurs.fill(true);
    sel.etat = true;
    ASSERT_EQ(sel.nb_voies(), 1045);
    prepare(sel, 100);
    amplitude.resize(1045);
    for (int w = 0; w < 1045; ++w)
        amplitude[w] = static_cast<int32_t>(std::lround(std::pow(10.0, ((w * 37) % 128 + 15) / 20.0)));
    obs.script = {[this] { paquet(); }, [this] { paquet(); }};
    joue();
    std::array<int, NB_MICROS> attendu = aucun();
    const std::vector<int32_t>& liste = run->parametres().voies;
    for (size_t n = 0; n < liste.size(); ++n)
        if (liste[n] < NB_MICROS)
            attendu[liste[n]] = niveau_de(double(amplitude[n + 1]) * amplitude[n + 1]);
    ASSERT_EQ(obs.recus.size(), 2u);
    EXPECT_EQ(obs.recus[0], attendu);
    EXPECT_EQ(obs.recus[1], attendu);
}

TEST_F(Niveaux, WithoutCounterALastListEntryIsNotShown)
{
    Selection sel;
    sel.micros[0][0] = sel.micros[0][1] = true;
    prepare(sel, 100);
    amplitude = {100, 1000};
    obs.script = {[this] { paquet(); }};
    joue();
    // Entry 0 (microphone 0) is read from word 1; entry 1 is past the frame.
    std::array<int, NB_MICROS> attendu = aucun();
    attendu[0] = 45;
    ASSERT_EQ(obs.recus.size(), 1u);
    EXPECT_EQ(obs.recus[0], attendu);
}

TEST_F(Niveaux, NothingSentAfterStopNorForTheLastPacketNorWithoutMicrophone)
{
    struct Cas {
        const char* pourquoi;
        uint32_t paquets; // the run needs
        bool micros, stop;
        size_t envois;
    };
    const Cas cas[] = {
        {"stopped after packet 0", 100, true, true, 1},
        {"packet 1 is the last one", 2, true, false, 1},
        {"no microphone", 100, false, false, 0},
    };
    for (const Cas& c : cas) {
        run.reset();
        obs.recus.clear();
        octets = 0;
        completions = 0;
        Selection sel;
        sel.compteurs[0] = true;
        sel.micros[0][0] = c.micros;
        sel.va[0] = true;
        prepare(sel, c.paquets);
        amplitude.assign(sel.nb_voies(), 1000);
        auto premier = [&] {
            paquet();
            if (c.stop)
                run->demande_stop(); // acted on before the next completion
        };
        obs.script = {premier, [this] { paquet(); }};
        joue();
        EXPECT_EQ(obs.recus.size(), c.envois) << c.pourquoi;
    }
}

// The window paints the latest levels the run handed over, with the jet
// map, and leaves the cells of microphones not recorded as they were.
TEST(PassageNiveaux, LatestLevelsPaintTheirCells)
{
    Modele m;
    Principale& p = m.p;
    init_colorbar(p);
    for (auto& f : p.ctl.grid_n)
        f.fill(White);
    PassageRun passage(p);
    passage.differe = true;
    std::array<int, NB_MICROS> n = aucun();
    n[0] = 10;
    passage.niveaux(n);
    n[0] = 100;
    n[1023] = 127;
    passage.niveaux(n);
    EXPECT_EQ(p.ctl.grid_n[0][0], White); // nothing until the window takes them
    passage.releve();
    auto jet = [](int l) { return Couleur{carte_jet()[l].r, carte_jet()[l].v, carte_jet()[l].b, 255}; };
    EXPECT_EQ(p.ctl.grid_n[0][0], jet(100));
    EXPECT_EQ(p.ctl.grid_n[127][7], jet(127));
    EXPECT_EQ(p.ctl.grid_n[0][1], White);
    EXPECT_EQ(couleur_niveau(p, 100), jet(100));
}

} // namespace
