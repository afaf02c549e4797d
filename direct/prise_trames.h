// A live consumer's copy of the stream: whole frames taken from the packets
// a run receives, handed to a consumer on a thread of its own.
//
// The run's thread calls paquet() from ObservateurRun::paquet. It copies the
// packet's whole frames into a free buffer and returns; when the consumer
// still holds every buffer, the packet is left out and counted. It never
// waits for the consumer, so a slow analysis costs frames of the analysis,
// never bytes of the recording.
//
// Frames cross packets (16 MiB is not a multiple of a frame): the bytes of
// a frame begun at the end of one packet are kept and completed by the next
// when that one is taken too. After a packet left out, the next block starts
// at its packet's first frame boundary and is marked as not following.
//
// Words are handed in host order; the box's little-endian words are copied
// as they are (every host of the program is little-endian).
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

class PriseTrames {
public:
    // `trames` whole frames of the frame size's words each. `suite`: they
    // follow the previous block handed over without a gap (false for the
    // first block and after frames were left out). Called on the consumer's
    // thread, one block at a time; the words are valid during the call.
    using Consommateur = std::function<void(const uint32_t* mots, size_t trames, bool suite)>;

    // Frames of `nb_voies` words; `nb_tampons` blocks in hand at most.
    PriseTrames(int nb_voies, Consommateur consommateur, int nb_tampons = 3);
    ~PriseTrames();
    PriseTrames(const PriseTrames&) = delete;
    PriseTrames& operator=(const PriseTrames&) = delete;

    // On the run's thread: `n` bytes of the stream from byte `position`.
    void paquet(const unsigned char* octets, uint32_t n, uint64_t position);

    // Waits until the consumer has taken every block handed over, at most
    // `delai_ms`; blocks still waiting then are left out. Ends the consumer's
    // thread (after the block it holds). False when blocks were left out.
    bool termine(int delai_ms);

    // Packets left out because the consumer held every buffer, or still
    // waiting when termine() gave up.
    uint64_t paquets_ignores() const { return ignores_.load(); }

private:
    struct Tampon {
        std::vector<uint32_t> mots;
        size_t trames = 0;
        bool suite = false;
        bool libre = true;
    };

    void consomme();

    const size_t octets_trame_;
    Consommateur consommateur_;
    std::vector<Tampon> tampons_;

    // The run's thread only.
    std::vector<unsigned char> reste_; // a frame begun in the last packet taken
    uint64_t fin_ = 0;                 // stream position after the last packet seen
    bool contigu_ = false;             // the last packet seen was taken
    bool coupe_ = true;                // frames were left out since the last block handed over

    std::mutex mutex_;
    std::condition_variable travail_, fait_;
    std::deque<Tampon*> file_; // full buffers, in stream order
    int en_cours_ = 0;         // buffers the consumer holds
    bool fin_demandee_ = false;
    std::atomic<uint64_t> ignores_{0};
    std::thread thread_;
};
