#include "files/geometrie.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "files/texte_xml.h"

#ifdef ONDARIS_XML
#include <pugixml.hpp>

bool geometrie_disponible() { return true; }

int lit_geometrie(const std::string& chemin, Geometrie& g, std::string& erreur, std::string* nom)
{
    FichierXml x;
    pugi::xml_node reseau;
    if (ouvre_xml(chemin, "MicArray", x, reseau, erreur) != 0)
        return -1;
    auto refus = [&](std::ptrdiff_t offset, const std::string& raison) {
        erreur = x.refus(offset, raison);
        return -1;
    };
    Geometrie lue;
    for (pugi::xml_node pos : reseau.children("pos")) {
        if (lue.size() == MICROS_GEOMETRIE)
            return refus(pos.offset_debug(),
                         "une position de trop, " + std::to_string(MICROS_GEOMETRIE) + " attendues");
        Point3 p;
        for (auto [axe, v] : {std::pair<const char*, double*>{"x", &p.x}, {"y", &p.y}, {"z", &p.z}}) {
            const pugi::xml_attribute a = pos.attribute(axe);
            if (!a)
                return refus(pos.offset_debug(), std::string("<pos> sans attribut ") + axe);
            if (!lit_nombre_xml(a.value(), *v))
                return refus(pos.offset_debug(), std::string(axe) + " « " + a.value() + " » : nombre attendu (mètres)");
        }
        lue.push_back(p);
    }
    if (lue.size() != MICROS_GEOMETRIE)
        return refus(reseau.offset_debug(), std::to_string(lue.size()) + " positions dans <MicArray>, " +
                                                std::to_string(MICROS_GEOMETRIE) + " attendues");
    if (nom)
        *nom = reseau.attribute("name").value();
    g = std::move(lue);
    return 0;
}

#else

bool geometrie_disponible() { return false; }

int lit_geometrie(const std::string& chemin, Geometrie&, std::string& erreur, std::string*)
{
    erreur = chemin + " : cette version est construite sans pugixml : pas de fichier de géométrie";
    return -1;
}

#endif
