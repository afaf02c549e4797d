// The plane distance found from the recording: the map made over a range
// of distances, and the one kept where the array is best focused.
//
// Focus is judged by the map's coherence at its maximum: with unit-norm
// steering a(g) at focus point g, |a(g)^H X|^2 / (|a(g)|^2 |X|^2) is at
// most 1, and 1 only when the sound X comes from g. From the true-level map
// P(g) (formation.h) it is P(g) |a(g)|^2 up to a factor the same for every
// point and distance, so that a distance where the maximum is both high and
// sharp wins; the true-level map alone would favour the distances whose
// steering weighs the microphones unevenly.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "analyse/carte.h"

struct DistanceTrouvee {
    double z = 0; // m, from the microphones' mean plane
    double z_min = 0, z_max = 0;
    int cartes = 0; // maps made
};

// Scans [z_min, z_max] (0 < z_min < z_max), geometrically then finer
// around the best; the map at the distance found, made as `d` asks (its z
// set to it), goes to `c`. 0; or -1 with the reason in `erreur` (the
// reasons of calcule_carte).
int cherche_distance(const std::string& dat, const Geometrie& g, const DemandeCarte& d, double z_min, double z_max,
                     Carte& c, DistanceTrouvee& trouvee, std::string& erreur);

// The scan itself, over maps that `carte` makes at distance z (the plain
// map, diagonal kept, level at the array's centre; its grid and mean
// squares are used): for maps made from frames in memory. `micros`: the
// positions of the microphones used. The distance kept goes to `z`, the
// number of maps made to `cartes`. 0; or -1 with the reason in `erreur`
// (a range out of order, or what `carte` said).
using CarteEssai = std::function<int(double z, Carte& c, std::string& erreur)>;
int balaye_distance(const std::vector<Point3>& micros, double z_min, double z_max, const CarteEssai& carte, double& z,
                    int& cartes, std::string& erreur);
