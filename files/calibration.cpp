#include "files/calibration.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <chrono>
#include <cstring>
#include <ctime>
#include <filesystem>

#include "base/fichier_entier.h"
#include "base/plateforme.h"
#include "files/texte_xml.h"

namespace {

bool dans_l_ecart(double v)
{
    const double ecart = std::pow(10.0, ECART_FACTEUR_DB / 20);
    return std::isfinite(v) && v >= FACTEUR_NOMINAL / ecart && v <= FACTEUR_NOMINAL * ecart;
}

std::string court(double v)
{
    char b[32];
    std::snprintf(b, sizeof b, "%.5g", v);
    return b;
}

} // namespace

std::string date_modification(const std::string& chemin)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    const auto t = fs::last_write_time(fs::u8path(chemin), ec);
    if (ec)
        return std::string();
    // The file clock's epoch is not the system clock's before C++20; the two
    // differ by whole seconds, read off both clocks and rounded, so that a
    // file's date does not depend on when it is asked.
    const auto ecart = std::chrono::round<std::chrono::seconds>(fs::file_time_type::clock::now().time_since_epoch() -
                                                                std::chrono::system_clock::now().time_since_epoch());
    const auto s = std::chrono::system_clock::time_point(
        std::chrono::duration_cast<std::chrono::system_clock::duration>(t.time_since_epoch() - ecart));
    const std::time_t tt = std::chrono::system_clock::to_time_t(s);
    std::tm local{};
    if (!heure_locale(tt, local))
        return std::string();
    char b[32];
    std::strftime(b, sizeof b, "%Y-%m-%dT%H:%M:%S", &local);
    return b;
}

std::string date_maintenant()
{
    std::tm local{};
    if (!heure_locale(std::time(nullptr), local))
        return std::string();
    char b[32];
    std::strftime(b, sizeof b, "%Y-%m-%dT%H:%M:%S", &local);
    return b;
}

bool facteur_plausible(double v, std::string& raison)
{
    if (dans_l_ecart(v))
        return true;
    raison = "hors de ±" + court(ECART_FACTEUR_DB) + " dB autour du facteur nominal (" + court(FACTEUR_NOMINAL) +
             " Pa par point)";
    if (v > 0 && dans_l_ecart(1 / v))
        raison += " ; son inverse y est : des points par pascal, l'unité inverse, au lieu de pascals par point";
    return false;
}

#ifdef ONDARIS_XML
#include <pugixml.hpp>

bool calibration_disponible() { return true; }

int lit_calibration(const std::string& chemin, size_t attendus, Calibration& c, std::string& erreur,
                    OrigineCalibration* origine)
{
    FichierXml x;
    pugi::xml_node calib;
    if (ouvre_xml(chemin, "Calib", x, calib, erreur) != 0)
        return -1;
    auto refus = [&](std::ptrdiff_t offset, const std::string& raison) {
        erreur = x.refus(offset, raison);
        return -1;
    };
    Calibration lue;
    lue.nom = calib.attribute("name").value();
    OrigineCalibration o;
    o.date = calib.attribute("date").value();
    if (o.date.empty())
        o.date = date_modification(chemin);
    double niveau;
    if (lit_nombre_xml(calib.attribute("niveau_calibreur").value(), niveau) && niveau > 0)
        o.niveau_calibreur = niveau;
    for (pugi::xml_node pos : calib.children("pos")) {
        const pugi::xml_attribute facteur = pos.attribute("factor");
        if (!facteur)
            return refus(pos.offset_debug(), "<pos> sans attribut factor");
        double v;
        if (!(lit_nombre_xml(facteur.value(), v) && v > 0))
            return refus(pos.offset_debug(),
                         std::string("facteur « ") + facteur.value() + " » : nombre positif attendu (Pa par point)");
        std::string raison;
        if (attendus == 1024 && !facteur_plausible(v, raison))
            return refus(pos.offset_debug(), std::string("facteur « ") + facteur.value() + " » : " + raison);
        if (attendus > 0 && lue.facteurs.size() == attendus)
            return refus(pos.offset_debug(), "un facteur de trop, " + std::to_string(attendus) + " attendus");
        lue.facteurs.push_back(v);
    }
    if (attendus > 0 && lue.facteurs.size() != attendus)
        return refus(calib.offset_debug(), std::to_string(lue.facteurs.size()) + " facteurs dans <Calib>, " +
                                               std::to_string(attendus) + " attendus");
    c = std::move(lue);
    if (origine)
        *origine = std::move(o);
    return 0;
}

int ecrit_calibration(const std::string& chemin, const Calibration& c, std::string& erreur,
                      const OrigineCalibration* origine)
{
    pugi::xml_document doc;
    pugi::xml_node declaration = doc.append_child(pugi::node_declaration);
    declaration.append_attribute("version") = "1.0";
    declaration.append_attribute("encoding") = "utf-8";
    pugi::xml_node calib = doc.append_child("Calib");
    calib.append_attribute("name") = c.nom.c_str();
    if (origine && !origine->date.empty())
        calib.append_attribute("date") = origine->date.c_str();
    if (origine && origine->niveau_calibreur > 0)
        calib.append_attribute("niveau_calibreur") = origine->niveau_calibreur;
    for (size_t k = 0; k < c.facteurs.size(); ++k) {
        pugi::xml_node pos = calib.append_child("pos");
        pos.append_attribute("Name") = ("Point " + std::to_string(k + 1)).c_str();
        char nombre[32];
        const auto r = std::to_chars(nombre, nombre + sizeof nombre - 1, c.facteurs[k]);
        *r.ptr = '\0';
        pos.append_attribute("factor") = nombre;
    }
    struct Texte : pugi::xml_writer {
        std::string s;
        void write(const void* data, size_t n) override { s.append(static_cast<const char*>(data), n); }
    } texte;
    doc.save(texte, "  ", pugi::format_default, pugi::encoding_utf8);
    // The program's text files end their lines with CR LF.
    std::string crlf;
    for (char ch : texte.s) {
        if (ch == '\n')
            crlf += '\r';
        crlf += ch;
    }
    return ecrit_fichier_entier(chemin, crlf, erreur);
}

#else

namespace {
const char* const SANS_XML = "cette version est construite sans pugixml : pas de fichier de calibration";
}

bool calibration_disponible() { return false; }

int lit_calibration(const std::string& chemin, size_t, Calibration&, std::string& erreur, OrigineCalibration*)
{
    erreur = chemin + " : " + SANS_XML;
    return -1;
}

int ecrit_calibration(const std::string& chemin, const Calibration&, std::string& erreur, const OrigineCalibration*)
{
    erreur = chemin + " : " + SANS_XML;
    return -1;
}

#endif
