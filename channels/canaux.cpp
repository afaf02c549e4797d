#include "channels/canaux.h"

#include "app/model/principale.h"
#include "device/commandes.h"

const char* const BLOC[4] = {"Bloc_A", "Bloc_B", "Bloc_C", "Bloc_D"};

std::array<uint8_t, 128> valide_micros(Principale& p)
{
    std::array<uint8_t, 128> masques{};
    p.nb_micros = 0;
    for (int f = 0; f < NB_FAISCEAUX; ++f)
        for (int j = 0; j < 8; ++j) {
            bool on = p.ctl.grid[f][j].checked;
            p.header_file.micros_actifs[f][j] = on ? 1 : 0;
            if (on) {
                masques[f] = static_cast<uint8_t>(masques[f] | (1u << j));
                ++p.nb_micros;
            }
        }
    return masques;
}

void choix_micros(Principale& p, bool active)
{
    Controles& c = p.ctl;
    type_header_file& h = p.header_file;
    p.nb_micros = 0;
    p.boitier.buf[0] = CMD_SELECTION;
    p.boitier.buf[1] = 0;
    for (int f = 0; f < NB_FAISCEAUX; ++f) {
        uint8_t masque = 0;
        for (int j = 0; j < 8; ++j) {
            if (c.grid[f][j].checked) {
                masque = static_cast<uint8_t>(masque | (1u << j));
                h.micros_actifs[f][j] = 1;
                p.num_mic_valid[p.nb_micros++] = 8 * f + j;
            } else {
                h.micros_actifs[f][j] = 0;
            }
        }
        p.boitier.buf[2] = static_cast<uint8_t>(f);
        p.boitier.buf[3] = masque;
        if (active)
            commande(p.boitier, 3);
    }
    p.nb_voies = p.nb_micros;

    const CheckBox* compteurs[4] = {&c.checkBox_CptA, &c.checkBox_CptB, &c.checkBox_CptC, &c.checkBox_CptD};
    for (int b = 3; b >= 0; --b) { // blocks D, C, B, A: addresses 252..255
        uint8_t masque = 0;
        bool cpt = compteurs[b]->checked;
        h.compteurs_actifs[b] = cpt ? 1 : 0;
        if (cpt) {
            masque |= 0x80;
            ++p.nb_voies;
        }
        if (b == 0) {
            p.compteur = cpt;
            if (c.checkBox_Status.checked) {
                masque |= 0x40;
                ++p.nb_voies;
            }
        }
        for (int k = 0; k < 4; ++k) {
            int v = 4 * b + k;
            if (c.grid_VA[v].checked) {
                h.va_actives[b][k] = 1;
                masque = static_cast<uint8_t>(masque | (1u << k));
                ++p.nb_voies;
            } else {
                h.va_actives[b][k] = 0;
            }
        }
        p.boitier.buf[2] = static_cast<uint8_t>(255 - b);
        p.boitier.buf[3] = masque;
        if (active)
            commande(p.boitier, 3);
    }
    p.clock.sleep_ms(300);

    p.nb_voies_valid = liste_voies(h, p.num_voies_valid.data());
}

int liste_voies(const type_header_file& h, int32_t* liste)
{
    // Per quarter: its counter (B..D), its microphones ascending, its
    // analogue block.
    int n = 0;
    for (int q = 0; q < 4; ++q) {
        if (q > 0 && h.compteurs_actifs[q] == 1)
            liste[n++] = CODE_COMPTEUR + q;
        for (int m = 256 * q; m < 256 * (q + 1); ++m)
            if (h.micros_actifs[m / 8][m % 8] == 1)
                liste[n++] = m;
        for (int k = 0; k < 4; ++k)
            if (h.va_actives[q][k] == 1)
                liste[n++] = CODE_VA + 4 * q + k;
    }
    return n;
}
