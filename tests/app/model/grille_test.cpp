#include <gtest/gtest.h>

#include <sstream>

#include "app/model/grille.h"
#include "app/model/principale.h"
#include "support/doubles.h"

namespace {

struct Grille : ::testing::Test, Modele {

    // Clicks as the toolkit does them (the box toggles, then its handler):
    // "m10,3" microphone, "f5" beam, "g2" group, "t" all box, "T" "Tous
    // Micros"; "M" and "R" press "Micros" and "Retour".
    void joue(const std::string& script)
    {
        std::istringstream in(script);
        for (std::string s; in >> s;) {
            int a = 0, b = 0;
            std::sscanf(s.c_str() + 1, "%d,%d", &a, &b);
            switch (s[0]) {
            case 'm':
                c.grid[a][b].checked ^= true, micro_valide(p, a, b);
                break;
            case 'f':
                c.faisceaux_T[a].checked ^= true, faisceaux_valide(p, a);
                break;
            case 'g':
                c.bloc_T[a].checked ^= true, blocs_valide(p, a);
                break;
            case 't':
                c.paq_T.checked ^= true, tout_valide(p, c.paq_T.checked);
                break;
            case 'T':
                c.checkBox_Tous.checked ^= true, checkBox_Tous_Click(p);
                break;
            case 'M':
                button_Micros_Click(p);
                break;
            case 'R':
                button_Retour_Click(p);
                break;
            }
        }
    }
};

TEST_F(Grille, ClicksPropagateAndTheViewsSwitch)
{
    struct Cas {
        const char* script;
        int f;
        bool faisceau;
        int g;
        bool groupe, tout;
        int micros;
        bool tous;
        int blanches;
    };
    const Cas cas[] = {
        {"m10,3", 10, false, 1, false, false, 1023, true, 0},
        {"m10,3 m10,3", 10, true, 1, true, true, 1024, true, 0},
        {"m10,3 m12,0 m10,3", 10, true, 1, false, false, 1023, true, 0},
        {"f127", 127, false, 15, false, false, 1016, true, 0},
        {"m17,1 m20,7 g2", 17, true, 2, true, true, 1024, true, 0}, // a partly ticked group ticks
        {"g5", 40, false, 5, false, false, 960, true, 0},
        {"T M", 0, false, 0, false, false, 0, false, 1024},
        {"M g0 g1 g2 g3 g4 g5 g6 g7 g8 g9 g10 g11 g12 g13 g14 g15 R", 64, false, 8, false, false, 0, false, 1024},
        {"m7,0 M t", 0, false, 0, false, false, 0, true, 0}, // all box shown ticked over a partial selection
        {"M m0,2 f99 R", 99, false, 12, false, false, 1015, false, 9},
        {"T T M", 3, true, 0, true, true, 1024, true, 0},
        {"m5,5 R M R", 5, false, 0, false, false, 1023, false, 1}, // the page alone changes no byte
    };
    for (const auto& k : cas) {
        SCOPED_TRACE(k.script);
        p.ctl = Controles{};
        init_header(p.header_file);
        joue(k.script);
        EXPECT_EQ(c.faisceaux_T[k.f].checked, k.faisceau);
        EXPECT_EQ(c.bloc_T[k.g].checked, k.groupe);
        EXPECT_EQ(c.paq_T.checked, k.tout);
        EXPECT_EQ(c.checkBox_Tous.checked, k.tous);
        EXPECT_EQ(c.groupBox_Choix_Micros.shown, !c.groupBox_Micros.shown);
        int micros = 0, blanches = 0;
        for (int f = 0; f < 128; ++f) {
            bool tous = true;
            for (int j = 0; j < 8; ++j) {
                tous = tous && c.grid[f][j].checked;
                micros += c.grid[f][j].checked;
                blanches += c.grid_n[f][j] == White;
            }
            ASSERT_EQ(c.faisceaux_T[f].checked, tous) << f;
        }
        EXPECT_EQ(micros, k.micros);
        EXPECT_EQ(blanches, k.blanches);
        for (int g = 0; g < 16; ++g) {
            bool tous = true;
            for (int f = 8 * g; f < 8 * g + 8; ++f)
                tous = tous && c.faisceaux_T[f].checked;
            ASSERT_EQ(c.bloc_T[g].checked, tous) << g;
        }
    }
}

} // namespace
