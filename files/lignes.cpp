#include "files/lignes.h"

#include "channels/canaux.h"

void ligne(std::string& out, const std::string& texte)
{
    out += texte;
    out += "\r\n";
}

namespace {

void valeurs(std::string& out, const Conventions& conv, const uint8_t* v, int n)
{
    for (int i = 0; i < n; ++i)
        out += compose(conv, "  {0}", {static_cast<int>(v[i])});
}

} // namespace

void sections_selection(std::string& out, const Conventions& conv, const type_header_file& h)
{
    ligne(out, "\n[Micros actifs]");
    for (int f = 0; f < NB_FAISCEAUX; ++f) {
        std::string l = compose(conv, "Faisceau_{0:D3}", {f});
        valeurs(l, conv, h.micros_actifs[f], 8);
        ligne(out, l);
    }
    ligne(out, "\n[VA actives]");
    for (int b = 0; b < 4; ++b) {
        std::string l = std::string(BLOC[b]) + " = ";
        valeurs(l, conv, h.va_actives[b], 4);
        ligne(out, l);
    }
    ligne(out, "\n[Compteurs actifs]");
    std::string l = "Compteurs = ";
    valeurs(l, conv, h.compteurs_actifs, 4);
    ligne(out, l);
}

int ecrit_texte(std::FILE* f, const std::string& texte)
{
    if (!f)
        return -1;
    bool ok = std::fwrite(texte.data(), 1, texte.size(), f) == texte.size();
    // The stream is buffered: a full disk shows only when it is flushed.
    ok = std::fflush(f) == 0 && ok;
    return ok && !std::ferror(f) ? 0 : -1;
}
