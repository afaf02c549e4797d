// The three files of a recorded run, as one resource: the data file (raw
// frames), the header file (.Ond) and the description file (.log), opened
// together, emptied together when the run starts, and closed together, by
// ferme() or at destruction.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "base/journal.h"
#include "files/header.h"

class FichiersRun {
public:
    FichiersRun() = default;
    ~FichiersRun() { ferme(); }
    FichiersRun(FichiersRun&& o) noexcept { *this = std::move(o); }
    FichiersRun& operator=(FichiersRun&& o) noexcept;
    FichiersRun(const FichiersRun&) = delete;
    FichiersRun& operator=(const FichiersRun&) = delete;

    // Opens the data, header and description files of `data_path` for a run
    // (closing those open first) without changing them: an existing file
    // keeps its bytes until commence(), a missing one is created empty. So
    // whatever may still refuse the run (the disk space, the box) comes
    // before anything is lost. On failure nothing stays open, the files it
    // created are removed, the pane says which file and why, and -1 is
    // returned. The data file is created exclusively and locked until it is
    // closed: a second run on the same name, in this process or another, is
    // refused here, whichever of the two came first.
    int prepare(const std::string& data_path, const Journal& j);

    // The run has started: the three files are emptied; the header and
    // description files are given their room at once (2097 bytes, and
    // RESERVE_DESCRIPTION), so that a data file that fills the disk cannot
    // keep them from being written, and the run's settings are written in
    // it: the record `h` and its description with no frame counted yet. A
    // run killed from here on leaves companions that say how to read its
    // data. The streams are left at offset 0, where the end of the run
    // writes them again. -1, with the reason in the pane, when a file
    // cannot be emptied.
    int commence(const type_header_file& h, int nb_voies, int nb_micros, const std::string& commentaire,
                 const Journal& j);

    // Closes whichever are open (data file first, then the description file,
    // then the header file). Before commence(), the files prepare() created
    // are removed and the others are left as they were; after it, the header
    // and description files are cut where their writing stopped: empty when
    // nothing was written.
    void ferme();
    // Closes the data file alone; 0, or the errno of a failed close.
    int ferme_donnees();

    // Writes the header record's 2097 bytes to the header file, then the
    // description text to the description file (both left open). 0 on
    // success; -1, with a message in the pane, when a file is not open or
    // not every byte reached it.
    int ecrit_log(const type_header_file& h, int nb_voies, int nb_micros, const std::string& commentaire,
                  const Journal& j);

    bool ouverts() const { return donnees_ != nullptr || header_ != nullptr; }
    // Bytes the files held when prepared: what emptying them gives back to
    // the disk.
    uint64_t octets_existants() const { return octets_existants_; }
    std::FILE* donnees() const { return donnees_; }
    const std::string& nom() const { return nom_donnees_; }

private:
    std::FILE* donnees_ = nullptr;
    std::FILE* header_ = nullptr;
    std::FILE* log_ = nullptr;
    std::string nom_donnees_, nom_header_, nom_log_;
    bool crees_[3] = {false, false, false}; // created by prepare(): data, header, description
    bool commence_ = false;
    uint64_t octets_existants_ = 0;
};

// The same two writes on streams of the caller's (`data_path` names them in
// the messages).
int ecrit_compagnons(std::FILE* header, std::FILE* log, const std::string& data_path, const type_header_file& h,
                     int nb_voies, int nb_micros, const std::string& commentaire, const Journal& j);
