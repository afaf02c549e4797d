// "Mode avancé": diagnostic messages and the advanced group's controls.
#pragma once

struct Principale;

// Ticked: the advanced group is shown in place of the file-name group and
// "Fichier automatique" is unticked. Unticked: the group is hidden and
// "Status" unticked.
void checkBox_Test_CheckedChanged(Principale& p);
