#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "files/configuration.h"
#include "files/fichier_donnees.h"
#include "files/fichiers_run.h"
#include "files/lecture.h"
#include "files/nommage.h"
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

// A run killed once its data has started leaves companions from which the
// repair writes exactly what the end of the run would have written.
TEST(Reparation, CompanionsOfAKilledRunGiveTheRunsOwnFiles)
{
    TempDir dir;
    Journal j;
    j.conv = Conventions::french();
    type_header_file h;
    init_header(h);
    std::memset(h.micros_actifs, 0, sizeof h.micros_actifs);
    h.micros_actifs[5][0] = h.micros_actifs[5][1] = h.micros_actifs[9][7] = 1;
    h.compteurs_actifs[0] = h.compteurs_actifs[2] = 1;
    h.freq = 41666.0f;
    h.type_float = 1;
    h.date_heure = {2026, 12, 1, 7, 9, 5, 3, 250};
    const std::string commentaire = commentaire_de("Salle Ω\nrépété");
    champ_commentaire(commentaire, h.texte_commentaire);
    const int nb_voies = 6; // three microphones, counters A and C, the status word
    std::vector<uint32_t> mots(1000 * nb_voies, 0x3F800000u);
    for (uint32_t t = 0; t < 1000; ++t)
        mots[t * nb_voies] = 77 + t;

    const std::string dat = dir.file("Essai.dat"), coupe = dir.file("Coupe.dat");
    FichiersRun f;
    ASSERT_EQ(f.prepare(dat, j), 0);
    ASSERT_EQ(f.commence(h, nb_voies, 3, commentaire, j), 0);
    ASSERT_EQ(std::fwrite(mots.data(), 4, mots.size(), f.donnees()), mots.size());
    std::fputs("abc", f.donnees()); // an unfinished frame
    std::fflush(f.donnees());
    // Killed here: the files as they lie now.
    for (const char* ext : {".dat", ".Ond", ".log"})
        std::filesystem::copy_file(nom_compagnon(dat, ext), nom_compagnon(coupe, ext));
    // Ended here instead.
    ASSERT_EQ(f.ferme_donnees(), 0);
    h.nb_ech = nb_ech_de(4 * mots.size() + 3, nb_voies);
    h.duree_acq = duree_de(h.nb_ech, h.freq);
    ASSERT_EQ(f.ecrit_log(h, nb_voies, 3, commentaire, j), 0);
    f.ferme();

    EXPECT_TRUE(interruption(coupe).interrompue);
    EXPECT_FALSE(interruption(dat).interrompue);
    Reglages r;
    std::string erreur;
    ASSERT_EQ(reglages_des_compagnons(coupe, r, erreur), 0) << erreur;
    std::vector<std::string> messages;
    ASSERT_EQ(repare(coupe, r, false, messages), 0) << messages.front();
    EXPECT_EQ(read_bytes(nom_compagnon(coupe, ".Ond")), read_bytes(nom_compagnon(dat, ".Ond")));
    EXPECT_EQ(read_text(nom_compagnon(coupe, ".log")), read_text(nom_compagnon(dat, ".log")));
    EXPECT_FALSE(interruption(coupe).interrompue);
}

} // namespace
