#include "ligne_commande/ligne_commande.h"

#include <CLI/CLI.hpp>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "base/version.h"

namespace {

std::string premier_nom(const std::string& noms)
{
    const size_t virgule = noms.find(',');
    return virgule == std::string::npos ? noms : noms.substr(0, virgule);
}

} // namespace

LigneCommande::LigneCommande(std::string programme, std::string aide, std::string inattendu)
    : app_(std::make_unique<CLI::App>()), programme_(std::move(programme)), aide_(std::move(aide)),
      inattendu_(std::move(inattendu))
{
    app_->set_help_flag();
    app_->allow_extras();
    // Help and version answer at once, as they come on the line.
    app_->add_flag_callback("-h,--help", [] { throw CLI::CallForHelp(); })->trigger_on_parse();
    app_->add_flag_callback("--version", [] { throw CLI::CallForVersion(); })->trigger_on_parse();
}

LigneCommande::~LigneCommande() = default;

void LigneCommande::valeur(const std::string& noms, std::function<std::string(const std::string&)> lit)
{
    CLI::Option* o = app_->add_option(noms);
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

void LigneCommande::texte(const std::string& noms, std::string& v)
{
    valeur(noms, [&v](const std::string& s) {
        v = s;
        return std::string();
    });
}

void LigneCommande::nombre(const std::string& noms, double& v, double min, double max, const std::string& hors_plage)
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

void LigneCommande::mot(const std::string& noms, int& v, std::vector<std::string> mots, const std::string& refus)
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

void LigneCommande::drapeau(const std::string& noms, std::function<void()> f)
{
    app_->add_flag_callback(noms, std::move(f));
}

void LigneCommande::drapeau(const std::string& noms, bool& v, bool valeur)
{
    drapeau(noms, [&v, valeur] { v = valeur; });
}

int LigneCommande::analyse(const std::vector<std::string>& argv)
{
    std::vector<std::string> reste(argv.rbegin(), argv.rend());
    if (!reste.empty())
        reste.pop_back();
    try {
        app_->parse(reste);
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
    const std::vector<std::string> extras = app_->remaining();
    if (!extras.empty())
        return refuse(inattendu_ + " : " + extras.front());
    return CONTINUER;
}

int LigneCommande::refuse(const std::string& raison) const
{
    if (!raison.empty())
        std::fprintf(stderr, "%s : %s\n\n", programme_.c_str(), raison.c_str());
    std::fputs(aide_.c_str(), stderr);
    return SORTIE_USAGE;
}

bool LigneCommande::nombre_fini(const std::string& s, double& v)
{
    char* fin = nullptr;
    v = std::strtod(s.c_str(), &fin);
    return !s.empty() && fin && *fin == '\0' && std::isfinite(v);
}
