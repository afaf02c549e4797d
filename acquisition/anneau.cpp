#include "acquisition/anneau.h"

#include <cstring>
#include <new>

Anneau::Anneau(usb::UsbApi& usb, Clock& clock, const Journal& journal) : usb_(usb), clock_(clock), journal_(journal) {}

void Anneau::rappel(usb::Transfer* t)
{
    Slot* slot = static_cast<Slot*>(t->user_data);
    Anneau& a = *slot->anneau;
    a.en_vol_[slot->index] = false;
    a.completions_.push_back(
        {slot->index, t->status, t->actual_length > 0 ? static_cast<uint32_t>(t->actual_length) : 0u});
}

void Anneau::signale_refus(int r, const std::string& pattern, uint32_t paquet)
{
    journal_.verb(pattern, {paquet});
    if (r == usb::ERROR_NO_MEM && !no_mem_signale_) {
        no_mem_signale_ = true;
        journal_.call_verb("Le système refuse de réserver la mémoire des transferts USB (" +
                           std::string(usb::error_name(r)) +
                           "). Sous Linux, la mémoire des transferts en file est limitée par le paramètre "
                           "usbcore usbfs_memory_mb (16 Mo par défaut) : donner à "
                           "/sys/module/usbcore/parameters/usbfs_memory_mb une valeur d'au moins 600, ou 0 "
                           "(sans limite), puis relancer l'acquisition.\r\n");
    }
}

int Anneau::alloue(usb::DeviceHandle handle, unsigned int timeout_ms, bool touche)
{
    for (int i = 0; i < NB_TRANSFERTS; ++i) {
        slots_[i] = {this, i};
        if (!transfert_[i])
            transfert_[i] = usb_.alloc_transfer(0);
        if (!buffers_[i]) {
            // Aligned for the writes past the system's cache.
            buffers_[i] = static_cast<unsigned char*>(
                ::operator new[](TAILLE_PAQUET, std::align_val_t(ALIGNEMENT_TAMPONS), std::nothrow));
            if (buffers_[i] && touche)
                std::memset(buffers_[i], 0, TAILLE_PAQUET);
        }
        if (!transfert_[i] || !buffers_[i]) {
            journal_.call_verb("Mémoire insuffisante pour les tampons de l'acquisition (32 tampons de 16 Mo) !\r\n");
            libere();
            return -1;
        }
        usb::fill_bulk_transfer(transfert_[i], handle, ENDPOINT_DONNEES, buffers_[i], static_cast<int>(TAILLE_PAQUET),
                                rappel, &slots_[i], timeout_ms);
    }
    return 0;
}

void Anneau::soumet_tout()
{
    no_mem_signale_ = false;
    completions_.clear();
    for (int i = 0; i < NB_TRANSFERTS; ++i)
        resoumet(i, static_cast<uint32_t>(i), "Erreur lancement transfert du paquet {0:G}\r\n");
}

int Anneau::resoumet(int s, uint32_t paquet, const char* pattern)
{
    if (liberation_ || !transfert_[s])
        return usb::ERROR_INVALID_PARAM;
    int r = usb_.submit_transfer(transfert_[s]);
    if (r == 0)
        en_vol_[s] = true;
    else
        signale_refus(r, pattern, paquet);
    return r;
}

int Anneau::traite_evenements()
{
    int r = usb_.handle_events_timeout(ATTENTE_EVENEMENTS_MS);
    return r == usb::ERROR_TIMEOUT || r == usb::ERROR_INTERRUPTED ? 0 : r;
}

bool Anneau::prochaine(Completion& c)
{
    if (completions_.empty())
        return false;
    c = completions_.front();
    completions_.pop_front();
    return true;
}

int Anneau::en_vol() const
{
    int n = 0;
    for (bool v : en_vol_)
        n += v;
    return n;
}

int Anneau::annule(int s) { return transfert_[s] ? usb_.cancel_transfer(transfert_[s]) : usb::ERROR_NOT_FOUND; }

int Anneau::annule_et_vide(uint32_t limite_ms)
{
    liberation_ = true;
    const uint32_t debut = clock_.tick_ms();
    int tours = 0;
    while (en_vol() > 0) {
        // Cancelled again at every turn: a refused cancel (a transfer that
        // was completing) must not leave it in flight.
        for (int i = 0; i < NB_TRANSFERTS; ++i)
            if (en_vol_[i])
                annule(i);
        int r = traite_evenements();
        ++tours;
        if (r != 0)
            break;
        if (static_cast<uint32_t>(clock_.tick_ms() - debut) > limite_ms || tours > 200)
            break;
    }
    completions_.clear();
    liberation_ = false;
    return en_vol() == 0 ? 0 : -1;
}

void Anneau::libere()
{
    if (en_vol() > 0 && annule_et_vide() != 0)
        journal_.call_verb("Des transferts USB ne se terminent pas : ils ne sont pas libérés.\r\n");
    for (int i = 0; i < NB_TRANSFERTS; ++i) {
        if (en_vol_[i])
            continue; // still owned by the library
        if (transfert_[i])
            usb_.free_transfer(transfert_[i]);
        transfert_[i] = nullptr;
        if (buffers_[i])
            ::operator delete[](buffers_[i], std::align_val_t(ALIGNEMENT_TAMPONS));
        buffers_[i] = nullptr;
    }
}
