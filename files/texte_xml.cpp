#include "files/texte_xml.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "base/plateforme.h"

int lit_texte_fichier(const std::string& chemin, std::string& texte, std::string& erreur)
{
    std::FILE* f = ouvre_fichier(chemin, "rb");
    if (!f) {
        erreur = chemin + " : " + std::strerror(errno);
        return -1;
    }
    texte.clear();
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
    return 0;
}

int ligne_de(const std::string& texte, std::ptrdiff_t offset)
{
    if (offset < 0)
        return 1;
    const auto fin = texte.begin() + std::min<std::ptrdiff_t>(offset, static_cast<std::ptrdiff_t>(texte.size()));
    return 1 + static_cast<int>(std::count(texte.begin(), fin, '\n'));
}

bool lit_nombre_xml(const char* s, double& v)
{
    auto blanc = [](char c) { return c == ' ' || c == '\t'; };
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

#ifdef ONDARIS_XML
std::string FichierXml::refus(std::ptrdiff_t offset, const std::string& raison) const
{
    return chemin + ", ligne " + std::to_string(ligne_de(texte, offset)) + " : " + raison;
}

int ouvre_xml(const std::string& chemin, const char* racine, FichierXml& f, pugi::xml_node& noeud, std::string& erreur)
{
    f.chemin = chemin;
    if (lit_texte_fichier(chemin, f.texte, erreur) != 0)
        return -1;
    // The declaration is skipped, whatever its version (acoular writes 1.1).
    const pugi::xml_parse_result r = f.doc.load_buffer(f.texte.data(), f.texte.size());
    if (!r) {
        erreur = f.refus(r.offset, std::string("XML illisible (") + r.description() + ")");
        return -1;
    }
    noeud = f.doc.child(racine);
    if (!noeud) {
        erreur = f.refus(f.doc.first_child().offset_debug(), std::string("élément <") + racine + "> attendu");
        return -1;
    }
    return 0;
}
#endif
