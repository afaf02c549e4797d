#include "channels/selection.h"

#include "channels/canaux.h"

int32_t Selection::nb_micros() const
{
    int32_t n = 0;
    for (const auto& faisceau : micros)
        for (bool on : faisceau)
            n += on;
    return n;
}

int32_t Selection::nb_voies() const
{
    int32_t n = nb_micros() + etat;
    for (bool on : va)
        n += on;
    for (bool on : compteurs)
        n += on;
    return n;
}

std::array<uint8_t, 128> Selection::masques() const
{
    std::array<uint8_t, 128> m{};
    for (int f = 0; f < NB_FAISCEAUX; ++f)
        for (int j = 0; j < 8; ++j)
            if (micros[f][j])
                m[f] = static_cast<uint8_t>(m[f] | (1u << j));
    return m;
}

int Selection::liste_micros(int32_t* liste) const
{
    int n = 0;
    for (int m = 0; m < NB_MICROS; ++m)
        if (micros[m / 8][m % 8])
            liste[n++] = m;
    return n;
}

int Selection::liste_voies(int32_t* liste) const
{
    int n = 0;
    for (int q = 0; q < 4; ++q) {
        if (q > 0 && compteurs[q])
            liste[n++] = CODE_COMPTEUR + q;
        for (int m = 256 * q; m < 256 * (q + 1); ++m)
            if (micros[m / 8][m % 8])
                liste[n++] = m;
        for (int k = 0; k < 4; ++k)
            if (va[4 * q + k])
                liste[n++] = CODE_VA + 4 * q + k;
    }
    return n;
}

std::array<CommandeSelection, 132> Selection::commandes() const
{
    std::array<CommandeSelection, 132> c{};
    const std::array<uint8_t, 128> m = masques();
    for (int f = 0; f < NB_FAISCEAUX; ++f)
        c[f] = {CODE_SELECTION, 0, static_cast<uint8_t>(f), m[f]};
    for (int b = 3; b >= 0; --b) { // blocks D, C, B, A
        uint8_t masque = compteurs[b] ? 0x80 : 0;
        if (b == 0 && etat)
            masque |= 0x40;
        for (int k = 0; k < 4; ++k)
            if (va[4 * b + k])
                masque = static_cast<uint8_t>(masque | (1u << k));
        c[NB_FAISCEAUX + 3 - b] = {CODE_SELECTION, 0, static_cast<uint8_t>(255 - b), masque};
    }
    return c;
}
