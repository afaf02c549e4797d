// ondaris-carte: the acoustic map of a recording in one third-octave band,
// its maximum on one line for scripts, and the map as a PNG picture seen
// from in front of the array (the source side): x to the right, y up.
#include <QBuffer>
#include <QByteArray>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QString>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "analyse/carte.h"
#include "base/fichier_entier.h"
#include "files/fichier_donnees.h"
#include "files/calibration.h"
#include "files/geometrie.h"
#include "ligne_commande/ligne_commande.h"

namespace {

const char* const AIDE =
    "Usage : ondaris-carte NOM.dat --geometrie G.xml --bande HZ --z M [options]\n"
    "Carte acoustique d'un enregistrement (formation de voies, niveau vrai) dans une bande de\n"
    "tiers d'octave, sur une grille de 41 x 41 points couvrant l'ouverture du réseau, à M mètres\n"
    "devant lui ; instantanés de 1024 trames recouverts de moitié, moyennés.\n"
    "Écrit une ligne : maximum : x = X m, y = Y m, niveau = L dB\n"
    "  --geometrie G.xml      positions des 1024 micros (XML d'acoular, <MicArray>)\n"
    "  --bande HZ             centre nominal de la bande de tiers d'octave (ex. 1000, 2000, 3150)\n"
    "  --z M                  distance du plan de la carte au réseau, en mètres, depuis le plan\n"
    "                         moyen des micros (0,001 à 1000)\n"
    "  --debut S, --duree S   intervalle analysé (défaut : tout l'enregistrement)\n"
    "  --calibration F.xml    facteurs des micros (Pa par point) : niveaux en dB SPL\n"
    "  --png SORTIE.png       l'image de la carte en dB, 10 dB de dynamique sous le maximum,\n"
    "                         vue de devant le réseau (côté des sources), x vers la droite, y vers le haut\n"
    "Sans --calibration, les niveaux sont en dB re 1 point².\n"
    "Codes de sortie : 0, 1 (enregistrement ou fichier refusé), 64 (usage).\n";

// Dark blue, cyan, yellow, red from the bottom of the range to the top.
QColor couleur(double u)
{
    u = std::clamp(u, 0.0, 1.0);
    static const double p[][3] = {{20, 20, 110}, {0, 170, 220}, {250, 230, 40}, {210, 20, 20}};
    const double s = u * 3;
    const int k = std::min(2, int(s));
    const double t = s - k;
    return QColor(int(p[k][0] + t * (p[k + 1][0] - p[k][0])), int(p[k][1] + t * (p[k + 1][1] - p[k][1])),
                  int(p[k][2] + t * (p[k + 1][2] - p[k][2])));
}

// The picture as PNG bytes, written whole or not at all by the caller.
bool dessine_png(QByteArray& png, const Carte& c, const std::string& unite, double bande, double z)
{
    constexpr int cote = 12, marge = 60, haut = 70, barre = 24;
    const Grille& g = c.grille;
    const int l = g.nx * cote, h = g.ny * cote;
    QImage image(marge + l + 30 + barre + 70, haut + h + 90, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, false);
    const double haut_db = c.niveau_max, bas_db = c.niveau_max - 10;
    const double reference = unite == "dB SPL" ? 20e-6 * 20e-6 : 1.0;
    // Column i is x, growing to the right; row j is y, growing upward.
    for (int j = 0; j < g.ny; ++j)
        for (int i = 0; i < g.nx; ++i) {
            const double ms = c.moyennes[size_t(j * g.nx + i)];
            const double db = 10 * std::log10(std::max(ms, 1e-30) / reference);
            p.fillRect(marge + i * cote, haut + (g.ny - 1 - j) * cote, cote, cote,
                       couleur((db - bas_db) / (haut_db - bas_db)));
        }
    // The maximum, circled.
    p.setPen(QPen(Qt::black, 2));
    p.drawEllipse(QPoint(marge + c.i_max * cote + cote / 2, haut + (g.ny - 1 - c.j_max) * cote + cote / 2), cote, cote);
    p.setPen(Qt::black);
    p.drawRect(marge, haut, l, h);
    const QString nb = QStringLiteral("%1");
    p.drawText(QRect(0, 8, image.width(), 20), Qt::AlignHCenter,
               QStringLiteral("Bande %1 Hz (%2 à %3 Hz), plan à z = %4 m, %5 instantanés")
                   .arg(bande)
                   .arg(c.f_basse, 0, 'f', 0)
                   .arg(c.f_haute, 0, 'f', 0)
                   .arg(z)
                   .arg(c.instantanes));
    p.drawText(QRect(0, 28, image.width(), 20), Qt::AlignHCenter,
               QStringLiteral("Vue de devant le réseau (côté des sources) : x vers la droite, y vers le haut"));
    p.drawText(QRect(0, 46, image.width(), 20), Qt::AlignHCenter,
               QStringLiteral("Maximum : x = %1 m, y = %2 m, %3 %4")
                   .arg(c.x_max, 0, 'f', 3)
                   .arg(c.y_max, 0, 'f', 3)
                   .arg(c.niveau_max, 0, 'f', 1)
                   .arg(QString::fromStdString(unite)));
    // Axes: the grid's extent at its edges, and arrows naming x and y.
    p.drawText(QRect(marge - 30, haut + h + 4, 60, 16), Qt::AlignHCenter, nb.arg(g.x0, 0, 'f', 2));
    p.drawText(QRect(marge + l - 30, haut + h + 4, 60, 16), Qt::AlignHCenter, nb.arg(g.x1, 0, 'f', 2));
    p.drawText(QRect(0, haut + h - 8, marge - 4, 16), Qt::AlignRight, nb.arg(g.y0, 0, 'f', 2));
    p.drawText(QRect(0, haut - 8, marge - 4, 16), Qt::AlignRight, nb.arg(g.y1, 0, 'f', 2));
    p.drawLine(marge + l / 2 - 40, haut + h + 30, marge + l / 2 + 40, haut + h + 30);
    p.drawLine(marge + l / 2 + 40, haut + h + 30, marge + l / 2 + 32, haut + h + 26);
    p.drawLine(marge + l / 2 + 40, haut + h + 30, marge + l / 2 + 32, haut + h + 34);
    p.drawText(QRect(marge, haut + h + 36, l, 16), Qt::AlignHCenter, QStringLiteral("x (m), vers la droite"));
    p.drawLine(20, haut + h / 2 + 40, 20, haut + h / 2 - 40);
    p.drawLine(20, haut + h / 2 - 40, 16, haut + h / 2 - 32);
    p.drawLine(20, haut + h / 2 - 40, 24, haut + h / 2 - 32);
    p.drawText(QRect(4, haut + h / 2 + 44, 40, 16), Qt::AlignLeft, QStringLiteral("y (m)"));
    // The colour bar, maximum at the top.
    const int xb = marge + l + 30;
    for (int k = 0; k < h; ++k)
        p.fillRect(xb, haut + k, barre, 1, couleur(1.0 - double(k) / (h - 1)));
    p.drawRect(xb, haut, barre, h);
    p.drawText(QRect(xb + barre + 4, haut - 8, 70, 16), Qt::AlignLeft, nb.arg(haut_db, 0, 'f', 1));
    p.drawText(QRect(xb + barre + 4, haut + h - 8, 70, 16), Qt::AlignLeft, nb.arg(bas_db, 0, 'f', 1));
    p.drawText(QRect(xb - 10, haut + h + 4, barre + 60, 16), Qt::AlignLeft, QString::fromStdString(unite));
    p.end();
    QBuffer tampon(&png);
    return tampon.open(QIODevice::WriteOnly) && image.save(&tampon, "PNG");
}

} // namespace

int main(int argc, char** argv)
{
    std::string dat, geometrie, calibration, png;
    DemandeCarte d;
    d.bande = -1;
    d.z = -1;
    LigneCommande l("ondaris-carte", AIDE);
    l.positionnel("NOM.dat", dat);
    l.texte("--geometrie", geometrie);
    l.texte("--calibration", calibration);
    l.texte("--png", png);
    l.nombre("--bande", d.bande, 1, HUGE_VAL, "fréquence en Hz attendue");
    l.nombre("--z", d.z, 1e-3, 1000, "distance de 0,001 à 1000 m attendue");
    l.nombre("--debut", d.debut, 0, HUGE_VAL, "nombre de secondes positif attendu");
    l.nombre("--duree", d.duree, 0, HUGE_VAL, "nombre de secondes positif attendu");
    const int code = l.analyse(std::vector<std::string>(argv, argv + argc));
    if (code != LigneCommande::CONTINUER)
        return code;
    if (dat.empty() || geometrie.empty() || d.bande < 0 || d.z < 0)
        return l.refuse("NOM.dat, --geometrie, --bande et --z sont demandés");

    // The picture never lands on a file it reads.
    std::string erreur;
    if (!png.empty() &&
        refuse_sorties_sur_entrees(
            {png}, {dat, nom_compagnon(dat, ".Ond"), nom_compagnon(dat, ".log"), geometrie, calibration}, erreur) !=
            0) {
        std::fprintf(stderr, "ondaris-carte : %s\n", erreur.c_str());
        return 1;
    }
    Geometrie g;
    if (lit_geometrie(geometrie, g, erreur) != 0) {
        std::fprintf(stderr, "ondaris-carte : %s\n", erreur.c_str());
        return 1;
    }
    if (!calibration.empty()) {
        Calibration c;
        if (lit_calibration(calibration, MICROS_GEOMETRIE, c, erreur) != 0) {
            std::fprintf(stderr, "ondaris-carte : %s\n", erreur.c_str());
            return 1;
        }
        d.facteurs = c.facteurs;
    }
    Carte c;
    if (calcule_carte(dat, g, d, c, erreur) != 0) {
        std::fprintf(stderr, "ondaris-carte : %s\n", erreur.c_str());
        return 1;
    }
    const std::string unite = calibration.empty() ? "dB" : "dB SPL";
    // Printed before Qt sets the locale: a decimal point for scripts.
    std::printf("maximum : x = %.4f m, y = %.4f m, niveau = %.2f %s\n", c.x_max, c.y_max, c.niveau_max, unite.c_str());
    std::fflush(stdout);
    if (png.empty())
        return 0;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QByteArray octets;
    if (!dessine_png(octets, c, unite, d.bande, d.z)) {
        std::fprintf(stderr, "ondaris-carte : %s : image impossible à produire\n", png.c_str());
        return 1;
    }
    if (ecrit_fichier_entier(png, std::string(octets.constData(), size_t(octets.size())), erreur) != 0) {
        std::fprintf(stderr, "ondaris-carte : %s\n", erreur.c_str());
        return 1;
    }
    return 0;
}
