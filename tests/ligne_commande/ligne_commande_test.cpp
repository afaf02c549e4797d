// The command line shared by the runner and the tools: what is refused
// (code 64, before anything is taken as a setting) and what is taken.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "ligne_commande/ligne_commande.h"

namespace {

struct Lecture {
    double duree = -1, lenteur = 0;
    int source = -1;
    std::string dat, nom;
    bool etat = false;
    LigneCommande l{"essai", "Usage : essai\n", "option inconnue"};

    Lecture()
    {
        l.positionnel("NOM.dat", dat);
        l.nombre("--duree", duree, 0, HUGE_VAL, "durée négative");
        l.nombre("--sim-lenteur", lenteur, 0, 10000, "de 0 à 10000");
        l.mot("--declenchement", source, {"soft", "trig1", "trig2"}, "soft, trig1 ou trig2");
        l.texte("--nom", nom);
        l.drapeau("--etat", etat);
    }
    int lit(std::vector<std::string> args)
    {
        args.insert(args.begin(), "essai");
        return l.analyse(args);
    }
};

TEST(LigneCommande, RefusesWhatIsNoSetting)
{
    const std::vector<std::vector<std::string>> refus = {
        {"--duree"},                  // value missing at the end
        {"--etat", "--nom"},          //
        {"--duree", "nan"},           // not finite
        {"--duree", "inf"},           //
        {"--duree", "-infinity"},     //
        {"--duree", "2s"},            // not a number whole
        {"--duree", ""},              //
        {"--duree", "-0.5"},          // below the range
        {"--duree", "-0"},            //
        {"--sim-lenteur", "10000.5"}, // above it
        {"--declenchement", "trig3"}, // not one of the words
        {"--inconnue"},               // no such option
        {"a.dat", "b.dat"},           // one positional only
    };
    for (const auto& args : refus) {
        Lecture l;
        EXPECT_EQ(l.lit(args), LigneCommande::SORTIE_USAGE) << ::testing::PrintToString(args);
    }
}

TEST(LigneCommande, TakesValuesWhateverTheyLookLike)
{
    Lecture l;
    ASSERT_EQ(l.lit({"--nom", "--duree", "x.dat", "--sim-lenteur", "10000", "--declenchement", "trig2", "--duree=0.25",
                     "--duree", "1e1", "--etat"}),
              LigneCommande::CONTINUER);
    EXPECT_EQ(l.nom, "--duree");
    EXPECT_EQ(l.dat, "x.dat");
    EXPECT_EQ(l.lenteur, 10000);
    EXPECT_EQ(l.source, 2);
    EXPECT_EQ(l.duree, 10); // the last one given
    EXPECT_TRUE(l.etat);
}

TEST(LigneCommande, HelpAndVersionEndWithSuccess)
{
    for (const char* option : {"--help", "-h", "--version"}) {
        Lecture l;
        EXPECT_EQ(l.lit({option, "--duree", "-1"}), 0) << option;
        EXPECT_EQ(l.duree, -1) << option;
    }
}

} // namespace
