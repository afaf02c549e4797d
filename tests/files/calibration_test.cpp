// Calibration files: written and read back exactly, as acoular lays them
// out; every refusal names its line.
#include <gtest/gtest.h>

#include <fstream>

#include "files/calibration.h"
#include "support/doubles.h"

TEST(Calibration, WrittenAndReadBack)
{
    if (!calibration_disponible())
        GTEST_SKIP() << "construit sans pugixml";
    TempDir d;
    const Calibration c{"réseau", {1.0 / 281170.66, 3.3e-6, 1.0}};
    std::string erreur;
    ASSERT_EQ(ecrit_calibration(d.file("c.xml"), c, erreur), 0) << erreur;
    const std::string texte = read_text(d.file("c.xml"));
    EXPECT_NE(texte.find("<Calib name=\"réseau\">\r\n"), std::string::npos) << texte;
    EXPECT_NE(texte.find("<pos Name=\"Point 3\" factor=\"1\" />"), std::string::npos) << texte;
    Calibration lue;
    ASSERT_EQ(lit_calibration(d.file("c.xml"), 3, lue, erreur), 0) << erreur;
    EXPECT_EQ(lue.nom, c.nom);
    EXPECT_EQ(lue.facteurs, c.facteurs);
}

// Where a calibration came from travels with it: its date and calibrator
// level when written with them, else the file's modification date and an
// unknown level (acoular's own files have neither).
TEST(Calibration, DateAndCalibratorLevel)
{
    if (!calibration_disponible())
        GTEST_SKIP() << "construit sans pugixml";
    TempDir d;
    const Calibration c{"Ondaris 1024", {3.3e-6, 3.6e-6}};
    OrigineCalibration o;
    o.date = "2026-12-07T08:05:03";
    o.niveau_calibreur = 94;
    std::string erreur;
    ASSERT_EQ(ecrit_calibration(d.file("c.xml"), c, erreur, &o), 0) << erreur;
    Calibration lue;
    OrigineCalibration lu;
    ASSERT_EQ(lit_calibration(d.file("c.xml"), 2, lue, erreur, &lu), 0) << erreur;
    EXPECT_EQ(lue.facteurs, c.facteurs);
    EXPECT_EQ(lu.date, o.date);
    EXPECT_EQ(lu.niveau_calibreur, 94);

    std::ofstream(d.file("acoular.xml")) << "<?xml version=\"1.0\"?>\n<Calib name=\"x\">\n"
                                         << "  <pos Name=\"Point 1\" factor=\"3.5e-6\"/>\n</Calib>\n";
    ASSERT_EQ(lit_calibration(d.file("acoular.xml"), 1, lue, erreur, &lu), 0) << erreur;
    EXPECT_EQ(lu.niveau_calibreur, 0);
    EXPECT_EQ(lu.date, date_modification(d.file("acoular.xml")));
    EXPECT_EQ(lu.date.size(), 19u);
}

TEST(Calibration, RefusalsNameTheLine)
{
    if (!calibration_disponible())
        GTEST_SKIP() << "construit sans pugixml";
    const std::string debut = "<?xml version=\"1.0\"?>\n<Calib name=\"x\">\n";
    const std::string p1 = "  <pos Name=\"Point 1\" factor=\"3.5e-6\"/>\n";
    const std::string p2 = "  <pos Name=\"Point 2\" factor=\"3.6e-6\"/>\n";
    const struct {
        std::string texte;
        size_t attendus;
        std::string raison;
    } cas[] = {
        {debut + p1 + p2 + "</Calib>\n", 1, "ligne 4 : un facteur de trop, 1 attendus"},
        {debut + p1 + "</Calib>\n", 2, "ligne 2 : 1 facteurs dans <Calib>, 2 attendus"},
        {debut + p1 + "  <pos Name=\"Point 2\"/>\n</Calib>\n", 2, "ligne 4 : <pos> sans attribut factor"},
        {debut + p1 + "  <pos Name=\"Point 2\" factor=\"3,6e-6\"/>\n</Calib>\n", 2,
         "ligne 4 : facteur « 3,6e-6 » : nombre positif attendu"},
        {debut + p1 + "  <pos Name=\"Point 2\" factor=\"-1\"/>\n</Calib>\n", 2, "ligne 4 : facteur « -1 »"},
        {debut + p1 + "  <pos Name=\"Point 2\" factor=\"1\">\n</Calib>\n", 2, "ligne 5 : XML illisible"},
        {"<?xml version=\"1.0\"?>\n<MicArray name=\"x\"/>\n", 0, "ligne 2 : élément <Calib> attendu"},
    };
    TempDir d;
    for (const auto& c : cas) {
        std::ofstream(d.file("c.xml"), std::ios::binary) << c.texte;
        Calibration lue{"intacte", {7.0}};
        std::string erreur;
        EXPECT_EQ(lit_calibration(d.file("c.xml"), c.attendus, lue, erreur), -1) << c.texte;
        EXPECT_NE(erreur.find("c.xml, " + c.raison), std::string::npos) << erreur;
        EXPECT_EQ(lue.nom, "intacte");
    }
}

// A microphone's factor far from the nominal one is refused with its line:
// what overflows a level, what float32 makes zero, and a file in counts per
// pascal (named as the inverse unit).
TEST(Calibration, ImplausibleFactorsRefused)
{
    if (!calibration_disponible())
        GTEST_SKIP() << "construit sans pugixml";
    auto fichier = [](const std::string& facteur) {
        std::string s = "<?xml version=\"1.0\"?>\n<Calib name=\"x\">\n";
        for (int m = 0; m < 1024; ++m)
            s += "  <pos Name=\"Point " + std::to_string(m + 1) + "\" factor=\"" + (m == 5 ? facteur : "3.5e-6") +
                 "\"/>\n";
        return s + "</Calib>\n";
    };
    const struct {
        std::string facteur;
        std::string raison;
    } cas[] = {
        {"1e300", "ligne 8 : facteur « 1e300 » : hors de ±40 dB autour du facteur nominal"},
        {"1e-60", "ligne 8 : facteur « 1e-60 » : hors de ±40 dB"},
        {"281171", "ligne 8 : facteur « 281171 » : hors de ±40 dB"},
        {"3.5e-8", "ligne 8 : facteur « 3.5e-8 » : hors de ±40 dB"},
        {"3.6e-4", "ligne 8 : facteur « 3.6e-4 » : hors de ±40 dB"},
    };
    TempDir d;
    for (const auto& c : cas) {
        std::ofstream(d.file("c.xml"), std::ios::binary) << fichier(c.facteur);
        Calibration lue{"intacte", {7.0}};
        std::string erreur;
        EXPECT_EQ(lit_calibration(d.file("c.xml"), 1024, lue, erreur), -1) << c.facteur;
        EXPECT_NE(erreur.find("c.xml, " + c.raison), std::string::npos) << erreur;
        EXPECT_EQ(erreur.find("unité inverse") != std::string::npos, c.facteur == "281171") << erreur;
        EXPECT_EQ(lue.nom, "intacte");
    }
    // The edges of the range, and a microphone 20 dB from the nominal one.
    for (const char* facteur : {"3.5e-4", "3.6e-8", "3.5e-5"}) {
        std::ofstream(d.file("c.xml"), std::ios::binary) << fichier(facteur);
        Calibration lue;
        std::string erreur;
        EXPECT_EQ(lit_calibration(d.file("c.xml"), 1024, lue, erreur), 0) << erreur;
    }
}
