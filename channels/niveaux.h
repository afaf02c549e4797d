// Live levels of the microphones: the mean power of 2000 samples of each
// selected microphone, in dB above one unit squared less 15, as an index
// 0..127 into the jet colour map (blue to red). Plain computations on a
// buffer of frames: no state is shared, so any thread may call them (each
// thread keeps its own scratch sums).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "channels/canaux.h"

constexpr int NB_NIVEAUX = 128;
constexpr int ECHANTILLONS_NIVEAU = 2000;

struct CouleurJet {
    uint8_t r, v, b;
};

// The colour of each level, dark blue (0) through cyan, yellow, red to
// dark red (127).
const std::array<CouleurJet, NB_NIVEAUX>& carte_jet();

// Level index 0..127 of a mean square: round(10 log10(P) - 15), P below 1
// counted as 1, clamped to the map.
int niveau_de(double moyenne_carres);

// Where the microphones of a channel list sit in a frame: list entry n is
// frame word n + 1 (word 0 is counter A's), for n below nb_voies - 1;
// analogue and counter entries are left out. Rebuilding it reuses its
// storage.
struct DispositionNiveaux {
    struct Plage {
        int32_t mot, somme, n; // n consecutive frame words from `mot`, into sums from `somme`
    };
    int32_t nb_voies = 0;        // 32-bit words per frame
    std::vector<Plage> plages;   // in word order
    std::vector<int32_t> micros; // the microphone of each sum

    // From the first `n` entries of a channel list (codes: microphone m,
    // analogue 2000 + v, counter 3000 + c) and the frame size in words.
    void dispose(const int32_t* liste, int32_t n, int32_t nb_voies);
};

// Levels from the first 2000 frames of `trames`, which starts on a frame
// boundary and holds `octets` bytes; samples are read as signed 32-bit
// words, whatever the run's sample type. niveaux[m] becomes
// the level of microphone m of the layout and -1 for every other one.
// false, `niveaux` untouched, when fewer than 2000 whole frames are there.
bool calcule_niveaux(const unsigned char* trames, size_t octets, const DispositionNiveaux& d,
                     std::array<int, NB_MICROS>& niveaux);
