// The frequency list, the duration spinner, the delay and the trigger
// buttons: their handlers send what the box must hold.
#pragma once

struct Principale;

void listBox_Freq_Click(Principale& p);
void numericUpDown_Delay_ValueChanged(Principale& p);
void calcul_count(Principale& p);
void numericUpDown_Duree_ValueChanged(Principale& p);
void checkBox_Definie_CheckedChanged(Principale& p);
void radioButton_Start_Soft_CheckedChanged(Principale& p);

// Sets the duration spinner as the toolkit would: clamped to its range, the
// change handler run when the value changes.
void set_duree(Principale& p, double value);
// Widens or narrows the spinner's maximum (clamping the value as above).
void set_duree_maximum(Principale& p, double maximum);
