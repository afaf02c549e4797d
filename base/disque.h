// The disk as a run uses it: the room left on a volume and the data file's
// appends. The program uses the system's; tests and benchmarks give their
// own (a small disk, a full one, a slow one).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

class Disque {
public:
    virtual ~Disque() = default;
    // Bytes available to the user on the volume that holds `chemin`'s folder
    // (the working directory for a bare name); 0 when the system cannot tell.
    virtual uint64_t espace(const std::string& chemin);
    // Appends `n` bytes to `f` in one write; returns how many it took.
    virtual std::size_t ecrit(std::FILE* f, const unsigned char* octets, std::size_t n);
};

// The system's disk, for the life of the program.
Disque& disque_systeme();
