#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>

#include "app/model/config_controles.h"
#include "app/model/nommage_controles.h"
#include "app/model/principale.h"
#include "app/model/parametres.h"
#include "device/parametres.h"
#include "files/chemins.h"
#include "files/configuration_initiale.h"
#include "files/reparation.h"
#include "support/doubles.h"

namespace {

// Everything the reader may touch, as text, so that a difference shows.
std::string etat(const Principale& p)
{
    const Controles& c = p.ctl;
    std::ostringstream o;
    o << c.listBox_Freq.top_index << ' ' << c.numericUpDown_Duree.value << ' ' << c.numericUpDown_Duree.maximum << ' ';
    o << c.checkBox_Definie.checked << c.panel_Duree.shown << c.radioButton_Start_Soft.checked
      << c.radioButton_Start_Trig1.checked << c.radioButton_Start_Trig2.checked << c.groupBox_Condition.shown
      << c.radioButton_Start_FM.checked << c.radioButton_Start_FD.checked << c.radioButton_Start_EH.checked
      << c.radioButton_Start_EB.checked << c.radioButton_Integer.checked << c.radioButton_Float.checked
      << c.checkBox_Record.checked << c.checkBox_Nom_Fich.checked << c.checkBox_Test.checked << c.button_Fichier.shown
      << c.groupBox_Nom_Fich.shown << c.button_Comment.shown << c.checkBox_CptA.checked << c.checkBox_CptB.checked
      << c.checkBox_CptC.checked << c.checkBox_CptD.checked << c.paq_T.checked << c.checkBox_Tous.checked;
    o << " [" << c.textBox_Rep.text << "][" << c.textBox_Nom_Fich.text << "][" << p.nom_dir << "] ";
    for (const auto& v : c.grid_VA)
        o << v.checked;
    for (int f = 0; f < 128; ++f) {
        o << (f % 8 ? "" : "\n") << c.faisceaux_T[f].checked << c.bloc_T[f / 8].checked;
        for (int j = 0; j < 8; ++j)
            o << c.grid[f][j].checked + 2 * p.header_file.micros_actifs[f][j] + 4 * (c.grid_n[f][j] == DeepPink);
    }
    return o.str() + " " + std::to_string(p.nb_micros);
}

struct Configuration : ::testing::Test, Modele {
    TempDir dir;

    void SetUp() override
    {
        init_dossier_initial(p);
        p.config_en_cours = dir.file("config_en_cours.txt");
    }
    void defauts()
    {
        p.ctl = Controles{};
        init_header(p.header_file);
        init_dossier_initial(p);
        p.nom_dir.clear();
        p.nb_micros = 1024;
    }
    void lit(const std::string& texte)
    {
        std::ofstream(dir.file("lu.txt"), std::ios::binary) << texte;
        ASSERT_EQ(lit_config(p, dir.file("lu.txt")), 0);
    }
};

TEST_F(Configuration, DefaultsWrittenAndReadBackChangeNothing)
{
    // The runner starts from the same settings as the window.
    EXPECT_TRUE(configuration_de(c) == configuration_initiale());
    ASSERT_EQ(ecrit_config(p, p.config_en_cours), 0);
    // The selection sections are those of a default run's description file.
    std::string d =
        read_text((std::filesystem::path(__FILE__).parent_path() / "data" / "description_defaut.log").string());
    auto debut = d.find("\n[Micros actifs]");
    const std::string attendu = "% Fichier de configuration Ondaris\r\n\n[Paramètres généraux]\r\n"
                                "Frequence = 50000 Hz\r\n% Si Duree = 0, alors durée indéfinie\r\nDuree = 5,0  s\r\n"
                                "Type = int32\r\nTrig = Soft\r\nEnregistrement = 1\r\n"
                                "Fichier d'acquisition (sans extension) = " +
                                dossier_initial() + "Test\r\nNb_faisceaux = 128\r\n" +
                                d.substr(debut, d.find("\n[Acquisition]") - debut);
    const std::string ecrit = read_text(p.config_en_cours);
    EXPECT_EQ(ecrit, attendu);
    EXPECT_EQ(p.acqui_name, dossier_initial() + "Test");
    EXPECT_EQ(p.nb_voies, 1025);
    EXPECT_TRUE(usb.requests.empty()); // the writer's selection pass sends nothing

    const std::string avant = etat(p);
    ASSERT_EQ(lit_config(p, p.config_en_cours), 0);
    EXPECT_EQ(etat(p), avant);
    ASSERT_EQ(ecrit_config(p, p.config_en_cours), 0);
    EXPECT_EQ(read_text(p.config_en_cours), ecrit);

    for (int row = 0; row < NB_FREQ; ++row) { // every frequency written reads back to its row
        c.listBox_Freq.top_index = row;
        ASSERT_EQ(ecrit_config(p, dir.file("f.txt")), 0);
        c.listBox_Freq.top_index = (row + 7) % NB_FREQ;
        ASSERT_EQ(lit_config(p, dir.file("f.txt")), 0);
        EXPECT_EQ(c.listBox_Freq.top_index, row);
    }
}

// Each line read over the defaults (with every beam line) must give the
// defaults changed as `attendu` says, and nothing else.
TEST_F(Configuration, EdgeCasesOfTheReader)
{
    std::string beams;
    for (int f = 0; f < 128; ++f)
        beams += compose(p.journal.conv, "Faisceau_{0:D3}  1  1  1  1  1  1  1  1\r\n", {f});
    using P = Principale&;
    struct Cas {
        const char* texte;
        std::function<void(P)> avant, attendu;
    };
    auto rien = [](P) {};
    const Cas cas[] = {
        {"Frequence = 41667 Hz", rien, [](P q) { q.ctl.listBox_Freq.top_index = 1; }},
        {"Frequence = 41666 Hz", rien, [](P q) { q.ctl.listBox_Freq.top_index = 2; }},
        {"Frequence = 12345 Hz", rien, [](P q) { q.ctl.listBox_Freq.top_index = 9; }}, // 500000 / 12345 -> 40
        {"Frequence = 3000 Hz", [](P q) { q.ctl.listBox_Freq.top_index = 5; }, rien},  // matches no divisor
        {"Duree = 0", rien, [](P q) { q.ctl.checkBox_Definie.checked = q.ctl.panel_Duree.shown = false; }},
        {"Duree = 12,5  s", [](P q) { q.ctl.checkBox_Definie.checked = false; },
         [](P q) { q.ctl.numericUpDown_Duree.value = 12.5; }},
        {"Frequence = 2000 Hz\r\nDuree = 100\u00A0000,0  s", rien, // kept: the range widens first
         [](P q) {
             q.ctl.listBox_Freq.top_index = 16;
             q.ctl.numericUpDown_Duree.maximum = duree_max_de(2000);
             q.ctl.numericUpDown_Duree.value = 100000;
         }},
        {"Duree = 1e12  s", rien,
         [](P q) { q.ctl.numericUpDown_Duree.value = q.ctl.numericUpDown_Duree.maximum = duree_max_de(50000); }},
        {"Type = float32", rien,
         [](P q) { q.ctl.radioButton_Float.checked = !(q.ctl.radioButton_Integer.checked = false); }},
        {"Trig = Trig2 Etat_bas", rien,
         [](P q) {
             Controles& k = q.ctl;
             k.radioButton_Start_Soft.checked = k.radioButton_Start_FM.checked = false;
             k.radioButton_Start_Trig2.checked = k.radioButton_Start_EB.checked = k.groupBox_Condition.shown = true;
         }},
        {"Trig = Soft",
         [](P q) {
             Controles& k = q.ctl;
             k.radioButton_Start_Soft.checked = k.radioButton_Start_FM.checked = false;
             k.radioButton_Start_Trig1.checked = k.radioButton_Start_FD.checked = k.groupBox_Condition.shown = true;
         },
         [](P q) {
             Controles& k = q.ctl;
             k.radioButton_Start_Soft.checked =
                 !(k.radioButton_Start_Trig1.checked = k.groupBox_Condition.shown = false);
         }},
        {"Trig = Trig1", // the condition stays
         [](P q) {
             Controles& k = q.ctl;
             k.radioButton_Start_Soft.checked = k.radioButton_Start_FM.checked = false;
             k.radioButton_Start_Trig2.checked = k.radioButton_Start_EB.checked = k.groupBox_Condition.shown = true;
         },
         [](P q) { q.ctl.radioButton_Start_Trig1.checked = !(q.ctl.radioButton_Start_Trig2.checked = false); }},
        {"Compteurs =   0  1  0  0", [](P q) { q.ctl.checkBox_CptA.checked = false; },
         [](P q) { q.ctl.checkBox_CptB.checked = true; }},
        {"Compteurs =   0  0  0  0", [](P q) { q.ctl.checkBox_CptC.checked = true; }, rien},
        {"Bloc_X =   1  0  0  1\r\nBloc_A =   0  1  0  0", rien,
         [](P q) { q.ctl.grid_VA[12].checked = q.ctl.grid_VA[15].checked = q.ctl.grid_VA[1].checked = true; }},
        {"Fichier d'acquisition (sans extension) = d:\\Mesures\\Essai", rien,
         [](P q) {
             q.nom_dir = q.ctl.textBox_Rep.text = std::string("d:") + SEPARATEUR + "Mesures" + SEPARATEUR;
             q.ctl.textBox_Nom_Fich.text = "Essai";
         }},
        {"Enregistrement = 0\r\nFichier d'acquisition (sans extension) = /home/x=1/Essai", rien,
         [](P q) { // root and "=" kept; recording off hides every file control
             const std::string s{SEPARATEUR};
             q.nom_dir = q.ctl.textBox_Rep.text = s + "home" + s + "x=1" + s;
             q.ctl.textBox_Nom_Fich.text = "Essai";
             Controles& k = q.ctl;
             k.checkBox_Record.checked = k.checkBox_Nom_Fich.checked = false;
             k.button_Comment.shown = k.checkBox_Nom_Fich.shown = k.groupBox_Nom_Fich.shown = false;
         }},
        {"\xEF\xBB\xBFType = float32\rTrig = Trig1 Etat_haut\r", rien,
         [](P q) {
             Controles& k = q.ctl;
             k.radioButton_Integer.checked = k.radioButton_Start_Soft.checked = k.radioButton_Start_FM.checked = false;
             k.radioButton_Float.checked = k.radioButton_Start_Trig1.checked = k.radioButton_Start_EH.checked = true;
             k.groupBox_Condition.shown = true;
         }},
    };
    for (const auto& k : cas) {
        SCOPED_TRACE(k.texte);
        defauts();
        k.avant(p);
        k.attendu(p);
        const std::string attendu = etat(p);
        defauts();
        k.avant(p);
        lit(beams + k.texte + "\r\n");
        EXPECT_EQ(etat(p), attendu);
    }

    // No beam line: every microphone unticked, and its beam, group and all
    // boxes and cells follow; "Tous Micros" keeps its state.
    defauts();
    lit("Type = int32\r\n");
    EXPECT_EQ(etat(p).find_first_not_of("0\n ", etat(p).find('\n')), std::string::npos) << etat(p);
    EXPECT_TRUE(c.checkBox_Tous.checked);
    lit("Faisceau_000  2  x  70000  -1  1,0  0  1  1\r\n"); // values that do not parse count as 0
    std::string v;
    for (const auto& b : c.grid[0])
        v += b.checked ? '1' : '0';
    EXPECT_EQ(v, "10010011");
    const char utf16[] = "\xFF\xFET\0y\0p\0e\0 \0=\0 \0f\0l\0o\0a\0t\0"; // with its byte-order mark
    lit(std::string(utf16, sizeof utf16 - 1));
    EXPECT_TRUE(c.radioButton_Float.checked);
}

TEST_F(Configuration, LinesOfTheWrongShapeAreSkipped)
{
    // Each beside a line that makes the file a configuration.
    const std::string type = "\r\nType = int32\r\n";
    lit(type);
    const std::string vide = etat(p);
    std::istringstream lignes("Faisceau_0\nFaisceau_200  1  1\nFaisceau_-01  1\nFaisceau_abc  1\nxFaisceau_000  1\n"
                              "Faisceau_000  1  1  1  1  1  1  1  1  1\nBloc_A =   1  1  1  1  1  1  1  1  1\n"
                              "Compteurs =   1  1  1  1  1  1  1  1  1\nTrig =\nType =\n"
                              "Enregistrement = 2\nFichier sans egal\nFichier d'acquisition (sans extension) =    \n"
                              "Frequence = 0 Hz\nFrequence = 1e-320\nFrequence = 1e999\nFrequence = nan\n"
                              "Frequence = inf\nFrequence = 50.000 Hz\nDuree = -5  s\nDuree = +\n"
                              "Type = Float32\n[Frequence = 2000 Hz]\n% Duree = 0");
    for (std::string l; std::getline(lignes, l);) {
        SCOPED_TRACE(l);
        defauts();
        lit(l + type);
        EXPECT_EQ(etat(p), vide);
    }
    double d = 0;
    int i = 0;
    EXPECT_TRUE(lit_nombre(Conventions::english(), "1,234.5", d) && d == 1234.5);
    EXPECT_TRUE(lit_entier16("-32768", i) && i == -32768);
    EXPECT_FALSE(lit_entier16("32768", i) || lit_entier16("+", i) || lit_entier16("1,0", i));
}

TEST_F(Configuration, RandomAndTruncatedLinesNeverStopTheReader)
{
    ASSERT_EQ(ecrit_config(p, dir.file("base.txt")), 0);
    std::vector<std::string> base;
    std::istringstream in(read_text(dir.file("base.txt")));
    for (std::string l; std::getline(in, l);)
        base.push_back(l);
    std::vector<std::string> mots; // the nine keys first
    std::istringstream vocabulaire("Frequence|Duree|Faisceau_|Bloc|Compteurs|Trig|Type|Enregistrement|Fichier|"
                                   "Faisceau_127|Bloc_A|Trig1|Soft|Etat_bas|float|=|\\|/| |0|1|-1|32768|1e308|"
                                   "0,0|,|\u00A0|nan|\xFF|\xC3|\r|[|%");
    for (std::string m; std::getline(vocabulaire, m, '|');)
        mots.push_back(m);
    std::mt19937 gen(20261207);
    auto tire = [&](size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(gen); };
    for (int fichier = 0; fichier < 90; ++fichier) {
        std::string texte;
        for (int n = 0; n < 120; ++n) { // 10 800 lines in all
            const std::string& b = base[tire(base.size())];
            std::string l;
            switch (tire(4)) {
            case 0:
                l = b.substr(0, tire(b.size() + 1));
                break;
            case 1:
                for (size_t k = tire(12); k > 0; --k)
                    l += mots[tire(mots.size())] + (tire(2) ? " " : "");
                break;
            case 2:
                for (size_t k = tire(40); k > 0; --k) // no NUL: that refuses the whole file
                    l += static_cast<char>(tire(255) + 1);
                break;
            default:
                l = mots[tire(9)] + b.substr(std::min(tire(12), b.size()));
                break;
            }
            texte += l + (tire(3) ? "\r\n" : "\n");
        }
        // A piece cut short may hold no key and be refused.
        std::ofstream(dir.file("lu.txt"), std::ios::binary)
            << texte.substr(0, tire(4) ? texte.size() : tire(texte.size() + 1));
        lit_config(p, dir.file("lu.txt"));
        ASSERT_LT(unsigned(c.listBox_Freq.top_index), unsigned(NB_FREQ));
        ASSERT_TRUE(c.numericUpDown_Duree.value >= 0 && c.numericUpDown_Duree.value <= c.numericUpDown_Duree.maximum);
        ASSERT_EQ(c.radioButton_Start_Soft.checked + c.radioButton_Start_Trig1.checked +
                      c.radioButton_Start_Trig2.checked + c.radioButton_Start_FM.checked +
                      c.radioButton_Start_FD.checked + c.radioButton_Start_EH.checked + c.radioButton_Start_EB.checked,
                  2);
        for (int f = 0; f < 128; ++f) { // boxes, header bytes and cells agree
            bool tous = true;
            for (int j = 0; j < 8; ++j) {
                bool on = c.grid[f][j].checked;
                ASSERT_TRUE(p.header_file.micros_actifs[f][j] == on && (c.grid_n[f][j] == DeepPink) == on);
                tous = tous && on;
            }
            ASSERT_EQ(c.faisceaux_T[f].checked, tous);
        }
    }
}

// The value alone, no controls: every setting the writer puts in the file
// reads back, whatever the trigger, condition and sample type.
TEST(ConfigurationValeur, WrittenValuesReadBackOverNothing)
{
    const Conventions conv = Conventions::french();
    Journal journal;
    journal.conv = conv;
    for (int k = 0; k < 4; ++k) {
        ::Configuration v;
        v.ligne_freq = 4 * k + 3;
        v.duree_definie = true;
        v.duree = 1234.5;
        v.duree_max = duree_max_de(frequence_de_division(FREQ[v.ligne_freq])); // as the reader widens it
        v.declenchement = k % 2 ? Declenchement::Trig2 : Declenchement::Trig1;
        v.condition = static_cast<Condition>(k);
        v.type = k % 2 ? TypeEchantillons::Float32 : TypeEchantillons::Int32;
        v.enregistrement = v.nom_automatique = true;
        v.dossier = std::string("d:") + SEPARATEUR + "Mesures" + SEPARATEUR;
        v.nom = "Essai " + std::to_string(k);
        v.selection.micros[k][7 - k] = v.selection.micros[127][k] = true;
        v.selection.va[5 * k] = v.selection.compteurs[k] = true;
        const std::string texte = texte_config(v, conv);
        ::Configuration lu;
        lu.duree_definie = true; // a read never ticks it
        lit_texte_config(texte, "c.txt", journal, lu);
        EXPECT_TRUE(lu == v) << texte.substr(0, 300);
        EXPECT_EQ(texte_config(lu, conv), texte);
    }
}

// A file reads the same whatever the conventions it was written and is read
// under; a value that does not read, or is out of range, keeps its setting
// and is reported with its line.
TEST(ConfigurationValeur, NumbersUnderAnyConventions)
{
    const Conventions conventions[] = {
        Conventions::french(), Conventions::english(), {",", "."}, {".", "\u2019"}, {",", " "}, {",", "\u202F"}};
    for (const Conventions& ecrit : conventions)
        for (const Conventions& lu : conventions)
            for (double duree : {1.5, 1234.5, 1500.0, 1234567.8}) {
                ::Configuration v;
                v.ligne_freq = 12;
                v.duree_definie = true;
                v.duree = duree;
                v.duree_max = 1e7;
                const std::string texte = texte_config(v, ecrit);
                ::Configuration r = v;
                r.ligne_freq = r.duree = 0;
                Journal journal;
                journal.conv = lu;
                lit_texte_config(texte, "c.txt", journal, r);
                EXPECT_EQ(r.duree, duree) << texte.substr(0, 140) << "read with " << lu.decimal << lu.grouping;
                EXPECT_EQ(r.ligne_freq, 12);
            }

    // By hand, over row 4 and 7 s; a refused value is quoted in its message.
    struct Cas {
        const char* ligne;
        double francais, anglais;
        const char* refus;
    };
    const Cas cas[] = {
        {"Duree = 1.5  s", 1.5, 1.5, nullptr},
        {"Duree = 1,5  s", 1.5, 1.5, nullptr},
        {"Duree = 1 234,5  s", 1234.5, 1234.5, nullptr},
        {"Duree = 1.234,5", 1234.5, 1234.5, nullptr},
        {"Duree = 1,500  s", 1.5, 1500, nullptr}, // a lone separator before three digits: the reader's own use
        {"Duree = -5  s", 7, 7, "-5"},
        {"Duree = nan  s", 7, 7, "nan"},
        {"Duree = inf", 7, 7, "inf"},
        {"Duree = 12,34.5  s", 7, 7, "12,34.5"},
        {"Frequence = 50 000 Hz", 0, 0, nullptr},
        {"Frequence = 12,500 Hz", 4, 9, "12,500"},
        {"Frequence = 0 Hz", 4, 4, "0"},
        {"Frequence = -50000 Hz", 4, 4, "-50000"},
        {"Frequence = nan Hz", 4, 4, "nan"},
    };
    for (const Cas& k : cas)
        for (const Conventions& conv : {Conventions::french(), Conventions::english()}) {
            SCOPED_TRACE(k.ligne + (" read with " + conv.decimal));
            ::Configuration r;
            r.ligne_freq = 4;
            r.duree = 7;
            r.duree_max = 1e7;
            std::string messages;
            Journal journal{conv, false, [&](const std::string& t, int) { messages += t; }};
            ASSERT_NE(lit_texte_config("Type = int32\r\n" + std::string(k.ligne), "c.txt", journal, r), 0u);
            const bool frequence = k.ligne[0] == 'F';
            const double attendu = conv.decimal == "," ? k.francais : k.anglais;
            EXPECT_EQ(frequence ? r.ligne_freq : r.duree, attendu);
            const bool refuse = k.refus && attendu == (frequence ? 4 : 7);
            EXPECT_EQ(messages.find(std::string("c.txt, ligne 2 : ") + (frequence ? "fréquence" : "durée") + " « " +
                                    (k.refus ? k.refus : "") + " » refusée"),
                      refuse ? 0 : std::string::npos)
                << messages;
        }
}

TEST_F(Configuration, FileLargerThanAnyConfigurationChangesNothing)
{
    const std::string avant = etat(p);
    std::string texte = "Trig = Trig2 Etat_bas\r\nDuree = 0\r\n";
    texte.resize(TAILLE_MAX_CONFIG + 1, ' ');
    std::ofstream(dir.file("grand.dat"), std::ios::binary) << texte;
    EXPECT_EQ(lit_config(p, dir.file("grand.dat")), -1);
    EXPECT_EQ(etat(p), avant);
    EXPECT_EQ(p.pane.text, "Le fichier " + dir.file("grand.dat") +
                               " n'est pas un fichier de configuration (plus de 1\u00A0048\u00A0576 octets) : rien "
                               "n'est changé.\r\n");
    texte.resize(TAILLE_MAX_CONFIG); // the largest taken
    std::ofstream(dir.file("grand.dat"), std::ios::binary) << texte;
    EXPECT_EQ(lit_config(p, dir.file("grand.dat")), 0);
    EXPECT_TRUE(c.radioButton_Start_EB.checked);
}

// Empty, binary or keyless: not a configuration, refused whole before any
// control changes (the microphones above all).
TEST_F(Configuration, WhatIsNotAConfigurationChangesNothing)
{
    c.listBox_Freq.top_index = 4;
    c.grid[3][3].checked = false;
    const std::string avant = etat(p);
    const std::string f = dir.file("lu.txt");
    const char binaire[] = "\x00\x01Trig = Trig2 Etat_bas\r\n\x00";
    for (const std::string& texte :
         {std::string(), std::string(binaire, sizeof binaire - 1),
          std::string("Bonjour\r\nNb_faisceaux = 128\r\n[Micros actifs]\r\n"), std::string(128, '\xFF')}) {
        std::ofstream(f, std::ios::binary) << texte;
        p.pane.text.clear();
        EXPECT_EQ(lit_config(p, f), -1);
        EXPECT_EQ(etat(p), avant);
        EXPECT_EQ(p.pane.text, "Le fichier " + f + " n'est pas un fichier de configuration : rien n'est changé.\r\n");
    }
    ::Configuration cfg; // the repair tool's reading
    std::string erreur;
    EXPECT_EQ(lit_fichier_config(f, p.journal.conv, cfg, erreur), -1);
    EXPECT_EQ(erreur, "Le fichier " + f + " n'est pas un fichier de configuration : rien n'est changé.");

    // A value refused keeps its control; the rest of the file is read.
    p.pane.text.clear();
    lit("Frequence = 0 Hz\r\nDuree = -2,5  s\r\nType = float32\r\n");
    EXPECT_EQ(c.listBox_Freq.top_index, 4);
    EXPECT_EQ(c.numericUpDown_Duree.value, 5);
    EXPECT_TRUE(c.radioButton_Float.checked);
    EXPECT_EQ(p.pane.text, f + ", ligne 1 : fréquence « 0 » refusée, la fréquence reste 35714 Hz.\r\n" + f +
                               ", ligne 2 : durée « -2,5 » refusée, la durée reste 5,0 s.\r\n");
}

TEST_F(Configuration, UnusableFilesAndTheTwoButtons)
{
    c.grid[4][4].checked = false;
    c.textBox_Rep.text = dossier_initial() + "Mesures";
    const std::string avant = etat(p);
    std::filesystem::create_directory(dir.file("dossier.txt"));
    for (const std::string& nom : {dir.file("absent/c.txt"), dir.file("dossier.txt")}) {
        p.pane.text.clear();
        EXPECT_EQ(lit_config(p, nom), -1);
        EXPECT_EQ(etat(p), avant);
        EXPECT_NE(p.pane.text.find("fichier de configuration " + nom + " : "), std::string::npos) << p.pane.text;
    }
    // The writer still does what the run relies on.
    p.pane.text.clear();
    EXPECT_EQ(ecrit_config(p, dir.file("absent/c.txt")), -1);
    EXPECT_EQ(p.pane.text.find("Impossible de créer le fichier de configuration " + dir.file("absent/c.txt")), 0u);
    EXPECT_EQ(p.acqui_name, dossier_initial() + "Mesures" + SEPARATEUR + "Test");
    EXPECT_EQ(p.header_file.micros_actifs[4][4], 0);

    button_Sauv_Config_Click(p); // both cancelled
    button_Lit_Config_Click(p);
    EXPECT_EQ(op.shown[0].text, "configuration|*.txt");
    EXPECT_EQ(op.shown[1].text, "configuration |*.txt");
    EXPECT_TRUE(std::filesystem::is_empty(dir.file("dossier.txt")));
}

} // namespace
