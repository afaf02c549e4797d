#include "base/plateforme.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "base/texte.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <langinfo.h>
#include <locale.h>
#include <signal.h>
#include <unistd.h>
#endif

namespace {

// Counted by the system's handler: a lock-free atomic is safe there.
static_assert(ATOMIC_INT_LOCK_FREE == 2, "ending requests are counted in a signal handler");
std::atomic<int> demandes{0};

// The rule shared by both systems for what the locale gives.
void complete_separateurs(std::string& decimal, std::string& groupement)
{
    if (decimal.empty())
        decimal = ".";
    if (groupement.empty())
        groupement = decimal == "," ? "\xC2\xA0" : ",";
    else if (groupement == " ")
        groupement = "\xC2\xA0";
}

} // namespace

#ifdef _WIN32

std::wstring utf8_vers_large(const std::string& s)
{
    if (s.empty())
        return {};
    int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring w(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), &w[0], n);
    return w;
}

std::string large_vers_utf8(const std::wstring& w)
{
    if (w.empty())
        return {};
    int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), &s[0], n, nullptr, nullptr);
    return s;
}

struct FichierDirect {
    HANDLE h = INVALID_HANDLE_VALUE;
};

namespace {

int errno_de(DWORD e)
{
    switch (e) {
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    case ERROR_INVALID_PARAMETER:
    case ERROR_NOT_SUPPORTED:
        return EINVAL;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
        return EACCES;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return ENOENT;
    default:
        return EIO;
    }
}

} // namespace

FichierDirect* ouvre_direct(const std::string& utf8_path, int& err)
{
    // The data file is open in the C library too: both handles share it.
    HANDLE h = CreateFileW(utf8_vers_large(utf8_path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_NO_BUFFERING, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        err = errno_de(GetLastError());
        return nullptr;
    }
    err = 0;
    return new FichierDirect{h};
}

std::size_t ecrit_direct(FichierDirect* f, uint64_t position, const unsigned char* octets, std::size_t n)
{
    std::size_t fait = 0;
    while (f && fait < n) {
        // At most 1 GiB per call, a multiple of the alignment.
        const DWORD k = static_cast<DWORD>(std::min<std::size_t>(n - fait, std::size_t(1) << 30));
        OVERLAPPED o{};
        const uint64_t p = position + fait;
        o.Offset = static_cast<DWORD>(p & 0xFFFFFFFFu);
        o.OffsetHigh = static_cast<DWORD>(p >> 32);
        DWORD ecrits = 0;
        if (!WriteFile(f->h, octets + fait, k, &ecrits, &o)) {
            errno = errno_de(GetLastError());
            break;
        }
        if (ecrits == 0) {
            errno = EIO;
            break;
        }
        fait += ecrits;
    }
    return fait;
}

int ferme_direct(FichierDirect* f)
{
    if (!f)
        return 0;
    const int r = CloseHandle(f->h) ? 0 : errno_de(GetLastError());
    delete f;
    return r;
}

std::FILE* ouvre_fichier(const std::string& utf8_path, const char* mode)
{
    std::wstring wmode(mode, mode + std::strlen(mode));
    return _wfopen(utf8_vers_large(utf8_path).c_str(), wmode.c_str());
}

std::string vers_code_page(const std::string& utf8)
{
    // A system set to UTF-8 as its code page takes the text as it is.
    if (GetACP() == CP_UTF8)
        return utf8;
    std::wstring w = utf8_vers_large(utf8);
    if (w.empty())
        return {};
    // No best fit: a character the code page lacks shows as '?', not as a
    // look-alike that would read as something else.
    const DWORD drapeaux = WC_NO_BEST_FIT_CHARS;
    int n = WideCharToMultiByte(CP_ACP, drapeaux, w.data(), static_cast<int>(w.size()), nullptr, 0, "?", nullptr);
    std::string s(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, drapeaux, w.data(), static_cast<int>(w.size()), &s[0], n, "?", nullptr);
    return s;
}

std::FILE* cree_fichier_exclusif(const std::string& utf8_path)
{
    HANDLE h = CreateFileW(utf8_vers_large(utf8_path).c_str(), GENERIC_READ | GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD e = GetLastError();
        errno = e == ERROR_FILE_EXISTS || e == ERROR_ALREADY_EXISTS ? EEXIST : e == ERROR_ACCESS_DENIED ? EACCES : EIO;
        return nullptr;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_RDWR | _O_BINARY);
    if (fd < 0) {
        CloseHandle(h);
        return nullptr;
    }
    std::FILE* f = _fdopen(fd, "w+b");
    if (!f)
        _close(fd);
    return f;
}

bool verrouille_fichier(std::FILE* f)
{
    HANDLE h = f ? reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(f))) : INVALID_HANDLE_VALUE;
    if (h == INVALID_HANDLE_VALUE)
        return false;
    OVERLAPPED o{};
    o.Offset = 0;
    o.OffsetHigh = 0x7FFFFFFF;
    return LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &o) != 0;
}

bool synchronise_fichier(std::FILE* f) { return f && std::fflush(f) == 0 && _commit(_fileno(f)) == 0; }

bool remplace_fichier(const std::string& de, const std::string& vers)
{
    const std::wstring a = utf8_vers_large(de), b = utf8_vers_large(vers);
    if (GetFileAttributesW(b.c_str()) != INVALID_FILE_ATTRIBUTES &&
        ReplaceFileW(b.c_str(), a.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr))
        return true;
    if (MoveFileExW(a.c_str(), b.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    errno = GetLastError() == ERROR_ACCESS_DENIED ? EACCES : EIO;
    return false;
}

bool vide_fichier(std::FILE* f)
{
    if (!f || std::fflush(f) != 0 || _chsize_s(_fileno(f), 0) != 0)
        return false;
    return std::fseek(f, 0, SEEK_SET) == 0;
}

bool espace_libre(const std::string& dossier, uint64_t& octets)
{
    std::wstring w = dossier.empty() ? std::wstring(L".") : utf8_vers_large(dossier);
    ULARGE_INTEGER utilisateur;
    if (!GetDiskFreeSpaceExW(w.c_str(), &utilisateur, nullptr, nullptr))
        return false;
    octets = utilisateur.QuadPart;
    return true;
}

bool separateurs_regionaux(const std::string& locale, std::string& decimal, std::string& groupement)
{
    std::wstring nom = utf8_vers_large(locale);
    const wchar_t* n = locale.empty() ? LOCALE_NAME_USER_DEFAULT : nom.c_str();
    wchar_t d[8], g[8];
    if (GetLocaleInfoEx(n, LOCALE_SDECIMAL, d, 8) == 0 || GetLocaleInfoEx(n, LOCALE_STHOUSAND, g, 8) == 0)
        return false;
    decimal = large_vers_utf8(d);
    groupement = large_vers_utf8(g);
    complete_separateurs(decimal, groupement);
    return true;
}

std::vector<std::string> arguments_utf8(int argc, char** argv)
{
    std::vector<std::string> args;
    int n = 0;
    wchar_t** w = CommandLineToArgvW(GetCommandLineW(), &n);
    if (w && n == argc) {
        for (int i = 0; i < n; ++i)
            args.push_back(large_vers_utf8(w[i]));
    } else {
        args.assign(argv, argv + argc);
    }
    if (w)
        LocalFree(w);
    return args;
}

namespace {

BOOL WINAPI sur_evenement_console(DWORD evenement)
{
    demandes.fetch_add(1);
    if (evenement == CTRL_C_EVENT || evenement == CTRL_BREAK_EVENT)
        return TRUE;
    // Close, logoff, shutdown: the process ends as soon as this returns, so
    // it waits here while the main thread stops the run and writes the
    // files; the program's exit ends this thread with the others.
    Sleep(INFINITE);
    return TRUE;
}

} // namespace

void capte_demandes_fin() { SetConsoleCtrlHandler(sur_evenement_console, TRUE); }

void console_utf8()
{
    SetConsoleOutputCP(CP_UTF8);
    // The progress line rewrites itself with the terminal's escape sequences.
    HANDLE h = GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    if (h != INVALID_HANDLE_VALUE && GetConsoleMode(h, &mode))
        SetConsoleMode(h, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
}

#else

std::FILE* ouvre_fichier(const std::string& utf8_path, const char* mode) { return std::fopen(utf8_path.c_str(), mode); }

std::FILE* cree_fichier_exclusif(const std::string& utf8_path)
{
    const int fd = ::open(utf8_path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        return nullptr;
    std::FILE* f = fdopen(fd, "w+b");
    if (!f)
        ::close(fd);
    return f;
}

bool verrouille_fichier(std::FILE* f) { return f && flock(fileno(f), LOCK_EX | LOCK_NB) == 0; }

bool synchronise_fichier(std::FILE* f) { return f && std::fflush(f) == 0 && fsync(fileno(f)) == 0; }

bool remplace_fichier(const std::string& de, const std::string& vers)
{
    if (std::rename(de.c_str(), vers.c_str()) != 0)
        return false;
    // The new name itself reaches the disk with its folder.
    std::string dossier = std::filesystem::path(vers).parent_path().string();
    const int fd = ::open(dossier.empty() ? "." : dossier.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        ::close(fd);
    }
    return true;
}

bool vide_fichier(std::FILE* f)
{
    if (!f || std::fflush(f) != 0 || ftruncate(fileno(f), 0) != 0)
        return false;
    return std::fseek(f, 0, SEEK_SET) == 0;
}

std::string vers_code_page(const std::string& utf8) { return utf8_vers_cp1252(utf8); }

bool espace_libre(const std::string& dossier, uint64_t& octets)
{
    std::error_code ec;
    std::filesystem::path d = dossier.empty() ? std::filesystem::path(".") : std::filesystem::u8path(dossier);
    std::filesystem::space_info info = std::filesystem::space(d, ec);
    if (ec || info.available == static_cast<std::uintmax_t>(-1))
        return false;
    octets = info.available;
    return true;
}

bool separateurs_regionaux(const std::string& locale, std::string& decimal, std::string& groupement)
{
    locale_t l = newlocale(LC_NUMERIC_MASK, locale.c_str(), static_cast<locale_t>(0));
    if (l == static_cast<locale_t>(0))
        return false;
    decimal = nl_langinfo_l(RADIXCHAR, l);
    groupement = nl_langinfo_l(THOUSEP, l);
    freelocale(l);
    complete_separateurs(decimal, groupement);
    return true;
}

std::vector<std::string> arguments_utf8(int argc, char** argv) { return std::vector<std::string>(argv, argv + argc); }

void console_utf8() {}

struct FichierDirect {
    int fd = -1;
};

FichierDirect* ouvre_direct(const std::string& utf8_path, int& err)
{
    const int fd = ::open(utf8_path.c_str(), O_WRONLY | O_DIRECT | O_CLOEXEC);
    if (fd < 0) {
        err = errno;
        return nullptr;
    }
    err = 0;
    return new FichierDirect{fd};
}

std::size_t ecrit_direct(FichierDirect* f, uint64_t position, const unsigned char* octets, std::size_t n)
{
    std::size_t fait = 0;
    while (f && fait < n) {
        const ssize_t r = ::pwrite(f->fd, octets + fait, n - fait, static_cast<off_t>(position + fait));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0) {
            if (r == 0)
                errno = EIO;
            break;
        }
        fait += static_cast<std::size_t>(r);
    }
    return fait;
}

int ferme_direct(FichierDirect* f)
{
    if (!f)
        return 0;
    const int r = ::close(f->fd) == 0 ? 0 : errno;
    delete f;
    return r;
}

namespace {

void sur_signal(int) { demandes.fetch_add(1); }

} // namespace

void capte_demandes_fin()
{
    struct sigaction sa {};
    sa.sa_handler = sur_signal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART; // as signal() sets it: a read or write goes on
    for (int s : {SIGINT, SIGTERM, SIGHUP})
        sigaction(s, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);
}

#endif

uint64_t position_fichier(std::FILE* f)
{
#ifdef _WIN32
    const long long p = _ftelli64(f);
#else
    const off_t p = ftello(f);
#endif
    return p > 0 ? static_cast<uint64_t>(p) : 0;
}

bool positionne_fichier(std::FILE* f, uint64_t position)
{
#ifdef _WIN32
    return _fseeki64(f, static_cast<long long>(position), SEEK_SET) == 0;
#else
    return fseeko(f, static_cast<off_t>(position), SEEK_SET) == 0;
#endif
}

bool heure_locale(std::time_t t, std::tm& tm)
{
#ifdef _WIN32
    return localtime_s(&tm, &t) == 0;
#else
    return localtime_r(&t, &tm) != nullptr;
#endif
}

bool heure_utc(std::time_t t, std::tm& tm)
{
#ifdef _WIN32
    return gmtime_s(&tm, &t) == 0;
#else
    return gmtime_r(&t, &tm) != nullptr;
#endif
}

int demandes_fin() { return demandes.load(); }

double cpu_fil_s()
{
#ifdef _WIN32
    FILETIME creation, fin, noyau, utilisateur;
    if (!GetThreadTimes(GetCurrentThread(), &creation, &fin, &noyau, &utilisateur))
        return 0;
    const auto s100ns = [](const FILETIME& t) {
        return static_cast<double>((static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
    };
    return 1e-7 * (s100ns(noyau) + s100ns(utilisateur));
#else
    timespec t{};
    if (clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t) != 0)
        return 0;
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
#endif
}

double attente_cpu_fil_s()
{
#ifdef __linux__
    // "run time, wait time, time slices" in ns; the file is the thread's own
    // and kept open by it.
    thread_local const int fd = ::open("/proc/thread-self/schedstat", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    char ligne[96];
    const ssize_t n = ::pread(fd, ligne, sizeof ligne - 1, 0);
    if (n <= 0)
        return 0;
    ligne[n] = 0;
    unsigned long long cpu = 0, attente = 0;
    if (std::sscanf(ligne, "%llu %llu", &cpu, &attente) != 2)
        return 0;
    return 1e-9 * static_cast<double>(attente);
#else
    return 0;
#endif
}
