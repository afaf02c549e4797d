// The inner loop of delay-and-sum (analyse/formation.h): for a block of
// BLOC_POINTS focus points, the band's lines of every snapshot summed over
// the microphones with their steering, and the squares added up per point.
//
// Floor: 8 flops (4 multiply-adds) per point, microphone, line and
// snapshot, and 6 per point, microphone and line to step the steering to
// the next line. The accumulators (4 snapshots of 8 points, real and
// imaginary; 8 snapshots of 16 points with AVX-512) stay in registers with
// the microphone loop innermost; the steering of the block is stepped line
// by line in a buffer of 64 bytes per microphone (128 with AVX-512), each
// microphone's in the line's last pass over it.
//
// Three paths compute the same sums: a portable one, one for AVX2 with
// FMA, and one for AVX-512 that takes two blocks at once (16 points to a
// register), chosen at run time (the program runs on any x86-64 and
// elsewhere). They differ by the rounding of the fused multiply-adds, and
// by the order of the microphones' and snapshots' sums.
#pragma once

#include <cstddef>

constexpr int BLOC_POINTS = 8;
constexpr int GROUPE_INSTANTANES = 4;

enum class CheminCarte { Portable, Avx2Fma, Avx512 };

// Whether this processor (and its system) runs the AVX2 + FMA path, the
// AVX-512 one.
bool avx2_fma_disponible();
bool avx512_disponible();
// The fastest path this processor runs.
CheminCarte chemin_carte_rapide();
// Whether this processor runs path c.
bool chemin_disponible(CheminCarte c);
const char* nom_chemin(CheminCarte c);

// `blocs` (1 or 2) consecutive blocks, the second nm * 16 floats after the
// first. `depart` and `pas`: per microphone 16 floats, the steering of the
// 8 points at the band's first line and from one line to the next (8 real
// parts, then 8 imaginary parts); points past the grid's end carry zeros.
// `lignes`: [group][line][microphone][8], the lines of the `instantanes`
// snapshots in groups of GROUPE_INSTANTANES (4 real parts, then 4
// imaginary; zeros past the last snapshot). `courant`: room for nm * 64
// floats, 64-byte aligned like the others. Adds to `puissance[8 * k + b]`
// the sum over lines and snapshots of |sum over microphones|^2 for point b
// of block k.
void bloc_carte(CheminCarte chemin, const float* depart, const float* pas, std::size_t blocs, const float* lignes,
                std::size_t nm, std::size_t nr, std::size_t instantanes, float* courant, double* puissance);
