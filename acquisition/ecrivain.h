// The data file's writer: a thread of its own that writes the packets of a
// run, so that the run's thread keeps turning the USB events while the disk
// takes them.
//
// Threads: the run's thread starts it (commence), hands it slots of the
// ring (confie), takes back what was written (rendu, attend_rendu) and ends
// it (termine). Between commence() and termine() the writer's thread alone
// touches the data file (its stream and its direct handle) and the disk's
// appends. A slot handed over is only read, by both threads (the run checks
// the counter and takes the levels from it), and goes back to the library
// only once the writer has given it back.
//
// Writes go in the order handed. A full packet at an aligned position of
// the file, from an aligned buffer, goes past the system's cache
// (Disque::ecrit_direct); every other one (a short packet, what follows a
// packet cut short) through Disque::ecrit. A file system that refuses
// direct writes gets them all through Disque::ecrit. The first write that
// the file does not take whole ends the writing: what follows comes back
// unwritten, never offered to the file.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

#include "base/disque.h"

class Ecrivain {
public:
    // A slot given back.
    struct Rendu {
        int slot = 0;
        uint32_t n = 0;            // bytes handed
        uint64_t position = 0;     // of its first byte in the stream
        std::size_t ecrits = 0;    // bytes the file took
        int err = 0;               // errno of a write that fell short (0: none set)
        bool offert = false;       // false: after a failed write, not offered to the file
        bool refus_direct = false; // the file system refused a direct write: this one and the rest buffered
    };

    explicit Ecrivain(Disque& disque) : disque_(disque) {}
    ~Ecrivain() { termine(); }
    Ecrivain(const Ecrivain&) = delete;
    Ecrivain& operator=(const Ecrivain&) = delete;

    // Starts the writer on the data file open in `f` as `chemin`, from the
    // stream's current position. Returns 0, or the errno of a file system
    // that refused direct writes (everything then goes through ecrit()).
    int commence(std::FILE* f, const std::string& chemin);
    bool actif() const { return fil_.joinable(); }

    // Hands `n` bytes of slot `slot`, bytes `position` to `position + n` of
    // the stream; the slot stays with the writer until given back.
    void confie(int slot, const unsigned char* octets, uint32_t n, uint64_t position);
    // The oldest slot given back, if any; attend_rendu() waits at most `ms`
    // for one.
    bool rendu(Rendu& r);
    bool attend_rendu(Rendu& r, int ms);
    // Slots handed and not yet taken back.
    int en_cours() const;

    // Writes what was handed, stops the thread and closes the direct
    // handle; the slots not yet taken back stay to take. 0, or the errno of
    // the direct handle's close.
    int termine();

private:
    struct Travail {
        int slot;
        const unsigned char* octets;
        uint32_t n;
        uint64_t position;
    };
    void boucle();
    Rendu ecrit(const Travail& t);
    std::size_t ecrit_tamponne(const unsigned char* octets, std::size_t n);

    Disque& disque_;
    std::thread fil_;
    mutable std::mutex m_;
    std::condition_variable travail_, rendus_prets_;
    std::deque<Travail> a_ecrire_; // under m_
    std::deque<Rendu> rendus_;     // under m_
    int confies_ = 0;              // under m_: handed, not taken back
    bool fin_ = false;             // under m_

    // The writer's thread's own, set by commence() before it starts.
    std::FILE* f_ = nullptr;
    FichierDirect* direct_ = nullptr;
    uint64_t position_ = 0; // bytes of the file written so far
    bool dernier_direct_ = false;
    bool echec_ = false;
};
