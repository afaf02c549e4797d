// The values of a recording's map (analyse/carte.h) as files, each with the
// settings it was made with: CSV, and HDF5 when the program has it. Written
// whole or not at all (base/fichier_entier.h).
#pragma once

#include <cstddef>
#include <string>

#include "analyse/carte.h"

// What the map alone does not say.
struct OrigineCarte {
    std::string dat;         // the recording
    std::string calibration; // its file; empty: none
    std::string celerite;    // how c was chosen ("défaut", "donnée", "air à 20.0 °C")
    double debut = 0;        // s
    double duree = -1;       // s; < 0: to the end
};

// The level of focus point k, in unite_niveaux(c.calibree); -inf where the
// map is zero (its diagonal removed, nothing above the capsules' noise).
double niveau_db(const Carte& c, std::size_t k);

// Lines "# clé : valeur", the border's warning first when the maximum lies
// there; then "x_m,y_m,niveau_dB" and a line per focus point, x varying
// fastest (entry j * nx + i), with a decimal point whatever the locale.
std::string csv_de_carte(const Carte& c, const OrigineCarte& o);
int ecrit_carte_csv(const std::string& chemin, const Carte& c, const OrigineCarte& o, std::string& erreur);

#ifdef ONDARIS_HDF5
// /niveau (ny, nx) float64, row j is y[j], column i is x[i], with its
// "unite" and "reference"; /x (nx) and /y (ny) in metres; the settings as
// attributes of the file (their names in the README). -1 with the reason.
int ecrit_carte_hdf5(const std::string& chemin, const Carte& c, const OrigineCarte& o, std::string& erreur);
#endif
