// What the program asks of the operating system that Windows does its own
// way: files opened from UTF-8 paths, the 8-bit code page, the free space of
// a volume, the regional number conventions, the command line and the
// requests to end the program. Every system-specific call of the logic and
// of the runner lives behind these.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

// fopen of a UTF-8 path (on Windows through the wide-character API, so that
// accented folders and names open whatever the code page).
std::FILE* ouvre_fichier(const std::string& utf8_path, const char* mode);

// Creates `utf8_path` for reading and writing, refusing (null, errno
// EEXIST) when it exists: the test and the creation are one step (O_EXCL;
// CREATE_NEW on Windows), so of two processes that create one name, one
// only succeeds.
std::FILE* cree_fichier_exclusif(const std::string& utf8_path);

// Takes the lock that the program's processes take on a file they write,
// without waiting: false when another open of the file holds it (flock; on
// Windows LockFileEx on a byte far beyond any data, so reads and writes are
// not blocked). Closing the stream releases it, as does the process's end.
bool verrouille_fichier(std::FILE* f);

// Writes a stream's buffers, then the system's, to the disk; false when
// either fails (a full disk shows here at the latest).
bool synchronise_fichier(std::FILE* f);

// Renames `de` over `vers` in one step: `vers` is then either the old file
// or the new one, never a mix (rename; ReplaceFileW, or MoveFileExW when
// `vers` does not exist). Both in the same folder. False, errno set, when
// the system refuses.
bool remplace_fichier(const std::string& de, const std::string& vers);

// Cuts the file of an open stream to 0 bytes and puts the stream at its
// start. False, with errno set, when the system refuses.
bool vide_fichier(std::FILE* f);

// Writes past the system's cache (Linux O_DIRECT, Windows
// FILE_FLAG_NO_BUFFERING): a second handle on a file, for the data file's
// full packets. Positions, lengths and buffer addresses are multiples of
// ALIGNEMENT_DIRECT. The handle is used by one thread at a time.
constexpr std::size_t ALIGNEMENT_DIRECT = 4096;
struct FichierDirect;
// Opens the existing file `utf8_path` for such writes; nullptr, with `err`
// an errno value, when the system or the file system refuses (tmpfs, some
// network shares: EINVAL).
FichierDirect* ouvre_direct(const std::string& utf8_path, int& err);
// Writes `n` bytes at byte `position`; returns how many went, with errno set
// when fewer did (EINVAL: the file system refuses unbuffered writes).
std::size_t ecrit_direct(FichierDirect* f, uint64_t position, const unsigned char* octets, std::size_t n);
// Closes the handle (nullptr is ignored); 0, or an errno value.
int ferme_direct(FichierDirect* f);

// The position of a stream, and a move to one, beyond 2 GiB on every system
// (Windows' long is 32 bits). position_fichier() gives 0 when the system
// cannot tell.
uint64_t position_fichier(std::FILE* f);
bool positionne_fichier(std::FILE* f, uint64_t position);

// UTF-8 text in the system's 8-bit code page (Windows: the ANSI code page;
// elsewhere Windows-1252). Characters the code page lacks become '?'.
std::string vers_code_page(const std::string& utf8);

// Bytes available to the user on the volume that holds `dossier` (UTF-8;
// empty = the working directory). False when the system cannot tell.
bool espace_libre(const std::string& dossier, uint64_t& octets);

// Decimal and grouping separators of the regional settings, in UTF-8.
// `locale` names one ("fr-FR" on Windows, "fr_FR.UTF-8" elsewhere); empty
// means the operator's own. A grouping separator that is a plain space, or
// none, becomes a no-break space so that a grouped number stays one word.
// False when the locale is unknown (the outputs are then left alone).
bool separateurs_regionaux(const std::string& locale, std::string& decimal, std::string& groupement);

// Broken-down local time and UTC of a time_t; false when the system cannot
// convert it.
bool heure_locale(std::time_t t, std::tm& tm);
bool heure_utc(std::time_t t, std::tm& tm);

// The command line in UTF-8 (Windows passes argv in the code page).
std::vector<std::string> arguments_utf8(int argc, char** argv);

// Requests to end the program from outside: Ctrl-C, a kill (SIGTERM), the
// terminal or the session going away (SIGHUP); on Windows the console's
// Ctrl-C, Ctrl-Break, close, logoff and shutdown events. Once caught they no
// longer end the program: each is counted, and the program stops its run,
// writes its files and ends by itself. A closing console, logoff or shutdown
// on Windows is held until the program ends (the system's own delay
// permitting). A pipe whose reader went away with the terminal then fails
// its writes instead of ending the program.
void capte_demandes_fin();
// Requests counted since capte_demandes_fin(); read from any thread.
int demandes_fin();

// Console output taken as UTF-8, with escape sequences (Windows console);
// nothing elsewhere.
void console_utf8();

// CPU time the calling thread has run, in seconds.
double cpu_fil_s();
// Time the calling thread has waited for a CPU while ready to run, in
// seconds (Linux: its schedstat); 0 where the system does not tell.
double attente_cpu_fil_s();

#ifdef _WIN32
std::wstring utf8_vers_large(const std::string& utf8);
std::string large_vers_utf8(const std::wstring& large);
#endif
