// The tools and the runner never destroy a recording: an output that is one
// of its files is refused, a file is written whole or not at all (a kill, a
// write error, a full disk), and one name takes one run at a time. Linux
// only (a shell, signals, tmpfs).

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "files/calibration.h"
#include "support/doubles.h"

#ifdef __linux__
#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

namespace fs = std::filesystem;

#ifdef __linux__

const std::string BIN = fs::path(ONDARIS_ACQ).parent_path().string();

std::string outil(const std::string& nom) { return BIN + "/" + nom; }

// Runs `commande` with sh in `dossier`, its output in dossier/sortie.txt;
// the exit code, or 128 + the signal that ended it.
int lance(const std::string& dossier, const std::string& commande)
{
    const std::string c = "cd '" + dossier + "' && { " + commande + " ; } >sortie.txt 2>&1";
    const int s = std::system(c.c_str());
    if (s == -1 || !WIFEXITED(s))
        return -1;
    return WEXITSTATUS(s);
}

std::string sortie(const std::string& dossier) { return read_text(dossier + "/sortie.txt"); }

bool existe(const std::string& p) { return fs::exists(fs::path(p)); }

// Temporaries of `nom` left in `dossier`.
int temporaires(const std::string& dossier, const std::string& nom)
{
    int n = 0;
    for (const auto& e : fs::directory_iterator(dossier)) {
        const std::string f = e.path().filename().string();
        if (f.rfind("." + nom + ".", 0) == 0 && f.size() > 8 && f.compare(f.size() - 8, 8, ".partiel") == 0)
            ++n;
    }
    return n;
}

// A recording of the simulated box: 0.5 s at 10 kHz, 12 microphones, VA 0
// and counter A (14 words a frame, 280 000 bytes).
void enregistre(const std::string& dossier, const std::string& nom)
{
    ASSERT_EQ(lance(dossier, outil("ondaris-acq") +
                                 " --simulateur --sim-rythme libre --config " ONDARIS_SOURCES
                                 "/tests/tools/essai.txt --dossier . --nom " +
                                 nom + " --sans-progression"),
              0)
        << sortie(dossier);
}

// The export was built with HDF5 (a build without it refuses the format).
bool avec_hdf5(const std::string& dossier)
{
    return lance(dossier, outil("ondaris-export") + " absent.dat --format h5") != 64;
}

struct Copie {
    std::vector<uint8_t> dat, ond, log;
    explicit Copie(const std::string& base)
        : dat(read_bytes(base + ".dat")), ond(read_bytes(base + ".Ond")), log(read_bytes(base + ".log"))
    {}
    bool operator==(const Copie& o) const { return dat == o.dat && ond == o.ond && log == o.log; }
};

// A tmpfs mounted for the test, unmounted with it.
struct PetitDisque {
    std::string point, raison;
    PetitDisque(const std::string& dossier, uint64_t octets) : point(dossier + "/petit")
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
    // Takes whatever room is left.
    void remplit() const
    {
        std::vector<char> bloc(4096, 'x');
        std::FILE* f = std::fopen((point + "/plein").c_str(), "wb");
        while (f && std::fwrite(bloc.data(), 1, bloc.size(), f) == bloc.size())
            ;
        if (f)
            std::fclose(f);
    }
    void libere() const { fs::remove(point + "/plein"); }
};

TEST(Secours, OutputsThatAreTheRecordingsFilesAreRefused)
{
    TempDir d;
    enregistre(d.path(), "r");
    const Copie avant(d.file("r"));
    fs::create_hard_link(d.file("r.dat"), d.file("lien.dat"));
    const struct {
        std::string format, sortie;
    } cas[] = {
        {"npy", "r.dat"},    {"npy", "r.Ond"},
        {"npy", "r.log"},    {"npy", "./../" + fs::path(d.path()).filename().string() + "/r.dat"},
        {"h5", "r.dat"},     {"h5", "r.log"},
        {"sigmf", "r.dat"},  {"sigmf", "r.Ond"},
        {"npy", "lien.dat"}, {"h5", "lien.dat"},
    };
    const bool hdf5 = avec_hdf5(d.path());
    for (const auto& c : cas) {
        if (c.format == "h5" && !hdf5)
            continue;
        SCOPED_TRACE(c.format + " --sortie " + c.sortie);
        EXPECT_EQ(lance(d.path(), outil("ondaris-export") + " r.dat --format " + c.format + " --sortie " + c.sortie +
                                      " --ecraser"),
                  1)
            << sortie(d.path());
        EXPECT_NE(sortie(d.path()).find("un fichier de l'enregistrement lu"), std::string::npos) << sortie(d.path());
        EXPECT_TRUE(Copie(d.file("r")) == avant);
    }
    // The integer words' file of an export is an output too.
    EXPECT_EQ(lance(d.path(), outil("ondaris-export") + " r.dat --format npy --voies tout --sortie r.npy --ecraser"), 0)
        << sortie(d.path());
    EXPECT_TRUE(Copie(d.file("r")) == avant);
    if (existe(outil("ondaris-carte"))) {
        EXPECT_EQ(lance(d.path(), outil("ondaris-carte") +
                                      " r.dat --geometrie " ONDARIS_SOURCES
                                      "/data/geometrie-simulateur.xml --bande 1000 --z 1 --png r.dat"),
                  1)
            << sortie(d.path());
        EXPECT_NE(sortie(d.path()).find("un fichier de l'enregistrement lu"), std::string::npos) << sortie(d.path());
        EXPECT_TRUE(Copie(d.file("r")) == avant);
    }
}

// An export killed in the middle (here by the file size limit, SIGXFSZ,
// as a kill would) leaves nothing under its name; the next one cleans the
// leftover and succeeds. A write error (the limit with the signal ignored)
// leaves neither the file nor its temporary, and an old file stays.
TEST(Secours, InterruptedExportLeavesNoPartialFile)
{
    TempDir d;
    enregistre(d.path(), "r");
    std::vector<std::string> formats = {"npy"};
    if (avec_hdf5(d.path()))
        formats.push_back("h5");
    for (const std::string& f : formats) {
        SCOPED_TRACE(f);
        const std::string nom = "k." + f;
        const std::string export_ = outil("ondaris-export") + " r.dat --format " + f + " --voies tout --sortie " + nom;
        EXPECT_EQ(lance(d.path(), "(ulimit -f 64; exec " + export_ + ")"), 128 + SIGXFSZ) << sortie(d.path());
        EXPECT_FALSE(existe(d.file(nom)));
        EXPECT_EQ(temporaires(d.path(), nom), 1);

        ASSERT_EQ(lance(d.path(), export_), 0) << sortie(d.path());
        EXPECT_EQ(temporaires(d.path(), nom), 0);
        const std::vector<uint8_t> complet = read_bytes(d.file(nom));

        EXPECT_EQ(lance(d.path(), "(trap '' XFSZ; ulimit -f 64; exec " + export_ + " --ecraser)"), 1)
            << sortie(d.path());
        EXPECT_EQ(read_bytes(d.file(nom)), complet);
        EXPECT_EQ(temporaires(d.path(), nom), 0);
    }
    // Nothing to export is a failure, not an empty success.
    EXPECT_EQ(lance(d.path(), outil("ondaris-export") + " r.dat --format npy --debut 0 --duree 0 --sortie vide.npy"), 1)
        << sortie(d.path());
    EXPECT_FALSE(existe(d.file("vide.npy")));
}

// Ctrl-C or a kill (SIGTERM) while the export writes: it stops at the next
// block, says so, exits 1 and leaves neither the output nor its temporary.
TEST(Secours, EndingSignalDuringExportLeavesNothing)
{
    TempDir d;
    // 1 s of 1024 microphones at 12 500 Hz: 51 MB to export.
    ASSERT_EQ(lance(d.path(), outil("ondaris-acq") +
                                  " --simulateur --sim-rythme libre --frequence 12500 --duree 1 --dossier . --nom g "
                                  "--sans-progression"),
              0)
        << sortie(d.path());
    for (int sig : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(strsignal(sig));
        const pid_t pid = fork();
        if (pid == 0) {
            if (chdir(d.path().c_str()) != 0)
                _exit(127);
            std::freopen("export.txt", "w", stderr);
            signal(SIGINT, SIG_DFL);
            execl(outil("ondaris-export").c_str(), "ondaris-export", "g.dat", "--format", "npy", "--sortie", "t.npy",
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        // Sent once the temporary is there, while the frames are written.
        bool vu = false;
        for (int i = 0; i < 20000 && !vu && waitpid(pid, nullptr, WNOHANG) == 0; ++i) {
            vu = temporaires(d.path(), "t.npy") > 0;
            if (!vu)
                usleep(100);
        }
        if (vu)
            kill(pid, sig);
        int status = 0;
        waitpid(pid, &status, 0);
        if (!vu || (WIFEXITED(status) && WEXITSTATUS(status) == 0)) {
            fs::remove(d.file("t.npy"));
            std::printf("export fini avant le signal : rien à vérifier\n");
            continue;
        }
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
        EXPECT_NE(read_text(d.file("export.txt")).find("export interrompu : aucun fichier écrit"), std::string::npos)
            << read_text(d.file("export.txt"));
        EXPECT_FALSE(existe(d.file("t.npy")));
        EXPECT_EQ(temporaires(d.path(), "t.npy"), 0);
    }
}

// HDF5 on a full disk: a message and exit 1, never a crash; the old export
// is left as it was. (A write error in the middle of the file, which a
// full disk may also cause, is the file size limit above.)
TEST(Secours, Hdf5ExportOnAFullDisk)
{
    TempDir d;
    if (!avec_hdf5(d.path()))
        GTEST_SKIP() << "construit sans HDF5";
    enregistre(d.path(), "r");
    PetitDisque disque(d.path(), 192 * 1024);
    if (!disque.raison.empty())
        GTEST_SKIP() << disque.raison;
    const std::string cible = disque.point + "/x.h5";
    ASSERT_EQ(lance(d.path(), outil("ondaris-export") + " r.dat --format h5 --duree 0.01 --sortie " + cible), 0)
        << sortie(d.path());
    const std::vector<uint8_t> ancien = read_bytes(cible);
    // Room for a part of the export, not for the whole.
    EXPECT_EQ(lance(d.path(), outil("ondaris-export") + " r.dat --format h5 --voies tout --ecraser --sortie " + cible),
              1)
        << sortie(d.path());
    EXPECT_NE(sortie(d.path()).find("disque plein"), std::string::npos) << sortie(d.path());
    EXPECT_EQ(read_bytes(cible), ancien);
    EXPECT_EQ(temporaires(disque.point, "x.h5"), 0);
}

// Repair rebuilds a missing or cut description from the header and the
// data, writes whole or not at all (a full disk leaves both files), and a
// second repair is not refused for what the first left.
TEST(Secours, RepairRebuildsTheDescriptionWholeOrNotAtAll)
{
    TempDir d;
    PetitDisque disque(d.path(), 1024 * 1024);
    if (!disque.raison.empty())
        GTEST_SKIP() << disque.raison;
    // Recorded where the runner's reserve fits, then moved to the small disk.
    enregistre(d.path(), "r");
    for (const char* ext : {".dat", ".Ond", ".log"})
        fs::copy_file(d.file(std::string("r") + ext), disque.point + "/r" + ext);
    const std::string base = disque.point + "/r";
    const std::vector<uint8_t> log = read_bytes(base + ".log");

    // Cut as a failed write leaves it.
    fs::resize_file(base + ".log", 2048);
    EXPECT_NE(lance(disque.point, outil("ondaris-verifie") + " r.dat"), 0);
    EXPECT_NE(sortie(disque.point).find("ondaris-repare r.dat"), std::string::npos) << sortie(disque.point);
    const Copie coupe(base);
    disque.remplit();
    EXPECT_EQ(lance(disque.point, outil("ondaris-repare") + " r.dat"), 1) << sortie(disque.point);
    EXPECT_NE(sortie(disque.point).find("laissés tels quels"), std::string::npos) << sortie(disque.point);
    EXPECT_TRUE(Copie(base) == coupe);
    EXPECT_EQ(temporaires(disque.point, "r.log") + temporaires(disque.point, "r.Ond"), 0);
    disque.libere();

    EXPECT_EQ(lance(disque.point, outil("ondaris-repare") + " r.dat"), 0) << sortie(disque.point);
    EXPECT_NE(sortie(disque.point).find("r.log reconstruit d'après r.Ond et r.dat"), std::string::npos)
        << sortie(disque.point);
    EXPECT_EQ(lance(disque.point, outil("ondaris-verifie") + " r.dat"), 0) << sortie(disque.point);
    EXPECT_EQ(read_bytes(base + ".log"), log);

    // Missing altogether.
    fs::remove(base + ".log");
    EXPECT_EQ(lance(disque.point, outil("ondaris-repare") + " r.dat"), 0) << sortie(disque.point);
    EXPECT_EQ(read_bytes(base + ".log"), log);
}

// --calibre on a full disk: refused before the calibrator is heard, the old
// file intact.
TEST(Secours, CalibrationOnAFullDiskLeavesTheOldFile)
{
    if (!calibration_disponible())
        GTEST_SKIP() << "construit sans pugixml";
    TempDir d;
    PetitDisque disque(d.path(), 512 * 1024);
    if (!disque.raison.empty())
        GTEST_SKIP() << disque.raison;
    const std::string calibre = outil("ondaris-acq") +
                                " --simulateur --frequence 50000 --sim-amplitude 0 --sim-calibreur 300:94 --calibre 94 "
                                "--calibration " +
                                disque.point + "/cal.xml --sans-progression";
    ASSERT_EQ(lance(d.path(), calibre), 0) << sortie(d.path());
    const std::vector<uint8_t> ancien = read_bytes(disque.point + "/cal.xml");
    disque.remplit();
    EXPECT_EQ(lance(d.path(), calibre), 9) << sortie(d.path());
    EXPECT_EQ(sortie(d.path()).find("Calibreur sur le micro"), std::string::npos) << sortie(d.path());
    EXPECT_EQ(read_bytes(disque.point + "/cal.xml"), ancien);
    EXPECT_EQ(temporaires(disque.point, "cal.xml"), 0);
}

// Two runners started at once on one folder and name: the exclusive
// creation of the data file lets exactly one record; the other refuses.
TEST(Secours, TwoRunnersOnOneNameOneRecords)
{
    TempDir d;
    const std::string acq = outil("ondaris-acq") + " --simulateur --config " ONDARIS_SOURCES
                                                   "/tests/tools/essai.txt --dossier . --nom r --sans-progression";
    ASSERT_EQ(lance(d.path(),
                    "(" + acq + " >a.txt 2>&1; echo $? >a.code) & (" + acq + " >b.txt 2>&1; echo $? >b.code) & wait"),
              0);
    const std::string a = read_text(d.file("a.code")), b = read_text(d.file("b.code"));
    EXPECT_TRUE((a == "0\n" && b == "3\n") || (a == "3\n" && b == "0\n"))
        << a << b << read_text(d.file("a.txt")) << read_text(d.file("b.txt"));
    EXPECT_EQ(lance(d.path(), outil("ondaris-verifie") + " r.dat"), 0) << sortie(d.path());
}

#else

TEST(Secours, LinuxOnly) { GTEST_SKIP() << "shell, signaux et tmpfs : Linux seulement"; }

#endif

} // namespace
