#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "app/model/principale.h"
#include "channels/canaux.h"
#include "files/description.h"
#include "files/fichier_donnees.h"
#include "files/nommage.h"
#include "support/doubles.h"

namespace {

std::string attendu_defaut()
{
    return read_text((std::filesystem::path(__FILE__).parent_path() / "data" / "description_defaut.log").string());
}

// Replaces the one occurrence of `avant` in `s`.
std::string remplace(std::string s, const std::string& avant, const std::string& apres)
{
    auto pos = s.find(avant);
    EXPECT_NE(pos, std::string::npos) << avant;
    if (pos != std::string::npos)
        s.replace(pos, avant.size(), apres);
    return s;
}

struct Description : ::testing::Test {
    RecordingUsb usb;
    ScriptedOperator op;
    TestClock clock;
    Principale p{usb, op, clock, Conventions::french()};
    TempDir dir;

    // A recorded run of the default selection at divisor 12, started at
    // 09:05:03 on 7 December 2026.
    void SetUp() override
    {
        p.conv = Conventions::french();
        p.ctl = Controles{};
        init_header(p.header_file);
        choix_micros(p, false);
        p.header_file.date_heure = {2026, 12, 1, 7, 9, 5, 3, 250};
        p.header_file.freq = 41666.0f;
        p.header_file.nb_ech = 51437177;
        p.header_file.duree_acq = 1234.5f;
        p.acqui_name = dir.file("Test.dat");
    }
    // Writes the two files and returns the description file's bytes.
    std::string ecrit()
    {
        p.fichier_header = ouvre_fichier(nom_compagnon(p.acqui_name, ".Ond"), "wb");
        p.log = ouvre_fichier(nom_compagnon(p.acqui_name, ".log"), "wb");
        EXPECT_EQ(ecrit_log(p), 0);
        ferme_fichiers(p);
        return read_text(dir.file("Test.log"));
    }
};

TEST_F(Description, DefaultRunIsWrittenByteForByte)
{
    std::string texte = ecrit();
    EXPECT_EQ(texte.substr(0, 20), "[DEFAULT]\n\r\n[Date]\r\n");
    EXPECT_EQ(texte, attendu_defaut());

    auto header = read_bytes(dir.file("Test.Ond"));
    ASSERT_EQ(header.size(), 2097u);
    auto attendu = header_bytes(p.header_file);
    EXPECT_TRUE(std::equal(header.begin(), header.end(), attendu.begin()));
}

TEST_F(Description, CommentSectionFollowsTheLastClosedComment)
{
    const std::string sans_commentaire = "[OPTIONNAL]\r\n\r\n";
    std::string mille = std::string(1020, 'x') + "abcd"; // 1024 characters
    struct Cas {
        const char* nom;
        std::function<void(Principale&)> prepare;
        std::string derniere_ligne;
    };
    const Cas cas[] = {
        {"pane never closed", [](Principale&) {}, ""},
        {"empty comment", [](Principale& q) { stocke_commentaire(q, ""); }, std::string(1023, ' ')},
        {"1024 characters, written whole", [&](Principale& q) { stocke_commentaire(q, mille); }, mille},
        {"several lines, characters outside Windows-1252 kept",
         [](Principale& q) { stocke_commentaire(q, "Salle Ω\r\nrépété – 漢"); },
         "Salle Ω\r\nrépété – 漢" + std::string(1023 - 19, ' ')},
    };
    for (const auto& k : cas) {
        SCOPED_TRACE(k.nom);
        k.prepare(p);
        std::string attendu = remplace(attendu_defaut(), sans_commentaire, "[OPTIONNAL]\r\n" + k.derniere_ligne + "\r\n");
        EXPECT_EQ(ecrit(), attendu);
    }
}

TEST_F(Description, RunValuesReachTheirLines)
{
    struct Cas {
        const char* nom;
        std::function<void(Principale&)> prepare;
        std::vector<std::pair<std::string, std::string>> changements; // lines of the default file
    };
    const Cas cas[] = {
        {"float samples", [](Principale& q) { q.header_file.type_float = 1; },
         {{"Type = int32\r\n", "Type = float32\r\n"}}},
        {"English conventions", [](Principale& q) { q.conv = Conventions::english(); },
         {{"Duree = 1\u00A0234,5 ", "Duree = 1,234.5 "}}},
        {"status word, analogue 0 and 15, counter D",
         [](Principale& q) {
             q.ctl.checkBox_Status.checked = true;
             q.ctl.grid_VA[0].checked = true;
             q.ctl.grid_VA[15].checked = true;
             q.ctl.checkBox_CptD.checked = true;
             q.ctl.grid[7][4].checked = q.ctl.grid[7][5].checked = q.ctl.grid[7][6].checked =
                 q.ctl.grid[7][7].checked = false;
             choix_micros(q, false);
         },
         {// 1020 microphones, 2 analogue, 2 counters and the status word
          {"Nb_micros_actifs = 1024", "Nb_micros_actifs = 1020"},
          {"Nb_voies_analogiques = 0", "Nb_voies_analogiques = 2"},
          {"Nb_compteurs = 1", "Nb_compteurs = 2"},
          {"Faisceau_007  1  1  1  1  1  1  1  1", "Faisceau_007  1  1  1  1  0  0  0  0"},
          {"Bloc_A =   0  0  0  0", "Bloc_A =   1  0  0  0"},
          {"Bloc_D =   0  0  0  0", "Bloc_D =   0  0  0  1"},
          {"Compteurs =   1  0  0  0", "Compteurs =   1  0  0  1"}}},
        {"zero frames at 50000 Hz",
         [](Principale& q) {
             q.header_file.freq = 50000.0f;
             q.header_file.nb_ech = 0;
             q.header_file.duree_acq = 0.0f;
         },
         {{"Freq = 41666 ", "Freq = 50000 "}, {"Duree = 1\u00A0234,5 ", "Duree = 0,0 "}, {"Nb_ech = 51437177", "Nb_ech = 0"}}},
        {"first of January, midnight",
         [](Principale& q) { q.header_file.date_heure = {2027, 1, 5, 1, 0, 0, 0, 0}; },
         {{"Date = 07/12/2026", "Date = 01/01/2027"}, {"Heure = 09:05:03", "Heure = 00:00:00"}}},
    };
    for (const auto& k : cas) {
        SCOPED_TRACE(k.nom);
        SetUp();
        k.prepare(p);
        std::string attendu = attendu_defaut();
        for (const auto& [avant, apres] : k.changements)
            attendu = remplace(attendu, avant, apres);
        EXPECT_EQ(ecrit(), attendu);
    }
}

TEST_F(Description, FailuresAreReportedNotHidden)
{
    // Files not open.
    EXPECT_EQ(ecrit_log(p), -1);
    EXPECT_NE(p.pane.text.find("Erreur d'écriture du fichier " + dir.file("Test.Ond")), std::string::npos);
    EXPECT_NE(p.pane.text.find("Erreur d'écriture du fichier " + dir.file("Test.log")), std::string::npos);

    if (!std::filesystem::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full here";
    p.pane.text.clear();
    p.fichier_header = ouvre_fichier(dir.file("Test.Ond"), "wb");
    p.log = ouvre_fichier("/dev/full", "wb");
    EXPECT_EQ(ecrit_log(p), -1);
    EXPECT_EQ(p.pane.text, "Erreur d'écriture du fichier " + dir.file("Test.log") + "\r\n");
    ferme_fichiers(p);
    EXPECT_EQ(read_bytes(dir.file("Test.Ond")).size(), 2097u);
}

} // namespace
