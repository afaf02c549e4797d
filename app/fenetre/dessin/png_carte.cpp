#include "app/fenetre/dessin/png_carte.h"

#include <QBuffer>
#include <QByteArray>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QString>

#include <algorithm>
#include <cmath>

namespace {

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
    constexpr int marge = 60, haut = 124, barre = 24;
    const Grille& g = c.grille;
    // 12 pixels a point up to 41 per side, finer grids in the same room.
    const int cote = std::clamp(492 / std::max(g.nx, g.ny), 1, 12);
    const int l = g.nx * cote, h = g.ny * cote;
    QImage image(std::max(marge + l + 30 + barre + 70, 640), haut + h + 90, QImage::Format_RGB32);
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
    // The maximum, circled; on a CLEAN-SC map every source listed, at its
    // position (between grid points when its clean points are).
    p.setPen(QPen(Qt::black, 2));
    p.drawEllipse(QPoint(marge + c.i_max * cote + cote / 2, haut + (g.ny - 1 - c.j_max) * cote + cote / 2), cote, cote);
    p.setPen(QPen(Qt::white, 1));
    for (const SourceCleanSc& s : c.sources) {
        const double u = g.pas_x() > 0 ? (s.x - g.x0) / g.pas_x() : 0, v = g.pas_y() > 0 ? (s.y - g.y0) / g.pas_y() : 0;
        p.drawEllipse(QPointF(marge + (u + 0.5) * cote, haut + (g.ny - 1 - v + 0.5) * cote), 1.5 * cote, 1.5 * cote);
    }
    p.setPen(Qt::black);
    p.drawRect(marge, haut, l, h);
    const QString nb = QStringLiteral("%1");
    p.drawText(QRect(0, 8, image.width(), 20), Qt::AlignHCenter,
               (c.clean_sc ? QStringLiteral("CLEAN-SC, bande %1 Hz (%2 à %3 Hz), plan à z = %4 m, %5 instantanés")
                           : QStringLiteral("Bande %1 Hz (%2 à %3 Hz), plan à z = %4 m, %5 instantanés"))
                       .arg(bande)
                       .arg(c.f_basse, 0, 'f', 0)
                       .arg(c.f_haute, 0, 'f', 0)
                       .arg(z)
                       .arg(c.instantanes) +
                   (c.sans_diagonale ? QStringLiteral(", diagonale retirée") : QStringLiteral(", diagonale gardée")));
    p.drawText(QRect(0, 28, image.width(), 20), Qt::AlignHCenter,
               QStringLiteral("Vue de devant le réseau (côté des sources) : x vers la droite, y vers le haut"));
    const QString maximum = QStringLiteral("Maximum : x = %1 m, y = %2 m, %3 %4")
                                .arg(c.x_max, 0, 'f', 3)
                                .arg(c.y_max, 0, 'f', 3)
                                .arg(c.niveau_max, 0, 'f', 1)
                                .arg(QString::fromStdString(unite));
    p.drawText(QRect(0, 46, image.width(), 20), Qt::AlignHCenter,
               c.clean_sc ? maximum + QStringLiteral(" ; %1 sources (cercles blancs)").arg(c.sources.size()) : maximum);
    p.drawText(QRect(0, 64, image.width(), 20), Qt::AlignHCenter,
               QStringLiteral("Niveaux en %1, %2")
                   .arg(QString::fromStdString(unite_niveaux(c.calibree)))
                   .arg(QString::fromStdString(reference_courte(c.reference))));
    p.drawText(QRect(0, 82, image.width(), 20), Qt::AlignHCenter,
               QStringLiteral("c = %1 m/s, instantanés de %2 trames, grille %3 x %4, pas %5 x %6 mm")
                   .arg(c.celerite, 0, 'f', 1)
                   .arg(c.points)
                   .arg(g.nx)
                   .arg(g.ny)
                   .arg(g.pas_x() * 1000, 0, 'f', 1)
                   .arg(g.pas_y() * 1000, 0, 'f', 1));
    if (c.au_bord) {
        p.setPen(Qt::red);
        p.drawText(QRect(0, 100, image.width(), 20), Qt::AlignHCenter, QString::fromUtf8(AVERTISSEMENT_BORD));
        p.setPen(Qt::black);
    }
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

bool png_de_carte(int argc, char** argv, const Carte& c, const std::string& unite, double bande, double z,
                  std::string& png)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QByteArray octets;
    if (!dessine_png(octets, c, unite, bande, z))
        return false;
    png.assign(octets.constData(), size_t(octets.size()));
    return true;
}
