#include "app/model/passage_run.h"

#include "app/model/affiche_niveaux.h"
#include "app/model/enable.h"
#include "app/model/grille.h"
#include "app/model/principale.h"

void PassageRun::message(const std::string& text, int flag)
{
    std::lock_guard<std::mutex> l(m_);
    file_.push_back({Evenement::MESSAGE, text, flag});
}

void PassageRun::pompe()
{
    // Synchronous: the reports are applied, and the operator's clicks reach
    // the run, between two waits.
    if (!differe) {
        releve();
        p_.op.pump_events();
    }
}

void PassageRun::etape(Etape e)
{
    // On the run's thread: the run's own getters may be read here (p_.run
    // is set before the run's thread starts and reset after it is joined).
    const uint32_t paquets = e == PRETE && p_.run ? p_.run->n_pkt() : 0;
    std::lock_guard<std::mutex> l(m_);
    file_.push_back({Evenement::ETAPE, {}, 0, e, paquets});
}

void PassageRun::progression(uint32_t paquets)
{
    std::lock_guard<std::mutex> l(m_);
    paquets_ = paquets;
    progression_ = true;
}

void PassageRun::duree_ecoulee(uint32_t secondes)
{
    std::lock_guard<std::mutex> l(m_);
    s_ = secondes;
    secondes_ = true;
}

void PassageRun::niveaux(const std::array<int, 1024>& niveaux)
{
    // Only the latest levels matter: older ones not yet shown are replaced.
    std::lock_guard<std::mutex> l(m_);
    valeurs_ = niveaux;
    niveaux_ = true;
}

void PassageRun::termine()
{
    std::lock_guard<std::mutex> l(m_);
    fini_ = true;
}

void PassageRun::applique_niveaux(const std::array<int, 1024>& niveaux)
{
    // A-weighted, the levels come from the live analysis.
    if (p_.ponderation_a)
        return;
    for (int m = 0; m < 1024; ++m)
        if (niveaux[m] >= 0)
            p_.ctl.grid_n[m / 8][m % 8] = couleur_niveau(p_, niveau_calibre(p_, m, niveaux[m]));
}

void PassageRun::applique(const Evenement& e)
{
    Principale& p = p_;
    Controles& c = p.ctl;
    if (e.type == Evenement::MESSAGE) {
        p.pane.append(e.texte);
        if (e.flag == 1)
            p.op.message_box("Alerte : " + e.texte, "Erreur", Icon::Warning);
        return;
    }
    switch (e.etape) {
    case PRETE:
        p.run_prete = true;
        set_enabled(p, false, 10, true);
        if (definie) {
            c.panel_Progress.shown = true;
            c.progressBar_Progress.value = 0;
            c.progressBar_Progress.maximum = static_cast<int>(e.paquets);
            if (static_cast<double>(p.duree) > 59.9) {
                c.label_Duree_Ecoulee.shown = true;
                c.label_Duree_Ecoulee.text = "Durée écoulée : 0 s";
            }
        } else {
            c.label_Duree_Ecoulee.shown = true;
            c.label_Duree_Ecoulee.text = "Durée écoulée : 0 s";
        }
        if (declenchement)
            c.button_Abort.shown = true;
        break;
    case ATTENTE:
        p.phase_run = PHASE_ATTENTE;
        c.button_Stop.shown = false;
        c.button_Abort.shown = true;
        break;
    case DECLENCHEE:
        c.button_Abort.shown = false;
        break;
    case BOUCLE:
        p.phase_run = PHASE_BOUCLE;
        c.button_Stop.shown = true;
        c.panel_dB.shown = true;
        break;
    case STOPPEE:
        c.button_Stop.shown = false;
        c.button_Start.shown = true;
        break;
    case REFUSEE:
        set_enabled(p, true, 10, false);
        c.button_Abort.shown = false;
        c.button_Stop.shown = false;
        c.button_Start.shown = true;
        c.label_Duree_Ecoulee.shown = false;
        c.panel_Progress.shown = false;
        break;
    case ABANDONNEE:
        p.file_open = false;
        c.button_Abort.shown = false;
        set_enabled(p, true, 10, false);
        c.label_Duree_Ecoulee.shown = false;
        c.panel_Progress.shown = false;
        break;
    case FINIE:
        p.phase_run = PHASE_FIN;
        c.label_Duree_Ecoulee.shown = false;
        c.panel_Progress.shown = false;
        set_enabled(p, true, 10, false);
        c.button_Start.shown = true;
        c.button_Stop.shown = false;
        affiche_micros(p, false);
        c.panel_dB.shown = false;
        break;
    }
}

bool PassageRun::releve()
{
    std::vector<Evenement> file;
    bool progression = false, secondes = false, niveaux = false, fini = false;
    uint32_t paquets = 0, s = 0;
    std::array<int, 1024> valeurs;
    {
        std::lock_guard<std::mutex> l(m_);
        file.swap(file_);
        std::swap(progression, progression_);
        std::swap(secondes, secondes_);
        std::swap(niveaux, niveaux_);
        std::swap(fini, fini_);
        paquets = paquets_;
        s = s_;
        valeurs = valeurs_;
    }
    // An alert opens a modal box, which runs the window's events and may
    // come back here: each event is applied once, in order.
    // Levels first: they were computed before any step of this batch that
    // ends the run (which gives the cells their selection colours back).
    if (niveaux)
        applique_niveaux(valeurs);
    for (const Evenement& e : file)
        applique(e);
    if (progression)
        p_.ctl.progressBar_Progress.value = static_cast<int>(paquets);
    if (secondes)
        p_.ctl.label_Duree_Ecoulee.text = compose(p_.journal.conv, "Durée écoulée : {0:N0} s", {s});
    return fini;
}
