// One acquisition run, from the Start button to the restored window:
// preparation, trigger wait, main loop and end of run.
#pragma once

#include <cstdint>
#include <string>

struct Principale;

enum PhaseRun { PHASE_INACTIF = 0, PHASE_PREPARATION, PHASE_ATTENTE, PHASE_BOUCLE, PHASE_FIN };

// How the last press of Start ended.
enum FinRun {
    FIN_AUCUNE = 0,   // no run yet
    FIN_COMPLETE,     // the stream ended by itself with every byte asked for
    FIN_STOPPEE,      // stopped (operator, counter error, disk budget, window closed)
    FIN_INCOMPLETE,   // ended early by a transfer error or a box that went away
    FIN_REFUSEE,      // refused before the Start command (no channel, no file, no space...)
    FIN_ABANDONNEE,   // trigger never came, or Abort during the wait
    FIN_ECRITURE,     // the data file refused bytes (disk full) or could not be closed
};

constexpr uint64_t RESERVE_DISQUE = 1000000000;
constexpr uint32_t ATTENTE_DECLENCHEMENT_MS = 30000;

void button_Start_Click(Principale& p);

// Transfer time-out of a run: 2000 ms, or the time to fill 32 packets plus
// one second when that is longer.
int calcule_timeout(int nb_voies, float frequence);

// Argument byte of the Start command from the trigger buttons.
uint8_t octet_start(const Principale& p);

// Packets an open-ended recording keeps in hand: it stops when it comes
// this close to what the disk can take, and is refused when it would stop
// at its first pass.
constexpr int64_t MARGE_BUDGET_PAQUETS = 64;

// An open-ended recording has come within 64 packets of what the disk can
// take (a disk with less than one packet to spare stops it at once).
bool budget_disque_atteint(const Principale& p);

// Bytes available to the user on the volume that holds `path`'s folder
// (the working directory for a bare name); 0 when unknown.
uint64_t espace_disponible(const std::string& path);
// Space usable for recording: what is available less the reserve, 0 below it.
uint64_t espace_utilisable(const Principale& p, const std::string& path);
