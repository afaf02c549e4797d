// Files written whole or not at all, and outputs kept off their inputs.
//
// Every file a tool or the window writes, other than a run's data file, goes
// first to a temporary name beside it (".NAME.XXXXXXXX.partiel", locked by
// its writer), is flushed to the disk and only then renamed over NAME. An
// error, a full disk or a signal leaves NAME as it was (the old file, or
// none) and no partial file under it. A temporary left by a killed writer
// is never read as an output and is removed by the next writer of NAME.
// Through a symbolic link the file it names is replaced; a NAME that is not
// a file (a device such as /dev/null, a pipe) is written straight into.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

class FichierEntier {
public:
    FichierEntier() = default;
    // Without termine(), the temporary goes and NAME stays as it was.
    ~FichierEntier() { abandonne(); }
    FichierEntier(const FichierEntier&) = delete;
    FichierEntier& operator=(const FichierEntier&) = delete;

    // Creates the temporary of `chemin` (UTF-8) in its folder, exclusively,
    // after removing the ones killed writers left. With `flux` false it is
    // closed at once and written by name (a library that opens files
    // itself). 0; or -1 with the reason in `erreur`.
    int ouvre(const std::string& chemin, std::string& erreur, bool garde_flux = true);
    std::FILE* flux() const { return flux_; }
    const std::string& temporaire() const { return temporaire_; }
    const std::string& chemin() const { return chemin_; }

    // Flushes the temporary to the disk and renames it over the final name.
    // 0; or -1 with the reason, the temporary removed and the final name
    // left as it was.
    int termine(std::string& erreur);
    // Removes the temporary; the final name is left as it was.
    void abandonne();

private:
    std::string chemin_, final_, temporaire_;
    std::FILE* flux_ = nullptr;
    bool direct_ = false; // NAME is not a file: written as it is
};

// `octets` as the whole content of `chemin`, through a FichierEntier.
int ecrit_fichier_entier(const std::string& chemin, const std::string& octets, std::string& erreur);

// Removes the temporaries of `chemin` that no writer holds any more.
void nettoie_temporaires(const std::string& chemin);

// `a` and `b` are one file: the same file on the disk (same volume and
// file number: hard links and other spellings of a path included), or, when
// either does not exist yet, the same path once made absolute and normal.
bool meme_fichier(const std::string& a, const std::string& b);

// 0 when no path of `sorties` is one of `entrees`; else -1 and, in
// `erreur`, the output, the input it would overwrite, and that it is refused.
int refuse_sorties_sur_entrees(const std::vector<std::string>& sorties, const std::vector<std::string>& entrees,
                               std::string& erreur);
