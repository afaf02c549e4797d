#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <set>

#include "analyse/acoustique.h"
#include "app/model/acquisition.h"
#include "app/model/choix_micros.h"
#include "app/model/construction.h"
#include "app/model/init.h"
#include "app/model/affiche_niveaux.h"
#include "app/model/instrument.h"
#include "app/model/principale.h"
#include "app/model/parametres.h"
#include "device/parametres.h"
#include "simulator/microphones.h"
#include "support/rig.h"

namespace {

const std::string NBSP = "\xC2\xA0";

// The window's model over the simulated box with an array that is wrong in
// known ways, runs on the caller's thread.
struct Instrument : ::testing::Test {
    static sim::Options options()
    {
        sim::Options o = Rig::unpaced();
        o.keep_copy = false;
        sim::parse_faults("3:muet,17:sature,200:bruit,511:continu,700:fige", o.scene.faults);
        o.scene.sensitivity_spread_db = 1.5;
        return o;
    }
    Rig rig{options()};
    Principale& p = *rig.p;

    void SetUp() override
    {
        construction(p);
        p.ctl.textBox_Rep.text = rig.dir.path() + "/";
        button_Init_Click(p);
        ASSERT_TRUE(p.enabled[9]) << p.pane.text;
        rig.selection(1024, true);
        p.ctl.listBox_Freq.top_index = 7; // 25 000 Hz: the scene's tone far below the noise band
        p.analyse_ouverte = true;
    }
};

TEST_F(Instrument, le_diagnostic_signale_les_micros_en_defaut_et_les_deselectionne_sans_rien_enregistrer)
{
    p.ctl.checkBox_Record.checked = true;
    p.ctl.checkBox_Nom_Fich.checked = true;
    p.ctl.textBox_Nom_Fich.text = "Essai";
    diagnostic_micros(p);
    EXPECT_FALSE(p.run_en_cours);
    EXPECT_EQ(p.fin_run, FIN_COMPLETE) << p.pane.text;
    EXPECT_TRUE(rig.op.shown.empty()) << "no file question for a capture";
    EXPECT_FALSE(std::filesystem::exists(rig.dir.file("Essai.dat")));
    EXPECT_NE(p.pane.text.find("Durée : 1,0 s, nb échantillons : 25" + NBSP + "000"), std::string::npos) << p.pane.text;

    const ResultatsDirect r = p.direct.resultats();
    ASSERT_EQ(r.bilan.size(), 1024u);
    EXPECT_GT(r.trames_sante, 4000u);
    std::set<int> signales;
    for (const StatistiquesMicro& s : r.bilan)
        if (s.defauts)
            signales.insert(s.micro);
    EXPECT_EQ(signales, (std::set<int>{3, 17, 200, 511, 700}));

    marque_signales(p, r.bilan);
    EXPECT_TRUE(p.ctl.signales[511]);
    EXPECT_FALSE(p.ctl.signales[512]);
    EXPECT_EQ(deselectionne_signales(p, r.bilan), 5);
    EXPECT_FALSE(p.ctl.grid[700 / 8][700 % 8].checked);
    EXPECT_TRUE(p.ctl.grid[701 / 8][701 % 8].checked);
    EXPECT_EQ(p.nb_micros, 1019);
    // The operator's settings hold for the next run: its own duration, its file.
    EXPECT_TRUE(p.ctl.checkBox_Record.checked);
    set_duree(p, 2);
    button_Start_Click(p);
    EXPECT_EQ(p.fin_run, FIN_COMPLETE) << p.pane.text;
    EXPECT_NE(p.pane.text.find("Durée : 2,0 s, nb échantillons : 50" + NBSP + "000"), std::string::npos) << p.pane.text;
    EXPECT_TRUE(std::filesystem::exists(rig.dir.file("Essai.dat")));
}

TEST_F(Instrument, l_assistant_calibre_le_micro_du_calibreur_et_la_carte_des_niveaux_lit_des_db_spl)
{
    sim::Options o = rig.box.options();
    o.scene.calibrator = sim::Calibrator{300, 114.0};
    o.scene.tone_amplitude = 0; // a quiet room: the scene's tone is at 1 kHz
    rig.box.set_options(o);
    // Microphones 256 to 319: one packet holds the whole reading, which the
    // analysis takes whatever the pace.
    for (int m = 0; m < 1024; ++m)
        p.ctl.grid[m / 8][m % 8].checked = m >= 256 && m < 320;
    int pompes = 0;
    rig.op.on_pump = [this, &pompes] {
        const ResultatsDirect r = p.direct.resultats();
        if (!r.calibres.empty() || pompes > 2000)
            button_Stop_Click(p);
    };
    assistant_calibreur(p, 114);
    EXPECT_FALSE(p.run_en_cours);
    const ResultatsDirect r = p.direct.resultats();
    ASSERT_EQ(r.calibres.size(), 1u) << p.pane.text;
    ASSERT_EQ(r.calibres.begin()->first, 300);
    EXPECT_EQ(prend_calibres(p, r), 1);
    const double attendu = 1.0 / rig.box.sensitivity(300);
    EXPECT_NEAR(20 * std::log10(p.calibration.facteurs[300] / attendu), 0.0, 0.01);
    EXPECT_EQ(unite_niveaux(p), "dB SPL");
    EXPECT_EQ(p.ctl.label_dB_unite.text, "dB SPL");
    EXPECT_TRUE(p.ctl.label_dB_unite.shown);

    // The level map through the factor: a microphone 6 dB less sensitive
    // than nominal reads 6 dB more.
    p.calibration.facteurs[5] = 2.0 / SENSIBILITE_NOMINALE;
    EXPECT_EQ(niveau_calibre(p, 5, 60), 66);
    EXPECT_EQ(niveau_calibre(p, 5, 125), 127);
    oublie_calibration(p);
    EXPECT_EQ(niveau_calibre(p, 5, 60), 60);
    pondere_niveaux(p, true);
    EXPECT_EQ(p.ctl.label_dB_unite.text, "dB A");
    pondere_niveaux(p, false);
    EXPECT_EQ(p.ctl.label_dB_60.text, "60     dB");
    EXPECT_FALSE(p.ctl.label_dB_unite.shown);
}

TEST_F(Instrument, l_analyse_demandee_pendant_un_run_prend_ses_trames_jusqu_a_sa_fin)
{
    p.analyse_ouverte = false;
    regle_analyse(p);
    p.ctl.checkBox_Record.checked = false;
    p.ctl.checkBox_Definie.checked = false;
    int pompes = 0;
    rig.op.on_pump = [this, &pompes] {
        ++pompes;
        if (pompes == 3) {
            EXPECT_FALSE(p.direct.resultats().en_cours);
            p.analyse_ouverte = true;
            regle_analyse(p);
            EXPECT_TRUE(p.direct.resultats().en_cours);
        }
        if (p.direct.resultats().trames_sante > 0 || pompes > 5000)
            button_Stop_Click(p);
    };
    button_Start_Click(p);
    const ResultatsDirect r = p.direct.resultats();
    EXPECT_FALSE(r.en_cours);
    EXPECT_EQ(r.bilan.size(), 1024u);
    EXPECT_EQ(p.prise, nullptr);
}

} // namespace

#ifdef ONDARIS_FFTW
// "Écouter ce point…" after a run with the map: the WAV asked of the
// operator is written from the frames kept (their content is checked in
// the live analysis's own tests), its end said in the pane; a
// cancelled question starts nothing; a second job while one runs is
// refused in the pane.
TEST(InstrumentEcoute, LeSonDUnPointDeLaCarteApresLeRun)
{
    sim::Options o = Rig::unpaced();
    o.keep_copy = false;
    o.scene.points = {sim::PointSource{0.2, -0.1, 1.0, 3000, 94}};
    Rig rig{o};
    Principale& p = *rig.p;
    construction(p);
    p.ctl.textBox_Rep.text = rig.dir.path() + "/";
    button_Init_Click(p);
    ASSERT_TRUE(p.enabled[9]) << p.pane.text;
    rig.selection(1024, true);
    p.ctl.listBox_Freq.top_index = 7; // 25 000 Hz
    p.ctl.checkBox_Record.checked = false;
    p.ctl.checkBox_Definie.checked = false;
    ASSERT_EQ(charge_geometrie(p, ONDARIS_SOURCES "/data/geometrie-simulateur.xml"), 0) << p.pane.text;
    p.analyse_ouverte = true;
    p.carte_voulue = true;
    p.reglages_carte.bande = 3150;
    regle_analyse(p);
    int pompes = 0;
    rig.op.on_pump = [&] {
        if (p.direct.resultats().cartes > 0 || ++pompes > 20000)
            button_Stop_Click(p);
    };
    button_Start_Click(p);
    const ResultatsDirect r = p.direct.resultats();
    ASSERT_GT(r.cartes, 0u) << r.erreur_carte;

    rig.op.save_files.push_back("");
    EXPECT_EQ(ecoute_point(p, 0.2, -0.1, r.carte.grille.z), -1);
    EXPECT_EQ(p.direct.resultats().tache.numero, 0u);

    const std::string wav = rig.dir.file("point.wav");
    rig.op.save_files.push_back(wav);
    rig.op.save_files.push_back(rig.dir.file("autre.wav"));
    ASSERT_EQ(ecoute_point(p, 0.2, -0.1, r.carte.grille.z), 0);
    const bool refuse = ecoute_point(p, 0, 0, 1) == -1;
    p.direct.attend_tache();
    const ResultatTache t = p.direct.resultats().tache;
    ASSERT_TRUE(t.reussie) << t.message;
    dit_tache(p, t);
    EXPECT_NE(p.pane.text.find("Écoute du point (0.200, -0.100, 1.000) m"), std::string::npos) << p.pane.text;
    // The unpaced box outruns the analysis, which leaves packets out: the
    // frames kept are the latest unbroken stretch, however short.
    const auto echantillons = std::lround(t.duree * 25000);
    EXPECT_GT(echantillons, 0);
    EXPECT_EQ(std::filesystem::file_size(wav), 58u + 4u * uint64_t(echantillons));
    if (refuse) {
        EXPECT_NE(p.pane.text.find("Écoute refusée : une écoute ou une recherche de distance est déjà en cours"),
                  std::string::npos)
            << p.pane.text;
    }
}
#endif
