#include "tools/acq/console.h"
#include <chrono>
#include <cstdio>

#include "base/plateforme.h"
#include "ligne_commande/console.h"

namespace acq {

Console::Console(const Options& o) : o_(o), tty_(ONDARIS_ISATTY(ONDARIS_FILENO(stderr)) != 0) {}

void Console::message(const std::string& s, int flag)
{
    efface_progression();
    std::string t;
    t.reserve(s.size());
    for (char c : s)
        if (c != '\r')
            t += c;
    std::fputs(t.c_str(), stdout);
    std::fflush(stdout);
    if (flag == 1)
        boite("Alerte : " + s, "Erreur");
}

bool Console::ecraser(const std::string& chemin)
{
    boite("Voulez-vous écraser " + chemin + " ? " + (o_.ecraser ? " Oui (--ecraser)" : " Non (--ecraser pour écraser)"),
          "Le fichier existe déjà");
    return o_.ecraser;
}

void Console::progression(const std::string& texte)
{
    if (!ligne_active() || texte.empty())
        return;
    std::fprintf(stderr, "\r\033[K%s", texte.c_str());
    std::fflush(stderr);
    ligne_ = true;
}

void SuiviConsole::pompe()
{
    if (!run)
        return;
    const int n = demandes_fin();
    if (n != vues_) {
        if (run->phase() == PHASE_ATTENTE) {
            vues_ = n;
            run->demande_abandon();
        } else if (run->phase() == PHASE_BOUCLE) {
            vues_ = n;
            if (!run->stoppe())
                run->demande_stop();
            else
                run->demande_abandon();
        }
    }
    if (console_.ligne_active())
        console_.progression(texte());
}

void SuiviConsole::etape(Etape e)
{
    switch (e) {
    case PRETE:
        barre_ = definie;
        maximum_ = run ? run->n_pkt() : 0;
        ecoulee_ = !definie || static_cast<double>(duree) > 59.9;
        break;
    case ATTENTE:
        attente_ = true;
        break;
    case BOUCLE:
        attente_ = false;
        break;
    case REFUSEE:
    case ABANDONNEE:
    case FINIE:
        attente_ = barre_ = ecoulee_ = false;
        break;
    default:
        break;
    }
}

std::string SuiviConsole::texte() const
{
    if (attente_)
        return "En attente du déclenchement...";
    const std::string ecoulee = compose(conv_, "Durée écoulée : {0:N0} s", {secondes_});
    if (barre_ && maximum_ > 0) {
        const int pct = static_cast<int>(100.0 * paquets_ / maximum_);
        const int plein = pct * 30 / 100;
        std::string t =
            "[" + std::string(plein, '#') + std::string(30 - plein, ' ') + "] " + std::to_string(pct) + " %";
        return ecoulee_ ? t + "  " + ecoulee : t;
    }
    return ecoulee_ ? ecoulee + "  (Ctrl-C pour arrêter)" : std::string();
}

RelaisInterruptions::RelaisInterruptions(sim::SimulatedBox* box)
{
    if (!box)
        return;
    thread_ = std::thread([this, box] {
        int vues = 0;
        while (!fin_.load()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            const int n = demandes_fin();
            if (n == vues)
                continue;
            vues = n;
            sim::Faults f = box->faults();
            ++f.interrupted_events;
            box->set_faults(f);
        }
    });
}

RelaisInterruptions::~RelaisInterruptions()
{
    fin_.store(true);
    if (thread_.joinable())
        thread_.join();
}

} // namespace acq
