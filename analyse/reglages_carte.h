// The settings of a recording's map that are not in the recording: its
// grid, the speed of sound, and the point its levels are referred to; and
// the words that state them on every output.
#pragma once

#include <string>
#include <vector>

#include "analyse/formation.h"

// The speed of sound in air at `temperature` °C: 331.3 sqrt(1 + T / 273.15)
// m/s (343.2 m/s at 20 °C).
double celerite_air(double temperature);

// Where the level of a focus point is taken. Centre: the mean square that
// a source there gives the centre of the microphones used (the true level,
// formation.h). Source: the same brought back to 1 m from the focus point
// along the 1/r law, times (r0 / 1 m)^2: the level of the source itself,
// whatever its distance to the array.
enum class ReferenceNiveau { Centre, Source };
constexpr double DISTANCE_SOURCE_M = 1.0;

// The default step is this fraction of the beam width at the band's top
// frequency, lambda sqrt(z^2 + D^2 / 4) / D for an aperture D (lambda z / D
// far from the array): a source half a step off the nodes in x and in y
// reads at most 0.9 dB low. Never fewer than GRILLE_MIN points per side,
// the 41 x 41 of the aperture where that step already suffices.
constexpr double FRACTION_FAISCEAU = 0.4;
constexpr int GRILLE_MIN = 41;
// The steering takes 16 bytes per focus point and microphone: no grid of
// more than this many points times microphones (512 MiB; 32 768 points, 181
// x 181, with 1024 microphones). The default step is made coarser to fit,
// an explicit grid beyond it is refused.
constexpr double PLAFOND_POINTS_MICROS = 33554432.0;

struct DemandeGrille {
    double x0 = 0, x1 = 0; // m, in the array's axes; x1 > x0: this extent, else the aperture's
    double y0 = 0, y1 = 0;
    double pas = 0; // m; > 0: this step on both axes
    int n = 0;      // > 1 (and no step): n by n points; else the step follows the band
};

struct GrilleChoisie {
    Grille grille;
    double faisceau = 0;  // m, the beam width at the band's top frequency
    bool limitee = false; // the default step made coarser to fit PLAFOND_POINTS_MICROS
};

// The grid of a map of the band up to `f_haute` Hz at `z` m in front of the
// mean plane of `micros` (indices into g), with sound at `celerite` m/s,
// as `d` asks, within `plafond` points times microphones. 0; or -1 with the
// reason in `erreur` (an extent or a step out of range, too many points).
int choisit_grille(const Geometrie& g, const std::vector<int>& micros, double z, double f_haute, double celerite,
                   const DemandeGrille& d, GrilleChoisie& r, std::string& erreur,
                   double plafond = PLAFOND_POINTS_MICROS);

// The mean squares of `grille`'s points (entry j * nx + i), taken at the
// centre of `micros`, referred to `r`: unchanged for Centre, times
// (r0 / 1 m)^2 for Source, r0 the focus point's distance to that centre.
void refere_niveaux(const Geometrie& g, const std::vector<int>& micros, const Grille& grille, ReferenceNiveau r,
                    std::vector<double>& moyennes);

// Whether point (i, j) lies on the grid's border.
inline bool au_bord(const Grille& g, int i, int j) { return i == 0 || j == 0 || i == g.nx - 1 || j == g.ny - 1; }
// Said by every output of a map whose maximum lies on the border.
extern const char* const AVERTISSEMENT_BORD;

// "dB SPL re 20 µPa" with a calibration, "dB re 1 point²" without.
std::string unite_niveaux(bool calibre);
// "au centre du réseau", "à 1 m de la source".
std::string reference_courte(ReferenceNiveau r);
// The same with what it means.
std::string reference_longue(ReferenceNiveau r);
