// CLEAN-SC deconvolution of the delay-and-sum map (Sijtsma, 2007), line by
// line of the band, from the snapshots a Formation holds.
//
// Per line, with C the cross-spectral matrix of the snapshots and w_g the
// true-level steering of focus point g (the delay-and-sum map is
// P(g) = w_g^H C w_g, formation.h): the residual map's maximum P at j is
// taken as a source; its coherent part h = D w_j / (w_j^H D w_j), D the
// residual matrix, is the part of D that steering at j sees; gain * P
// h h^H is taken out of D and gain * P is added to the clean map at j;
// until a stop rule holds.
//
// The 1024 x 1024 matrix is never formed: D w = C w - sum_k q_k h_k (h_k^H
// w) with C w = (1/S) sum_s x_s (x_s^H w) from the S snapshots x_s, and
// the residual map is updated by the map of each part taken out.
//
// Without the diagonal (the default, as the delay-and-sum map), the
// microphones' own terms are left out of D, of every part taken out and of
// the maps, renormalised as Formation::carte_sans_diagonale does. h then
// also stands for the diagonal of h h^H, which D does not give: it is
// found as Sijtsma does, h = (D w / P' + H w) / sqrt(1 + w^H H w) with
// H = diag(|h_m|^2) and P' = w^H D w, iterated from h = w; a single source
// a gives h h^H P' = its own matrix, and the part taken out explains the
// residual map at j exactly.
//
// The clean map is, per focus point, the mean square at the reference
// point of the sources found there, summed over the band's lines: the
// delay-and-sum map's units and level.
#pragma once

#include <vector>

#include "analyse/formation.h"

struct ReglagesCleanSc {
    // The share of each source taken out per iteration, in (0, 1]: 0.6
    // takes a source out in a few iterations and leaves room for the
    // sources its beam overlaps.
    double gain = 0.6;
    // At most this many iterations per line.
    int iterations = 100;
    // A line stops when its residual maximum is this many dB below its
    // first map's maximum; also when the maximum no longer decreases (what
    // is left is not a source the array tells apart) or is not positive.
    double dynamique = 20;
};

// Why the lines of a band stopped, and the work done.
struct BilanCleanSc {
    int raies = 0;
    int iterations = 0;       // over the band
    int iterations_raie = 0;  // the most in one line
    int arret_dynamique = 0;  // lines stopped below the dynamic
    int arret_croissance = 0; // lines whose maximum no longer decreased
    int arret_plafond = 0;    // lines stopped at the iteration cap
    int arret_negatif = 0;    // lines whose maximum was not positive
};

// A source of the clean map: the clean points within one grid step
// (Chebyshev distance on the grid) of a clean maximum, summed, placed at
// their mean position weighted by their mean squares.
struct SourceCleanSc {
    double x = 0, y = 0, z = 0; // m, in the geometry's axes
    double moyenne = 0;         // mean square at the reference point
    int i = 0, j = 0;           // the grid point of its maximum
};

// The sources of a clean map, strongest first, down to `dynamique` dB below
// the strongest, at most `nombre`.
std::vector<SourceCleanSc> sources_clean_sc(const Grille& grille, const std::vector<double>& carte, double dynamique,
                                            int nombre = 32);
