#ifdef ONDARIS_HDF5

#include "export/hdf5_attributs.h"

bool attribut_texte(hid_t objet, const char* nom, const std::string& valeur)
{
    hid_t type = H5Tcopy(H5T_C_S1);
    H5Tset_size(type, H5T_VARIABLE);
    H5Tset_cset(type, H5T_CSET_UTF8);
    hid_t espace = H5Screate(H5S_SCALAR);
    hid_t a = H5Acreate2(objet, nom, type, espace, H5P_DEFAULT, H5P_DEFAULT);
    const char* p = valeur.c_str();
    bool ok = a >= 0 && H5Awrite(a, type, &p) >= 0;
    if (a >= 0)
        H5Aclose(a);
    H5Sclose(espace);
    H5Tclose(type);
    return ok;
}

bool attribut_reel(hid_t objet, const char* nom, double valeur)
{
    hid_t espace = H5Screate(H5S_SCALAR);
    hid_t a = H5Acreate2(objet, nom, H5T_IEEE_F64LE, espace, H5P_DEFAULT, H5P_DEFAULT);
    bool ok = a >= 0 && H5Awrite(a, H5T_NATIVE_DOUBLE, &valeur) >= 0;
    if (a >= 0)
        H5Aclose(a);
    H5Sclose(espace);
    return ok;
}

#endif
