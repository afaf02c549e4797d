#include "app/model/affiche_niveaux.h"

#include "app/model/principale.h"
#include "channels/niveaux.h"

void init_colorbar(Principale& p)
{
    const auto& carte = carte_jet();
    for (int i = 0; i < NB_NIVEAUX; ++i) {
        p.R_jet[i] = carte[i].r;
        p.V_jet[i] = carte[i].v;
        p.B_jet[i] = carte[i].b;
    }
}

Couleur couleur_niveau(const Principale& p, int L)
{
    return Couleur{static_cast<uint8_t>(p.R_jet[L]), static_cast<uint8_t>(p.V_jet[L]),
                   static_cast<uint8_t>(p.B_jet[L]), 255};
}

void rafraichit_niveaux(Principale& p)
{
    const Anneau& a = p.anneau;
    if (p.nb_micros == 0 || a.num_pkt < 1 || a.num_pkt >= p.n_pkt || p.stopped)
        return;
    const uint32_t t = a.num_pkt - 1;
    p.num_pkt_aff = t;
    // The packet completed last, in the slot that delivered it (a failed
    // slot may have shifted the slots of later packets).
    if (a.paquet_complete != t || a.slot_complete < 0)
        return;
    const int slot = a.slot_complete;
    const unsigned char* buffer = a.buffers[slot];
    const uint64_t N = static_cast<uint64_t>(p.nb_voies);
    if (!buffer || N == 0 || a.a_ecrire[slot] <= 4 * 2001 * N)
        return;
    // The first whole frame of the buffer; a buffer that starts on a frame
    // boundary skips its first frame.
    const uint64_t F = 4 * N;
    const uint64_t A = static_cast<uint64_t>(t) * TAILLE_PAQUET;
    const uint64_t o = F - (A % F);

    thread_local DispositionNiveaux d;
    thread_local std::array<int, NB_MICROS> niveaux;
    d.dispose(p.num_voies_valid.data(), p.nb_voies_valid, p.nb_voies);
    if (!calcule_niveaux(buffer + o, static_cast<size_t>(a.a_ecrire[slot] - o), d, niveaux))
        return;
    for (int32_t m : d.micros)
        p.ctl.grid_n[m / 8][m % 8] = couleur_niveau(p, niveaux[m]);
}
