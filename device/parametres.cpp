#include "device/parametres.h"

#include <cmath>

#include "device/commandes.h"

const int FREQ[NB_FREQ] = {10, 11, 12, 13, 14, 15, 16, 20, 25, 40, 50, 80, 100, 125, 160, 200, 250};
const int DELAY[NB_FREQ] = {10, 9, 9, 9, 9, 9, 9, 8, 8, 7, 7, 7, 7, 7, 7, 7, 7};

uint32_t calcule_nb_echantillons(float duree, float frequence)
{
    double produit = static_cast<double>(duree) * 10.0 * static_cast<double>(frequence);
    if (!(produit > 0))
        return 0;
    if (produit >= 18446744073709551615.0)
        return 0xFFFFFFFFu;
    uint64_t n = static_cast<uint64_t>(produit) / 10u;
    // At the very top of the range the product reaches 2^32: hold the count
    // rather than let it wrap to a small one.
    return n > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<uint32_t>(n);
}

void envoie_frequence(Boitier& b, int row)
{
    if (row < 0 || row >= NB_FREQ)
        row = 0;
    b.num_freq = row;
    uint8_t division = static_cast<uint8_t>(FREQ[row] - 1);
    envoie(b, CMD_CLOCK_DIVISION, {division});
    b.clock.sleep_ms(500);
    b.frequence = frequence_de_division(division + 1);
    b.clock_def = true;
    b.count_def = false;
}

int envoie_nb_echantillons(Boitier& b, uint32_t count)
{
    b.count = count;
    const int r = envoie(b, CMD_SAMPLE_COUNT,
                         {static_cast<uint8_t>(count), static_cast<uint8_t>(count >> 8),
                          static_cast<uint8_t>(count >> 16), static_cast<uint8_t>(count >> 24)});
    b.count_def = true;
    return r;
}
