// The table of control groups that may act in the current state.
#pragma once

struct Principale;

// Applies the twelve entries of p.enabled to the controls.
void enable(Principale& p);
// Writes all twelve entries (every one `value`, except `entry` set to
// `entry_value` when entry >= 0) and applies them.
void set_enabled(Principale& p, bool value, int entry = -1, bool entry_value = false);
