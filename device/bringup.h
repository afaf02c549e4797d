// Bringing the box up: the reset sequence, the presence test through the
// ring (255 frames of 8 microphones = 8160 bytes), and the three resets.
#pragma once

struct Principale;

constexpr int OCTETS_TEST_PRESENCE = 8160;
constexpr unsigned TIMEOUT_TEST_PRESENCE = 500; // ms

// usbfs memory (MiB) the presence test and a run need: the ring's 32 x 16
// MiB and the kernel's own share of each transfer.
constexpr long USBFS_MO_NECESSAIRES = 600;

void button_Init_Click(Principale& p);
// Before any transfer: a usbfs limit (p.usbfs_memory_mb) that is neither 0
// (none) nor large enough for the ring is reported in the pane with the
// fix. Nothing is said when the file cannot be read.
void verifie_usbfs(Principale& p);
int initialise(Principale& p);   // 0 success, -1 failure
int test_boitier(Principale& p); // 0 when exactly 8160 bytes came without time-out
int reset_micros(Principale& p); // 0 when the request moved its one byte
void button_Reset_Micros_Click(Principale& p);
void button_Reset_FX3_Click(Principale& p);
void button_Reset_PH_Click(Principale& p);
