#include <gtest/gtest.h>

#include <fstream>

#include "files/configuration.h"
#include "files/reparation.h"
#include "support/doubles.h"

namespace {

// The repair's settings come from the file alone: what it does not say is
// refused, not taken from some default.
TEST(Reparation, SettingsFromAConfigurationWithoutAnyModel)
{
    TempDir dir;
    const Conventions conv = Conventions::french();
    auto reglages = [&](const std::string& texte, Reglages& r, std::string& erreur) {
        std::ofstream(dir.file("c.txt"), std::ios::binary) << texte;
        ::Configuration cfg;
        if (lit_fichier_config(dir.file("c.txt"), conv, cfg, erreur) != 0)
            return -1;
        return reglages_de(cfg, "c.txt", r, erreur);
    };
    Reglages r;
    std::string erreur;
    ASSERT_EQ(reglages("Frequence = 2000 Hz\r\nType = float32\r\nFaisceau_002  1  1  0  0  0  0  0  1\r\n"
                       "Bloc_B =   1  0  0  1\r\nCompteurs =   1  0  1  0\r\n",
                       r, erreur),
              0)
        << erreur;
    EXPECT_EQ(r.nb_micros, 3);
    EXPECT_EQ(r.nb_voies, 7); // no status word
    EXPECT_TRUE(r.compteur_a);
    EXPECT_EQ(r.header.freq, 2000.0f);
    EXPECT_EQ(r.header.type_float, 1);
    EXPECT_EQ(r.header.micros_actifs[2][7] + r.header.micros_actifs[0][0], 1);
    EXPECT_EQ(r.header.va_actives[1][3] + r.header.va_actives[0][0] + r.header.compteurs_actifs[2], 2);

    EXPECT_EQ(reglages("Frequence = 2000 Hz\r\n", r, erreur), -1);
    EXPECT_EQ(erreur, "c.txt : pas de ligne « Type » (int32 ou float32)");
    EXPECT_EQ(reglages("Type = int32\r\nFrequence = 3000 Hz\r\n", r, erreur), -1);
    EXPECT_EQ(erreur, "c.txt : pas de ligne « Frequence » avec une fréquence du boîtier");
    ::Configuration cfg;
    EXPECT_EQ(lit_fichier_config(dir.file("absent.txt"), conv, cfg, erreur), -1);
    EXPECT_EQ(erreur.find("Impossible d'ouvrir le fichier de configuration " + dir.file("absent.txt") + " : "), 0u);
}

} // namespace
