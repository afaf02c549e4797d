// The command line of the runner and the tools, read with CLI11, with the
// programs' own French messages: --help prints the program's usage text,
// --version its version, and every refusal (unknown option, missing value,
// a number that is not one or out of its range) is printed as
// "programme : raison", followed by the usage, for exit code 64.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace CLI {
class App;
}

class LigneCommande {
public:
    static constexpr int SORTIE_USAGE = 64; // sysexits' EX_USAGE
    static constexpr int CONTINUER = -1;

    // `aide` is the usage text; `inattendu` starts the message for an
    // argument that no option takes.
    LigneCommande(std::string programme, std::string aide, std::string inattendu = "argument inattendu");
    ~LigneCommande();
    LigneCommande(const LigneCommande&) = delete;
    LigneCommande& operator=(const LigneCommande&) = delete;

    // An option with a value: `lit` takes the text and returns "" or the
    // reason it refuses it. A value given twice: the last one counts.
    void valeur(const std::string& noms, std::function<std::string(const std::string&)> lit);

    void texte(const std::string& noms, std::string& v);

    // A finite number within [min, max]; `hors_plage` says why one outside
    // is refused.
    void nombre(const std::string& noms, double& v, double min, double max, const std::string& hors_plage);

    // One word of `mots`; `v` is its rank.
    void mot(const std::string& noms, int& v, std::vector<std::string> mots, const std::string& refus);

    void drapeau(const std::string& noms, std::function<void()> f);
    void drapeau(const std::string& noms, bool& v, bool valeur = true);

    // The argument that is not an option (the recording's NAME.dat).
    void positionnel(const std::string& nom, std::string& v) { texte(nom, v); }

    // CONTINUER, or the exit code once help, the version or a refusal is
    // printed. `argv[0]` is the program.
    int analyse(const std::vector<std::string>& argv);

    // "programme : raison" (when there is one) and the usage on stderr.
    int refuse(const std::string& raison) const;

    // `s` read whole as a finite number (no nan, no inf).
    static bool nombre_fini(const std::string& s, double& v);

private:
    std::unique_ptr<CLI::App> app_;
    std::string programme_, aide_, inattendu_;
    std::string refus_;
};
