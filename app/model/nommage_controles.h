// Recording switch, automatic or manual naming of the run's three files, the
// folder picker and the comment editor, and the advanced mode, which
// excludes automatic naming.
#pragma once

#include <string>

struct Principale;

// "Enregistrement" changed: the comment button, "Fichier automatique", the
// "Fichier" button and the "Nom de fichier" group follow.
void checkBox_Record_CheckedChanged(Principale& p);
// "Fichier automatique" changed. Ticked, it unticks "Mode avancé". The
// "Fichier" button or the "Nom de fichier" group is shown only while
// recording.
void checkBox_Nom_Fich_CheckedChanged(Principale& p);

// "Mode avancé": diagnostic messages and the advanced group's controls.
// Ticked: the advanced group is shown in place of the file-name group and
// "Fichier automatique" is unticked. Unticked: the group is hidden and
// "Status" unticked.
void checkBox_Test_CheckedChanged(Principale& p);

// Folder picker on "Répertoire". nom_dir always ends with its separator
// (an empty folder stays empty: the working directory). 0 when a folder was
// chosen, -1 when the dialog was cancelled.
int textBox_Racine_DoubleClick(Principale& p);

// The files chosen with "Fichier" (no automatic naming): opened at once for
// p.acqui_name but left as they are until a run starts on them, held until
// the next run takes them; released, an existing file keeps its bytes. -1,
// with the reason in the pane, when one cannot be created.
int ouvre_fichiers(Principale& p);
void ferme_fichiers(Principale& p);

// Manual choice of the data file: closes the files of an earlier choice,
// adds ".dat" to a name chosen without it, and opens the data, header and
// description files, which keep what they hold until a run starts on them.
// 0 when the three are open; -1 when cancelled or when a file cannot be
// created (reported in the pane).
int button_Fichier_Click(Principale& p);

// Opens or closes the comment editor; closing stores the comment.
void button_Comment_Click(Principale& p);
// Stores a comment of at most 1024 characters (longer text is cut there):
// `commentaire` is the text padded with spaces to 1023 characters, and the
// header's texte_commentaire its first 1024 bytes in the system's code page
// (Windows-1252 off Windows) with a terminating 0.
void stocke_commentaire(Principale& p, const std::string& texte);

// Initial text of "Répertoire" on this platform (run once at start-up).
void init_dossier_initial(Principale& p);
