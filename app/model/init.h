// Init and the three reset buttons of the advanced group.
#pragma once

struct Principale;

// Opens the link, checks the usbfs limit, sends the reset sequence and runs
// the presence test; enables the rest of the window on success.
void button_Init_Click(Principale& p);
// The reset sequence and the presence test: 0 success, -1 failure.
int initialise(Principale& p);
void button_Reset_Micros_Click(Principale& p);
void button_Reset_FX3_Click(Principale& p);
void button_Reset_PH_Click(Principale& p);
