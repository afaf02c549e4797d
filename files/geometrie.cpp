#include "files/geometrie.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "base/plateforme.h"

#ifdef ONDARIS_XML
#include <pugixml.hpp>

namespace {

int ligne_de(const std::string& texte, std::ptrdiff_t offset)
{
    if (offset < 0)
        return 1;
    const auto fin = texte.begin() + std::min<std::ptrdiff_t>(offset, static_cast<std::ptrdiff_t>(texte.size()));
    return 1 + static_cast<int>(std::count(texte.begin(), fin, '\n'));
}

bool blanc(char c) { return c == ' ' || c == '\t'; }

bool lit_coordonnee(const char* s, double& v)
{
    const char* fin = s + std::strlen(s);
    while (s < fin && blanc(*s))
        ++s;
    while (fin > s && blanc(fin[-1]))
        --fin;
    if (s < fin && *s == '+') // written by some tools; from_chars refuses it
        ++s;
    const auto r = std::from_chars(s, fin, v, std::chars_format::general);
    return s < fin && r.ec == std::errc() && r.ptr == fin && std::isfinite(v);
}

} // namespace

bool geometrie_disponible() { return true; }

int lit_geometrie(const std::string& chemin, Geometrie& g, std::string& erreur, std::string* nom)
{
    std::FILE* f = ouvre_fichier(chemin, "rb");
    if (!f) {
        erreur = chemin + " : " + std::strerror(errno);
        return -1;
    }
    std::string texte;
    char bloc[4096];
    size_t n;
    while ((n = std::fread(bloc, 1, sizeof bloc, f)) > 0)
        texte.append(bloc, n);
    const bool lu = std::ferror(f) == 0;
    std::fclose(f);
    if (!lu) {
        erreur = chemin + " : lecture impossible";
        return -1;
    }
    auto refus = [&](std::ptrdiff_t offset, const std::string& raison) {
        erreur = chemin + ", ligne " + std::to_string(ligne_de(texte, offset)) + " : " + raison;
        return -1;
    };

    // The declaration is skipped, whatever its version (acoular writes 1.1).
    pugi::xml_document doc;
    const pugi::xml_parse_result r = doc.load_buffer(texte.data(), texte.size());
    if (!r)
        return refus(r.offset, std::string("XML illisible (") + r.description() + ")");
    const pugi::xml_node reseau = doc.child("MicArray");
    if (!reseau)
        return refus(doc.first_child().offset_debug(), "élément <MicArray> attendu");
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
            if (!lit_coordonnee(a.value(), *v))
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
