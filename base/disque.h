// The disk as a run uses it: the room left on a volume and the data file's
// appends. The program uses the system's; tests and benchmarks give their
// own (a small disk, a full one, a slow one).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "base/plateforme.h" // FichierDirect, ALIGNEMENT_DIRECT

class Disque {
public:
    virtual ~Disque() = default;
    // Bytes available to the user on the volume that holds `chemin`'s folder
    // (the working directory for a bare name); 0 when the system cannot tell.
    virtual uint64_t espace(const std::string& chemin);
    // Appends `n` bytes to `f` in one write; returns how many it took.
    virtual std::size_t ecrit(std::FILE* f, const unsigned char* octets, std::size_t n);

    // Writes past the system's cache (base/plateforme.h). The data file
    // `chemin` opened a second time for them, or nullptr with `err` when the
    // file system refuses: the run then writes everything through ecrit().
    // A disk whose ecrit() a test chooses returns nullptr here.
    virtual FichierDirect* ouvre_direct(const std::string& chemin, int& err);
    // `n` bytes at byte `position` of the file; how many went, errno set
    // when fewer did.
    virtual std::size_t ecrit_direct(FichierDirect* f, uint64_t position, const unsigned char* octets, std::size_t n);
    // 0, or an errno value.
    virtual int ferme_direct(FichierDirect* f);
};

// The system's disk, for the life of the program.
Disque& disque_systeme();
