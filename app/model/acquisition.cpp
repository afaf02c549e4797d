#include "app/model/acquisition.h"
#include "app/model/passage_run.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <system_error>

#include "app/model/enable.h"
#include "app/model/init.h"
#include "app/model/principale.h"
#include "app/model/affiche_niveaux.h"
#include "app/model/config_controles.h"
#include "app/model/nommage_controles.h"
#include "app/model/choix_micros.h"
#include "app/model/grille.h"
#include "app/model/parametres.h"
#include "channels/canaux.h"
#include "device/bringup.h"
#include "device/commandes.h"
#include "device/parametres.h"
#include "files/chemins.h"
#include "files/configuration.h"
#include "files/lecture.h"
#include "files/nommage.h"

namespace fs = std::filesystem;

// ---------------------------------------------------------------------------
// Start

namespace {

bool fichier_existe(const std::string& path)
{
    std::error_code ec;
    return fs::exists(fs::u8path(path), ec);
}

// The operator's answers about the files, before anything starts; false
// when the run must not start.
bool questions_fichiers(Principale& p)
{
    if (p.ctl.checkBox_Nom_Fich.checked) {
        if (!dossier_existe(p.nom_dir)) {
            p.op.message_box("Le répertoire " + p.nom_dir + " n'existe pas ! ", "Le fichier existe déjà",
                             Icon::Exclamation);
            textBox_Racine_DoubleClick(p);
        }
        p.acqui_name = avec_separateur(p.nom_dir) + p.ctl.textBox_Nom_Fich.text + ".dat";
        if (fichier_existe(p.acqui_name) &&
            !p.op.ask_yes_no("Voulez-vous écraser " + p.acqui_name + " ? ", "Le fichier existe déjà", Icon::Question))
            return false;
        // The name is taken now, before the box is told anything: a run
        // already recording under it refuses this one here.
        p.call_verb("Nom du fichier d'acquisition : " + p.acqui_name + "\r\n");
        p.file_open = false;
        return p.fichiers.prepare(p.acqui_name, p.journal) == 0;
    }
    if (!p.file_open)
        button_Fichier_Click(p);
    if (!p.file_open) {
        p.call_verb("Pas de fichier choisi\r\n", 1);
        return false;
    }
    return true;
}

ParametresRun parametres_de(Principale& p)
{
    const Controles& c = p.ctl;
    ParametresRun r = parametres_de(configuration_de(c), p.journal.detail,
                                    static_cast<uint8_t>(std::lround(c.numericUpDown_Delay.value)));
    r.faisceaux[0] = r.faisceaux[1] = 0;
    for (int i = 0; i < 8; ++i) {
        if (c.grid_FV[i].checked)
            r.faisceaux[0] = static_cast<uint8_t>(r.faisceaux[0] | (1u << i));
        if (c.grid_FV[8 + i].checked)
            r.faisceaux[1] = static_cast<uint8_t>(r.faisceaux[1] | (1u << i));
    }
    r.duree = p.duree;
    r.acqui_name = p.acqui_name;
    r.header = p.header_file;
    r.commentaire = p.commentaire;
    return r;
}

// The window as the run leaves it, and what the model keeps of the run.
void fin_du_run(Principale& p)
{
    Run& run = *p.run;
    p.passage->releve();
    p.fin_run = run.fin();
    p.header_file = run.header();
    p.dernier = {run.num_pkt(), run.n_pkt(),           run.ntr(),           run.ntw(),
                 run.stoppe(),  run.erreur_compteur(), run.budget_paquets()};
    if (p.fin_run == FIN_REFUSEE && !p.run_prete) {
        p.enabled = p.enabled_avant_run;
        enable(p);
    }
    // The run took the files chosen by hand and released them, even when it
    // was refused: the next one needs a new choice.
    if (p.ctl.checkBox_Record.checked && !p.capture.demandee)
        p.file_open = false;
    if (p.capture.demandee)
        p.boitier.count_def = false;
    p.capture.demandee = false;
    p.prise.reset();
    if (p.passage->differe)
        p.journal.sortie = p.sortie_pane;
    p.run.reset();
    p.passage.reset();
    p.phase_run = PHASE_INACTIF;
    p.run_en_cours = false;
}

void refuse(Principale& p)
{
    p.capture.demandee = false;
    p.fin_run = FIN_REFUSEE;
    p.phase_run = PHASE_INACTIF;
    p.run_en_cours = false;
}

} // namespace

void button_Start_Click(Principale& p)
{
    if (p.run_en_cours)
        return;
    p.run_en_cours = true;
    p.phase_run = PHASE_PREPARATION;
    p.fin_run = FIN_REFUSEE;
    ecrit_config(p, p.config_en_cours);
    if (!p.boitier.initialisation) {
        init_synchrone(p);
        // A box that did not come up cannot run: Init has said why.
        if (!p.enabled[9])
            return refuse(p);
    }
    choix_micros(p, false);
    if (p.nb_voies == 0) {
        p.call_verb("Pas de voie choisie !\r\n", 1);
        return refuse(p);
    }
    const int ligne = p.ctl.listBox_Freq.top_index;
    if (ligne != p.boitier.num_freq && ligne >= 0 && ligne < NB_FREQ) {
        // The duration spinner follows the frequency the run will send.
        p.duree_max = duree_max_de(frequence_de_division(FREQ[ligne]));
        set_duree_maximum(p, static_cast<double>(p.duree_max));
    }
    p.duree = static_cast<float>(p.ctl.numericUpDown_Duree.value);
    const bool capture = p.capture.demandee;
    if (!capture && p.ctl.checkBox_Record.checked && !questions_fichiers(p))
        return refuse(p);

    p.enabled_avant_run = p.enabled;
    p.run_prete = false;
    set_enabled(p, false);
    p.passage = std::make_shared<PassageRun>(p);
    PassageRun& passage = *p.passage;
    passage.definie = p.ctl.checkBox_Definie.checked;
    passage.declenchement = !p.ctl.radioButton_Start_Soft.checked;
    ParametresRun params = parametres_de(p);
    if (capture) {
        params.enregistre = false;
        params.octet_start = 0;
        params.definie = p.capture.duree > 0;
        if (params.definie)
            params.duree = static_cast<float>(std::min<double>(p.capture.duree, p.duree_max));
        passage.definie = params.definie;
        passage.declenchement = false;
        // The box is given the capture's sample count, and the spinner's again
        // at the next run.
        p.boitier.count_def = false;
    }
    p.trames_run.codes = disposition_de(params.header, selection_des_cases(p.ctl).etat).codes;
    p.trames_run.flottant = params.flottant;
    p.trames_run.frequence = frequence_de_division(FREQ[std::clamp(params.ligne_freq, 0, NB_FREQ - 1)]);
    p.prise = p.direct.commence(p.trames_run.codes, p.trames_run.flottant, p.trames_run.frequence);
    if (p.prise)
        passage.robinet.attache(p.prise.get());
    // With automatic naming, the files questions_fichiers() took.
    FichiersRun fichiers = capture ? FichiersRun{} : std::move(p.fichiers);
    p.run = std::make_unique<Run>(p.boitier, std::move(params), std::move(fichiers), passage, p.disque);
    Run& run = *p.run;
    // Closed while a question was asked: the run stops once started.
    if (p.fermeture_demandee)
        run.demande_fermeture();

    if (!p.run_sur_fil) {
        run.execute();
        if (PriseTrames* q = passage.robinet.ferme())
            p.direct.termine(*q);
        fin_du_run(p);
        return;
    }
    passage.differe = true;
    p.sortie_pane = p.journal.sortie;
    p.journal.sortie = [&passage](const std::string& text, int flag) { passage.message(text, flag); };
    p.fil_run = std::thread([&run, &passage, &p] {
        run.execute();
        // The analysis takes its last frames here, off the window's thread.
        if (PriseTrames* q = passage.robinet.ferme())
            p.direct.termine(*q);
        passage.termine();
    });
}

void capture_sans_fichier(Principale& p, double duree)
{
    if (p.run_en_cours)
        return;
    p.capture.demandee = true;
    p.capture.duree = duree;
    button_Start_Click(p);
}

void attache_analyse(Principale& p)
{
    if (!p.run || !p.passage || p.prise || !p.direct.reglages().voulu())
        return;
    std::unique_ptr<PriseTrames> q =
        p.direct.commence(p.trames_run.codes, p.trames_run.flottant, p.trames_run.frequence);
    if (!q)
        return;
    if (p.passage->robinet.attache(q.get()))
        p.prise = std::move(q);
    else
        p.direct.termine(*q); // the run is ending
}

bool releve_run(Principale& p)
{
    if (!p.passage)
        return false;
    if (!p.passage->releve())
        return true;
    if (p.fil_run.joinable())
        p.fil_run.join();
    if (p.run) {
        fin_du_run(p);
        return false;
    }
    // Init has ended.
    p.journal.sortie = p.sortie_pane;
    p.passage.reset();
    p.run_en_cours = false;
    fin_init(p, p.resultat_init);
    return false;
}

void button_Stop_Click(Principale& p)
{
    // Outside the main loop (a click still queued when it has ended) there
    // is nothing to stop.
    if (!p.run || p.run->phase() != PHASE_BOUCLE)
        return;
    p.ctl.button_Stop.shown = false;
    p.ctl.button_Start.shown = true;
    p.run->demande_stop();
}

void button_Abort_Click(Principale& p)
{
    p.ctl.button_Abort.shown = false;
    if (p.run)
        p.run->demande_abandon();
}

bool demande_fermeture(Principale& p)
{
    if (p.run_en_cours) {
        p.fermeture_demandee = true;
        if (p.run)
            p.run->demande_fermeture();
        return false;
    }
    fermeture(p);
    return true;
}

void fermeture(Principale& p)
{
    // Files chosen for a run that never came are left as they were before.
    if (p.file_open)
        ferme_fichiers(p);
    ferme_liaison(p.boitier);
}
