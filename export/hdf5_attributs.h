// Attributes of an HDF5 object, the exports' common writing (HDF5 only).
#pragma once

#ifdef ONDARIS_HDF5

#include <hdf5.h>

#include <string>

// A UTF-8 text, a double; false when the library refused it.
bool attribut_texte(hid_t objet, const char* nom, const std::string& valeur);
bool attribut_reel(hid_t objet, const char* nom, double valeur);

#endif
