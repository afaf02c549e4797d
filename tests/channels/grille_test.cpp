#include <gtest/gtest.h>

#include "app/model/principale.h"
#include "channels/canaux.h"
#include "channels/grille.h"
#include "support/doubles.h"

namespace {

struct Grille : ::testing::Test {
    RecordingUsb usb;
    ScriptedOperator op;
    TestClock clock;
    Principale p{usb, op, clock, Conventions::french()};
    Controles& c = p.ctl;

    // Clicks as the toolkit does: toggle, then the handler.
    void clic_micro(int f, int j)
    {
        c.grid[f][j].checked = !c.grid[f][j].checked;
        micro_valide(p, f, j);
    }
    void clic_faisceau(int f)
    {
        c.faisceaux_T[f].checked = !c.faisceaux_T[f].checked;
        faisceaux_valide(p, f);
    }
    void clic_groupe(int g)
    {
        c.bloc_T[g].checked = !c.bloc_T[g].checked;
        blocs_valide(p, g);
    }
    void clic_tout()
    {
        c.paq_T.checked = !c.paq_T.checked;
        tout_valide(p, c.paq_T.checked);
    }
    void clic_tous_micros()
    {
        c.checkBox_Tous.checked = !c.checkBox_Tous.checked;
        checkBox_Tous_Click(p);
    }
    int micros_coches() const
    {
        int n = 0;
        for (const auto& beam : c.grid)
            for (const auto& b : beam)
                n += b.checked;
        return n;
    }
    int cellules(Couleur couleur) const
    {
        int n = 0;
        for (const auto& beam : c.grid_n)
            for (const auto& cell : beam)
                n += cell == couleur;
        return n;
    }
    // The page's invariant: beam = AND of its microphones, group = AND of
    // its beams, all = AND of the groups.
    void verifie_invariant() const
    {
        bool tout = true;
        for (int g = 0; g < 16; ++g) {
            bool groupe = true;
            for (int f = 8 * g; f < 8 * g + 8; ++f) {
                bool faisceau = true;
                for (const auto& b : c.grid[f])
                    faisceau = faisceau && b.checked;
                EXPECT_EQ(c.faisceaux_T[f].checked, faisceau) << "beam " << f;
                groupe = groupe && faisceau;
            }
            EXPECT_EQ(c.bloc_T[g].checked, groupe) << "group " << g;
            tout = tout && groupe;
        }
        EXPECT_EQ(c.paq_T.checked, tout);
    }
};

// Each case: a sequence of clicks from the all-ticked start, and the states
// of one beam box, one group box and the all box afterwards.
struct Propagation {
    const char* nom;
    std::vector<std::pair<char, std::vector<int>>> clics; // 'm' f j, 'f' f, 'g' g, 't'
    int faisceau;
    bool faisceau_coche;
    int groupe;
    bool groupe_coche;
    bool tout_coche;
    int micros;
};

TEST_F(Grille, ClicksPropagateUpAndDown)
{
    const Propagation cas[] = {
        {"untick one microphone", {{'m', {10, 3}}}, 10, false, 1, false, false, 1023},
        {"tick it again", {{'m', {10, 3}}, {'m', {10, 3}}}, 10, true, 1, true, true, 1024},
        {"re-tick with another beam of the group off",
         {{'m', {10, 3}}, {'m', {12, 0}}, {'m', {10, 3}}}, 10, true, 1, false, false, 1023},
        {"untick a beam", {{'f', {127}}}, 127, false, 15, false, false, 1016},
        {"partly ticked group clicked ticks all 64", {{'m', {17, 1}}, {'m', {20, 7}}, {'g', {2}}}, 17, true, 2, true,
         true, 1024},
        {"untick a group", {{'g', {5}}}, 40, false, 5, false, false, 960},
        {"all box unticks everything", {{'t', {}}}, 0, false, 0, false, false, 0},
        {"last microphone of an empty set", {{'t', {}}, {'m', {0, 0}}}, 0, false, 0, false, false, 1},
        {"full beam rebuilt bit by bit",
         {{'f', {3}}, {'m', {3, 0}}, {'m', {3, 1}}, {'m', {3, 2}}, {'m', {3, 3}}, {'m', {3, 4}}, {'m', {3, 5}},
          {'m', {3, 6}}, {'m', {3, 7}}},
         3, true, 0, true, true, 1024},
    };
    for (const auto& k : cas) {
        SCOPED_TRACE(k.nom);
        p.ctl = Controles{}; // the built-in defaults: every box ticked
        for (const auto& [quoi, args] : k.clics) {
            if (quoi == 'm')
                clic_micro(args[0], args[1]);
            else if (quoi == 'f')
                clic_faisceau(args[0]);
            else if (quoi == 'g')
                clic_groupe(args[0]);
            else
                clic_tout();
        }
        EXPECT_EQ(c.faisceaux_T[k.faisceau].checked, k.faisceau_coche);
        EXPECT_EQ(c.bloc_T[k.groupe].checked, k.groupe_coche);
        EXPECT_EQ(c.paq_T.checked, k.tout_coche);
        EXPECT_EQ(micros_coches(), k.micros);
        verifie_invariant();
    }
}

TEST_F(Grille, OutOfRangeIndicesAreIgnored)
{
    micro_valide(p, 128, 0);
    micro_valide(p, -1, 0);
    micro_valide(p, 0, 8);
    faisceaux_valide(p, 128);
    blocs_valide(p, 16);
    blocs_valide(p, -1);
    EXPECT_EQ(micros_coches(), 1024);
    verifie_invariant();
}

TEST_F(Grille, UntickingTousMicrosClearsEverythingAndTheNextPageShowsItUnticked)
{
    clic_tous_micros();
    EXPECT_EQ(micros_coches(), 0);
    EXPECT_EQ(p.nb_micros, 0);
    EXPECT_EQ(cellules(White), 1024);
    EXPECT_FALSE(c.groupBox_Choix_Micros.shown);
    EXPECT_TRUE(c.groupBox_Micros.shown);
    for (const auto& b : c.bloc_T)
        EXPECT_FALSE(b.checked);

    button_Micros_Click(p);
    EXPECT_TRUE(c.groupBox_Choix_Micros.shown);
    EXPECT_FALSE(c.groupBox_Micros.shown);
    EXPECT_FALSE(c.paq_T.checked);
}

TEST_F(Grille, RetourAfterUntickingEveryMicrophoneUnticksTousMicros)
{
    button_Micros_Click(p);
    for (int g = 0; g < 16; ++g)
        clic_groupe(g);
    button_Retour_Click(p);
    EXPECT_FALSE(c.checkBox_Tous.checked);
    EXPECT_EQ(cellules(White), 1024);
    EXPECT_EQ(p.nb_micros, 0);
    EXPECT_FALSE(c.groupBox_Choix_Micros.shown);
}

TEST_F(Grille, RetourPaintsCellsFromTheHeaderBytes)
{
    button_Micros_Click(p);
    clic_micro(0, 2);
    clic_faisceau(99);
    button_Retour_Click(p);
    EXPECT_EQ(p.header_file.micros_actifs[0][2], 0);
    EXPECT_EQ(c.grid_n[0][2], White);
    EXPECT_EQ(c.grid_n[0][1], DeepPink);
    for (int j = 0; j < 8; ++j)
        EXPECT_EQ(c.grid_n[99][j], White);
    EXPECT_EQ(cellules(White), 9);
    EXPECT_EQ(p.nb_micros, 1015);
    EXPECT_FALSE(c.checkBox_Tous.checked);
}

TEST_F(Grille, OpeningAndLeavingThePageKeepsTheHeaderBytes)
{
    c.grid[5][5].checked = false;
    valide_micros(p);
    auto avant = header_bytes(p.header_file);
    button_Micros_Click(p);
    button_Retour_Click(p);
    EXPECT_EQ(header_bytes(p.header_file), avant);
}

TEST_F(Grille, AllBoxShownTickedOverAPartialSelectionUnticksEverythingOnOneClick)
{
    // A configuration has unticked a microphone behind "Tous Micros".
    c.grid[7][0].checked = false;
    micro_valide(p, 7, 0);
    ASSERT_FALSE(c.paq_T.checked);
    ASSERT_TRUE(c.checkBox_Tous.checked);

    button_Micros_Click(p);
    EXPECT_TRUE(c.paq_T.checked);
    clic_tout();
    EXPECT_FALSE(c.paq_T.checked);
    EXPECT_EQ(micros_coches(), 0);
    for (const auto& b : c.faisceaux_T)
        EXPECT_FALSE(b.checked);
    for (const auto& b : c.bloc_T)
        EXPECT_FALSE(b.checked);
}

TEST_F(Grille, TickingTousMicrosAgainSelectsAllAndPaintsPink)
{
    clic_tous_micros();
    clic_tous_micros();
    EXPECT_EQ(micros_coches(), 1024);
    EXPECT_EQ(p.nb_micros, 1024);
    EXPECT_EQ(cellules(DeepPink), 1024);
    button_Micros_Click(p);
    EXPECT_TRUE(c.paq_T.checked);
    verifie_invariant();
}

} // namespace
