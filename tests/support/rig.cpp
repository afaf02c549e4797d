#include "support/rig.h"

Rig::Rig(sim::Options options) : box(options)
{
    p = std::make_unique<Principale>(box, op, clock, Conventions::french(), disque);
    p->config_en_cours = dir.file("config_en_cours.txt");
}

void Rig::selection(int micros, bool counter, int analogues)
{
    Controles& c = p->ctl;
    for (int m = 0; m < 1024; ++m)
        c.grid[m / 8][m % 8].checked = m < micros;
    for (int v = 0; v < 16; ++v)
        c.grid_VA[v].checked = v < analogues;
    c.checkBox_CptA.checked = counter;
    c.checkBox_CptB.checked = c.checkBox_CptC.checked = c.checkBox_CptD.checked = false;
    c.checkBox_Status.checked = false;
}
