// Files written whole or not at all, outputs told from inputs by identity,
// and one run per data file name.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "base/fichier_entier.h"
#include "base/journal.h"
#include "files/fichiers_run.h"
#include "support/doubles.h"

namespace {

namespace fs = std::filesystem;

int temporaires(const std::string& dossier)
{
    int n = 0;
    for (const auto& e : fs::directory_iterator(dossier))
        n += e.path().extension() == ".partiel" ? 1 : 0;
    return n;
}

} // namespace

TEST(FichierEntier, NewContentOnlyOnceComplete)
{
    TempDir d;
    const std::string f = d.file("a.txt");
    std::ofstream(f, std::ios::binary) << "ancien";
    {
        // Abandoned, by a call or by going out of scope: the old file stays.
        FichierEntier e;
        std::string erreur;
        ASSERT_EQ(e.ouvre(f, erreur), 0) << erreur;
        std::fputs("nouveau, à moitié", e.flux());
        EXPECT_EQ(read_text(f), "ancien");
        EXPECT_EQ(temporaires(d.path()), 1);
    }
    EXPECT_EQ(read_text(f), "ancien");
    EXPECT_EQ(temporaires(d.path()), 0);
    std::string erreur;
    ASSERT_EQ(ecrit_fichier_entier(f, "nouveau", erreur), 0) << erreur;
    EXPECT_EQ(read_text(f), "nouveau");
    EXPECT_EQ(temporaires(d.path()), 0);
    // A folder that does not exist: refused, nothing created.
    EXPECT_EQ(ecrit_fichier_entier(d.file("absent/b.txt"), "x", erreur), -1);
    EXPECT_NE(erreur.find("absent/b.txt"), std::string::npos) << erreur;
}

// A temporary left by a killed writer goes with the next writer of its
// name; one that a writer at work holds stays, as do other names'.
TEST(FichierEntier, LeftoversOfKilledWritersAreCleaned)
{
    TempDir d;
    std::ofstream(d.file(".a.txt.0000dead.partiel")) << "reste";
    std::ofstream(d.file(".b.txt.0000dead.partiel")) << "autre nom";
    FichierEntier au_travail;
    std::string erreur;
    ASSERT_EQ(au_travail.ouvre(d.file("a.txt"), erreur), 0) << erreur;
    EXPECT_FALSE(fs::exists(d.file(".a.txt.0000dead.partiel")));
    ASSERT_EQ(ecrit_fichier_entier(d.file("a.txt"), "second", erreur), 0) << erreur;
    EXPECT_TRUE(fs::exists(au_travail.temporaire()));
    EXPECT_TRUE(fs::exists(d.file(".b.txt.0000dead.partiel")));
    std::fputs("premier", au_travail.flux());
    ASSERT_EQ(au_travail.termine(erreur), 0) << erreur;
    EXPECT_EQ(read_text(d.file("a.txt")), "premier");
}

TEST(FichierEntier, OutputsComparedWithInputsByIdentity)
{
    TempDir d;
    std::ofstream(d.file("r.dat")) << "données";
    std::ofstream(d.file("autre.dat")) << "données";
    fs::create_directory(d.file("sous"));
    std::error_code lien;
    fs::create_hard_link(d.file("r.dat"), d.file("lien.dat"), lien);
    const std::string nom = fs::path(d.path()).filename().string();
    const struct {
        std::string sortie;
        bool meme;
    } cas[] = {
        {d.file("r.dat"), true},    {d.file("sous/../r.dat"), true},
        {d.file("./r.dat"), true},  {d.path() + "/../" + nom + "/r.dat", true},
        {d.file("lien.dat"), true}, {d.file("autre.dat"), false},
        {d.file("r.npy"), false},   {d.file("sous/r.dat"), false},
    };
    for (const auto& c : cas) {
        if (lien && c.sortie == d.file("lien.dat"))
            continue; // no hard links on this file system
        EXPECT_EQ(meme_fichier(c.sortie, d.file("r.dat")), c.meme) << c.sortie;
        std::string erreur;
        EXPECT_EQ(refuse_sorties_sur_entrees({d.file("x.npy"), c.sortie}, {d.file("r.log"), d.file("r.dat")}, erreur),
                  c.meme ? -1 : 0)
            << c.sortie;
        if (c.meme) {
            EXPECT_NE(erreur.find(c.sortie + " "), std::string::npos) << erreur;
        }
    }
    // A companion not there yet is still the recording's name.
    EXPECT_TRUE(meme_fichier(d.file("sous/../r.log"), d.file("r.log")));
}

// One run per name: the data file is created exclusively and locked while
// open, whichever run came first, for a new name as for an existing one.
TEST(FichiersRun, SecondRunOnOneNameRefused)
{
    TempDir d;
    std::string pane;
    Journal j;
    j.sortie = [&pane](const std::string& t, int) { pane += t; };
    for (bool existant : {false, true}) {
        SCOPED_TRACE(existant ? "existant" : "nouveau");
        if (existant)
            std::ofstream(d.file("r.dat")) << "ancien";
        FichiersRun premier, second;
        ASSERT_EQ(premier.prepare(d.file("r.dat"), j), 0) << pane;
        pane.clear();
        EXPECT_EQ(second.prepare(d.file("r.dat"), j), -1);
        EXPECT_NE(pane.find("r.dat est pris par une autre acquisition"), std::string::npos) << pane;
        // The refused one removed nothing of the first's.
        EXPECT_TRUE(fs::exists(d.file("r.dat")));
        EXPECT_TRUE(fs::exists(d.file("r.Ond")));
        premier.ferme();
        EXPECT_EQ(fs::exists(d.file("r.dat")), existant);
        EXPECT_EQ(second.prepare(d.file("r.dat"), j), 0) << pane;
        second.ferme();
    }
}

// Through a symbolic link the file is replaced and the link kept; a device
// is written into, never replaced by a file (/dev/full refuses the bytes as
// a full disk would, /dev/null takes them).
TEST(FichierEntier, LinksAndDevicesKeptAsTheyAre)
{
    TempDir d;
    std::ofstream(d.file("vrai.txt")) << "ancien";
    std::error_code ec;
    fs::create_symlink(d.file("vrai.txt"), d.file("lien.txt"), ec);
    if (ec)
        GTEST_SKIP() << "pas de lien symbolique ici : " << ec.message();
    std::string erreur;
    ASSERT_EQ(ecrit_fichier_entier(d.file("lien.txt"), "nouveau", erreur), 0) << erreur;
    EXPECT_TRUE(fs::is_symlink(d.file("lien.txt")));
    EXPECT_EQ(read_text(d.file("vrai.txt")), "nouveau");
    EXPECT_EQ(temporaires(d.path()), 0);
#ifdef __linux__
    if (!fs::is_character_file("/dev/full") || !fs::is_character_file("/dev/null"))
        GTEST_SKIP() << "/dev/full et /dev/null attendus";
    const std::string beaucoup(1 << 16, 'x');
    EXPECT_EQ(ecrit_fichier_entier("/dev/full", beaucoup, erreur), -1);
    EXPECT_TRUE(fs::is_character_file("/dev/full"));
    EXPECT_EQ(ecrit_fichier_entier("/dev/null", beaucoup, erreur), 0) << erreur;
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
#endif
}
