// The configuration file: the operator's settings and selection as text,
// written at every Start ("config_en_cours.txt") and read at start-up, or
// saved and loaded on request. The reader recognises lines by their key
// words and skips any line it cannot use; it never stops the program. Bytes
// that are not a configuration are refused whole.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "base/format.h"
#include "base/journal.h"
#include "channels/selection.h"

enum class Declenchement { Soft, Trig1, Trig2 };
enum class Condition { FlancMontant, FlancDescendant, EtatHaut, EtatBas };
enum class TypeEchantillons { Inconnu, Int32, Float32 };

// Every setting the file carries. A default value says nothing: no
// frequency, no sample type, nothing selected.
struct Configuration {
    int ligne_freq = -1;        // row of the frequency list (FREQ); none when out of range
    bool duree_definie = false; // "Durée définie"
    double duree = 0;           // s
    double duree_max = 0;       // s, the longest duration accepted
    Declenchement declenchement = Declenchement::Soft;
    Condition condition = Condition::FlancMontant;
    TypeEchantillons type = TypeEchantillons::Inconnu;
    bool enregistrement = false;  // "Enregistrement"
    bool nom_automatique = false; // "Fichier automatique"
    std::string dossier;          // folder of automatic naming, as typed
    std::string nom;              // name of automatic naming, no extension
    Selection selection;          // the status word is not part of the file

    bool operator==(const Configuration& o) const;
    bool operator!=(const Configuration& o) const { return !(*this == o); }
};

// The file's text, UTF-8 with CR LF line ends. The "Fichier" line holds the
// folder (with its final separator) and the name only with automatic naming.
std::string texte_config(const Configuration& cfg, const Conventions& conv);

// Creates or truncates the file and writes the text. 0 on success; -1, with
// a message through `journal`, when the file cannot be created or written.
int ecrit_fichier_config(const std::string& config_name, const Configuration& cfg, const Journal& journal);

// Bit of each key a read applied.
enum : unsigned {
    CLE_FREQUENCE = 1u << 0,
    CLE_DUREE = 1u << 1,
    CLE_FAISCEAU = 1u << 2,
    CLE_BLOC = 1u << 3,
    CLE_COMPTEUR = 1u << 4,
    CLE_TRIG = 1u << 5,
    CLE_TYPE = 1u << 6,
    CLE_ENREGISTREMENT = 1u << 7,
    CLE_FICHIER = 1u << 8,
};

// Called after each line a key used, with that line's keys and the value
// as it then stands: the window follows the file line by line.
using SuiviLecture = std::function<void(unsigned cles, const Configuration& cfg)>;

// Applies the lines of a file's bytes over `cfg`, in file order. Every
// microphone is unselected first, so a beam without a line ends up
// unselected; whatever else no line sets keeps its value. A line used by no
// key, or of a shape the reader cannot use, changes nothing. A frequency or
// duration that does not read or is out of range keeps the setting as it
// was and is reported through `journal`, with `nom` and the line's number.
// Returns the keys (CLE_*) of the lines used; 0, with `cfg` untouched and
// `suivi` never called, when the bytes are not a configuration (a NUL byte,
// or no line a key uses).
unsigned lit_texte_config(const std::string& octets, const std::string& nom, const Journal& journal, Configuration& cfg,
                          const SuiviLecture& suivi = {});

// Largest file taken for a configuration: the writer's is about 6 KB.
constexpr std::size_t TAILLE_MAX_CONFIG = 1 << 20;

// Reads the file over `cfg`. A file that cannot be opened or read, one
// larger than TAILLE_MAX_CONFIG, or one that is not a configuration changes
// nothing: -1 with the reason in `erreur` (one line, no line end). Refused
// values are not reported: the caller checks the settings it needs.
int lit_fichier_config(const std::string& config_name, const Conventions& conv, Configuration& cfg, std::string& erreur,
                       const SuiviLecture& suivi = {});
// The same, refused values and the reason of a failure written through
// `journal`.
int lit_fichier_config(const std::string& config_name, const Journal& journal, Configuration& cfg,
                       const SuiviLecture& suivi = {});

// A number of the file, written under any convention: the decimal separator
// a point or a comma, groups of three set apart by spaces, apostrophes or
// the other of the two ("1 234,5", "1,234.5", "1.234,5", "1,5", "1.5"). A
// lone point or comma followed by three digits groups only where `c`, the
// reader's conventions, groups with it. Infinities and NaN do not parse.
bool lit_nombre(const Conventions& c, const std::string& token, double& out);
// An integer that fits in 16 bits (optional sign, digits only).
bool lit_entier16(const std::string& token, int& out);
