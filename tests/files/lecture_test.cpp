#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <random>

#include "app/model/choix_micros.h"
#include "app/model/principale.h"
#include "files/description.h"
#include "files/fichier_donnees.h"
#include "files/fichiers_run.h"
#include "files/lecture.h"
#include "files/lignes.h"
#include "support/doubles.h"

namespace {

void ecrit(const std::string& chemin, const std::string& octets)
{
    std::ofstream(chemin, std::ios::binary).write(octets.data(), static_cast<std::streamsize>(octets.size()));
}

// A recording as a run leaves it, in French conventions: microphones 0..9
// and 300, analogue channel 5, counters A and B, 500 frames whose word 0
// counts from 77, plus `reste` bytes of an unfinished frame.
struct Lecture : ::testing::Test, Modele {
    TempDir dir;
    std::string dat = dir.file("Mesure.dat");
    std::string ond, log;
    std::vector<uint32_t> mots;

    void SetUp() override
    {
        for (auto& beam : c.grid)
            for (auto& b : beam)
                b.checked = false;
        for (int m = 0; m < 10; ++m)
            c.grid[m / 8][m % 8].checked = true;
        c.grid[300 / 8][300 % 8].checked = true;
        c.grid_VA[5].checked = true;
        c.checkBox_CptB.checked = true;
        choix_micros(p, false);
        p.header_file.date_heure = {2026, 12, 1, 7, 9, 5, 3, 250};
        p.header_file.freq = 41666.0f;
        p.header_file.type_float = 1;
        p.commentaire = "Essai en soufflerie, « été »";
        std::string cp = utf8_vers_cp1252(p.commentaire);
        std::memcpy(p.header_file.texte_commentaire, cp.data(), cp.size());
        ecrit_recording(500, 0);
    }
    void ecrit_recording(uint32_t trames, int reste)
    {
        mots.assign(static_cast<size_t>(trames) * p.nb_voies, 0x3F800000u);
        for (uint32_t t = 0; t < trames; ++t)
            mots[static_cast<size_t>(t) * p.nb_voies] = 77 + t;
        std::string octets(reinterpret_cast<const char*>(mots.data()), 4 * mots.size());
        octets += std::string(static_cast<size_t>(reste), '\x55');
        p.header_file.nb_ech = nb_ech_de(octets.size(), p.nb_voies);
        p.header_file.duree_acq = duree_de(p.header_file.nb_ech, p.header_file.freq);
        p.acqui_name = dat;
        ond = nom_compagnon(dat, ".Ond");
        log = nom_compagnon(dat, ".log");
        FichiersRun f;
        ASSERT_EQ(f.prepare(dat, p.journal), 0);
        ASSERT_EQ(f.commence(p.header_file, p.nb_voies, p.nb_micros, p.commentaire, p.journal), 0);
        ASSERT_EQ(f.ecrit_log(p.header_file, p.nb_voies, p.nb_micros, p.commentaire, p.journal), 0);
        f.ferme();
        ecrit(dat, octets);
    }
};

TEST_F(Lecture, CompleteRecordingPassesAndGivesItsLayout)
{
    Enregistrement e;
    EXPECT_EQ(lit_enregistrement(dat, e), 0) << (e.problemes.empty() ? "" : e.problemes[0]);
    EXPECT_TRUE(e.lisible);
    // Counter A, quarter 0 (microphones, block B's channel 5 belongs to
    // quarter 1), counter B, microphone 300, analogue 5.
    std::vector<int32_t> attendu = {3000, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 3001, 300, 2005};
    EXPECT_EQ(e.disposition.codes, attendu);
    EXPECT_TRUE(e.disposition.compteur_a);
    EXPECT_FALSE(e.disposition.etat);
    EXPECT_EQ(e.nb_trames, 500u);
    EXPECT_EQ(e.frequence, 41666.0f);
    EXPECT_TRUE(e.flottant);
    EXPECT_EQ(e.commentaire, "Essai en soufflerie, « été »");

    LecteurTrames l;
    std::string erreur;
    ASSERT_EQ(l.ouvre(dat, e.disposition.nb_voies, 498, erreur), 0);
    std::vector<uint32_t> bloc(5 * 14);
    ASSERT_EQ(l.lit(bloc.data(), 5), 2);
    EXPECT_EQ(bloc[0], 77u + 498);
    EXPECT_EQ(bloc[14], 77u + 499);
    EXPECT_EQ(l.lit(bloc.data(), 5), 0);
}

TEST_F(Lecture, StatusWordAndUnfinishedFrameAreNotedNotFaulted)
{
    c.checkBox_Status.checked = true;
    choix_micros(p, false);
    ecrit_recording(300, 9);
    Enregistrement e;
    EXPECT_EQ(lit_enregistrement(dat, e), 0) << (e.problemes.empty() ? "" : e.problemes[0]);
    EXPECT_TRUE(e.disposition.etat);
    EXPECT_EQ(e.disposition.nb_voies, 15);
    EXPECT_EQ(e.disposition.codes.back(), CODE_ETAT);
    EXPECT_EQ(e.reste, 9u);
    ASSERT_EQ(e.remarques.size(), 2u);
    EXPECT_NE(e.remarques[0].find("place dans la trame n'est pas connue"), std::string::npos);

    // Without its description the status word still shows in the sizes.
    std::remove(log.c_str());
    lit_enregistrement(dat, e);
    EXPECT_TRUE(e.disposition.etat);
}

TEST_F(Lecture, EachFaultIsNamedWithItsFileAndPlace)
{
    const std::string propre_ond(reinterpret_cast<const char*>(read_bytes(ond).data()), 2097);
    const std::string propre_log = read_text(log);
    const std::string propre_dat = read_text(dat);
    struct Cas {
        const char* nom;
        std::function<void(std::string& o, std::string& l, std::string& d)> abime;
        const char* attendu;
        bool lisible;
    } cas[] = {
        {"en-tête vide", [](std::string& o, std::string&, std::string&) { o.clear(); },
         "Mesure.Ond : 0 octets au lieu de 2097", false},
        {"en-tête tronqué", [](std::string& o, std::string&, std::string&) { o.resize(2000); },
         "Mesure.Ond : 2000 octets au lieu de 2097", false},
        {"octet de sélection", [](std::string& o, std::string&, std::string&) { o[1043] = 7; },
         "octet 1043 (va_actives, voie analogique 3) vaut 7", false},
        {"fréquence",
         [](std::string& o, std::string&, std::string&) {
             float f = 12345;
             std::memcpy(&o[1060], &f, 4);
         },
         "fréquence 12345", false},
        {"type", [](std::string& o, std::string&, std::string&) { o[1072] = 2; }, "octet 1072) vaut 2", false},
        {"date", [](std::string& o, std::string&, std::string&) { o[2] = 13; }, "mois 13 (octet 2)", true},
        {"nb_ech", [](std::string& o, std::string&, std::string&) { o[1064] = 1, o[1065] = 0; },
         "nb_ech = 1, mais Mesure.dat contient 500 trames", true},
        {"données tronquées", [](std::string&, std::string&, std::string& d) { d.resize(d.size() - 56 * 3); },
         "nb_ech = 500, mais Mesure.dat contient 497", true},
        {"description vide", [](std::string&, std::string& l, std::string&) { l.clear(); }, "Mesure.log : vide", true},
        {"description en désaccord",
         [](std::string&, std::string& l, std::string&) {
             l.replace(l.find("Faisceau_001  1  1"), 18, "Faisceau_001  0  1");
         },
         "Mesure.log, ligne 16 : « Faisceau_001  0  1", true},
        {"durée",
         [](std::string&, std::string& l, std::string&) { l.replace(l.find("Duree = 0,0"), 11, "Duree = 9,5"); },
         "« Duree = 9,5", true},
        {"trame de la description",
         [](std::string&, std::string& l, std::string&) { l.replace(l.find("Nb_voies = 14"), 13, "Nb_voies = 16"); },
         "« Nb_voies = 16 » : l'en-tête sélectionne 14 voies", true},
    };
    for (const auto& k : cas) {
        std::string o = propre_ond, l = propre_log, d = propre_dat;
        k.abime(o, l, d);
        ecrit(ond, o);
        ecrit(log, l);
        ecrit(dat, d);
        Enregistrement e;
        EXPECT_EQ(lit_enregistrement(dat, e), -1) << k.nom;
        bool trouve = false;
        for (const auto& pb : e.problemes)
            trouve = trouve || pb.find(k.attendu) != std::string::npos;
        EXPECT_TRUE(trouve) << k.nom << ": " << (e.problemes.empty() ? "(rien)" : e.problemes[0]);
        EXPECT_EQ(e.lisible, k.lisible) << k.nom;
    }
}

TEST_F(Lecture, CounterCheckNamesEveryJump)
{
    mots[14 * 123] = 5;        // one bad word
    mots[14 * 400] = 77 + 410; // frames lost from 400 on
    for (uint32_t t = 401; t < 500; ++t)
        mots[14 * t] = 77 + 10 + t;
    ecrit(dat, std::string(reinterpret_cast<const char*>(mots.data()), 4 * mots.size()));
    BilanCompteur b;
    std::string erreur;
    ASSERT_EQ(verifie_compteur(dat, 14, 500, 2, b, erreur), 0);
    EXPECT_EQ(b.trames, 500u);
    EXPECT_EQ(b.nb_sauts, 3u); // 123, its neighbour 124, and 400
    ASSERT_EQ(b.sauts.size(), 2u);
    EXPECT_EQ(b.sauts[0].trame, 123u);
    EXPECT_EQ(b.sauts[0].attendu, 77u + 123);
    EXPECT_EQ(b.sauts[0].lu, 5u);
    EXPECT_EQ(b.sauts[1].trame, 124u);
}

// Random damage to the three files: the reader and the frame reading must
// report, never crash (this suite also runs under AddressSanitizer).
TEST_F(Lecture, DamagedFilesNeverCrashTheReader)
{
    const std::string ond0(reinterpret_cast<const char*>(read_bytes(ond).data()), 2097);
    const std::string log0 = read_text(log), dat0 = read_text(dat);
    std::mt19937 alea(20261209);
    auto abime = [&](std::string s, int max_taille) {
        std::uniform_int_distribution<int> choix(0, 3);
        switch (choix(alea)) {
        case 0: // truncated
            s.resize(std::uniform_int_distribution<size_t>(0, s.size())(alea));
            break;
        case 1: // random bytes here and there
            for (int i = 0, n = std::uniform_int_distribution<int>(1, 20)(alea); i < n && !s.empty(); ++i)
                s[std::uniform_int_distribution<size_t>(0, s.size() - 1)(alea)] = static_cast<char>(alea());
            break;
        case 2: { // all random
            s.resize(std::uniform_int_distribution<size_t>(0, static_cast<size_t>(max_taille))(alea));
            for (char& ch : s)
                ch = static_cast<char>(alea());
            break;
        }
        default: // untouched
            break;
        }
        return s;
    };
    std::vector<uint32_t> bloc;
    for (int i = 0; i < 250; ++i) {
        ecrit(ond, abime(ond0, 4000));
        ecrit(log, abime(log0, 8000));
        ecrit(dat, abime(dat0, 30000));
        Enregistrement e;
        lit_enregistrement(dat, e);
        if (!e.lisible)
            continue;
        ASSERT_GT(e.disposition.nb_voies, 0);
        ASSERT_EQ(e.disposition.codes.size(), static_cast<size_t>(e.disposition.nb_voies));
        LecteurTrames l;
        std::string erreur;
        ASSERT_EQ(l.ouvre(dat, e.disposition.nb_voies, 0, erreur), 0);
        bloc.resize(64 * static_cast<size_t>(e.disposition.nb_voies));
        uint64_t total = 0;
        for (int64_t n; (n = l.lit(bloc.data(), 64)) > 0;)
            total += static_cast<uint64_t>(n);
        EXPECT_EQ(total, e.nb_trames);
        BilanCompteur b;
        EXPECT_EQ(verifie_compteur(dat, e.disposition.nb_voies, e.nb_trames, 5, b, erreur), 0);
    }
}

} // namespace
