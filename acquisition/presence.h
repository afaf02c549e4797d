// The presence test of Init: a stream of 255 frames of eight microphones at
// 50 000 Hz through the ring, which must deliver exactly 8160 bytes.
#pragma once

#include "acquisition/run.h"

constexpr int OCTETS_TEST_PRESENCE = 8160;
constexpr unsigned TIMEOUT_TEST_PRESENCE = 500; // ms

// 0 when exactly 8160 bytes came without time-out. The observer is pumped
// between the short event waits.
int test_boitier(Boitier& b, ObservateurRun& obs);
