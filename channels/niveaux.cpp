#include "channels/niveaux.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "app/model/principale.h"
#include "channels/canaux.h"

void init_colorbar(Principale& p)
{
    auto& R = p.R_jet;
    auto& V = p.V_jet;
    auto& B = p.B_jet;
    R.fill(0);
    V.fill(0);
    B.fill(0);
    for (int i = 47; i <= 77; ++i)
        R[i] = R[i - 1] + 8;
    for (int i = 78; i <= 110; ++i)
        R[i] = 255;
    for (int i = 111; i <= 127; ++i)
        R[i] = R[i - 1] - 8;
    for (int i = 15; i <= 45; ++i)
        V[i] = V[i - 1] + 8;
    for (int i = 46; i <= 78; ++i)
        V[i] = 255;
    for (int i = 79; i <= 109; ++i)
        V[i] = V[i - 1] - 8;
    for (int i = 0; i <= 14; ++i)
        B[i] = 8 * i + 143;
    for (int i = 15; i <= 46; ++i)
        B[i] = 255;
    for (int i = 47; i <= 77; ++i)
        B[i] = B[i - 1] - 8;
}

int niveau_de(double P)
{
    if (!(P >= 1.0))
        P = 1.0;
    double l = std::floor(10.0 * std::log10(P) - 15.0 + 0.5);
    if (l < 1)
        return 0;
    if (l >= 127)
        return 127;
    return static_cast<int>(l);
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
    const uint64_t F = 4 * N;
    const uint64_t A = static_cast<uint64_t>(t) * TAILLE_PAQUET;
    const uint64_t o = F - (A % F);

    // Microphone entries of the list, read as frame word n + 1.
    const int32_t limite = std::min<int32_t>(p.nb_voies - 1, p.nb_voies_valid);
    thread_local std::vector<int32_t> mots, codes;
    thread_local std::vector<double> sommes;
    mots.clear();
    codes.clear();
    for (int32_t n = 0; n < limite; ++n) {
        int32_t c = p.num_voies_valid[n];
        if (c >= 0 && c < NB_MICROS) {
            mots.push_back(n + 1);
            codes.push_back(c);
        }
    }
    sommes.assign(mots.size(), 0.0);
    // Frame by frame, so the 2000 frames are read once, in order.
    for (int s = 0; s < ECHANTILLONS_NIVEAU; ++s) {
        const unsigned char* frame = buffer + o + static_cast<uint64_t>(s) * F;
        for (size_t k = 0; k < mots.size(); ++k) {
            int32_t v;
            std::memcpy(&v, frame + 4 * static_cast<size_t>(mots[k]), 4);
            double d = static_cast<double>(v);
            sommes[k] += d * d;
        }
    }
    for (size_t k = 0; k < mots.size(); ++k) {
        int L = niveau_de(sommes[k] / 2000.0);
        p.ctl.grid_n[codes[k] / 8][codes[k] % 8] = couleur_niveau(p, L);
    }
}
