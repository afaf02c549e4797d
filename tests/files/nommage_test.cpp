#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "app/model/config_controles.h"
#include "app/model/construction.h"
#include "app/model/nommage_controles.h"
#include "app/model/principale.h"
#include "files/chemins.h"
#include "files/fichier_donnees.h"
#include "support/doubles.h"

namespace fs = std::filesystem;

namespace {

struct Nommage : ::testing::Test, Modele {
    TempDir dir;
    const std::string sep{SEPARATEUR};

    void SetUp() override { p.config_en_cours = dir.file("config_en_cours.txt"); }
    void TearDown() override { ferme_fichiers(p); }
    template <class Box> void clic(Box& box, void (*handler)(Principale&))
    {
        box.checked = !box.checked;
        handler(p);
    }
};

TEST_F(Nommage, InitialTextsNameTheThreeFilesInTheInitialFolder)
{
#ifdef _WIN32
    // d:\ where the machine has one, else the working directory.
    init_dossier_initial(p);
    std::error_code ec;
    EXPECT_EQ(c.textBox_Rep.text,
              fs::is_directory("d:\\", ec) ? std::string("d:\\") : fs::current_path().u8string() + "\\");
#else
    const char* h = std::getenv("HOME");
    const std::string home = h ? h : "";
    setenv("HOME", dir.path().c_str(), 1);
    init_dossier_initial(p);
    setenv("HOME", "", 1);
    const std::string sans_home = dossier_initial(); // falls back on the working directory
    setenv("HOME", home.c_str(), 1);
    EXPECT_EQ(c.textBox_Rep.text, dir.path() + "/");
    EXPECT_EQ(sans_home, fs::current_path() == "/" ? "/" : fs::current_path().string() + "/");
#endif
    ASSERT_EQ(ecrit_config(p, p.config_en_cours), 0);
    EXPECT_EQ(p.nom_dir, c.textBox_Rep.text);
    p.acqui_name = p.nom_dir + c.textBox_Nom_Fich.text + ".dat"; // as the run names it
    EXPECT_EQ(nom_compagnon(p.acqui_name, ".Ond"), c.textBox_Rep.text + "Test.Ond");
    EXPECT_EQ(nom_compagnon(p.acqui_name, ".log"), c.textBox_Rep.text + "Test.log");
    // On Windows the initial folder is a real one (d:\ or the working
    // directory): nothing is created there.
#ifndef _WIN32
    ASSERT_EQ(ouvre_fichiers(p), 0);
    for (const char* nom : {"Test.dat", "Test.Ond", "Test.log"})
        EXPECT_TRUE(fs::is_regular_file(dir.file(nom))) << nom;
#endif
}

TEST_F(Nommage, ManualChoiceOpensThreeDistinctFilesAndReleasesEarlierOnes)
{
    const std::string d = dir.file("a.dat") + sep;
    fs::create_directory(d);
    // An earlier recording under the first name.
    for (const char* nom : {"x.dat", "x.Ond", "x.log"})
        std::ofstream(d + nom, std::ios::binary) << "ancien " << nom;
    const std::pair<std::string, std::string> cas[] = {{"x.dat", "x"}, {"Essai", "Essai"}, {"G.DAT", "G"}};
    for (const auto& [choisi, base] : cas) {
        SCOPED_TRACE(choisi);
        p.pane.text.clear();
        op.save_files.push_back(d + choisi);
        ASSERT_EQ(button_Fichier_Click(p), 0);
        EXPECT_EQ(op.shown.back().text, "data |*.dat");
        const std::string donnees = choisi == "Essai" ? "Essai.dat" : choisi;
        EXPECT_EQ(p.pane.text, "Nom du fichier d'acquisition : " + d + donnees + "\r\n");
        for (const std::string& nom : {donnees, base + ".Ond", base + ".log"})
            EXPECT_TRUE(fs::is_regular_file(d + nom)) << nom;
    }
    // Released by the next choice, no run having started on them: the earlier
    // recording is as it was, and the files made for "Essai" are gone.
    for (const char* nom : {"x.dat", "x.Ond", "x.log"})
        EXPECT_EQ(read_text(d + nom), std::string("ancien ") + nom);
    for (const char* nom : {"Essai.dat", "Essai.Ond", "Essai.log"})
        EXPECT_FALSE(fs::exists(d + nom)) << nom;
    op.save_files.push_back(d + "G.DAT"); // the same name, its files still open
    EXPECT_EQ(button_Fichier_Click(p), 0);

    op.save_files.push_back(""); // cancelled: nothing stays open
    EXPECT_EQ(button_Fichier_Click(p), -1);
    EXPECT_TRUE(!p.file_open && !p.fichiers.ouverts());
    op.save_files.push_back(dir.file("absent") + sep + "x.dat");
    EXPECT_EQ(button_Fichier_Click(p), -1);
    EXPECT_TRUE(!p.file_open && !p.fichiers.ouverts());
    EXPECT_NE(p.pane.text.find("Impossible de créer le fichier"), std::string::npos);
}

TEST_F(Nommage, FolderPickerLeavesASeparatorOnNomDir)
{
    struct Cas {
        std::string boite, choisi;
        int resultat;
        std::string depart, boite_apres, nom_dir;
    };
    const std::string m = dir.file("Mesures");
    const Cas cas[] = {
        {dir.path(), m, 0, dir.path(), m, m + sep},
        {"nulle-part", m + sep, 0, "", m + sep, m + sep},
        {m, "", -1, "", m, m + sep}, // cancelled
        {"", "", -1, "", "", ""},    // empty: the working directory
    };
    for (const auto& k : cas) {
        SCOPED_TRACE(k.boite + " -> " + k.choisi);
        c.textBox_Rep.text = k.boite;
        op.folders.push_back(k.choisi);
        EXPECT_EQ(textBox_Racine_DoubleClick(p), k.resultat);
        EXPECT_EQ(op.shown.back().text, k.depart);
        EXPECT_EQ(c.textBox_Rep.text, k.boite_apres);
        EXPECT_EQ(p.nom_dir, k.nom_dir);
    }
}

TEST_F(Nommage, RecordingNamingAndAdvancedModeSwitches)
{
    auto montre = [&] {
        // Comment button, "Fichier automatique", "Fichier", name group, advanced group.
        std::string s;
        for (bool v : {c.button_Comment.shown, c.checkBox_Nom_Fich.shown, c.button_Fichier.shown,
                       c.groupBox_Nom_Fich.shown, c.groupBox_Test.shown})
            s += v ? '1' : '0';
        return s;
    };
    clic(c.checkBox_Record, checkBox_Record_CheckedChanged);
    EXPECT_EQ(montre(), "00000");
    clic(c.checkBox_Record, checkBox_Record_CheckedChanged);
    EXPECT_EQ(montre(), "11010");
    clic(c.checkBox_Test, checkBox_Test_CheckedChanged); // unticks automatic naming
    EXPECT_TRUE(p.journal.detail && !c.checkBox_Nom_Fich.checked);
    EXPECT_EQ(montre(), "11101");
    clic(c.checkBox_Record, checkBox_Record_CheckedChanged);
    clic(c.checkBox_Record, checkBox_Record_CheckedChanged);
    EXPECT_EQ(montre(), "11101");
    c.checkBox_Status.checked = true;
    clic(c.checkBox_Nom_Fich, checkBox_Nom_Fich_CheckedChanged); // unticks advanced mode and "Status"
    EXPECT_TRUE(!p.journal.detail && !c.checkBox_Test.checked && !c.checkBox_Status.checked);
    EXPECT_EQ(montre(), "11010");
}

TEST_F(Nommage, CommentEditorStoresTheHeaderField)
{
    button_Comment_Click(p);
    EXPECT_TRUE(p.commentaires && c.groupBox_Comment.shown && c.button_Comment.enabled);
    EXPECT_EQ(c.button_Comment.text + std::to_string(c.button_Comment.font_pt), "Ferme Comment.12");
    EXPECT_FALSE(c.button_Start.enabled || c.button_Init.enabled || c.groupBox_Choix.enabled || c.button_Stop.shown);
    button_Comment_Click(p);
    EXPECT_EQ(c.button_Comment.text + std::to_string(c.button_Comment.font_pt), "Commentaires15");
    EXPECT_TRUE(!c.groupBox_Comment.shown && c.button_Start.enabled && c.textBox_Info.enabled);

    const std::string a(1023, 'a'), b(1024, 'b');
    std::string e;
    for (int i = 0; i < 1024; ++i)
        e += "é";
    struct Cas {
        std::string texte, champ, commentaire;
    };
    const Cas cas[] = {
        {"", std::string(1023, ' ') + '\0', std::string(1023, ' ')},
        {"0123456789", "0123456789" + std::string(1013, ' ') + '\0', "0123456789" + std::string(1013, ' ')},
        {a, a + '\0', a},
        {b, b, b}, // 1024 characters: no 0 byte
        {b + "cut", b, b},
        {e, std::string(1024, '\xE9'), e},
        {"Ω€漢\r\nfin", "?\x80?\r\nfin" + std::string(1015, ' ') + '\0', "Ω€漢\r\nfin" + std::string(1015, ' ')},
    };
    for (const auto& k : cas) {
        SCOPED_TRACE(k.texte.substr(0, 12));
        c.textBox_Comment.text = k.texte;
        for (int fois = 0; fois < 2; ++fois) { // closing twice gives the same bytes
            button_Comment_Click(p);
            button_Comment_Click(p);
            EXPECT_EQ(std::string(p.header_file.texte_commentaire, 1024), k.champ);
            EXPECT_EQ(p.commentaire, k.commentaire);
        }
    }
}

TEST_F(Nommage, AddedExtensionAsksBeforeOverwriting)
{
    const std::string base = dir.file("Essai");
    std::fclose(std::fopen((base + ".dat").c_str(), "wb"));
    op.save_files.push_back(base); // the dialog asked about "Essai" only
    op.answers.push_back(false);
    EXPECT_EQ(button_Fichier_Click(p), -1);
    EXPECT_FALSE(p.file_open);
    EXPECT_EQ(op.shown.back().text, "Voulez-vous écraser " + base + ".dat ? ");
    op.save_files.push_back(base);
    op.answers.push_back(true);
    EXPECT_EQ(button_Fichier_Click(p), 0);
    EXPECT_TRUE(p.file_open);
    ferme_fichiers(p);
}

TEST_F(Nommage, StartUpTellsOfTheLastRecordingCutShort)
{
    // The recording the configuration names: data, and companions that hold
    // only the room its run kept.
    const std::string dat = dir.file("Coupe.dat");
    std::ofstream(p.config_en_cours, std::ios::binary)
        << "Enregistrement = 1\r\nFichier d'acquisition (sans extension) = " << dir.file("Coupe") << "\r\n";
    std::ofstream(dat, std::ios::binary) << std::string(4100, 'x');
    std::ofstream(dir.file("Coupe.Ond"), std::ios::binary) << std::string(2097, '\0');
    std::ofstream(dir.file("Coupe.log"), std::ios::binary) << std::string(16384, '\0');
    construction(p);
    EXPECT_NE(p.pane.text.find("L'acquisition de " + dat +
                               " a été interrompue (Coupe.Ond ne contient que des zéros, Coupe.log ne contient que "
                               "des zéros) : ondaris-repare " +
                               dat + " complète son en-tête et sa description.\r\n"),
              std::string::npos)
        << p.pane.text;
}

TEST_F(Nommage, CommentLineEndsAreStoredAsCrLf)
{
    for (const char* saisi : {"a\nb", "a\r\nb", "a\rb"}) {
        stocke_commentaire(p, saisi);
        EXPECT_EQ(p.commentaire.substr(0, 4), "a\r\nb") << saisi;
        EXPECT_EQ(p.commentaire.size(), 1023u);
        EXPECT_EQ(std::string(p.header_file.texte_commentaire, 4), "a\r\nb");
    }
}

} // namespace
