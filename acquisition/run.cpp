#include "acquisition/run.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "base/plateforme.h"
#include "channels/niveaux.h"
#include "device/bringup.h"
#include "device/commandes.h"
#include "device/parametres.h"
#include "files/fichier_donnees.h"

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

uint8_t octet_start(int entree, int condition)
{
    if (entree == 0)
        return 0;
    return static_cast<uint8_t>((entree == 2 ? 2 : 1) + 64 * (condition & 3));
}

Run::Run(Boitier& b, ParametresRun params, FichiersRun fichiers, ObservateurRun& obs, Disque& disque)
    : b_(b), p_(std::move(params)), fichiers_(std::move(fichiers)), obs_(obs), disque_(disque),
      anneau_(b.usb, b.clock, b.journal), ecrivain_(disque)
{}

uint64_t Run::espace_utilisable(const std::string& path) const
{
    // A recording the run overwrites gives its bytes back when it starts.
    uint64_t disponible = disque_.espace(path) + fichiers_.octets_existants();
    return disponible > RESERVE_DISQUE ? disponible - RESERVE_DISQUE : 0;
}

bool budget_disque_atteint(bool enregistre, uint32_t count, uint32_t num_pkt, int64_t budget)
{
    // Reached or passed: one event handling may complete several packets.
    return enregistre && count == 0 && static_cast<int64_t>(num_pkt) + MARGE_BUDGET_PAQUETS >= budget;
}

// ---------------------------------------------------------------------------
// Completions

bool Run::garde(int slot, uint32_t n)
{
    ntr_ += n;
    // Closed: the end of run has written the header; a completion that
    // comes while the ring is released is not part of the file.
    if (p_.enregistre && ecrivain_.actif() && fichiers_.donnees()) {
        chez_ecrivain_[slot] = true;
        ecrivain_.confie(slot, anneau_.buffer(slot), n, ntr_ - n);
        return true;
    }
    obs_.paquet(anneau_.buffer(slot), n, ntr_ - n);
    return false;
}

void Run::rendu(const Ecrivain::Rendu& r)
{
    const int s = r.slot;
    chez_ecrivain_[s] = false;
    ntw_ += r.ecrits;
    if (r.refus_direct)
        b_.journal.call_verb("Écriture directe refusée par le système de fichiers : le fichier de données " +
                             fichiers_.nom() + " passe par le cache du système.\r\n");
    if (r.offert && r.ecrits != r.n && !erreur_ecriture_) {
        // The first write that the file does not take whole ends the writing
        // of the run: what follows would be lost anyway, and the loop stops
        // the box.
        erreur_ecriture_ = true;
        if (r.err == ENOSPC)
            b_.journal.call_verb("\r\nDisque plein : le fichier de données " + fichiers_.nom() +
                                 " n'accepte plus d'octets. Acquisition arrêtée.\r\n");
        else
            b_.journal.call_verb("\r\nErreur d'écriture du fichier de données " + fichiers_.nom() + " (" +
                                 (r.err ? std::strerror(r.err) : "écriture incomplète") +
                                 "). Acquisition arrêtée.\r\n");
    }
    obs_.paquet(anneau_.buffer(s), r.n, r.position);
    if (a_resoumettre_[s]) {
        a_resoumettre_[s] = false;
        resoumet(s);
    }
}

void Run::recolte(int attente_ms)
{
    if (!ecrivain_.actif() && ecrivain_.en_cours() == 0)
        return;
    Ecrivain::Rendu r;
    if (attente_ms > 0 && ecrivain_.attend_rendu(r, attente_ms))
        rendu(r);
    while (ecrivain_.rendu(r))
        rendu(r);
}

void Run::attend_ecrivain()
{
    while (ecrivain_.en_cours() > 0) {
        obs_.pompe();
        recolte(ATTENTE_EVENEMENTS_MS);
    }
    ecrivain_.termine();
}

// Slot `s` goes back to the library. Once the stream has ended (the box's
// short transfer), it is cancelled at once, as the others were.
void Run::resoumet(int s)
{
    anneau_.resoumet(s, paquet_suivant_[s]);
    transf_arret_[s] = false;
    if (fin_en_cours_) {
        const int r = anneau_.annule(s);
        if (b_.journal.detail)
            b_.journal.verb("Arrêt du transfert {0:G} retour {1:G} \r\n", {s, r});
        transf_arret_[s] = true;
    }
}

// Counter A check on the packet just received (`L` bytes, already counted in
// ntr). The expected place and value follow from the words the stream has
// delivered before this packet, so that a packet cut short by a failed
// transfer, whose bytes are kept, does not shift the expectation.
void Run::verifie_compteur(const unsigned char* buffer, uint32_t L)
{
    const uint64_t N = static_cast<uint64_t>(p_.nb_voies);
    auto mot = [buffer](uint32_t i) {
        uint32_t w = static_cast<uint32_t>(buffer[4 * i]) | static_cast<uint32_t>(buffer[4 * i + 1]) << 8 |
                     static_cast<uint32_t>(buffer[4 * i + 2]) << 16 | static_cast<uint32_t>(buffer[4 * i + 3]) << 24;
        return static_cast<int32_t>(w);
    };
    const uint64_t avant = (ntr_ - L) / 4; // words of the stream before this packet
    const uint32_t position = static_cast<uint32_t>((N - avant % N) % N);
    const uint32_t trames = static_cast<uint32_t>((avant + position) / N); // frames before that boundary
    if (!verif_.reference) {
        // First packet checked: its first frame boundary gives the reference.
        verif_.reference = true;
        verif_.val0 = static_cast<int32_t>(static_cast<uint32_t>(mot(position)) - trames);
    }
    verif_.position = position;
    verif_.valeur = static_cast<int32_t>(static_cast<uint32_t>(verif_.val0) + trames);
    if (num_pkt_ == 0)
        return; // packet 0's first word is the reference itself
    if (mot(verif_.position) != verif_.valeur) {
        b_.journal.verb("\r\nErreur sur le compteur paquet : {0:N0}\r\n", {num_pkt_.load()});
        erreur_compteur_ = true;
    }
}

// Levels from packet `t` in its slot, before the slot goes back to the
// library: 2000 frames from the first frame boundary of the packet. The
// boundary follows from the bytes the stream delivered before the packet
// (ntr already counts its `L`), not from its number: a failed transfer
// counts one packet and may have delivered none or part of one.
void Run::niveaux_du_paquet(int slot, uint32_t t, uint32_t L)
{
    if (p_.nb_micros == 0 || t + 1 >= n_pkt_ || stopped_)
        return;
    const uint64_t N = static_cast<uint64_t>(p_.nb_voies);
    const unsigned char* buffer = anneau_.buffer(slot);
    if (!buffer || N == 0 || L <= 4 * 2001 * N)
        return;
    const uint64_t F = 4 * N;
    const uint64_t A = ntr_ - L;
    const uint64_t o = F - (A % F);
    if (calcule_niveaux(buffer + o, L - o, disposition_, niveaux_))
        obs_.niveaux(niveaux_);
}

void Run::traite(const Completion& c)
{
    const int s = c.slot;
    const Journal& j = b_.journal;
    dernier_status_[s] = c.status;

    if (j.detail)
        j.verb(" {0:G} ", {num_pkt_.load()});

    if (c.status == usb::TRANSFER_CANCELLED) {
        t_fini_[s] = true;
        int n = 0;
        for (bool f : t_fini_)
            n += f;
        if (n == NB_TRANSFERTS)
            fini_ = true;
        if (j.detail) {
            j.verb("status == LIBUSB_TRANSFER_CANCELLED -> Tâche {0:G} annulée \r\n", {s});
            if (fini_)
                j.call_verb("   fini\r\n");
        }
        ++num_pkt_;
        return;
    }

    if (c.status != usb::TRANSFER_COMPLETED) {
        if (c.status == usb::TRANSFER_TIMED_OUT) {
            err_timeout_ = true;
            if (!b_.test_init)
                j.verb("TIMEOUT lors du transfert du paquet {0:N0}\r\n", {num_pkt_.load()});
        } else {
            j.verb("Erreur lors du transfert du paquet {0:N0} status {1:G}\r\n", {num_pkt_.load(), c.status});
        }
        // What the transfer did receive before it failed is part of the
        // stream: it is kept, so the file holds every byte the box sent.
        if (c.longueur > 0)
            garde(s, c.longueur); // the slot stays out of the ring
        t_fini_[s] = true;
        ++num_pkt_;
        return;
    }

    const uint32_t L = c.longueur;
    a_ecrire_[s] = L;
    if (j.detail && L != TAILLE_PAQUET)
        j.verb(" - {0:N0} octets de moins qu'un paquet\r\n", {TAILLE_PAQUET - L});
    const bool ecrit_plus_tard = garde(s, L);
    if (!erreur_compteur_ && p_.compteur && L > 16u * static_cast<uint32_t>(p_.nb_voies))
        verifie_compteur(anneau_.buffer(s), L);
    // Levels of the latest packet only: the others of a batch would be
    // overwritten at once.
    if (!anneau_.completions_en_attente())
        niveaux_du_paquet(s, num_pkt_, L);

    paquet_suivant_[s] = num_pkt_ + NB_TRANSFERTS;
    if (ecrit_plus_tard) {
        a_resoumettre_[s] = true;
    } else {
        anneau_.resoumet(s, paquet_suivant_[s]);
        transf_arret_[s] = false;
    }

    if (L < TAILLE_PAQUET) {
        // The box's short transfer ends the stream: the rest are cancelled,
        // those with the writer when it gives them back.
        for (int i = 0; i < NB_TRANSFERTS; ++i) {
            if (transf_arret_[i] || !anneau_.transfert(i) || chez_ecrivain_[i])
                continue;
            int r = anneau_.annule(i);
            if (j.detail) {
                j.verb("Arrêt du transfert {0:G} retour {1:G} \r\n", {i, r});
                if (dernier_status_[i] == usb::TRANSFER_CANCELLED)
                    j.verb("Tâche {0:G} annulée +++++++++ \r\n", {i});
            }
            transf_arret_[i] = true;
        }
        fin_en_cours_ = true;
    }
    ++num_pkt_;
}

int Run::traite_evenements()
{
    recolte();
    const int r = anneau_.traite_evenements();
    Completion c;
    while (anneau_.prochaine(c)) {
        traite(c);
        // A Stop asked for meanwhile goes out before the rest of the batch
        // is handled.
        if (stop_demande_ && !stopped_ && phase_ == PHASE_BOUCLE)
            break;
    }
    return r;
}

// Handles the library's events as its blocking call does, until at least one
// transfer has completed or more than `limite_ms` have passed since `debut`,
// in short waits with the observer pumped before each. The first non-zero
// library result ends it and is returned; otherwise 0.
int Run::attend_completion(uint32_t debut, uint32_t limite_ms)
{
    // Every completion, whatever its status, counts one in num_pkt.
    const uint32_t avant = num_pkt_;
    for (;;) {
        obs_.pompe();
        int r = traite_evenements();
        if (r != 0 || num_pkt_ != avant)
            return r;
        if (static_cast<uint32_t>(b_.clock.tick_ms() - debut) > limite_ms)
            return 0;
    }
}

// ---------------------------------------------------------------------------
// Preparation

bool Run::prepare_fichiers()
{
    if (!p_.fich_auto)
        return fichiers_.ouverts(); // opened when the operator chose them
    // Taken at Start, before anything was sent to the box.
    if (fichiers_.ouverts() && fichiers_.nom() == p_.acqui_name)
        return true;
    b_.journal.call_verb("Nom du fichier d'acquisition : " + p_.acqui_name + "\r\n");
    // A folder still missing, or one that cannot be written, stops the run
    // here: nothing would be recorded.
    return fichiers_.prepare(p_.acqui_name, b_.journal) == 0;
}

void Run::refuse_apres_controles() { obs_.etape(ObservateurRun::REFUSEE); }

bool Run::preparation()
{
    const Journal& j = b_.journal;
    fini_ = false;
    aborted_ = false;
    a_ecrire_.fill(0);
    disposition_.dispose(p_.voies.data(), static_cast<int32_t>(p_.voies.size()), p_.nb_voies);

    // The channel selection, then the box's settling time.
    for (const auto& cmd : p_.commandes_selection)
        envoie(b_, cmd[0], {cmd[1], cmd[2], cmd[3]});
    b_.clock.sleep_ms(300);

    envoie(b_, CMD_FAISCEAUX, {p_.faisceaux[0], p_.faisceaux[1]});
    j.verb("\r\nNb_voies (micros+VA+compteur) : {0:G}\r\n", {p_.nb_voies});
    auto frequence = [&] {
        envoie_frequence(b_, p_.ligne_freq);
        if (j.detail)
            j.verb("Clock division : {0:G}.  ", {FREQ[b_.num_freq] - 1});
        j.verb("Fréquence : {0:N0} Hz.  Durée max d'acquisition : {1:N1} s \r\n",
               {b_.frequence, duree_max_de(b_.frequence)});
        if (p_.delai_avance)
            j.verb("N_DELAY : {0:G}  \r\n", {static_cast<int>(p_.delai)});
        envoie(b_, CMD_DELAY, {p_.delai});
    };
    if (p_.ligne_freq != b_.num_freq)
        frequence();
    if (!b_.count_def) {
        // A box that holds no frequency yet is given the list's first.
        if (!b_.clock_def)
            frequence();
        envoie_nb_echantillons(b_, p_.definie ? calcule_nb_echantillons(p_.duree, b_.frequence) : 0);
    }
    p_.header.freq = b_.frequence;
    if (p_.definie)
        j.verb("Durée : {0:N1} s, nb échantillons : {1:N0}\r\n", {p_.duree, b_.count});
    else
        j.call_verb("Durée non définie\r\n");
    const uint64_t B = 4ull * static_cast<uint64_t>(p_.nb_voies) * b_.count;
    octets_demandes_ = B;

    uint64_t U = 0;
    if (p_.enregistre) {
        if (!prepare_fichiers())
            return false;
        U = espace_utilisable(fichiers_.nom());
        const float secondes = static_cast<float>(U) / (4.0f * static_cast<float>(p_.nb_voies) * b_.frequence);
        // An open-ended recording without room for more than its stop margin
        // would stop at its first pass, after starting the box.
        const bool sans_place =
            b_.count != 0 ? B > U : static_cast<int64_t>(U / TAILLE_PAQUET) - 1 <= MARGE_BUDGET_PAQUETS;
        if (sans_place) {
            j.call_verb("Pas suffisamment de place sur le disque !\r\n", 1);
            j.verb("{0:N0} Go disponibles sur le disque, soit {1:N1} s\r\n", {U / 1073741824ull, secondes});
            fichiers_.ferme();
            return false;
        }
        if (b_.count == 0)
            j.verb("{0:N0} Go disponibles sur le disque, soit {1:N1} s\r\n", {U / 1073741824ull, secondes});
    }

    envoie(b_, CMD_SAMPLE_TYPE, {static_cast<uint8_t>(p_.flottant ? 1 : 0)});
    p_.header.type_float = p_.flottant ? 1 : 0;

    // What the disk can take; read by the stop of a recording without a
    // sample count (open-ended, or a defined duration of 0).
    budget_paquets_ = static_cast<int64_t>(U / TAILLE_PAQUET) - 1;
    if (p_.definie) {
        n_pkt_ = static_cast<uint32_t>(B / TAILLE_PAQUET + (B % TAILLE_PAQUET ? 1 : 0));
        if (j.detail) {
            if (B % TAILLE_PAQUET)
                j.verb("{0:N0} octets, soit {1:N0} paquets de {2:N0} octets et un paquet de {3:N0} octets\r\n",
                       {B, n_pkt_ - 1, TAILLE_PAQUET, B % TAILLE_PAQUET});
            else
                j.verb("{0:N0} octets, soit {1:N0} paquets de {2:N0} octets\r\n", {B, n_pkt_, TAILLE_PAQUET});
        }
    } else {
        if (j.detail)
            j.verb("Nombre d'échantillons non fixé ; paquets de {0:N0} octets\r\n", {TAILLE_PAQUET});
        n_pkt_ = static_cast<uint32_t>(U / TAILLE_PAQUET - 1);
    }
    attente_declenchement_ = p_.octet_start != 0;
    obs_.etape(ObservateurRun::PRETE);

    b_.TimeOut = calcule_timeout(p_.nb_voies, b_.frequence);
    if (j.detail)
        j.verb("TimeOut = {0:N0} ms\r\n", {b_.TimeOut});
    if (attente_declenchement_) {
        b_.TimeOut += static_cast<int>(ATTENTE_DECLENCHEMENT_MS);
        if (j.detail)
            j.call_verb("En attente de déclenchement externe, le TimeOut est ajusté. \r\n");
        j.verb("Le déclenchement doit intervenir avant {0:G} s \r\n", {30});
    }

    if (anneau_.alloue(b_.handle, static_cast<unsigned>(b_.TimeOut), true) != 0) {
        fichiers_.ferme();
        refuse_apres_controles();
        return false;
    }
    num_pkt_ = 0;
    ntr_ = 0;
    ntw_ = 0;
    verif_ = VerifCompteur{};
    fin_en_cours_ = false;
    erreur_ecriture_ = false;
    fini_ = false;
    t_fini_.fill(false);
    transf_arret_.fill(false);
    dernier_status_.fill(usb::TRANSFER_COMPLETED);
    anneau_.soumet_tout();
    if (anneau_.en_vol() == 0) {
        // Nothing could be queued: starting the box would stream into the void.
        j.call_verb("Aucun transfert n'a pu être lancé : acquisition annulée.\r\n");
        anneau_.libere();
        fichiers_.ferme();
        refuse_apres_controles();
        return false;
    }
    const DateHeure d = b_.clock.now();
    p_.header.date_heure = {d.year, d.month, d.day_of_week, d.day, d.hour, d.minute, d.second, d.milliseconds};
    if (envoie(b_, CMD_START, {p_.octet_start}) < 0) {
        // The box refused to start: nothing will come.
        j.call_verb("Le boîtier refuse le départ de l'acquisition : acquisition annulée.\r\n");
        anneau_.libere();
        fichiers_.ferme();
        refuse_apres_controles();
        return false;
    }
    // Only now, with the box streaming, is a recording overwritten. The
    // completions wait for the next event handling.
    if (p_.enregistre && fichiers_.commence(p_.header, p_.nb_voies, p_.nb_micros, p_.commentaire, j) != 0) {
        envoie(b_, CMD_STOP, {0x00});
        anneau_.libere();
        fichiers_.ferme();
        refuse_apres_controles();
        return false;
    }
    if (p_.enregistre) {
        chez_ecrivain_.fill(false);
        a_resoumettre_.fill(false);
        const int err = ecrivain_.commence(fichiers_.donnees(), fichiers_.nom());
        if (err != 0)
            j.call_verb("Écriture directe refusée par le système de fichiers (" + std::string(std::strerror(err)) +
                        ") : le fichier de données " + fichiers_.nom() + " passe par le cache du système.\r\n");
    }
    return true;
}

// ---------------------------------------------------------------------------
// Stop, Abort

void Run::stop()
{
    envoie(b_, CMD_STOP, {0x00});
    stopped_ = true;
    obs_.etape(ObservateurRun::STOPPEE);
    if (b_.count != 0)
        b_.journal.call_verb("Acquisition stoppée avant la fin\r\n");
    else if (b_.journal.detail)
        b_.journal.call_verb("Stopped\r\n");
    b_.clock.sleep_ms(1);
}

void Run::abort()
{
    aborted_ = true;
    if (b_.journal.detail)
        b_.journal.call_verb("  Aborted\r\n");
}

// After Abort or 30 s without trigger: reset the microphones, cancel and
// drain the ring, close the three files empty, give the window back.
void Run::abandon()
{
    const Journal& j = b_.journal;
    if (b_.initialisation_FX3)
        reset_micros(b_);
    b_.clock.sleep_ms(10);
    j.call_verb("Acquisition arrêtée avant le déclenchement \r\n");
    for (int i = 0; i < NB_TRANSFERTS; ++i) {
        if (!anneau_.transfert(i))
            continue;
        const int r = anneau_.annule(i);
        if (j.detail)
            j.verb("Anulation du transfert {0:G} retour {1:G} \r\n", {i, r});
    }
    fini_ = false;
    t_fini_.fill(false);
    // A slot that had already failed is not in flight and will never report
    // again: the drain ends when nothing is left in flight.
    vidange(0, 60000, false);
    // What came is written before the files close; the ring's release
    // cancels the slots the writer gives back.
    attend_ecrivain();
    fichiers_.ferme();
    anneau_.libere();
    stopped_ = false;
    fini_ = false;
    obs_.etape(ObservateurRun::ABANDONNEE);
}

// Watches byte 8 of the queued buffers. Completed transfers are handled too,
// since a USB stack may deliver bytes only then: the first completion counts
// as the trigger. False when the wait was given up.
bool Run::attente_declenchement()
{
    std::array<unsigned char, NB_TRANSFERTS> reference{};
    for (int i = 0; i < NB_TRANSFERTS; ++i)
        reference[i] = b_.usb.peek_in_flight(anneau_.transfert(i), 8);
    const uint32_t debut = b_.clock.tick_ms();
    obs_.etape(ObservateurRun::ATTENTE);
    while (!aborted_ && attente_declenchement_) {
        if (fermeture_demandee_) // the window was closed while the run was prepared
            abort();
        else if (static_cast<uint32_t>(b_.clock.tick_ms() - debut) > ATTENTE_DECLENCHEMENT_MS) {
            b_.journal.call_verb("Temps d'attente dépassé...    ");
            abort();
        }
        obs_.pompe();
        if (abandon_demande_.exchange(false) && !aborted_)
            abort();
        for (int i = 0; i < NB_TRANSFERTS; ++i)
            if (b_.usb.peek_in_flight(anneau_.transfert(i), 8) != reference[i])
                attente_declenchement_ = false;
        if (!aborted_ && attente_declenchement_) {
            traite_evenements();
            if (num_pkt_ > 0 || anneau_.en_vol() == 0)
                attente_declenchement_ = false;
        }
        if (aborted_) {
            abandon();
            return false;
        }
    }
    b_.TimeOut = calcule_timeout(p_.nb_voies, b_.frequence);
    obs_.etape(ObservateurRun::DECLENCHEE);
    return true;
}

// Abort during the main loop: the first one stops the box; after that, a box
// that did not end the stream is given up. The loop is left; the end of run
// writes what the files hold and cancels the ring.
bool Run::abandon_boucle()
{
    if (!stopped_) {
        aborted_ = false;
        stop();
        return false;
    }
    b_.journal.call_verb("\r\nAcquisition abandonnée : le boîtier n'a pas terminé le flux après Stop.\r\n");
    return true;
}

// Waits until every transfer has reported its end (fini), none is left in
// flight, or the library fails. At the end of a run `limite_ms` bounds the
// whole drain, which then says so; after an abandon it bounds each wait.
int Run::vidange(int rc, uint32_t limite_ms, bool fin_de_run)
{
    const Journal& j = b_.journal;
    const uint32_t debut = b_.clock.tick_ms();
    while (rc == 0 && anneau_.en_vol() > 0) {
        if (j.detail && fin_de_run)
            j.verb("Début boucle de fin correspondant au 'paquet' {0:G}  \r\n", {num_pkt_.load()});
        rc = attend_completion(fin_de_run ? debut : b_.clock.tick_ms(), limite_ms);
        if (j.detail)
            j.verb(fin_de_run ? "Boucle de fin après  libusb_handle_events correspondant au 'paquet' {0:G}  \r\n"
                              : "Boucle de fin correspondant au 'paquet' {0:G}  \r\n",
                   {num_pkt_.load()});
        if (rc != 0 || fini_) {
            if (j.detail && fini_)
                j.call_verb(fin_de_run ? "\r\nFIN COMPLETE\r\n" : "FIN COMPLETE\r\n");
            else if (!fini_)
                j.call_verb("ERREUR \r\n");
            break;
        }
        if (fin_de_run && static_cast<uint32_t>(b_.clock.tick_ms() - debut) > limite_ms) {
            j.call_verb("Dépassement durée \r\n");
            break;
        }
    }
    return rc;
}

// ---------------------------------------------------------------------------
// Main loop and end of run

// Returns the last event-handling result. A pass waits at most
// ATTENTE_EVENEMENTS_MS for the library's events, so requests are acted on
// that often whatever the packet duration; progress changes only when a
// packet has come.
int Run::boucle_principale(uint32_t& t0)
{
    obs_.etape(ObservateurRun::BOUCLE);
    erreur_compteur_ = false;
    stopped_ = false;
    if (b_.journal.detail)
        b_.journal.call_verb("Paquet : \r\n");
    t0 = b_.clock.tick_ms();
    int rc = 0;
    uint32_t paquets_vus = num_pkt_;
    uint32_t secondes = 0;
    while (rc == 0) {
        obs_.pompe();
        if (abandon_demande_.exchange(false) || aborted_) {
            aborted_ = true;
            if (abandon_boucle())
                break;
        }
        if (!stopped_ && (stop_demande_ || fermeture_demandee_ || erreur_compteur_ || erreur_ecriture_ ||
                          budget_disque_atteint(p_.enregistre, b_.count, num_pkt_, budget_paquets_)))
            stop();
        rc = traite_evenements();
        if (rc != 0 || fin_en_cours_) {
            if (fin_en_cours_) {
                if (b_.journal.detail)
                    b_.journal.call_verb("\r\nBoucle principale : Fin en cours \r\n");
            } else {
                b_.journal.call_verb("\r\nERREUR \r\n");
            }
            break;
        }
        if (anneau_.en_vol() == 0 && !anneau_.completions_en_attente() &&
            std::find(a_resoumettre_.begin(), a_resoumettre_.end(), true) == a_resoumettre_.end()) {
            // Every slot has failed (none is with the writer to go back):
            // nothing will arrive any more.
            b_.journal.call_verb("\r\nPlus aucun transfert en cours : acquisition interrompue.\r\n");
            break;
        }
        const uint32_t s = (b_.clock.tick_ms() - t0) / 1000u;
        if (s != secondes) {
            secondes = s;
            obs_.duree_ecoulee(s);
        }
        if (num_pkt_ == paquets_vus)
            continue;
        paquets_vus = num_pkt_;
        if (num_pkt_ <= n_pkt_ && b_.count != 0)
            obs_.progression(num_pkt_);
    }
    return rc;
}

// Closes the data file. When a write or the close failed, the bytes that
// reached the disk are taken from the file itself: the header and the
// description then describe exactly what it holds.
void Run::ferme_donnees()
{
    if (!fichiers_.donnees())
        return;
    const std::string nom = fichiers_.nom();
    const int err = fichiers_.ferme_donnees();
    if (err != 0) {
        b_.journal.call_verb("Erreur à la fermeture du fichier de données " + nom + " : " +
                             (err > 0 ? std::strerror(err) : "cause inconnue") + "\r\n");
        erreur_ecriture_ = true;
    }
    if (erreur_ecriture_) {
        std::error_code ec;
        const std::uintmax_t taille = fs::file_size(fs::u8path(nom), ec);
        if (!ec)
            ntw_ = taille;
    }
}

void Run::fin_de_run(int rc, uint32_t t0)
{
    const Journal& j = b_.journal;
    const uint32_t t1 = b_.clock.tick_ms();
    const uint64_t B = octets_demandes_;
    const bool record = p_.enregistre;
    const uint32_t count = b_.count;
    if (j.detail) {
        if (record && count != 0)
            j.verb("\r\nTransfert total : {0:N0} octets demandés,  {1:N0} octets acquis, {2:N0} octets écrits\r\n",
                   {B, ntr_, ntw_});
        else if (record)
            j.verb("\r\nTransfert total : {0:N0} octets acquis, {1:N0} écrits\r\n", {ntr_, ntw_});
        else if (count != 0)
            j.verb("\r\nTransfert total : {0:N0} octets demandés {1:N0} octets acquis\r\n", {B, ntr_});
        else
            j.verb("\r\nTransfert total : {0:N0} octets acquis\r\n", {ntr_});
    }
    j.verb("Fin du transfert : {0:N1} Mo en {1:N1} s",
           {static_cast<double>(ntr_ / 1024) / 1024.0, static_cast<double>(static_cast<uint32_t>(t1 - t0)) / 1000.0});
    if (!stopped_)
        j.call_verb("\r\n");
    else
        j.verb(" soit {0:N0} échantillons\r\n", {ntr_ / (4ull * static_cast<uint64_t>(p_.nb_voies))});
    if (count != 0 && B != ntr_ && !stopped_)
        j.verb("Manquent {0:G} octets dans l'acquisition !\r\n", {static_cast<long long>(B - ntr_)});

    if (record)
        ferme_donnees();
    p_.header.nb_ech = nb_ech_de(ntw_, p_.nb_voies);
    p_.header.duree_acq = duree_de(p_.header.nb_ech, b_.frequence);
    if (record) {
        if (erreur_ecriture_)
            j.verb("Le fichier de données contient {0:N0} octets, soit {1:N0} échantillons.\r\n",
                   {ntw_, p_.header.nb_ech});
        fichiers_.ecrit_log(p_.header, p_.nb_voies, p_.nb_micros, p_.commentaire, j);
        fichiers_.ferme();
    }

    // After an abandon nothing more will come: the ring is cancelled below.
    if (!fini_ && !aborted_) {
        if (j.detail) {
            j.call_verb("Satus : ");
            for (int i = 0; i < NB_TRANSFERTS; ++i)
                j.verb("{0:G} ", {dernier_status_[i]});
            j.call_verb("\r\n");
        }
        const double par_paquet = std::floor(static_cast<double>(TAILLE_PAQUET) / (4.0 * p_.nb_voies));
        const uint32_t P = static_cast<uint32_t>(par_paquet / (static_cast<double>(b_.frequence) / 1000.0));
        vidange(rc, 2 * P, true);
    }
    // Whatever is still queued is cancelled and completed before release.
    anneau_.libere();
    fini_ = false;
    obs_.etape(ObservateurRun::FINIE);
}

FinRun Run::execute()
{
    phase_ = PHASE_PREPARATION;
    fin_ = FIN_REFUSEE;
    if (preparation()) {
        bool declenche = true;
        if (attente_declenchement_) {
            phase_ = PHASE_ATTENTE;
            declenche = attente_declenchement();
            if (!declenche)
                fin_ = FIN_ABANDONNEE;
        }
        if (declenche) {
            phase_ = PHASE_BOUCLE;
            uint32_t t0 = 0;
            int rc = boucle_principale(t0);
            attend_ecrivain();
            const bool stoppe = stopped_ && !aborted_;
            const bool complet = fin_en_cours_ && rc == 0 && (b_.count == 0 || ntr_ == octets_demandes_) &&
                                 (!p_.enregistre || ntw_ == ntr_);
            phase_ = PHASE_FIN;
            fin_de_run(rc, t0);
            fin_ = erreur_ecriture_ ? FIN_ECRITURE : stoppe ? FIN_STOPPEE : complet ? FIN_COMPLETE : FIN_INCOMPLETE;
        }
    }
    phase_ = PHASE_INACTIF;
    return fin_;
}

void canaux_du_run(ParametresRun& r, const Selection& s)
{
    r.nb_voies = s.nb_voies();
    r.nb_micros = s.nb_micros();
    r.compteur = s.compteur_a();
    std::array<int32_t, 1044> voies;
    r.voies.assign(voies.begin(), voies.begin() + s.liste_voies(voies.data()));
    const auto commandes = s.commandes();
    r.commandes_selection.assign(commandes.begin(), commandes.end());
}

ParametresRun parametres_de(const Configuration& cfg, bool avance, uint8_t delai_avance)
{
    ParametresRun r;
    canaux_du_run(r, cfg.selection);
    r.faisceaux[0] = r.faisceaux[1] = 0xFF;
    r.ligne_freq = cfg.ligne_freq >= 0 && cfg.ligne_freq < NB_FREQ ? cfg.ligne_freq : 0;
    r.delai_avance = avance;
    r.delai = avance ? delai_avance : static_cast<uint8_t>(DELAY[r.ligne_freq]);
    r.duree = static_cast<float>(cfg.duree);
    r.definie = cfg.duree_definie;
    r.flottant = cfg.type == TypeEchantillons::Float32;
    r.octet_start =
        cfg.declenchement == Declenchement::Soft
            ? 0
            : octet_start(cfg.declenchement == Declenchement::Trig2 ? 2 : 1, static_cast<int>(cfg.condition));
    r.enregistre = cfg.enregistrement;
    r.fich_auto = cfg.nom_automatique;
    return r;
}
