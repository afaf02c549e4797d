// The window's side of the microphone selection file (.mic): saving the
// microphone boxes, loading a file into them and repainting the cell view.
#pragma once

struct Principale;

// "Save (fich)": writes the current microphone boxes to the chosen file.
// 0 when written or cancelled; -1 when the file cannot be created or
// written (reported in the pane).
int button_Save_Micros_Click(Principale& p);

// "Micros (fich.)": loads the chosen file. 0 when loaded or cancelled; -1
// when the file cannot be opened or read, or is not 128 bytes long, the
// selection then being left as it was.
int button_Micros_Fichier_Click(Principale& p);
