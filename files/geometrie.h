// Array geometry files in acoular's XML format: a <MicArray name="...">
// element holding one <pos Name="Point 1" x="..." y="..." z="..."/> per
// microphone, in metres; document order is the box's microphone order, so
// the file of an Ondaris 1024 holds exactly 1024 positions. Name is ignored.
//
// Read through pugixml; a build without it (the Windows cross build)
// refuses the file with a message that says so.
#pragma once

#include <string>
#include <vector>

struct Point3 {
    double x = 0, y = 0, z = 0;
};
// Microphone m of the box at index m, in metres.
using Geometrie = std::vector<Point3>;

constexpr size_t MICROS_GEOMETRIE = 1024;
// No coordinate of an array lies further than this from its origin, metres.
constexpr double COORDONNEE_MAX_M = 100;

// Reads `chemin` (UTF-8 path): exactly MICROS_GEOMETRIE positions, each with
// x, y and z finite numbers (spaces or tabs around them allowed) within
// COORDONNEE_MAX_M; no two microphones at one position, and positions that
// span a plane (an aperture: not all on one line). 0; or -1, `g` untouched,
// with the file, the line and the reason in `erreur`.
int lit_geometrie(const std::string& chemin, Geometrie& g, std::string& erreur, std::string* nom = nullptr);

// This build reads geometry files.
bool geometrie_disponible();
