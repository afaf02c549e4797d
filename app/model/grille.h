// The selection page: per-microphone, per-beam, per-group and "all" boxes
// kept consistent, and the switch between the page and the cell view.
// Handlers receive the clicked box already toggled, as the toolkit does;
// setting a box from here raises no click.
#pragma once

struct Principale;
struct Selection;

// Microphone box (f, j) clicked: its beam box, group box and the all box
// follow. Out-of-range indices do nothing.
void micro_valide(Principale& p, int f, int j);
// Ticks the microphone, analogue, counter and status boxes as `s` says; the beam, group and all boxes follow as
// after a click on each beam.
void cases_de_selection(Principale& p, const Selection& s);
// Beam box f clicked: its 8 microphones take its state; group and all follow.
void faisceaux_valide(Principale& p, int f);
// Group box g clicked: its 8 beams and 64 microphones take its state.
void blocs_valide(Principale& p, int g);
// All box (or "Tous Micros") clicked with new state `etat`: every beam,
// microphone and group box takes it; the all box itself is not assigned.
void tout_valide(Principale& p, bool etat);

// true: the page is shown and the "Micros" group hidden. false: the page is
// hidden, the "Micros" group shown and every cell repainted from the header's
// microphone bytes (DeepPink when non-zero, White otherwise).
void affiche_micros(Principale& p, bool aff);

void button_Micros_Click(Principale& p);
void button_Retour_Click(Principale& p);
void checkBox_Tous_Click(Principale& p);
