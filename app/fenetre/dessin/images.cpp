#include "app/fenetre/dessin/images.h"

#include <QGuiApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QImage>
#include <cmath>

namespace {

QColor niveau(double t) // blue -> cyan -> yellow -> red, t in [0, 1]
{
    const QColor c[] = {QColor(0, 0, 143), QColor(0, 255, 255), QColor(255, 255, 0), QColor(255, 0, 0)};
    t = std::clamp(t, 0.0, 1.0) * 3;
    int i = std::min(2, static_cast<int>(t));
    double u = t - i;
    return QColor::fromRgbF(c[i].redF() * (1 - u) + c[i + 1].redF() * u,
                            c[i].greenF() * (1 - u) + c[i + 1].greenF() * u,
                            c[i].blueF() * (1 - u) + c[i + 1].blueF() * u);
}

QImage icone(int cote)
{
    QImage im(cote, cote, QImage::Format_ARGB32_Premultiplied);
    im.fill(Qt::transparent);
    QPainter p(&im);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(QColor(28, 42, 64));
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(QRectF(0, 0, cote, cote), cote * 0.16, cote * 0.16);
    // An 8 x 8 array of microphones with a source lighting it up.
    const double pas = cote / 9.5, r = pas * 0.36;
    for (int i = 0; i < 8; ++i)
        for (int j = 0; j < 8; ++j) {
            double d = std::hypot(i - 2.5, j - 4.5);
            p.setBrush(niveau(1.0 - d / 7.0));
            p.drawEllipse(QPointF(pas * (1.25 + i), pas * (1.25 + j)), r, r);
        }
    return im;
}

QImage logo(const QString& sigle, const QString& ligne1, const QString& ligne2, const QColor& teinte, bool ondes)
{
    const int l = 380, h = 152; // twice the size shown
    QImage im(l, h, QImage::Format_ARGB32_Premultiplied);
    im.fill(Qt::transparent);
    QPainter p(&im);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    // Emblem.
    QRectF em(6, 10, 132, 132);
    QLinearGradient g(em.topLeft(), em.bottomRight());
    g.setColorAt(0, teinte.lighter(130));
    g.setColorAt(1, teinte.darker(140));
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    if (ondes)
        p.drawRoundedRect(em, 22, 22);
    else
        p.drawEllipse(em);
    p.setPen(QPen(QColor(255, 255, 255, 200), 4));
    p.setBrush(Qt::NoBrush);
    if (ondes) {
        for (int k = 0; k < 3; ++k) {
            QPainterPath onde;
            double y0 = 30 + 20 * k;
            onde.moveTo(22, y0);
            for (int x = 22; x <= 122; x += 2)
                onde.lineTo(x, y0 + 7 * std::sin((x - 22) / 100.0 * 2 * 3.14159265358979 * (1 + k * 0.5)));
            p.drawPath(onde);
        }
    } else {
        p.drawEllipse(em.adjusted(12, 12, -12, -12));
    }
    QFont fs(QStringLiteral("Liberation Serif"), 30, QFont::Bold);
    fs.setPixelSize(ondes ? 34 : 44);
    p.setFont(fs);
    p.setPen(Qt::white);
    p.drawText(ondes ? em.adjusted(0, 70, 0, -8) : em, Qt::AlignCenter, sigle);
    // Name.
    QFont f1(QStringLiteral("Liberation Sans"));
    f1.setPixelSize(38);
    f1.setBold(true);
    f1.setLetterSpacing(QFont::PercentageSpacing, 104);
    p.setFont(f1);
    p.setPen(teinte.darker(150));
    p.drawText(QRectF(150, 22, l - 150, 56), Qt::AlignLeft | Qt::AlignVCenter, ligne1);
    QFont f2(QStringLiteral("Liberation Sans"));
    f2.setPixelSize(26);
    p.setFont(f2);
    p.setPen(QColor(70, 70, 70));
    p.drawText(QRectF(150, 80, l - 150, 44), Qt::AlignLeft | Qt::AlignVCenter, ligne2);
    p.setPen(QPen(teinte, 3));
    p.drawLine(QPointF(152, 80), QPointF(l - 8, 80));
    return im;
}

} // namespace

int dessine_images(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    const QString dossier = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    bool ok = icone(64).save(dossier + QStringLiteral("/icone.png"));
    ok &= logo(QStringLiteral("T"), QStringLiteral("TALVORE"), QStringLiteral("Université"), QColor(22, 70, 140), false)
              .save(dossier + QStringLiteral("/logo_talvore.png"));
    ok &=
        logo(QStringLiteral("IMVL"), QStringLiteral("MORVELAN"), QStringLiteral("Institut"), QColor(160, 40, 60), true)
            .save(dossier + QStringLiteral("/logo_morvelan.png"));
    return ok ? 0 : 1;
}
