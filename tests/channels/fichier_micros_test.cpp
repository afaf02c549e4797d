#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/model/principale.h"
#include "channels/canaux.h"
#include "channels/fichier_micros.h"
#include "channels/grille.h"
#include "support/doubles.h"

namespace {

struct FichierMicros : ::testing::Test {
    RecordingUsb usb;
    ScriptedOperator op;
    TestClock clock;
    Principale p{usb, op, clock, Conventions::french()};
    Controles& c = p.ctl;
    TempDir dir;

    void ecrit(const std::string& nom, const std::vector<uint8_t>& octets)
    {
        std::ofstream out(dir.file(nom), std::ios::binary);
        out.write(reinterpret_cast<const char*>(octets.data()), static_cast<std::streamsize>(octets.size()));
    }
    int charge(const std::string& chemin)
    {
        op.open_files.push_back(chemin);
        return button_Micros_Fichier_Click(p);
    }
    template <size_t N>
    static std::vector<bool> etats(const std::array<CheckBox, N>& boxes)
    {
        std::vector<bool> out;
        for (const auto& b : boxes)
            out.push_back(b.checked);
        return out;
    }
    std::vector<bool> micros() const
    {
        std::vector<bool> out;
        for (const auto& beam : c.grid)
            for (const auto& b : beam)
                out.push_back(b.checked);
        return out;
    }
    int cellules(Couleur couleur) const
    {
        int n = 0;
        for (const auto& beam : c.grid_n)
            for (const auto& cell : beam)
                n += cell == couleur;
        return n;
    }
};

TEST_F(FichierMicros, SavedSelectionLoadsBackWithItsBeamGroupAndAllBoxes)
{
    // A mixed selection: a whole beam off, a whole group off, scattered bits.
    for (int j = 0; j < 8; ++j)
        c.grid[3][j].checked = false;
    for (int f = 16; f < 24; ++f)
        for (int j = 0; j < 8; ++j)
            c.grid[f][j].checked = false;
    c.grid[0][1].checked = false;
    c.grid[127][7].checked = false;
    for (int f = 0; f < 128; ++f)
        micro_valide(p, f, 0);
    auto selection = micros();
    auto faisceaux = etats(c.faisceaux_T);
    auto groupes = etats(c.bloc_T);

    op.save_files.push_back(dir.file("choix.mic"));
    ASSERT_EQ(button_Save_Micros_Click(p), 0);
    auto octets = read_bytes(dir.file("choix.mic"));
    ASSERT_EQ(octets.size(), 128u);
    EXPECT_EQ(octets[0], 0xFD);
    EXPECT_EQ(octets[3], 0x00);
    EXPECT_EQ(octets[127], 0x7F);
    EXPECT_EQ(op.shown.back().text, "micros |*.mic");

    p.ctl = Controles{};
    ASSERT_EQ(charge(dir.file("choix.mic")), 0);
    EXPECT_EQ(micros(), selection);
    EXPECT_EQ(etats(c.faisceaux_T), faisceaux);
    EXPECT_EQ(etats(c.bloc_T), groupes);
    EXPECT_FALSE(c.paq_T.checked);
    EXPECT_FALSE(c.checkBox_Tous.checked);
    EXPECT_EQ(p.nb_micros, 1024 - 8 - 64 - 2);
    EXPECT_EQ(cellules(White), 8 + 64 + 2);
    EXPECT_NE(p.pane.text.find("Nom du fichier de choix de micros : " + dir.file("choix.mic") + "\r\n"),
              std::string::npos);
}

// Each case: file content, microphones ticked after loading, "Tous Micros".
struct Chargement {
    const char* nom;
    std::vector<uint8_t> octets;
    int micros;
    bool tous;
};

TEST_F(FichierMicros, AnyContentIsTakenAsBeamMasks)
{
    std::vector<uint8_t> moitie(64, 0xFF);
    std::vector<uint8_t> long_(200, 0xFF);
    long_[0] = 0x05;
    const Chargement cas[] = {
        {"128 x 0xFF", std::vector<uint8_t>(128, 0xFF), 1024, true},
        {"empty file", {}, 0, false},
        {"64 bytes", moitie, 512, false},
        {"bytes past 128 ignored", long_, 1024 - 6, false},
        {"first byte 0x05 only", {0x05}, 2, false},
    };
    for (const auto& k : cas) {
        SCOPED_TRACE(k.nom);
        p.ctl = Controles{};
        c.checkBox_CptB.checked = true;
        c.grid_VA[5].checked = true;
        p.nb_voies = 77;
        // Start from a selection that differs everywhere from the file's.
        for (auto& beam : c.grid)
            for (auto& b : beam)
                b.checked = !k.tous;
        ecrit("f.mic", k.octets);
        ASSERT_EQ(charge(dir.file("f.mic")), 0);
        EXPECT_EQ(p.nb_micros, k.micros);
        EXPECT_EQ(cellules(DeepPink), k.micros);
        EXPECT_EQ(c.checkBox_Tous.checked, k.tous);
        EXPECT_EQ(c.paq_T.checked, k.tous);
        int octets_header = 0;
        for (const auto& beam : p.header_file.micros_actifs)
            for (uint8_t b : beam)
                octets_header += b;
        EXPECT_EQ(octets_header, k.micros);
        // Only the microphones change.
        EXPECT_TRUE(c.checkBox_CptB.checked);
        EXPECT_TRUE(c.grid_VA[5].checked);
        EXPECT_EQ(p.nb_voies, 77);
        EXPECT_TRUE(c.groupBox_Micros.shown);
        EXPECT_FALSE(c.groupBox_Choix_Micros.shown);
    }
}

TEST_F(FichierMicros, ShortFileKeepsTheBeamsItHoldsAndDeselectsTheRest)
{
    std::vector<uint8_t> octets(64, 0x00);
    octets[63] = 0x81;
    ecrit("court.mic", octets);
    ASSERT_EQ(charge(dir.file("court.mic")), 0);
    EXPECT_TRUE(c.grid[63][0].checked);
    EXPECT_TRUE(c.grid[63][7].checked);
    EXPECT_FALSE(c.grid[63][1].checked);
    for (int f = 64; f < 128; ++f)
        for (int j = 0; j < 8; ++j)
            ASSERT_FALSE(c.grid[f][j].checked) << f << "," << j;
    EXPECT_EQ(p.nb_micros, 2);
}

TEST_F(FichierMicros, CancelledDialogsChangeNothingAndSayNothing)
{
    c.grid[9][1].checked = false;
    micro_valide(p, 9, 1);
    auto avant = micros();
    auto header = header_bytes(p.header_file);
    EXPECT_EQ(button_Save_Micros_Click(p), 0);
    EXPECT_EQ(button_Micros_Fichier_Click(p), 0);
    EXPECT_EQ(micros(), avant);
    EXPECT_EQ(header_bytes(p.header_file), header);
    EXPECT_EQ(p.pane.text, "");
    EXPECT_EQ(op.count("save"), 1);
    EXPECT_EQ(op.count("open"), 1);
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST_F(FichierMicros, UnreadableFileLeavesTheSelectionAndSaysSo)
{
    c.grid[2][2].checked = false;
    micro_valide(p, 2, 2);
    valide_micros(p);
    auto avant = micros();
    auto header = header_bytes(p.header_file);
    std::filesystem::create_directory(dir.file("dossier.mic"));
    for (const std::string& chemin : {dir.file("absent.mic"), dir.file("dossier.mic")}) {
        SCOPED_TRACE(chemin);
        p.pane.text.clear();
        EXPECT_EQ(charge(chemin), -1);
        EXPECT_EQ(micros(), avant);
        EXPECT_EQ(header_bytes(p.header_file), header);
        EXPECT_EQ(p.nb_micros, 1023);
        EXPECT_NE(p.pane.text.find("fichier de micros " + chemin), std::string::npos);
        EXPECT_NE(p.pane.text.find("sélection inchangée\r\n"), std::string::npos);
    }
}

TEST_F(FichierMicros, FileThatCannotBeCreatedIsReported)
{
    op.save_files.push_back(dir.file("absent/sous/choix.mic"));
    EXPECT_EQ(button_Save_Micros_Click(p), -1);
    EXPECT_NE(p.pane.text.find("Impossible de créer le fichier de micros " + dir.file("absent/sous/choix.mic")),
              std::string::npos);
    EXPECT_EQ(p.nb_micros, 1024);
}

TEST_F(FichierMicros, FullDiskIsReportedAsWriteError)
{
    if (!std::filesystem::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full here";
    op.save_files.push_back("/dev/full");
    EXPECT_EQ(button_Save_Micros_Click(p), -1);
    EXPECT_EQ(p.pane.text, "Erreur écriture");
}

} // namespace
