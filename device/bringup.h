// Bringing the box up: the reset requests and the reset sequence of Init.
// The presence test that follows streams through the ring (acquisition/).
#pragma once

#include "device/boitier.h"

// usbfs memory (MiB) the presence test and a run need: the ring's 32 x 16
// MiB and the kernel's own share of each transfer.
constexpr long USBFS_MO_NECESSAIRES = 600;

// Before any transfer: a usbfs limit (b.usbfs_memory_mb) that is neither 0
// (none) nor large enough for the ring is reported in the pane with the
// fix. Nothing is said when the file cannot be read.
void verifie_usbfs(Boitier& b);

// The three resets; each opens the link first when it is not open. 0 when
// the request was taken, -1 otherwise.
int reset_micros(Boitier& b); // also marks the frequency and count as to be sent again
int reset_fx3(Boitier& b);
int reset_ph(Boitier& b);

// The sequence Init sends before the presence test: FX3, pseudo-hard,
// microphones, pseudo-hard, FX3, 10 ms apart. -1 when the link could not
// be opened.
int sequence_reset(Boitier& b);

// Closing the program: the microphones reset, the interface released and
// the link closed. Nothing happens when the link is not open.
void ferme_liaison(Boitier& b);
