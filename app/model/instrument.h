// What the analysis window asks of the model: the health check and what it
// flags, the calibration in use and its assistant, and the level map's unit
// and weighting. Window thread.
#pragma once

#include <string>
#include <vector>

#include "analyse/sante.h"

struct Principale;
struct ResultatsDirect;
struct ResultatTache;

constexpr double DUREE_DIAGNOSTIC_S = 1.0;

// A capture of DUREE_DIAGNOSTIC_S without a file for the health check,
// whose figures start again.
void diagnostic_micros(Principale& p);

// The microphones `bilan` flags become the cell view's crosses.
void marque_signales(Principale& p, const std::vector<StatistiquesMicro>& bilan);

// The flagged microphones of `bilan`, left out of the acoustic map.
void retient_signales(Principale& p, const std::vector<StatistiquesMicro>& bilan);

// Unticks every selected microphone `bilan` flags, in one action, and says
// so in the pane; returns how many.
int deselectionne_signales(Principale& p, const std::vector<StatistiquesMicro>& bilan);

// Loads a calibration file of 1024 factors; 0, or -1 with the reason in the
// pane (the calibration in use stays).
int charge_calibration(Principale& p, const std::string& chemin);
// Writes the calibration in use (the nominal sensitivity for microphones
// without a factor) to `chemin`; 0, or -1 with the reason in the pane.
int enregistre_calibration(Principale& p, const std::string& chemin);
// Back to no calibration: the level map in the level map's decibels.
void oublie_calibration(Principale& p);

// The calibrator assistant: a capture without a file until Stop, reading
// a calibrator of `reference` dB SPL at 1 kHz on one microphone after another.
void assistant_calibreur(Principale& p, double reference);
// Takes the factors the assistant stored into the calibration in use;
// returns how many changed.
int prend_calibres(Principale& p, const ResultatsDirect& r);

// The level map A-weighted or not (from the live analysis when it is).
void pondere_niveaux(Principale& p, bool a);

// Loads the array's geometry (1024 positions); 0, or -1 with the reason in
// the pane (the geometry in use stays).
int charge_geometrie(Principale& p, const std::string& chemin);

// The live analysis's settings from what the model holds: the health check
// while the analysis window is open, the calibration, the weighting.
void regle_analyse(Principale& p);

// "Écouter ce point…": asks where to write the WAV of the point (x, y, z)
// (m, the map's plane) and starts the listening on the latest frames kept;
// 0, or -1 when nothing was started (cancelled, or a job already runs: said
// in the pane).
int ecoute_point(Principale& p, double x, double y, double z);
// The map's plane distance searched on the latest frames kept; 0 or -1 as
// above.
int cherche_distance_carte(Principale& p);
// A job that has just ended: its line in the pane (an alert when it
// failed).
void dit_tache(Principale& p, const ResultatTache& t);
