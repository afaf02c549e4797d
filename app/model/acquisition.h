// Start, Stop and Abort, and the closing of the window (passage_run.h
// brings a run's reports to the window).
//
// Start asks the operator everything first (folder, overwrite, file), turns
// the controls into a ParametresRun, and starts the Run: on a thread of its
// own when Principale::run_sur_fil is set (the window), otherwise on the
// caller's thread (the tests), where the run pumps the operator between its
// short event waits. Stop and Abort only pass a request to the run.
#pragma once

#include <string>

struct Principale;

void button_Start_Click(Principale& p);
void button_Stop_Click(Principale& p);
void button_Abort_Click(Principale& p);

// A run without a file for the live analysis: the window's channels and
// frequency, a start at once, `duree` seconds (0: until Stop). The
// recording box, the trigger and the duration shown stay as they are.
void capture_sans_fichier(Principale& p, double duree);

// The live analysis takes the frames of the run going on, when it asks for
// some and has none yet (it was asked for after Start).
void attache_analyse(Principale& p);

// The window asks to close. During a run this turns into a Stop (or an
// Abort while waiting for the trigger) and returns false: the window closes
// once the run has written its files. Otherwise runs the teardown and
// returns true.
bool demande_fermeture(Principale& p);

// Teardown: reset the microphones, release the interface, close the link,
// leave the library.
void fermeture(Principale& p);

// Applies what the run's thread handed over since the last call; when the
// run has ended, joins its thread and gives the window back. True while a
// run is going on. The window calls it from a timer (about every 50 ms).
bool releve_run(Principale& p);
