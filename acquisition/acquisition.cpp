#include "acquisition/acquisition.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "acquisition/anneau.h"
#include "acquisition/arret.h"
#include "app/model/enable.h"
#include "app/model/principale.h"
#include "channels/canaux.h"
#include "channels/grille.h"
#include "channels/niveaux.h"
#include "device/bringup.h"
#include "device/commandes.h"
#include "device/parametres.h"
#include "base/plateforme.h"
#include "files/chemins.h"
#include "app/model/config_controles.h"
#include "files/description.h"
#include "files/fichier_donnees.h"
#include "app/model/nommage_controles.h"

namespace fs = std::filesystem;

int calcule_timeout(int nb_voies, float frequence)
{
    int timeout = 2000;
    if (nb_voies <= 0 || !(frequence > 0))
        return timeout;
    double T = 32.0 * 1000.0 * std::floor(static_cast<double>(MOTS_PAQUET) / nb_voies) / frequence;
    if (T > 1000)
        timeout = static_cast<int>(T + 1000);
    return timeout;
}

uint8_t octet_start(const Principale& p)
{
    const Controles& c = p.ctl;
    if (c.radioButton_Start_Soft.checked)
        return 0;
    uint8_t octet = c.radioButton_Start_Trig2.checked ? 2 : 1;
    if (c.radioButton_Start_FD.checked)
        octet += 64;
    else if (c.radioButton_Start_EH.checked)
        octet += 128;
    else if (c.radioButton_Start_EB.checked)
        octet += 192;
    return octet;
}

bool budget_disque_atteint(const Principale& p)
{
    // Reached or passed: one event handling may complete several packets.
    return p.record && p.count == 0 &&
           static_cast<int64_t>(p.anneau.num_pkt) + MARGE_BUDGET_PAQUETS >= p.budget_paquets;
}

uint64_t espace_disponible(const std::string& path)
{
    // The volume of the data file's folder; 0 when the system cannot tell.
    std::string dossier = fs::u8path(path).parent_path().u8string();
    uint64_t octets = 0;
    return espace_libre(dossier, octets) ? octets : 0;
}

uint64_t espace_utilisable(const Principale& p, const std::string& path)
{
    uint64_t disponible = p.espace_disque ? p.espace_disque(path) : espace_disponible(path);
    return disponible > RESERVE_DISQUE ? disponible - RESERVE_DISQUE : 0;
}

namespace {

bool dossier_existe(const std::string& dir)
{
    std::error_code ec;
    return fs::is_directory(dir.empty() ? fs::path(".") : fs::u8path(dir), ec);
}

bool fichier_existe(const std::string& path)
{
    std::error_code ec;
    return fs::exists(fs::u8path(path), ec);
}

// Restores the window after a refusal that happened once the controls were
// set for the run.
void restaure_controles(Principale& p)
{
    set_enabled(p, true, 10, false);
    p.ctl.button_Abort.shown = false;
    p.ctl.button_Stop.shown = false;
    p.ctl.button_Start.shown = true;
    p.ctl.label_Duree_Ecoulee.shown = false;
    p.ctl.panel_Progress.shown = false;
}

// Names and opens the three files; false when the run must not start.
bool prepare_fichiers(Principale& p)
{
    if (p.fich_auto) {
        if (!dossier_existe(p.nom_dir)) {
            p.op.message_box("Le répertoire " + p.nom_dir + " n'existe pas ! ", "Le fichier existe déjà",
                             Icon::Exclamation);
            textBox_Racine_DoubleClick(p);
        }
        p.acqui_name = avec_separateur(p.nom_dir) + p.ctl.textBox_Nom_Fich.text + ".dat";
        if (fichier_existe(p.acqui_name) &&
            !p.op.ask_yes_no("Voulez-vous écraser " + p.acqui_name + " ? ", "Le fichier existe déjà",
                             Icon::Question))
            return false;
        p.call_verb("Nom du fichier d'acquisition : " + p.acqui_name + "\r\n");
        // A folder still missing, or one that cannot be written, stops the
        // run here: nothing would be recorded.
        if (ouvre_fichiers(p) != 0)
            return false;
    } else {
        if (!p.file_open)
            button_Fichier_Click(p);
        if (!p.file_open) {
            p.call_verb("Pas de fichier choisi\r\n", 1);
            return false;
        }
    }
    return true;
}

// Preparation up to the Start command; false when the run is refused.
bool preparation(Principale& p)
{
    Anneau& a = p.anneau;
    ecrit_config(p, p.config_en_cours);
    a.fini = false;
    p.aborted = false;
    if (!p.initialisation) {
        button_Init_Click(p);
        // A box that did not come up cannot run: Init has said why.
        if (!p.enabled[9])
            return false;
    }
    a.a_ecrire.fill(0);
    choix_micros(p, true);
    if (p.nb_voies == 0) {
        p.call_verb("Pas de voie choisie !\r\n", 1);
        return false;
    }
    uint8_t m0 = 0, m1 = 0;
    for (int i = 0; i < 8; ++i) {
        if (p.ctl.grid_FV[i].checked)
            m0 = static_cast<uint8_t>(m0 | (1u << i));
        if (p.ctl.grid_FV[8 + i].checked)
            m1 = static_cast<uint8_t>(m1 | (1u << i));
    }
    envoie(p, CMD_FAISCEAUX, {m0, m1});
    calcule_increments(p);
    p.verb("\r\nNb_voies (micros+VA+compteur) : {0:G}\r\n", {p.nb_voies});
    if (p.ctl.listBox_Freq.top_index != p.num_freq)
        listBox_Freq_Click(p);
    if (!p.count_def)
        calcul_count(p);
    const bool definie = p.ctl.checkBox_Definie.checked;
    if (definie)
        p.verb("Durée : {0:N1} s, nb échantillons : {1:N0}\r\n", {p.duree, p.count});
    else
        p.call_verb("Durée non définie\r\n");
    const uint64_t B = 4ull * static_cast<uint64_t>(p.nb_voies) * p.count;
    p.octets_demandes = B;

    uint64_t U = 0;
    if (p.record) {
        if (!prepare_fichiers(p))
            return false;
        U = espace_utilisable(p, p.acqui_name);
        const float secondes = static_cast<float>(U) / (4.0f * static_cast<float>(p.nb_voies) * p.frequence);
        // An open-ended recording without room for more than its stop
        // margin would stop at its first pass, after starting the box.
        const bool sans_place = p.count != 0 ? B > U
                                             : static_cast<int64_t>(U / TAILLE_PAQUET) - 1 <= MARGE_BUDGET_PAQUETS;
        if (sans_place) {
            p.call_verb("Pas suffisamment de place sur le disque !\r\n", 1);
            p.verb("{0:N0} Go disponibles sur le disque, soit {1:N1} s\r\n",
                   {U / 1073741824ull, secondes});
            return false;
        }
        if (p.count == 0)
            p.verb("{0:N0} Go disponibles sur le disque, soit {1:N1} s\r\n",
                   {U / 1073741824ull, secondes});
    }

    const bool flottant = p.ctl.radioButton_Float.checked;
    envoie(p, CMD_SAMPLE_TYPE, {static_cast<uint8_t>(flottant ? 1 : 0)});
    p.header_file.type_float = flottant ? 1 : 0;

    set_enabled(p, false, 10, true);

    // What the disk can take; read by the stop of a recording without a
    // sample count (open-ended, or a defined duration of 0).
    p.budget_paquets = static_cast<int64_t>(U / TAILLE_PAQUET) - 1;
    if (definie) {
        p.ctl.panel_Progress.shown = true;
        p.ctl.progressBar_Progress.value = 0;
        p.n_pkt = static_cast<uint32_t>(B / TAILLE_PAQUET + (B % TAILLE_PAQUET ? 1 : 0));
        if (p.journal.detail) {
            if (B % TAILLE_PAQUET)
                p.verb("{0:N0} octets, soit {1:N0} paquets de {2:N0} octets et un paquet de {3:N0} octets\r\n",
                       {B, p.n_pkt - 1, TAILLE_PAQUET, B % TAILLE_PAQUET});
            else
                p.verb("{0:N0} octets, soit {1:N0} paquets de {2:N0} octets\r\n", {B, p.n_pkt, TAILLE_PAQUET});
        }
        p.ctl.progressBar_Progress.maximum = static_cast<int>(p.n_pkt);
        if (static_cast<double>(p.duree) > 59.9) {
            p.ctl.label_Duree_Ecoulee.shown = true;
            p.ctl.label_Duree_Ecoulee.text = "Durée écoulée : 0 s";
        }
    } else {
        if (p.journal.detail)
            p.verb("Nombre d'échantillons non fixé ; paquets de {0:N0} octets\r\n", {TAILLE_PAQUET});
        p.n_pkt = static_cast<uint32_t>(U / TAILLE_PAQUET - 1);
        p.ctl.label_Duree_Ecoulee.shown = true;
        p.ctl.label_Duree_Ecoulee.text = "Durée écoulée : 0 s";
    }

    p.TimeOut = calcule_timeout(p.nb_voies, p.frequence);
    if (p.journal.detail)
        p.verb("TimeOut = {0:N0} ms\r\n", {p.TimeOut});
    p.attente_declenchement = false;
    if (!p.ctl.radioButton_Start_Soft.checked) {
        p.TimeOut += static_cast<int>(ATTENTE_DECLENCHEMENT_MS);
        if (p.journal.detail)
            p.call_verb("En attente de déclenchement externe, le TimeOut est ajusté. \r\n");
        p.verb("Le déclenchement doit intervenir avant {0:G} s \r\n", {30});
        p.attente_declenchement = true;
        p.ctl.button_Abort.shown = true;
    }

    if (alloue_anneau(p, static_cast<unsigned>(p.TimeOut), true) != 0) {
        if (p.record)
            ferme_fichiers(p);
        restaure_controles(p);
        return false;
    }
    const uint8_t start = octet_start(p);
    soumet_anneau(p);
    if (transferts_en_vol(p) == 0) {
        // Nothing could be queued: starting the box would stream into the void.
        p.call_verb("Aucun transfert n'a pu être lancé : acquisition annulée.\r\n");
        libere_anneau(p);
        if (p.record)
            ferme_fichiers(p);
        restaure_controles(p);
        return false;
    }
    const DateHeure d = p.clock.now();
    p.header_file.date_heure = {d.year, d.month, d.day_of_week, d.day, d.hour, d.minute, d.second, d.milliseconds};
    envoie(p, CMD_START, {start});
    return true;
}

// Watches byte 8 of the queued buffers. Completed transfers are handled
// too, since a USB stack may deliver bytes only then: the first completion
// counts as the trigger. Each turn waits at most ATTENTE_EVENEMENTS_MS for
// them, so the wait neither spins nor keeps the window from Abort. False
// when the wait was given up.
bool attente_declenchement(Principale& p)
{
    Anneau& a = p.anneau;
    std::array<unsigned char, NB_TRANSFERTS> reference{};
    for (int i = 0; i < NB_TRANSFERTS; ++i)
        reference[i] = a.buffers[i][8];
    const uint32_t debut = p.clock.tick_ms();
    p.ctl.button_Stop.shown = false;
    p.ctl.button_Abort.shown = true;
    while (!p.aborted && p.attente_declenchement) {
        if (p.fermeture_demandee) // the window was closed while the run was prepared
            button_Abort_Click(p);
        else if (static_cast<uint32_t>(p.clock.tick_ms() - debut) > ATTENTE_DECLENCHEMENT_MS) {
            p.call_verb("Temps d'attente dépassé...    ");
            button_Abort_Click(p);
        }
        p.op.pump_events();
        for (int i = 0; i < NB_TRANSFERTS; ++i)
            if (a.buffers[i][8] != reference[i])
                p.attente_declenchement = false;
        if (!p.aborted && p.attente_declenchement) {
            traite_evenements(p);
            if (a.num_pkt > 0 || transferts_en_vol(p) == 0)
                p.attente_declenchement = false;
        }
        if (p.aborted) {
            abandon(p);
            return false;
        }
    }
    p.TimeOut = calcule_timeout(p.nb_voies, p.frequence);
    p.ctl.button_Abort.shown = false;
    return true;
}

// Abort during the main loop: the box was told to stop and did not end the
// stream. The loop is left; the end of run writes what the files hold and
// cancels the ring. False when Stop has not been tried yet.
bool abandon_boucle(Principale& p)
{
    if (!p.stopped) {
        p.aborted = false;
        button_Stop_Click(p);
        return false;
    }
    p.call_verb("\r\nAcquisition abandonnée : le boîtier n'a pas terminé le flux après Stop.\r\n");
    return true;
}

// Main loop; returns the last event-handling result. A pass waits at most
// ATTENTE_EVENEMENTS_MS for the library's events, so the window is pumped
// that often whatever the packet duration (10.5 s with 8 words per frame);
// progress and levels change only when a packet has come.
int boucle_principale(Principale& p, uint32_t& t0)
{
    Anneau& a = p.anneau;
    p.ctl.button_Stop.shown = true;
    p.ctl.panel_dB.shown = true;
    a.erreur_compteur = false;
    p.stopped = false;
    if (p.journal.detail)
        p.call_verb("Paquet : \r\n");
    t0 = p.clock.tick_ms();
    int rc = 0;
    uint32_t paquets_vus = a.num_pkt;
    while (rc == 0) {
        p.op.pump_events();
        if (p.aborted && abandon_boucle(p))
            break;
        if (p.fermeture_demandee && !p.stopped)
            button_Stop_Click(p);
        if ((a.erreur_compteur || a.erreur_ecriture) && !p.stopped)
            button_Stop_Click(p);
        if (budget_disque_atteint(p) && !p.stopped)
            button_Stop_Click(p);
        rc = traite_evenements(p);
        if (rc != 0 || a.fin_en_cours) {
            if (a.fin_en_cours) {
                if (p.journal.detail)
                    p.call_verb("\r\nBoucle principale : Fin en cours \r\n");
            } else {
                p.call_verb("\r\nERREUR \r\n");
            }
            break;
        }
        if (transferts_en_vol(p) == 0) {
            // Every slot has failed: nothing will arrive any more.
            p.call_verb("\r\nPlus aucun transfert en cours : acquisition interrompue.\r\n");
            break;
        }
        p.ctl.label_Duree_Ecoulee.text =
            compose(p.journal.conv, "Durée écoulée : {0:N0} s", {(p.clock.tick_ms() - t0) / 1000u});
        if (a.num_pkt == paquets_vus)
            continue;
        paquets_vus = a.num_pkt;
        if (a.num_pkt <= p.n_pkt && p.count != 0)
            p.ctl.progressBar_Progress.value = static_cast<int>(a.num_pkt);
        rafraichit_niveaux(p);
    }
    return rc;
}

// Closes the data file. When a write or the close failed, the bytes that
// reached the disk are taken from the file itself: the header and the
// description then describe exactly what it holds.
void ferme_donnees(Principale& p)
{
    Anneau& a = p.anneau;
    if (!p.Filep)
        return;
    errno = 0;
    if (std::fclose(p.Filep) != 0) {
        const int err = errno;
        p.call_verb("Erreur à la fermeture du fichier de données " + p.acqui_name + " : " +
                    (err ? std::strerror(err) : "cause inconnue") + "\r\n");
        a.erreur_ecriture = true;
    }
    p.Filep = nullptr;
    if (a.erreur_ecriture) {
        std::error_code ec;
        const std::uintmax_t taille = fs::file_size(fs::u8path(p.acqui_name), ec);
        if (!ec)
            a.ntw = taille;
    }
}

void fin_de_run(Principale& p, int rc, uint32_t t0)
{
    Anneau& a = p.anneau;
    const uint32_t t1 = p.clock.tick_ms();
    const uint64_t B = p.octets_demandes;
    if (p.journal.detail) {
        if (p.record && p.count != 0)
            p.verb("\r\nTransfert total : {0:N0} octets demandés,  {1:N0} octets acquis, {2:N0} octets écrits\r\n",
                   {B, a.ntr, a.ntw});
        else if (p.record)
            p.verb("\r\nTransfert total : {0:N0} octets acquis, {1:N0} écrits\r\n", {a.ntr, a.ntw});
        else if (p.count != 0)
            p.verb("\r\nTransfert total : {0:N0} octets demandés {1:N0} octets acquis\r\n", {B, a.ntr});
        else
            p.verb("\r\nTransfert total : {0:N0} octets acquis\r\n", {a.ntr});
    }
    p.verb("Fin du transfert : {0:N1} Mo en {1:N1} s",
           {static_cast<double>(a.ntr / 1024) / 1024.0, static_cast<double>(static_cast<uint32_t>(t1 - t0)) / 1000.0});
    if (!p.stopped)
        p.call_verb("\r\n");
    else
        p.verb(" soit {0:N0} échantillons\r\n", {a.ntr / (4ull * static_cast<uint64_t>(p.nb_voies))});
    if (p.count != 0 && B != a.ntr && !p.stopped)
        p.verb("Manquent {0:G} octets dans l'acquisition !\r\n", {static_cast<long long>(B - a.ntr)});
    p.ctl.label_Duree_Ecoulee.shown = false;
    p.ctl.panel_Progress.shown = false;

    if (p.record)
        ferme_donnees(p);
    p.header_file.nb_ech = nb_ech_de(a.ntw, p.nb_voies);
    p.header_file.duree_acq = duree_de(p.header_file.nb_ech, p.frequence);
    if (p.record) {
        if (a.erreur_ecriture)
            p.verb("Le fichier de données contient {0:N0} octets, soit {1:N0} échantillons.\r\n",
                   {a.ntw, p.header_file.nb_ech});
        ecrit_log(p);
        ferme_fichiers(p);
    }

    // After an abandon nothing more will come: the ring is cancelled below.
    if (!a.fini && !p.aborted) {
        if (p.journal.detail) {
            p.call_verb("Satus : ");
            for (int i = 0; i < NB_TRANSFERTS; ++i)
                p.verb("{0:G} ", {a.dernier_status[i]});
            p.call_verb("\r\n");
        }
        const double par_paquet = std::floor(static_cast<double>(TAILLE_PAQUET) / (4.0 * p.nb_voies));
        const uint32_t P = static_cast<uint32_t>(par_paquet / (static_cast<double>(p.frequence) / 1000.0));
        const uint32_t debut = p.clock.tick_ms();
        while (rc == 0 && transferts_en_vol(p) > 0) {
            if (p.journal.detail)
                p.verb("Début boucle de fin correspondant au 'paquet' {0:G}  \r\n", {a.num_pkt});
            // As one blocking call, but the window is pumped meanwhile and
            // the wait ends with the loop's own limit.
            rc = attend_completion(p, debut, 2 * P);
            if (p.journal.detail)
                p.verb("Boucle de fin après  libusb_handle_events correspondant au 'paquet' {0:G}  \r\n", {a.num_pkt});
            if (rc != 0 || a.fini) {
                if (p.journal.detail && a.fini)
                    p.call_verb("\r\nFIN COMPLETE\r\n");
                else if (!a.fini)
                    p.call_verb("ERREUR \r\n");
                break;
            }
            if (static_cast<uint32_t>(p.clock.tick_ms() - debut) > 2 * P) {
                p.call_verb("Dépassement durée \r\n");
                break;
            }
        }
    }
    // Whatever is still queued is cancelled and completed before release.
    libere_anneau(p);

    p.stopped = false;
    a.fini = false;
    set_enabled(p, true, 10, false);
    p.ctl.button_Start.shown = true;
    p.ctl.button_Stop.shown = false;
    affiche_micros(p, false);
    p.ctl.panel_dB.shown = false;
}

} // namespace

void button_Start_Click(Principale& p)
{
    if (p.run_en_cours)
        return;
    p.run_en_cours = true;
    p.phase_run = PHASE_PREPARATION;
    p.fin_run = FIN_REFUSEE;
    if (preparation(p)) {
        bool declenche = true;
        if (p.attente_declenchement) {
            p.phase_run = PHASE_ATTENTE;
            declenche = attente_declenchement(p);
        }
        if (declenche) {
            p.phase_run = PHASE_BOUCLE;
            uint32_t t0 = 0;
            int rc = boucle_principale(p, t0);
            const bool stoppe = p.stopped && !p.aborted;
            const bool complet = p.anneau.fin_en_cours && rc == 0 &&
                                 (p.count == 0 || p.anneau.ntr == p.octets_demandes) &&
                                 (!p.record || p.anneau.ntw == p.anneau.ntr);
            p.phase_run = PHASE_FIN;
            fin_de_run(p, rc, t0);
            p.fin_run = p.anneau.erreur_ecriture ? FIN_ECRITURE
                        : stoppe                 ? FIN_STOPPEE
                        : complet                ? FIN_COMPLETE
                                                 : FIN_INCOMPLETE;
        }
    }
    p.phase_run = PHASE_INACTIF;
    p.run_en_cours = false;
}
