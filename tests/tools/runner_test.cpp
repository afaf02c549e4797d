// ondaris-acq as an operator runs it: Ctrl-C sent as a signal, and a disk
// that fills during a recording. Linux only (fork, exec, kill, mount).

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "analyse/acoustique.h"
#include "analyse/formation.h"
#include "files/calibration.h"
#include "files/geometrie.h"
#include "simulator/frame_source.h"
#include "support/doubles.h"

#ifdef __linux__
#include <fcntl.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

namespace fs = std::filesystem;

#ifdef __linux__

// The runner, started in `dossier` with its output in dossier/sortie.txt.
struct Runner {
    pid_t pid = -1;
    std::string sortie;

    Runner(const std::string& dossier, std::vector<std::string> args) : sortie(dossier + "/sortie.txt")
    {
        args.insert(args.begin(), ONDARIS_ACQ);
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        pid = fork();
        if (pid == 0) {
            int fd = open(sortie.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (fd < 0 || chdir(dossier.c_str()) != 0)
                _exit(127);
            dup2(fd, 1);
            dup2(fd, 2);
            signal(SIGINT, SIG_DFL);
            execv(argv[0], argv.data());
            _exit(127);
        }
    }
    ~Runner()
    {
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }

    std::string texte() const { return read_text(sortie); }

    // Waits until the output holds `t`; false after `ms` or if the runner ended.
    bool attend(const std::string& t, int ms) const
    {
        for (int i = 0; i < ms / 20; ++i) {
            if (texte().find(t) != std::string::npos)
                return true;
            if (waitpid(pid, nullptr, WNOHANG) != 0)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }

    // Exit code, or -1 when it did not end within `ms` (it is then killed).
    int fin(int ms)
    {
        for (int i = 0; i < ms / 20; ++i) {
            int status = 0;
            if (waitpid(pid, &status, WNOHANG) == pid) {
                pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return -1;
    }
};

uint32_t nb_ech_du_header(const std::string& chemin)
{
    auto h = read_bytes(chemin);
    uint32_t n = UINT32_MAX;
    if (h.size() == 2097)
        std::memcpy(&n, &h[1064], 4);
    return n;
}

// The three files agree with each other and with the bytes on disk.
void fichiers_coherents(const std::string& base, int nb_voies)
{
    const uint64_t octets = fs::file_size(base + ".dat");
    const uint32_t nb_ech = nb_ech_du_header(base + ".Ond");
    EXPECT_EQ(nb_ech, octets / (4u * nb_voies));
    const std::string log = read_text(base + ".log");
    EXPECT_NE(log.find("Nb_voies = " + std::to_string(nb_voies) + "\r\n"), std::string::npos);
    EXPECT_NE(log.find("Nb_ech = " + std::to_string(nb_ech) + "\r\n"), std::string::npos) << log;
}

// Default settings of the window: 1024 microphones and counter A.
constexpr int VOIES_DEFAUT = 1025;

// Ctrl-C, a kill and a closed terminal end a recording alike: Stop, and
// three files that agree.
TEST(RunnerSignal, EndingSignalStopsAnOpenEndedRecording)
{
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(strsignal(sig));
        TempDir dir;
        Runner r(dir.path(), {"--simulateur", "--frequence", "12500", "--duree", "0", "--dossier", dir.path(), "--nom",
                              "E", "--sans-progression"});
        ASSERT_TRUE(r.attend("Go disponibles", 60000)) << r.texte();
        // Interrupted once the first packets have reached the data file.
        auto taille = [&] {
            std::error_code ec;
            const auto n = fs::file_size(dir.file("E.dat"), ec);
            return ec ? 0 : n;
        };
        for (int i = 0; i < 3000 && taille() < 2u * 16777216u; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        kill(r.pid, sig);
        EXPECT_EQ(r.fin(60000), 0) << r.texte();
        EXPECT_EQ(r.texte().find("ERREUR"), std::string::npos) << r.texte();
        EXPECT_GT(fs::file_size(dir.file("E.dat")), 0u);
        fichiers_coherents(dir.file("E"), VOIES_DEFAUT);
    }
}

TEST(RunnerSignal, CtrlCDuringInitClosesTheLinkWithoutARun)
{
    TempDir dir;
    Runner r(dir.path(), {"--simulateur", "--sim-lenteur", "20", "--duree", "0.1", "--dossier", dir.path(), "--nom",
                          "E", "--sans-progression"});
    ASSERT_TRUE(r.attend("Liaison USB activée", 60000)) << r.texte();
    kill(r.pid, SIGINT);
    EXPECT_EQ(r.fin(60000), 130) << r.texte();
    EXPECT_NE(r.texte().find("Interrompu pendant l'Init : liaison USB fermée"), std::string::npos) << r.texte();
    EXPECT_FALSE(fs::exists(dir.file("E.dat")));
}

// A tmpfs mounted for the test, unmounted and removed with it.
struct PetitDisque {
    std::string point;
    std::string raison; // why it could not be mounted
    PetitDisque(const std::string& dossier, uint64_t octets) : point(dossier + "/disque")
    {
        fs::create_directory(point);
        const std::string options = "size=" + std::to_string(octets);
        if (getuid() != 0)
            raison = "monter un tmpfs demande les droits root";
        else if (mount("tmpfs", point.c_str(), "tmpfs", 0, options.c_str()) != 0)
            raison = std::string("mount tmpfs : ") + std::strerror(errno);
    }
    ~PetitDisque()
    {
        if (raison.empty())
            umount2(point.c_str(), MNT_DETACH);
        fs::remove(point);
    }
};

TEST(RunnerDisk, DiskFilledByAnotherWriterStopsAFixedRecording)
{
    TempDir dir;
    // Room for the reserve of 1 000 000 000 bytes and 160 MiB; the run asks
    // for 6 s of 1025 words at 5000 Hz (123 000 000 bytes, 0.8 s a packet).
    PetitDisque disque(dir.path(), 1000000000ull + 160ull * 1048576);
    if (!disque.raison.empty())
        GTEST_SKIP() << disque.raison;
    Runner r(dir.path(), {"--simulateur", "--frequence", "5000", "--duree", "6", "--dossier", disque.point, "--nom",
                          "E", "--sans-progression"});
    const std::string base = disque.point + "/E";
    auto taille = [&] {
        std::error_code ec;
        auto n = fs::file_size(base + ".dat", ec);
        return ec ? 0 : n;
    };
    for (int i = 0; i < 3000 && taille() < 16777216; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_GE(taille(), 16777216u) << r.texte();

    // Another writer takes whatever is left.
    std::vector<char> bloc(1 << 20, 'x');
    std::FILE* f = std::fopen((disque.point + "/autre").c_str(), "wb");
    ASSERT_NE(f, nullptr);
    while (std::fwrite(bloc.data(), 1, bloc.size(), f) == bloc.size())
        ;
    std::fclose(f);

    const int code = r.fin(60000);
    const std::string sortie = r.texte();
    EXPECT_EQ(code, 7) << sortie;
    EXPECT_NE(sortie.find("Disque plein : le fichier de données " + base + ".dat n'accepte plus d'octets"),
              std::string::npos)
        << sortie;
    EXPECT_NE(sortie.find("Le fichier de données contient "), std::string::npos) << sortie;
    EXPECT_LT(fs::file_size(base + ".dat"), 123000000u);
    fichiers_coherents(base, VOIES_DEFAUT);
    fs::remove(disque.point + "/autre");
}

// A calibrator on microphone 300 of the simulated array, whose sensitivities
// spread 1.5 dB: the factor stored is 1 / its sensitivity, from the nominal
// one, then again from the factor found, at the other usual level; the
// other microphones keep the nominal factor.
TEST(RunnerCalibre, FactorOfTheSimulatedCalibrator)
{
    if (!calibration_disponible())
        GTEST_SKIP() << "construit sans pugixml";
    TempDir dir;
    sim::Scene scene;
    scene.sensitivity_spread_db = 1.5;
    const double attendu = 1.0 / sim::microphone_sensitivity(scene, 300);
    for (const char* niveau : {"94", "114"}) {
        Runner r(dir.path(), {"--simulateur", "--frequence", "50000", "--sim-amplitude", "0", "--sim-sensibilite-ecart",
                              "1.5", "--sim-calibreur", std::string("300:") + niveau, "--calibre", niveau,
                              "--calibration", "cal.xml", "--sans-progression"});
        ASSERT_EQ(r.fin(60000), 0) << r.texte();
        Calibration cal;
        std::string erreur;
        ASSERT_EQ(lit_calibration(dir.file("cal.xml"), 1024, cal, erreur), 0) << erreur;
        EXPECT_NEAR(20 * std::log10(cal.facteurs[300] / attendu), 0.0, 0.01) << niveau << " dB";
        for (int m : {0, 299, 301, 1023})
            EXPECT_DOUBLE_EQ(cal.facteurs[static_cast<size_t>(m)], 1.0 / SENSIBILITE_NOMINALE);
    }
}

// The live map's log of a headless run without a file: every line it writes
// puts the maximum within one grid step of the simulated source, in the
// loudest third-octave (the source's). How many lines a free-running box
// gives depends on the machine: at least one, at the end.
TEST(RunnerCarteDirecte, MaximumOnThePointSourceEachLine)
{
#ifndef ONDARIS_FFTW
    GTEST_SKIP() << "construit sans FFTW";
#endif
    TempDir dir;
    const std::string geometrie = ONDARIS_SOURCES "/data/geometrie-simulateur.xml";
    Runner r(dir.path(),
             {"--simulateur", "--sim-rythme", "libre", "--sim-geometrie", geometrie, "--sim-point", "0.2,-0.1,1,4000",
              "--sans-enregistrement", "--duree", "4", "--carte-directe", "--sans-progression"});
    ASSERT_EQ(r.fin(120000), 0) << r.texte();
    Geometrie g;
    std::string erreur;
    ASSERT_EQ(lit_geometrie(geometrie, g, erreur), 0) << erreur;
    std::vector<int> tous(1024);
    for (int m = 0; m < 1024; ++m)
        tous[size_t(m)] = m;
    const Grille grille = grille_ouverture(g, tous, 1.0, 41);
    const std::string texte = r.texte();
    int lignes = 0;
    for (size_t at = texte.find("Carte "); at != std::string::npos; at = texte.find("Carte ", at + 1)) {
        const std::string ligne = texte.substr(at, texte.find('\n', at) - at);
        SCOPED_TRACE(ligne);
        const size_t x = ligne.find("x = "), y = ligne.find("y = ");
        ASSERT_NE(x, std::string::npos);
        ASSERT_NE(y, std::string::npos);
        // The number as written, with the regional decimal separator.
        auto nombre = [&ligne](size_t debut) {
            std::string n = ligne.substr(debut, ligne.find(' ', debut) - debut);
            for (char& c : n)
                if (c == ',')
                    c = '.';
            return std::strtod(n.c_str(), nullptr);
        };
        EXPECT_NEAR(nombre(x + 4), 0.2, grille.pas_x() * 1.01);
        EXPECT_NEAR(nombre(y + 4), -0.1, grille.pas_y() * 1.01);
        EXPECT_NE(ligne.find("tiers d'octave de 4000 Hz, 41 x 41 points"), std::string::npos);
        ++lignes;
    }
    EXPECT_GE(lignes, 1) << texte;
    EXPECT_NE(texte.find("Spectre du micro 0 "), std::string::npos) << texte;
}

TEST(RunnerDisk, OverwriteRefusedForSpaceLeavesTheRecordingAsItWas)
{
    TempDir dir;
    PetitDisque disque(dir.path(), 1000000000ull + 64ull * 1048576);
    if (!disque.raison.empty())
        GTEST_SKIP() << disque.raison;
    auto options = [&](std::vector<std::string> plus) {
        std::vector<std::string> a = {"--simulateur", "--sim-rythme", "libre", "--dossier",
                                      disque.point,   "--nom",        "E",     "--sans-progression"};
        a.insert(a.end(), plus.begin(), plus.end());
        return a;
    };
    Runner premier(dir.path(), options({"--duree", "0.1"}));
    ASSERT_EQ(premier.fin(60000), 0) << premier.texte();
    const std::string base = disque.point + "/E";
    const std::vector<uint8_t> avant[3] = {read_bytes(base + ".dat"), read_bytes(base + ".Ond"),
                                           read_bytes(base + ".log")};
    // 60 s of the default frame is 12 GB: the small disk cannot take it.
    Runner second(dir.path(), options({"--duree", "60", "--ecraser"}));
    EXPECT_EQ(second.fin(60000), 3) << second.texte();
    EXPECT_NE(second.texte().find("Pas suffisamment de place sur le disque !"), std::string::npos) << second.texte();
    EXPECT_EQ(read_bytes(base + ".dat"), avant[0]);
    EXPECT_EQ(read_bytes(base + ".Ond"), avant[1]);
    EXPECT_EQ(read_bytes(base + ".log"), avant[2]);
}

#else

TEST(RunnerSignal, LinuxOnly) { GTEST_SKIP() << "signaux et tmpfs : Linux seulement"; }

#endif

} // namespace
