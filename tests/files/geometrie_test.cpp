// Array geometry files: acoular's <MicArray> layout, every refusal with its
// line, and the simulated box's own array.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <functional>

#include "files/geometrie.h"
#include "support/doubles.h"

namespace {

std::string positions(int n, int depuis = 0)
{
    std::string s;
    for (int m = depuis; m < depuis + n; ++m)
        s += "  <pos Name=\"Point " + std::to_string(m + 1) + "\" x=\"" + std::to_string(0.001 * m) +
             "\" y=\"-0.25\" z=\"0\"/>\n";
    return s;
}

} // namespace

TEST(Geometrie, GoodFileInMicrophoneOrder)
{
    if (!geometrie_disponible())
        GTEST_SKIP() << "construit sans pugixml";
    TempDir d;
    // Version 1.1, tabs and spaces around the values, Name not a number.
    std::ofstream(d.file("g.xml"), std::ios::binary)
        << "<?xml version=\"1.1\" encoding=\"utf-8\"?>\r\n<MicArray name=\"essai\">\r\n"
        << "  <pos Name=\"a\" x=\"\t1.5 \" y=\" -2e-1\" z=\"+0.125\t\"/>\r\n"
        << positions(1023, 1) << "</MicArray>\r\n";
    Geometrie g;
    std::string erreur, nom;
    ASSERT_EQ(lit_geometrie(d.file("g.xml"), g, erreur, &nom), 0) << erreur;
    ASSERT_EQ(g.size(), 1024u);
    EXPECT_EQ(nom, "essai");
    EXPECT_EQ(g[0].x, 1.5);
    EXPECT_EQ(g[0].y, -0.2);
    EXPECT_EQ(g[0].z, 0.125);
    EXPECT_DOUBLE_EQ(g[1023].x, 1.023);
    EXPECT_EQ(g[1023].y, -0.25);
}

TEST(Geometrie, RefusalsNameTheLine)
{
    if (!geometrie_disponible())
        GTEST_SKIP() << "construit sans pugixml";
    const std::string debut = "<?xml version=\"1.0\"?>\n<MicArray name=\"x\">\n";
    const std::string fin = "</MicArray>\n";
    const struct {
        std::string texte;
        std::string raison;
    } cas[] = {
        {debut + positions(1023) + fin, "ligne 2 : 1023 positions dans <MicArray>, 1024 attendues"},
        {debut + positions(1025) + fin, "ligne 1027 : une position de trop, 1024 attendues"},
        {debut + positions(5) + "  <pos Name=\"Point 6\" x=\"0\" z=\"0\"/>\n" + positions(1018, 6) + fin,
         "ligne 8 : <pos> sans attribut y"},
        {debut + positions(5) + "  <pos x=\"0,5\" y=\"0\" z=\"0\"/>\n" + positions(1018, 6) + fin,
         "ligne 8 : x « 0,5 » : nombre attendu"},
        {debut + positions(5) + "  <pos x=\"0\" y=\"0\" z=\"nan\"/>\n" + positions(1018, 6) + fin,
         "ligne 8 : z « nan » : nombre attendu"},
        {debut + positions(2) + "  <pos x=\"0\" y=\"0\" z=\"0\">\n" + fin, "ligne 6 : XML illisible"},
        {"<?xml version=\"1.0\"?>\n<Calib name=\"x\"/>\n", "ligne 2 : élément <MicArray> attendu"},
    };
    TempDir d;
    for (const auto& c : cas) {
        std::ofstream(d.file("g.xml"), std::ios::binary) << c.texte;
        Geometrie g{{7, 7, 7}};
        std::string erreur;
        EXPECT_EQ(lit_geometrie(d.file("g.xml"), g, erreur), -1) << c.raison;
        EXPECT_NE(erreur.find("g.xml, " + c.raison), std::string::npos) << erreur;
        EXPECT_EQ(g.size(), 1u);
    }
}

// The simulated box's array: planar, about 1 m across, centred, beams as
// arms (microphone 8f + j further out than 8f + j - 1), no two microphones
// closer than 3 mm.
TEST(Geometrie, SimulatedArray)
{
    if (!geometrie_disponible())
        GTEST_SKIP() << "construit sans pugixml";
    Geometrie g;
    std::string erreur;
    ASSERT_EQ(lit_geometrie(ONDARIS_SOURCES "/data/geometrie-simulateur.xml", g, erreur), 0) << erreur;
    double xmin = 1e9, xmax = -1e9, cx = 0, cy = 0;
    for (size_t m = 0; m < g.size(); ++m) {
        EXPECT_EQ(g[m].z, 0);
        xmin = std::min(xmin, g[m].x);
        xmax = std::max(xmax, g[m].x);
        cx += g[m].x / g.size();
        cy += g[m].y / g.size();
        if (m % 8) {
            EXPECT_GT(std::hypot(g[m].x, g[m].y), std::hypot(g[m - 1].x, g[m - 1].y)) << m;
        }
    }
    EXPECT_NEAR(xmax - xmin, 1.0, 0.05);
    EXPECT_NEAR(cx, 0, 1e-3);
    EXPECT_NEAR(cy, 0, 1e-3);
    double dmin = 1e9;
    for (size_t a = 0; a < g.size(); ++a)
        for (size_t b = a + 1; b < g.size(); ++b)
            dmin = std::min(dmin, std::hypot(g[a].x - g[b].x, g[a].y - g[b].y));
    EXPECT_GT(dmin, 0.003);
}

// Positions a map cannot be drawn from are refused with the line and the
// reason: a coordinate beyond the stated size, two microphones at one place
// (all at one point among them), and an array with no aperture.
TEST(Geometrie, ImplausiblePositionsRefused)
{
    if (!geometrie_disponible())
        GTEST_SKIP() << "construit sans pugixml";
    auto grille = [](int m) {
        return "  <pos x=\"" + std::to_string(0.01 * (m % 32)) + "\" y=\"" + std::to_string(0.01 * (m / 32)) +
               "\" z=\"0\"/>\n";
    };
    auto fichier = [&](const std::function<std::string(int)>& pos) {
        std::string s = "<?xml version=\"1.0\"?>\n<MicArray name=\"x\">\n";
        for (int m = 0; m < 1024; ++m)
            s += pos(m);
        return s + "</MicArray>\n";
    };
    const struct {
        std::string texte;
        std::string raison;
    } cas[] = {
        {fichier([&](int m) { return m == 3 ? std::string("  <pos x=\"1e308\" y=\"0\" z=\"0\"/>\n") : grille(m); }),
         "ligne 6 : x « 1e308 » : au-delà de 100 m de l'origine"},
        {fichier([&](int m) { return m == 7 ? std::string("  <pos x=\"0.01\" y=\"0\" z=\"-250\"/>\n") : grille(m); }),
         "ligne 10 : z « -250 » : au-delà de 100 m"},
        {fichier([&](int m) { return m == 900 ? grille(12) : grille(m); }),
         "ligne 903 : micro 900 à la position du micro 12 (doublon)"},
        {fichier([](int) { return std::string("  <pos x=\"0.5\" y=\"0.5\" z=\"0\"/>\n"); }),
         "ligne 4 : micro 1 à la position du micro 0 (doublon)"},
        {fichier([](int m) { return "  <pos x=\"" + std::to_string(0.001 * m) + "\" y=\"0.25\" z=\"0\"/>\n"; }),
         "ligne 2 : les positions, vues de face (x, y), sont toutes sur une droite"},
        {fichier([](int m) {
             return "  <pos x=\"" + std::to_string(0.001 * m) + "\" y=\"" + std::to_string(0.002 * m) + "\" z=\"" +
                    std::to_string(0.001 * (m % 7)) + "\"/>\n";
         }),
         "ligne 2 : les positions, vues de face (x, y), sont toutes sur une droite"},
    };
    TempDir d;
    for (const auto& c : cas) {
        std::ofstream(d.file("g.xml"), std::ios::binary) << c.texte;
        Geometrie g{{7, 7, 7}};
        std::string erreur;
        EXPECT_EQ(lit_geometrie(d.file("g.xml"), g, erreur), -1) << c.raison;
        EXPECT_NE(erreur.find("g.xml, " + c.raison), std::string::npos) << erreur;
        EXPECT_EQ(g.size(), 1u);
    }
    std::ofstream(d.file("g.xml"), std::ios::binary) << fichier(grille);
    Geometrie g;
    std::string erreur;
    EXPECT_EQ(lit_geometrie(d.file("g.xml"), g, erreur), 0) << erreur;
}
