// The few FFT lines of a narrow band by a direct DFT: a product of the
// microphones' frames with a table of the window times the lines'
// cosines and sines, the way the map (formation.h) takes them when it
// costs less than a whole transform per microphone (40 multiply-adds per
// frame and microphone for the 19 lines of the 4 kHz third-octave at 1024
// frames, against the transform and the transposition it needs).
//
// Rows of the table: 2r the window times cos(2 pi k t / N), 2r + 1 minus
// the window times sin(2 pi k t / N), k = k0 + r: line r is row 2r plus i
// times row 2r + 1, as the real FFT gives it. Sums run frame by frame in
// float with FMA on AVX2 (one product's rounding per frame, like the
// transform's own twiddles), plain multiply-adds on the portable path.
#pragma once

#include <cstddef>
#include <vector>

#include "analyse/noyau_carte.h"

class RaiesDirectes {
public:
    // `fenetre`: `points` weights; lines k0 .. k0 + raies - 1.
    RaiesDirectes(const float* fenetre, int points, int k0, int raies);

    int rangees() const { return 2 * raies_; }
    // Table rows padded to a multiple of 8.
    int largeur() const { return largeur_; }

    // Frames: frame t of microphone j is x[t * pas + j], j < 16 (all 16
    // readable), times facteurs[j] when given (16 of them), rounded
    // before it is summed. c[q * 16 + j] = row q's sum for microphone j,
    // q < rangees() (c holds rangees() rounded up to 6 rows).
    void trames(CheminCarte chemin, const float* x, std::size_t pas, const float* facteurs, float* c) const;
    // Rows: n microphones, microphone i's frame t at x[i * ligne + (debut +
    // t) % points]. c[i * largeur() + q] = row q's sum for microphone i
    // (the padding rows get zeros): the same sums, in the same order, as
    // trames() gives.
    void colonnes(CheminCarte chemin, const float* x, std::size_t ligne, std::size_t n, int debut, float* c) const;

private:
    int points_, raies_, largeur_;
    // [row / 6][t][6]: the rows six by six, frame by frame.
    std::vector<float> par_six_;
    // [t][largeur_]: the rows frame by frame.
    std::vector<float> par_trame_;
};
