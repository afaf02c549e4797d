#include <gtest/gtest.h>

#include <filesystem>

#include "app/model/choix_micros.h"
#include "app/model/principale.h"
#include "files/description.h"
#include "files/fichiers_run.h"
#include "files/fichier_donnees.h"
#include "app/model/nommage_controles.h"
#include "support/doubles.h"

namespace {

struct Description : ::testing::Test, Modele {
    TempDir dir;
    // The complete file of the run below, kept beside the tests.
    const std::string attendu =
        read_text((std::filesystem::path(__FILE__).parent_path() / "data" / "description_defaut.log").string());

    // A recorded run of the default selection at divisor 12, started at
    // 09:05:03 on 7 December 2026.
    void SetUp() override
    {
        choix_micros(p, false);
        p.header_file.date_heure = {2026, 12, 1, 7, 9, 5, 3, 250};
        p.header_file.freq = 41666.0f;
        p.header_file.nb_ech = 51437177;
        p.header_file.duree_acq = 1234.5f;
        p.acqui_name = dir.file("Test.dat");
    }
    std::string ecrit()
    {
        FichiersRun f;
        EXPECT_EQ(f.prepare(p.acqui_name, p.journal), 0);
        EXPECT_EQ(f.commence(p.header_file, p.nb_voies, p.nb_micros, p.commentaire, p.journal), 0);
        EXPECT_EQ(f.ecrit_log(p.header_file, p.nb_voies, p.nb_micros, p.commentaire, p.journal), 0);
        f.ferme();
        return read_text(dir.file("Test.log"));
    }
};

TEST_F(Description, DefaultRunByteForByte)
{
    EXPECT_EQ(ecrit(), attendu);
    EXPECT_EQ(attendu.substr(0, 20), "[DEFAULT]\n\r\n[Date]\r\n");
    auto header = read_bytes(dir.file("Test.Ond"));
    auto octets = header_bytes(p.header_file);
    EXPECT_EQ(header, std::vector<uint8_t>(octets.begin(), octets.end()));
}

TEST_F(Description, CommentSectionHoldsTheLastClosedComment)
{
    const std::string mille = std::string(1020, 'x') + "abcd";
    const std::pair<std::string, std::string> cas[] = {
        {"", std::string(1023, ' ')},
        {mille, mille}, // 1024 characters, written whole
        {"Salle Ω\r\nrépété – 漢", "Salle Ω\r\nrépété – 漢" + std::string(1023 - 19, ' ')},
    };
    const std::string fin = "[OPTIONNAL]\r\n\r\n"; // pane never closed: an empty line
    ASSERT_EQ(attendu.substr(attendu.size() - fin.size()), fin);
    for (const auto& [texte, ligne] : cas) {
        SCOPED_TRACE(texte.substr(0, 12));
        stocke_commentaire(p, texte);
        EXPECT_EQ(ecrit(), attendu.substr(0, attendu.size() - 2) + ligne + "\r\n");
    }
}

TEST_F(Description, WriteFailuresAreReported)
{
    auto ecrit = [&](std::FILE* h, std::FILE* l) {
        return ecrit_compagnons(h, l, p.acqui_name, p.header_file, p.nb_voies, p.nb_micros, p.commentaire, p.journal);
    };
    EXPECT_EQ(ecrit(nullptr, nullptr), -1); // neither file open
    EXPECT_EQ(p.pane.text, "Erreur d'écriture du fichier " + dir.file("Test.Ond") +
                               "\r\nErreur d'écriture du fichier " + dir.file("Test.log") + "\r\n");
    if (!std::filesystem::exists("/dev/full"))
        GTEST_SKIP() << "needs /dev/full, the Linux device that stands for a full disk";
    p.pane.text.clear();
    std::FILE* h = ouvre_fichier(dir.file("Test.Ond"), "wb");
    std::FILE* l = ouvre_fichier("/dev/full", "wb");
    EXPECT_EQ(ecrit(h, l), -1);
    EXPECT_EQ(p.pane.text, "Erreur d'écriture du fichier " + dir.file("Test.log") + "\r\n");
    std::fclose(h);
    std::fclose(l);
}

} // namespace
