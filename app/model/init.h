// Init and the three reset buttons of the advanced group.
#pragma once

struct Principale;

// Opens the link, checks the usbfs limit, sends the reset sequence and runs
// the presence test; enables the rest of the window on success.
void button_Init_Click(Principale& p);

// Init on the calling thread, pumping the operator; then the controls as
// Init leaves them.
void init_synchrone(Principale& p);
// The controls once Init has given `resultat` (0: the box answered).
void fin_init(Principale& p, int resultat);
// The reset sequence and the presence test: 0 success, -1 failure.
int initialise(Principale& p);
void button_Reset_Micros_Click(Principale& p);
void button_Reset_FX3_Click(Principale& p);
void button_Reset_PH_Click(Principale& p);
