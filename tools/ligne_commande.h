// The command line of the runner and the tools, read with CLI11, with the
// programs' own French messages: --help prints the program's usage text,
// --version its version, and every refusal (unknown option, missing value,
// a number that is not one or out of its range) is printed as
// "programme : raison", followed by the usage, for exit code 64.
#pragma once

#include <CLI/CLI.hpp>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "base/version.h"

class LigneCommande {
public:
    static constexpr int SORTIE_USAGE = 64; // sysexits' EX_USAGE
    static constexpr int CONTINUER = -1;

    // `aide` is the usage text; `inattendu` starts the message for an
    // argument that no option takes.
    LigneCommande(std::string programme, std::string aide, std::string inattendu = "argument inattendu")
        : programme_(std::move(programme)), aide_(std::move(aide)), inattendu_(std::move(inattendu))
    {
        app_.set_help_flag();
        app_.allow_extras();
        // Help and version answer at once, as they come on the line.
        app_.add_flag_callback("-h,--help", [] { throw CLI::CallForHelp(); })->trigger_on_parse();
        app_.add_flag_callback("--version", [] { throw CLI::CallForVersion(); })->trigger_on_parse();
    }

    // An option with a value: `lit` takes the text and returns "" or the
    // reason it refuses it. A value given twice: the last one counts.
    void valeur(const std::string& noms, std::function<std::string(const std::string&)> lit)
    {
        CLI::Option* o = app_.add_option(noms);
        o->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
        o->check(CLI::Validator(
            [this, lit](std::string& s) {
                std::string refus = lit(s);
                if (!refus.empty())
                    refus_ = refus;
                return refus;
            },
            ""));
    }

    void texte(const std::string& noms, std::string& v)
    {
        valeur(noms, [&v](const std::string& s) {
            v = s;
            return std::string();
        });
    }

    // A finite number within [min, max]; `hors_plage` says why one outside
    // is refused.
    void nombre(const std::string& noms, double& v, double min, double max, const std::string& hors_plage)
    {
        const std::string nom = premier_nom(noms);
        valeur(noms, [&v, nom, min, max, hors_plage](const std::string& s) {
            double d;
            if (!nombre_fini(s, d))
                return nom + " : nombre attendu, pas « " + s + " »";
            // "-0" is refused with the negative values.
            if (d < min || d > max || (min >= 0 && std::signbit(d)))
                return nom + " : " + hors_plage;
            v = d;
            return std::string();
        });
    }

    // One word of `mots`; `v` is its rank.
    void mot(const std::string& noms, int& v, std::vector<std::string> mots, const std::string& refus)
    {
        const std::string nom = premier_nom(noms);
        valeur(noms, [&v, nom, mots, refus](const std::string& s) {
            for (size_t k = 0; k < mots.size(); ++k)
                if (s == mots[k]) {
                    v = static_cast<int>(k);
                    return std::string();
                }
            return nom + " : " + refus;
        });
    }

    void drapeau(const std::string& noms, std::function<void()> f) { app_.add_flag_callback(noms, std::move(f)); }
    void drapeau(const std::string& noms, bool& v, bool valeur = true)
    {
        drapeau(noms, [&v, valeur] { v = valeur; });
    }

    // The argument that is not an option (the recording's NAME.dat).
    void positionnel(const std::string& nom, std::string& v) { texte(nom, v); }

    // CONTINUER, or the exit code once help, the version or a refusal is
    // printed. `argv[0]` is the program.
    int analyse(const std::vector<std::string>& argv)
    {
        std::vector<std::string> reste(argv.rbegin(), argv.rend());
        if (!reste.empty())
            reste.pop_back();
        try {
            app_.parse(reste);
        } catch (const CLI::CallForHelp&) {
            std::fputs(aide_.c_str(), stdout);
            return 0;
        } catch (const CLI::CallForVersion&) {
            std::printf("%s %s\n", programme_.c_str(), version_ondaris());
            return 0;
        } catch (const CLI::ArgumentMismatch&) {
            // Values are taken whatever they look like, so only the last
            // argument can lack one.
            std::string nom = argv.back();
            return refuse(nom.substr(0, nom.find('=')) + " attend une valeur");
        } catch (const CLI::ValidationError& e) {
            return refuse(refus_.empty() ? e.what() : refus_);
        } catch (const CLI::ParseError& e) {
            return refuse(e.what());
        }
        const std::vector<std::string> extras = app_.remaining();
        if (!extras.empty())
            return refuse(inattendu_ + " : " + extras.front());
        return CONTINUER;
    }

    // "programme : raison" (when there is one) and the usage on stderr.
    int refuse(const std::string& raison) const
    {
        if (!raison.empty())
            std::fprintf(stderr, "%s : %s\n\n", programme_.c_str(), raison.c_str());
        std::fputs(aide_.c_str(), stderr);
        return SORTIE_USAGE;
    }

    // `s` read whole as a finite number (no nan, no inf).
    static bool nombre_fini(const std::string& s, double& v)
    {
        char* fin = nullptr;
        v = std::strtod(s.c_str(), &fin);
        return !s.empty() && fin && *fin == '\0' && std::isfinite(v);
    }

private:
    static std::string premier_nom(const std::string& noms)
    {
        const size_t virgule = noms.find(',');
        return virgule == std::string::npos ? noms : noms.substr(0, virgule);
    }

    CLI::App app_;
    std::string programme_, aide_, inattendu_;
    std::string refus_;
};
