#include "files/geometrie.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <tuple>
#include <vector>

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
    std::vector<std::ptrdiff_t> lignes;
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
            if (std::fabs(*v) > COORDONNEE_MAX_M)
                return refus(pos.offset_debug(), std::string(axe) + " « " + a.value() + " » : au-delà de " +
                                                     std::to_string(int(COORDONNEE_MAX_M)) + " m de l'origine");
        }
        lue.push_back(p);
        lignes.push_back(pos.offset_debug());
    }
    if (lue.size() != MICROS_GEOMETRIE)
        return refus(reseau.offset_debug(), std::to_string(lue.size()) + " positions dans <MicArray>, " +
                                                std::to_string(MICROS_GEOMETRIE) + " attendues");
    // Two microphones at one place: the same one listed twice.
    std::vector<size_t> ordre(lue.size());
    for (size_t m = 0; m < ordre.size(); ++m)
        ordre[m] = m;
    auto cle = [&](size_t m) { return std::make_tuple(lue[m].x, lue[m].y, lue[m].z); };
    std::sort(ordre.begin(), ordre.end(),
              [&](size_t a, size_t b) { return cle(a) < cle(b) || (cle(a) == cle(b) && a < b); });
    for (size_t k = 1; k < ordre.size(); ++k)
        if (cle(ordre[k]) == cle(ordre[k - 1]))
            return refus(lignes[ordre[k]], "micro " + std::to_string(ordre[k]) + " à la position du micro " +
                                               std::to_string(ordre[k - 1]) + " (doublon)");
    // An aperture, as the map sees the array from in front (x, y): the
    // positions do not all lie on one line. From the first, the furthest
    // one; then the furthest from the line through both.
    auto moins = [](const Point3& a, const Point3& b) { return Point3{a.x - b.x, a.y - b.y, 0}; };
    auto norme = [](const Point3& v) { return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z); };
    size_t loin = 0;
    for (size_t m = 1; m < lue.size(); ++m)
        if (norme(moins(lue[m], lue[0])) > norme(moins(lue[loin], lue[0])))
            loin = m;
    const Point3 u = moins(lue[loin], lue[0]);
    const double longueur = norme(u);
    double ecart = 0;
    for (const Point3& p : lue) {
        const Point3 v = moins(p, lue[0]);
        const Point3 c{u.y * v.z - u.z * v.y, u.z * v.x - u.x * v.z, u.x * v.y - u.y * v.x};
        ecart = std::max(ecart, longueur > 0 ? norme(c) / longueur : 0.0);
    }
    if (!(ecart > 1e-6 * longueur) || ecart < 1e-6)
        return refus(reseau.offset_debug(),
                     "les positions, vues de face (x, y), sont toutes sur une droite : pas d'ouverture");
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
