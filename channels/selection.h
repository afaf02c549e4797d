// The channels a run records, as a value: which microphones, analogue
// channels, counters and whether the status word, independent of any control.
// The window's boxes, the configuration file and the header's selection
// bytes all convert to and from it; the run takes its frame layout and the
// box's selection commands from it.
#pragma once

#include <array>
#include <cstdint>

constexpr uint8_t CODE_SELECTION = 0x05; // command code of the box's Selection command

// Bytes 0..3 of the command buffer of one selection command: CODE_SELECTION,
// 0, the address (beam 0..127, block D..A at 252..255), the mask.
using CommandeSelection = std::array<uint8_t, 4>;

struct Selection {
    std::array<std::array<bool, 8>, 128> micros{}; // [beam][position]: microphone 8f + j
    std::array<bool, 16> va{};                     // analogue channel 4b + k (blocks A..D)
    std::array<bool, 4> compteurs{};               // counters A..D
    bool etat = false;                             // the status word

    int32_t nb_micros() const;
    // Words per frame: microphones, analogue channels, counters, status.
    int32_t nb_voies() const;
    // Counter A recorded: word 0 of each frame is the frame counter.
    bool compteur_a() const { return compteurs[0]; }

    // Byte f has bit j set when microphone 8f + j is selected (the .mic file).
    std::array<uint8_t, 128> masques() const;

    // The selected microphones ascending into `liste` (room for 1024);
    // returns how many.
    int liste_micros(int32_t* liste) const;
    // The channel list in frame order, the words after counter A: per
    // quarter its counter (B..D, code 3000 + c), its microphones ascending,
    // its analogue block (code 2000 + v). `liste` holds at least 1043
    // entries; returns how many were written.
    int liste_voies(int32_t* liste) const;

    // The 132 commands the box is sent, in order: beams 0..127, then
    // blocks D, C, B, A (addresses 252..255; bit 7 the block's counter,
    // bit 6 of block A the status word, bits 0..3 its analogue channels).
    std::array<CommandeSelection, 132> commandes() const;
};
