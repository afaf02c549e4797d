// What the system does its own way, exercised on the system the tests run
// on: under Wine these are the Windows calls.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "app/model/acquisition.h"
#include "base/plateforme.h"
#include "device/usb_libusb.h"
#include "files/chemins.h"
#include "support/doubles.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace fs = std::filesystem;

namespace {

TEST(Plateforme, AccentedFolderAndNameOpenFromUtf8)
{
    TempDir dir;
    const std::string d = dir.path() + SEPARATEUR + "Mesures été" + SEPARATEUR;
    ASSERT_TRUE(fs::create_directory(fs::u8path(d)));
    std::FILE* f = ouvre_fichier(d + "Essai ñ.dat", "wb+");
    ASSERT_NE(f, nullptr);
    std::fputs("abc", f);
    std::fclose(f);
    // The name on disk is the one asked for, not its code-page bytes.
    auto it = fs::directory_iterator(fs::u8path(d));
    ASSERT_NE(it, fs::directory_iterator());
    EXPECT_EQ(it->path().filename().u8string(), "Essai ñ.dat");
    EXPECT_EQ(fs::file_size(it->path()), 3u);
    f = ouvre_fichier(d + "Essai ñ.dat", "rb");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
}

TEST(Plateforme, CommentInTheCodePage)
{
#ifdef _WIN32
    const bool cp1252 = GetACP() == 1252;
#else
    const bool cp1252 = true; // the built-in table
#endif
    const std::pair<std::string, std::string> cas[] = {
        {"Mesure 3, salle B", "Mesure 3, salle B"},
        {"été 20 €", "\xE9t\xE9 20 \x80"},
        {"Ω漢", "??"}, // not in the code page
        {"Āŋ", "??"},  // no best fit to a look-alike 'A' or 'n'
        {"a\r\nb", "a\r\nb"},
    };
    for (const auto& [texte, octets] : cas) {
        if (!cp1252 && texte != "Mesure 3, salle B")
            continue; // another code page: only ASCII is known in advance
        SCOPED_TRACE(texte);
        EXPECT_EQ(vers_code_page(texte), octets);
    }
}

TEST(Plateforme, FreeSpaceOfTheDataFolderVolume)
{
    TempDir dir;
    const std::string d = dir.path() + SEPARATEUR + "Données" + SEPARATEUR;
    ASSERT_TRUE(fs::create_directory(fs::u8path(d)));
    const uint64_t libre = disque_systeme().espace(d + "Essai.dat");
    const double attendu = static_cast<double>(fs::space(fs::u8path(d)).available);
    EXPECT_GT(libre, 0u);
    EXPECT_NEAR(static_cast<double>(libre), attendu, attendu / 100 + 64.0 * 1024 * 1024);
#ifdef _WIN32
    const std::string nulle_part = "q:\\nulle\\part\\Essai.dat";
#else
    const std::string nulle_part = "/nulle/part/Essai.dat";
#endif
    EXPECT_EQ(disque_systeme().espace(nulle_part), 0u);
}

// The thread's CPU clock counts what the calling thread runs, not the time
// it sleeps nor what another thread runs meanwhile (the benchmarks and the
// map's load figure rest on it).
TEST(Plateforme, ThreadCpuClockCountsTheCallingThreadOnly)
{
    const double debut = cpu_fil_s();
    std::thread occupe([] {
        const double d = cpu_fil_s();
        while (cpu_fil_s() - d < 0.05) {
        }
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    occupe.join();
    EXPECT_LT(cpu_fil_s() - debut, 0.04);
    // Running, it advances (bounded: a loaded machine may hold it back).
    const double d = cpu_fil_s();
    const auto limite = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (cpu_fil_s() - d < 0.01 && std::chrono::steady_clock::now() < limite) {
    }
    EXPECT_GE(cpu_fil_s() - d, 0.01);
    EXPECT_GE(attente_cpu_fil_s(), 0.0);
}

TEST(Plateforme, RegionalSeparators)
{
    struct Cas {
        const char* locale;
        const char* decimal;
        std::vector<std::string> groupements;
    };
#ifdef _WIN32
    const Cas cas[] = {
        {"en-US", ".", {","}},
        {"de-DE", ",", {"."}},
        {"fr-FR", ",", {"\xC2\xA0", "\xE2\x80\xAF"}}, // a no-break space, never a plain one
    };
#else
    const Cas cas[] = {{"C", ".", {","}}};
#endif
    for (const Cas& k : cas) {
        SCOPED_TRACE(k.locale);
        std::string d, g;
        ASSERT_TRUE(separateurs_regionaux(k.locale, d, g));
        EXPECT_EQ(d, k.decimal);
        EXPECT_NE(std::find(k.groupements.begin(), k.groupements.end(), g), k.groupements.end()) << g;
    }
    std::string d = "x", g = "y";
    EXPECT_FALSE(separateurs_regionaux("zz-Nulle_Part", d, g));
    EXPECT_EQ(d + g, "xy");
}

#ifdef _WIN32
// Folders with drive letters and "\": the "Fichier" line of a configuration
// and the folder of automatic naming.
TEST(Plateforme, WindowsFolders)
{
    std::string dossier, nom;
    ASSERT_TRUE(decoupe_chemin(" d:\\Mesures\\Essai", dossier, nom));
    EXPECT_EQ(dossier + "|" + nom, "d:\\Mesures\\|Essai");
    ASSERT_TRUE(decoupe_chemin("d:/Mesures/Essai", dossier, nom));
    EXPECT_EQ(dossier + "|" + nom, "d:\\Mesures\\|Essai");
    ASSERT_TRUE(decoupe_chemin("\\\\serveur\\partage\\Essai", dossier, nom));
    EXPECT_EQ(dossier + "|" + nom, "\\\\serveur\\partage\\|Essai");
    EXPECT_EQ(avec_separateur("d:\\Mesures"), "d:\\Mesures\\");
    EXPECT_EQ(avec_separateur("d:\\"), "d:\\");
    EXPECT_EQ(avec_separateur("d:/Mesures/"), "d:/Mesures/");
}

// libusb-1.0.dll found beside the program (here a stand-in for it) and its
// functions reached with their arguments.
TEST(Plateforme, LibusbDllLoadedAndCalledThrough)
{
    LibusbApi api;
    EXPECT_EQ(api.missing_library(), "");
    ASSERT_EQ(api.init(), 0);
    api.set_debug(3);
    EXPECT_EQ(api.open_device_with_vid_pid(0x1234, 0xAC02), nullptr);
    usb::DeviceHandle h = api.open_device_with_vid_pid(0xFE27, 0xAC02);
    ASSERT_NE(h, nullptr);
    unsigned char data[2] = {2, 0};
    EXPECT_EQ(api.control_transfer(h, 0x40, 0xB1, 0, 0, data, 2, 500), 302);
    EXPECT_EQ(api.alloc_transfer(0), nullptr); // a function the DLL lacks
    api.close(h);
    api.exit();
}
#endif

} // namespace
