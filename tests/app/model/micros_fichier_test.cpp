#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "app/model/grille.h"
#include "app/model/micros_fichier.h"
#include "app/model/principale.h"
#include "support/doubles.h"

namespace {

struct FichierMicros : ::testing::Test, Modele {
    TempDir dir;

    int charge(const std::string& chemin)
    {
        op.open_files.push_back(chemin);
        return button_Micros_Fichier_Click(p);
    }
    // Every box and cell of the selection, and the header's bytes.
    std::string etat() const
    {
        std::string s;
        for (int f = 0; f < 128; ++f) {
            for (int j = 0; j < 8; ++j)
                s += char('0' + c.grid[f][j].checked + 2 * p.header_file.micros_actifs[f][j] +
                          4 * (c.grid_n[f][j] == DeepPink));
            s += c.faisceaux_T[f].checked ? 'F' : 'f';
        }
        for (const auto& g : c.bloc_T)
            s += g.checked ? 'G' : 'g';
        return s + (c.paq_T.checked ? 'P' : 'p') + (c.checkBox_Tous.checked ? 'T' : 't');
    }
};

TEST_F(FichierMicros, SavedSelectionLoadsBack)
{
    c.grid[0][1].checked = c.grid[127][7].checked = false;
    for (int f = 16; f < 25; ++f)
        for (int j = 0; j < 8; ++j)
            c.grid[f][j].checked = false;
    for (int f = 0; f < 128; ++f)
        micro_valide(p, f, 0);
    op.save_files.push_back(dir.file("choix.mic"));
    ASSERT_EQ(button_Save_Micros_Click(p), 0);
    EXPECT_EQ(op.shown.back().text, "micros |*.mic");
    auto octets = read_bytes(dir.file("choix.mic"));
    ASSERT_EQ(octets.size(), 128u);
    EXPECT_EQ(octets[0], 0xFD);
    EXPECT_EQ(octets[16], 0x00);
    EXPECT_EQ(octets[127], 0x7F);
    button_Retour_Click(p);
    std::string attendu = etat();

    p.ctl = Controles{};
    ASSERT_EQ(charge(dir.file("choix.mic")), 0);
    EXPECT_EQ(etat(), attendu);
    EXPECT_EQ(p.pane.text, "Nom du fichier de choix de micros : " + dir.file("choix.mic") + "\r\n");
}

TEST_F(FichierMicros, AnyMasksAreTakenFromA128ByteFileOnly)
{
    std::vector<uint8_t> premier(128, 0xFF);
    premier[0] = 0x05;
    std::vector<std::vector<uint8_t>> cas = {std::vector<uint8_t>(128, 0xFF), std::vector<uint8_t>(128, 0), premier};
    std::mt19937 gen(20261209);
    for (int k = 0; k < 40; ++k) {
        std::vector<uint8_t> octets(128);
        for (auto& o : octets)
            o = static_cast<uint8_t>(gen());
        cas.push_back(octets);
    }
    for (const auto& octets : cas) {
        p.ctl = Controles{};
        c.checkBox_CptB.checked = c.grid_VA[5].checked = true;
        p.nb_voies = 77;
        std::ofstream(dir.file("f.mic"), std::ios::binary)
            .write(reinterpret_cast<const char*>(octets.data()), static_cast<std::streamsize>(octets.size()));
        ASSERT_EQ(charge(dir.file("f.mic")), 0);
        int n = 0;
        for (int f = 0; f < 128; ++f)
            for (int j = 0; j < 8; ++j) {
                bool on = octets[f] >> j & 1;
                ASSERT_EQ(c.grid[f][j].checked, on) << f << "," << j;
                ASSERT_EQ(p.header_file.micros_actifs[f][j], on);
                ASSERT_EQ(c.grid_n[f][j], on ? DeepPink : White);
                n += on;
            }
        EXPECT_EQ(p.nb_micros, n);
        EXPECT_EQ(c.checkBox_Tous.checked, n == 1024);
        EXPECT_EQ(c.paq_T.checked, n == 1024);
        // Only microphones are in the file.
        EXPECT_TRUE(c.checkBox_CptB.checked && c.grid_VA[5].checked);
        EXPECT_EQ(p.nb_voies, 77);
    }

    // Any other length is no file the program wrote; a large one is refused
    // by its size, unread.
    c.grid[2][2].checked = false;
    button_Retour_Click(p);
    const std::string avant = etat();
    for (std::uintmax_t taille : {0, 1, 64, 127, 129, 200, 200000000}) {
        SCOPED_TRACE(taille);
        std::ofstream(dir.file("f.mic"), std::ios::binary) << std::string(taille < 1000 ? taille : 0, '\xFF');
        std::filesystem::resize_file(dir.file("f.mic"), taille);
        p.pane.text.clear();
        EXPECT_EQ(charge(dir.file("f.mic")), -1);
        EXPECT_EQ(etat(), avant);
        EXPECT_EQ(p.pane.text, "Nom du fichier de choix de micros : " + dir.file("f.mic") + "\r\nLe fichier " +
                                   dir.file("f.mic") + " n'est pas un fichier de micros (" +
                                   compose(p.journal.conv, "{0:N0}", {taille}) +
                                   " octets au lieu de 128) ; sélection inchangée\r\n");
    }
}

TEST_F(FichierMicros, CancelledOrUnusableFilesLeaveTheSelection)
{
    c.grid[2][2].checked = false;
    button_Retour_Click(p);
    const std::string avant = etat();
    EXPECT_EQ(button_Save_Micros_Click(p), 0); // both dialogs cancelled
    EXPECT_EQ(button_Micros_Fichier_Click(p), 0);
    EXPECT_EQ(p.pane.text, "");
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));

    // A folder opens as a stream on some systems and fails only when read.
    std::filesystem::create_directory(dir.file("dossier.mic"));
    for (const std::string& chemin : {dir.file("absent.mic"), dir.file("dossier.mic")}) {
        p.pane.text.clear();
        EXPECT_EQ(charge(chemin), -1);
        EXPECT_EQ(etat(), avant);
        EXPECT_NE(p.pane.text.find("fichier de micros " + chemin), std::string::npos) << p.pane.text;
        EXPECT_NE(p.pane.text.find("sélection inchangée\r\n"), std::string::npos);
    }
    p.pane.text.clear();
    op.save_files.push_back(dir.file("absent/choix.mic"));
    EXPECT_EQ(button_Save_Micros_Click(p), -1);
    EXPECT_EQ(p.pane.text.find("Impossible de créer le fichier de micros " + dir.file("absent/choix.mic")), 0u);
    if (std::filesystem::exists("/dev/full")) {
        p.pane.text.clear();
        op.save_files.push_back("/dev/full");
        EXPECT_EQ(button_Save_Micros_Click(p), -1);
        EXPECT_EQ(p.pane.text, "Erreur écriture");
    }
    EXPECT_EQ(etat(), avant);
}

} // namespace
