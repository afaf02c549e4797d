#include "app/fenetre/vue_spectre.h"

#include <QApplication>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QPolygonF>
#include <algorithm>
#include <cmath>

#include "app/fenetre/texte_qt.h"

namespace {

QString frequence(double f)
{
    return f >= 1000 ? QLocale(QLocale::French).toString(f / 1000, 'g', 3) + QStringLiteral(" k")
                     : QLocale(QLocale::French).toString(f, 'g', 3);
}

} // namespace

VueSpectre::VueSpectre(QWidget* parent) : QWidget(parent) {}

void VueSpectre::montre(const SpectreMicro& s)
{
    spectre_ = s;
    // The frequency axis from the first band (or 20 Hz) to fs/2; the level
    // axis from 10 dB above the loudest band over 80 dB, by tens.
    f_min_ = 20;
    f_max_ = s.densite.size() > 1 ? s.resolution * double(s.densite.size() - 1) : 20000;
    double haut = s.lz;
    for (double n : s.niveaux)
        haut = std::max(haut, n);
    db_haut_ = std::ceil((haut + 5) / 10) * 10;
    db_bas_ = db_haut_ - 80;
    update();
}

void VueSpectre::choisit(double nominale)
{
    choisie_ = nominale;
    update();
}

QRectF VueSpectre::trace() const
{
    return QRectF(64, 58, std::max(50, width() - 64 - 18), std::max(50, height() - 58 - 50));
}

double VueSpectre::px(double f) const
{
    const QRectF t = trace();
    return t.left() + t.width() * std::log(std::max(f, f_min_) / f_min_) / std::log(f_max_ / f_min_);
}

double VueSpectre::py(double db) const
{
    const QRectF t = trace();
    return t.bottom() - t.height() * (std::clamp(db, db_bas_, db_haut_) - db_bas_) / (db_haut_ - db_bas_);
}

QRectF VueSpectre::barre(double nominale) const
{
    for (size_t b = 0; b < spectre_.bandes.size() && b < spectre_.niveaux.size(); ++b)
        if (spectre_.bandes[b].nominale == nominale) {
            const double g = px(spectre_.bandes[b].basse) + 1, d = px(spectre_.bandes[b].haute) - 1;
            return QRectF(QPointF(g, py(spectre_.niveaux[b])), QPointF(d, trace().bottom()));
        }
    return QRectF();
}

void VueSpectre::mousePressEvent(QMouseEvent* e)
{
    if (e->button() != Qt::LeftButton || !trace().contains(e->position()))
        return;
    // Anywhere in a band's column, above or on its bar.
    for (const Bande& b : spectre_.bandes)
        if (e->position().x() >= px(b.basse) && e->position().x() < px(b.haute)) {
            choisit(b.nominale);
            Q_EMIT bande_cliquee(b.nominale);
            return;
        }
}

void VueSpectre::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QColor texte = palette().color(QPalette::WindowText);
    const QRectF t = trace();
    const SpectreMicro& s = spectre_;
    p.fillRect(t, Qt::white);
    p.setFont(police(11, true));
    p.setPen(texte);
    if (s.micro < 0 || s.segments == 0) {
        p.drawText(QRectF(0, 4, width(), 22), Qt::AlignHCenter | Qt::AlignVCenter,
                   s.micro < 0 ? QStringLiteral("Spectre : aucun micro choisi")
                               : QStringLiteral("Micro %1 : en attente du premier segment").arg(s.micro));
        p.drawRect(t);
        return;
    }
    const QString unite = s.calibre ? QStringLiteral("dB SPL") : QStringLiteral("dB re 1 compte²");
    p.drawText(QRectF(0, 4, width(), 22), Qt::AlignHCenter | Qt::AlignVCenter,
               QStringLiteral("Micro %1 : spectre en tiers d'octave").arg(s.micro));
    p.setFont(police(10));
    p.drawText(QRectF(t.left(), 28, t.width() / 2, 20), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Moyenne de %1 segments de %2 points, raies de %3 Hz")
                   .arg(s.segments)
                   .arg(s.points)
                   .arg(nombre(s.resolution, 2)));
    p.setFont(police(11, true));
    p.drawText(
        QRectF(t.center().x(), 28, t.width() / 2, 20), Qt::AlignRight | Qt::AlignVCenter,
        s.calibre
            ? QStringLiteral("LZ = %1 dB SPL    LA = %2 dB(A)").arg(nombre(s.lz, 1), nombre(s.la, 1))
            : QStringLiteral("LZ = %1 dB    LA = %2 dB(A)  (re 1 compte²)").arg(nombre(s.lz, 1), nombre(s.la, 1)));
    p.setFont(police(10));

    // Grid: levels by tens, frequencies 1, 2, 5 per decade.
    p.setPen(QColor(225, 225, 225));
    for (double db = db_bas_; db <= db_haut_ + 1e-9; db += 10)
        p.drawLine(QPointF(t.left(), py(db)), QPointF(t.right(), py(db)));
    std::vector<double> graduations;
    for (double d = 10; d <= 100000; d *= 10)
        for (double m : {1.0, 2.0, 5.0})
            if (m * d >= f_min_ && m * d <= f_max_)
                graduations.push_back(m * d);
    for (double f : graduations)
        p.drawLine(QPointF(px(f), t.top()), QPointF(px(f), t.bottom()));

    // Bars of the bands, the chosen one darker.
    p.setClipRect(t);
    for (size_t b = 0; b < s.bandes.size() && b < s.niveaux.size(); ++b) {
        const bool choisie = s.bandes[b].nominale == choisie_;
        p.fillRect(barre(s.bandes[b].nominale), choisie ? QColor(230, 120, 20) : QColor(110, 160, 210));
    }
    // The level of each line (density times the resolution), in front of
    // the bars' fill: a tone's peak reads its level as its band does.
    if (s.densite.size() > 2) {
        QPolygonF ligne;
        const double dec = 10 * std::log10(s.resolution);
        for (size_t k = 1; k < s.densite.size(); ++k)
            ligne << QPointF(px(k * s.resolution), py(s.densite[k] + dec));
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(QColor(40, 40, 90), 1));
        p.drawPolyline(ligne);
        p.setRenderHint(QPainter::Antialiasing, false);
    }
    p.setClipping(false);
    p.setPen(texte);
    p.drawRect(t);

    // Axes.
    for (double f : graduations) {
        p.drawLine(QPointF(px(f), t.bottom()), QPointF(px(f), t.bottom() + 4));
        p.drawText(QRectF(px(f) - 25, t.bottom() + 5, 50, 16), Qt::AlignHCenter | Qt::AlignTop, frequence(f));
    }
    p.drawText(QRectF(t.left(), t.bottom() + 24, t.width(), 18), Qt::AlignHCenter | Qt::AlignVCenter,
               QStringLiteral("Fréquence (Hz) — barres : tiers d'octave ; trait : raies"));
    for (double db = db_bas_; db <= db_haut_ + 1e-9; db += 10) {
        p.drawLine(QPointF(t.left() - 4, py(db)), QPointF(t.left(), py(db)));
        p.drawText(QRectF(t.left() - 40, py(db) - 8, 34, 16), Qt::AlignRight | Qt::AlignVCenter, nombre(db, 0));
    }
    p.save();
    p.translate(14, t.center().y());
    p.rotate(-90);
    p.drawText(QRectF(-100, -10, 200, 20), Qt::AlignCenter, QStringLiteral("Niveau (%1)").arg(unite));
    p.restore();
}
