// The presence test of Init: a stream of 255 frames of eight microphones at
// 50 000 Hz through the ring, which must deliver exactly 8160 bytes.
#pragma once

#include "acquisition/run.h"

constexpr int OCTETS_TEST_PRESENCE = 8160;
constexpr unsigned TIMEOUT_TEST_PRESENCE = 500; // ms

// 0 when exactly 8160 bytes came without time-out. The observer is pumped
// between the short event waits.
int test_boitier(Boitier& b, ObservateurRun& obs);

// Init after the link: the reset sequence, then the presence test, with
// their messages (the box's journal leaves advanced mode). The box must
// then be told its frequency again. 0 when the box answered.
int initialise_boitier(Boitier& b, ObservateurRun& obs);

// The whole of Init: the link (and, through usbfs, its memory limit), then
// initialise_boitier(). 0 when the box is ready for a run.
int init_boitier(Boitier& b, ObservateurRun& obs);
