// Ending things early: Stop (a clean end through the box's short transfer),
// Abort (giving up a trigger wait) and the teardown when the window closes.
#pragma once

struct Principale;

void button_Stop_Click(Principale& p);
void button_Abort_Click(Principale& p);

// After Abort or 30 s without trigger: reset the microphones, cancel and
// drain the ring, close the three files empty, restore the window.
void abandon(Principale& p);

// The window asks to close. During a run this turns into a Stop (or an
// Abort while waiting for the trigger) and returns false: the window closes
// once the run has written its files. Otherwise runs the teardown and
// returns true.
bool demande_fermeture(Principale& p);

// Teardown: reset the microphones, release the interface, close the link,
// leave the library.
void fermeture(Principale& p);
