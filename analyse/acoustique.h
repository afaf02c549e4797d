// Sound levels from the microphones' samples: pascals and dB SPL, the
// A-weighting, and the part of a signal in a fractional-octave band. Plain
// functions of their arguments: any thread may call them.
#pragma once

#include <cstddef>

constexpr double PRESSION_REFERENCE = 20e-6; // Pa: 0 dB SPL
// Counts per pascal of a microphone of the nominal sensitivity: the level
// map's 10 log10(mean square) - 15 then reads dB SPL.
constexpr double SENSIBILITE_NOMINALE = 281170.66;
// Hz: a sound calibrator's tone; its third of an octave is 891 to 1122 Hz.
constexpr double FREQUENCE_CALIBREUR = 1000.0;

// dB SPL of a mean square in Pa^2 (-inf for 0).
double niveau_spl(double moyenne_carres_pa2);

// A-weighting in dB at `f` Hz (f > 0), from the analytic form of IEC 61672-1
// (poles at 20.6, 107.7, 737.9 and 12 194 Hz), 0 dB at 1 kHz.
double ponderation_a(double f);

// Edges of the 1/`n` octave band centred on `fc`: fc 2^(-1/2n) and
// fc 2^(1/2n) (1/3 octave at 1 kHz: 891 to 1122 Hz).
void bornes_bande(double fc, int n, double& bas, double& haut);

// Mean square of the part of `x` (`n` samples at `fs` Hz) between `bas`
// and `haut` Hz, in x's unit squared: the lines of its discrete Fourier
// transform in [bas, haut], through a Hann window so that a tone inside the
// band leaks nothing past it, with x's mean taken out (an offset is in no
// band). 0 when no line falls in the band.
double moyenne_carres_bande(const double* x, size_t n, double fs, double bas, double haut);
