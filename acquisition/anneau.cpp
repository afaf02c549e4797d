#include "acquisition/anneau.h"

#include <cerrno>
#include <cstring>
#include <new>

#include "app/model/principale.h"
#include "files/fichier_donnees.h"

namespace {

void signale_refus(Principale& p, int r, const std::string& pattern, uint32_t packet)
{
    p.verb(pattern, {packet});
    if (r == usb::ERROR_NO_MEM && !p.anneau.no_mem_signale) {
        p.anneau.no_mem_signale = true;
        p.call_verb("Le système refuse de réserver la mémoire des transferts USB (" +
                    std::string(usb::error_name(r)) +
                    "). Sous Linux, la mémoire des transferts en file est limitée par le paramètre "
                    "usbcore usbfs_memory_mb (16 Mo par défaut) : donner à "
                    "/sys/module/usbcore/parameters/usbfs_memory_mb une valeur d'au moins 600, ou 0 "
                    "(sans limite), puis relancer l'acquisition.\r\n");
    }
}

// Submits slot i; a refusal is reported with `pattern` and `packet`.
int soumet_slot(Principale& p, int i, uint32_t packet, const char* pattern)
{
    Anneau& a = p.anneau;
    int r = p.usb.submit_transfer(a.transfert[i]);
    if (r == 0)
        a.en_vol[i] = true;
    else
        signale_refus(p, r, pattern, packet);
    return r;
}

// Counter A check on the packet just received (`L` bytes, already counted
// in ntr). The expected place and value follow from the words the stream
// has delivered before this packet, so a packet cut short by a failed
// transfer, whose bytes are kept, does not shift the expectation. For whole
// packets this is the per-packet advance by increment_position and
// increment_compteur.
void verifie_compteur(Principale& p, const unsigned char* buffer, uint32_t L)
{
    Anneau& a = p.anneau;
    const uint64_t N = static_cast<uint64_t>(p.nb_voies);
    auto mot = [buffer](uint32_t i) {
        uint32_t w = static_cast<uint32_t>(buffer[4 * i]) | static_cast<uint32_t>(buffer[4 * i + 1]) << 8 |
                     static_cast<uint32_t>(buffer[4 * i + 2]) << 16 | static_cast<uint32_t>(buffer[4 * i + 3]) << 24;
        return static_cast<int32_t>(w);
    };
    const uint64_t avant = (a.ntr - L) / 4; // words of the stream before this packet
    const uint32_t position = static_cast<uint32_t>((N - avant % N) % N);
    const uint32_t trames = static_cast<uint32_t>((avant + position) / N); // frames before that boundary
    if (!a.reference_compteur) {
        // First packet checked: its first frame boundary gives the reference.
        a.reference_compteur = true;
        a.val_compteur0 = static_cast<int32_t>(static_cast<uint32_t>(mot(position)) - trames);
    }
    a.position_compteur = position;
    a.val_compteur = static_cast<int32_t>(static_cast<uint32_t>(a.val_compteur0) + trames);
    if (a.num_pkt == 0)
        return; // packet 0's first word is the reference itself
    if (mot(a.position_compteur) != a.val_compteur) {
        p.verb("\r\nErreur sur le compteur paquet : {0:N0}\r\n", {a.num_pkt});
        a.erreur_compteur = true;
    }
}

// Appends to the data file. The first write that the file does not take
// whole ends the writing of the run: what follows would be lost anyway, and
// the run loop stops the box.
void ecrit_donnees(Principale& p, const unsigned char* data, uint32_t n)
{
    Anneau& a = p.anneau;
    // Closed: the end of run has written the header; a completion that
    // comes while the ring is released is not part of the file.
    if (a.erreur_ecriture || !p.Filep)
        return;
    errno = 0;
    const std::size_t ecrits = p.ecriture_donnees ? p.ecriture_donnees(p.Filep, data, n) : ecrit_paquet(p.Filep, data, n);
    const int err = errno;
    a.ntw += ecrits;
    if (ecrits == n)
        return;
    a.erreur_ecriture = true;
    if (err == ENOSPC)
        p.call_verb("\r\nDisque plein : le fichier de données " + p.acqui_name +
                    " n'accepte plus d'octets. Acquisition arrêtée.\r\n");
    else
        p.call_verb("\r\nErreur d'écriture du fichier de données " + p.acqui_name + " (" +
                    (err ? std::strerror(err) : "écriture incomplète") + "). Acquisition arrêtée.\r\n");
}

} // namespace

void fn_callback(usb::Transfer* t)
{
    Slot* slot = static_cast<Slot*>(t->user_data);
    Principale& p = *slot->p;
    Anneau& a = p.anneau;
    const int s = slot->index;
    a.en_vol[s] = false;
    a.dernier_status[s] = t->status;

    if (p.journal.detail)
        p.verb(" {0:G} ", {a.num_pkt});

    if (t->status == usb::TRANSFER_CANCELLED) {
        a.t_fini[s] = true;
        int n = 0;
        for (bool f : a.t_fini)
            n += f;
        if (n == NB_TRANSFERTS)
            a.fini = true;
        if (p.journal.detail) {
            p.verb("status == LIBUSB_TRANSFER_CANCELLED -> Tâche {0:G} annulée \r\n", {s});
            if (a.fini)
                p.call_verb("   fini\r\n");
        }
        ++a.num_pkt;
        return;
    }

    if (t->status != usb::TRANSFER_COMPLETED) {
        if (t->status == usb::TRANSFER_TIMED_OUT) {
            a.err_timeout = true;
            if (!p.boitier.test_init)
                p.verb("TIMEOUT lors du transfert du paquet {0:N0}\r\n", {a.num_pkt});
        } else {
            p.verb("Erreur lors du transfert du paquet {0:N0} status {1:G}\r\n", {a.num_pkt, t->status});
        }
        // What the transfer did receive before it failed is part of the
        // stream: it is kept, so the file holds every byte the box sent.
        const uint32_t recu = t->actual_length > 0 ? static_cast<uint32_t>(t->actual_length) : 0;
        if (recu > 0) {
            a.ntr += recu;
            if (p.record)
                ecrit_donnees(p, t->buffer, recu);
        }
        p.usb.cancel_transfer(t);
        a.t_fini[s] = true;
        ++a.num_pkt;
        return;
    }

    const uint32_t L = static_cast<uint32_t>(t->actual_length);
    a.a_ecrire[s] = L;
    a.slot_complete = s;
    a.paquet_complete = a.num_pkt;
    if (p.journal.detail && L != TAILLE_PAQUET)
        p.verb(" - {0:N0} octets de moins qu'un paquet\r\n", {TAILLE_PAQUET - L});
    a.ntr += L;
    if (p.record)
        ecrit_donnees(p, t->buffer, L);
    if (!a.erreur_compteur && p.compteur && L > 16u * static_cast<uint32_t>(p.nb_voies))
        verifie_compteur(p, t->buffer, L);

    if (!a.liberation)
        soumet_slot(p, s, a.num_pkt + NB_TRANSFERTS, "Erreur lancement transfert du paquet {0:N0}\r\n");
    a.transf_arret[s] = false;

    if (L < TAILLE_PAQUET) {
        for (int i = 0; i < NB_TRANSFERTS; ++i) {
            if (a.transf_arret[i] || !a.transfert[i])
                continue;
            int r = p.usb.cancel_transfer(a.transfert[i]);
            if (p.journal.detail) {
                p.verb("Arrêt du transfert {0:G} retour {1:G} \r\n", {i, r});
                if (a.dernier_status[i] == usb::TRANSFER_CANCELLED)
                    p.verb("Tâche {0:G} annulée +++++++++ \r\n", {i});
            }
            a.transf_arret[i] = true;
        }
        a.fin_en_cours = true;
    }
    ++a.num_pkt;
}

void calcule_increments(Principale& p)
{
    const int32_t N = p.nb_voies > 0 ? p.nb_voies : 1;
    const int32_t W = static_cast<int32_t>(MOTS_PAQUET);
    p.anneau.increment_position = (N - (W % N)) % N;
    p.anneau.increment_compteur = (p.anneau.increment_position + W) / N;
}

int alloue_anneau(Principale& p, unsigned int timeout_ms, bool touche)
{
    Anneau& a = p.anneau;
    if (transferts_en_vol(p) > 0 && annule_et_vide(p) != 0) {
        p.call_verb("Des transferts USB d'une acquisition précédente ne sont pas terminés : "
                    "débrancher et rebrancher le boîtier, puis Init.\r\n");
        return -1;
    }
    for (int i = 0; i < NB_TRANSFERTS; ++i) {
        a.slots[i].p = &p;
        a.slots[i].index = i;
        a.dernier_status[i] = usb::TRANSFER_COMPLETED;
        if (!a.transfert[i])
            a.transfert[i] = p.usb.alloc_transfer(0);
        if (!a.buffers[i])
            a.buffers[i] = touche ? new (std::nothrow) unsigned char[TAILLE_PAQUET]()
                                  : new (std::nothrow) unsigned char[TAILLE_PAQUET];
        if (!a.transfert[i] || !a.buffers[i]) {
            p.call_verb("Mémoire insuffisante pour les tampons de l'acquisition (32 tampons de 16 Mo) !\r\n");
            libere_anneau(p);
            return -1;
        }
        usb::fill_bulk_transfer(a.transfert[i], p.boitier.handle, ENDPOINT_DONNEES, a.buffers[i],
                                static_cast<int>(TAILLE_PAQUET), fn_callback, &a.slots[i], timeout_ms);
    }
    return 0;
}

void soumet_anneau(Principale& p)
{
    Anneau& a = p.anneau;
    a.num_pkt = 0;
    a.ntr = 0;
    a.ntw = 0;
    a.reference_compteur = false;
    a.fin_en_cours = false;
    a.erreur_ecriture = false;
    a.fini = false; // a presence test run by this Start may have left it set
    a.no_mem_signale = false;
    a.slot_complete = -1;
    for (int i = 0; i < NB_TRANSFERTS; ++i) {
        a.t_fini[i] = false;
        a.transf_arret[i] = false;
        soumet_slot(p, i, static_cast<uint32_t>(i), "Erreur lancement transfert du paquet {0:G}\r\n");
    }
}

int transferts_en_vol(const Principale& p)
{
    int n = 0;
    for (bool v : p.anneau.en_vol)
        n += v;
    return n;
}

int traite_evenements(Principale& p)
{
    int r = p.usb.handle_events_timeout(ATTENTE_EVENEMENTS_MS);
    return r == usb::ERROR_TIMEOUT || r == usb::ERROR_INTERRUPTED ? 0 : r;
}

int attend_completion(Principale& p, uint32_t debut, uint32_t limite_ms)
{
    // Every completion, whatever its status, counts one in num_pkt.
    const uint32_t avant = p.anneau.num_pkt;
    for (;;) {
        p.op.pump_events();
        if (p.anneau.num_pkt != avant) // a control request may handle events too
            return 0;
        int r = traite_evenements(p);
        if (r != 0 || p.anneau.num_pkt != avant)
            return r;
        if (static_cast<uint32_t>(p.clock.tick_ms() - debut) > limite_ms)
            return 0;
    }
}

int annule_et_vide(Principale& p, uint32_t limite_ms)
{
    Anneau& a = p.anneau;
    a.liberation = true;
    uint32_t debut = p.clock.tick_ms();
    int tours = 0;
    while (transferts_en_vol(p) > 0) {
        // Cancelled again at every turn: a refused cancel (a transfer that
        // was completing) must not leave it in flight.
        for (int i = 0; i < NB_TRANSFERTS; ++i)
            if (a.en_vol[i] && a.transfert[i])
                p.usb.cancel_transfer(a.transfert[i]);
        p.op.pump_events();
        int r = traite_evenements(p);
        ++tours;
        if (r != 0)
            break;
        if (static_cast<uint32_t>(p.clock.tick_ms() - debut) > limite_ms || tours > 200)
            break;
    }
    a.liberation = false;
    return transferts_en_vol(p) == 0 ? 0 : -1;
}

void libere_anneau(Principale& p)
{
    Anneau& a = p.anneau;
    if (transferts_en_vol(p) > 0 && annule_et_vide(p) != 0)
        p.call_verb("Des transferts USB ne se terminent pas : ils ne sont pas libérés.\r\n");
    for (int i = 0; i < NB_TRANSFERTS; ++i) {
        if (a.en_vol[i])
            continue; // still owned by the library
        if (a.transfert[i])
            p.usb.free_transfer(a.transfert[i]);
        a.transfert[i] = nullptr;
        delete[] a.buffers[i];
        a.buffers[i] = nullptr;
    }
}
