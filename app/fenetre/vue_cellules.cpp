#include "app/fenetre/vue_cellules.h"

#include <QApplication>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <algorithm>

#include "analyse/sante.h"

namespace {

int gx(int g) { return 20 + 90 * (g % 8); }
int gy(int g) { return 45 + 110 * (g / 8); }

} // namespace

VueCellules::VueCellules(QWidget* parent) : QWidget(parent)
{
    for (auto& faisceau : cellules_)
        faisceau.fill(DeepPink);
    setAttribute(Qt::WA_OpaquePaintEvent, false);
}

QPoint VueCellules::position(int f, int j)
{
    const int g = f / 8, k = f % 8;
    return QPoint(gx(g) + 10 * k, gy(g) + 10 * j);
}

void VueCellules::couleurs(const Cellules& c)
{
    if (c == cellules_)
        return;
    cellules_ = c;
    update();
}

int VueCellules::micro_en(const QPoint& point)
{
    for (int g = 0; g < 16; ++g) {
        const int dx = point.x() - gx(g), dy = point.y() - gy(g);
        if (dx < 0 || dy < 0 || dx >= 80 || dy >= 80)
            continue;
        if (dx % 10 >= COTE || dy % 10 >= COTE)
            return -1;
        return 8 * (8 * g + dx / 10) + dy / 10;
    }
    return -1;
}

void VueCellules::mousePressEvent(QMouseEvent* e)
{
    const int m = micro_en(e->position().toPoint());
    if (m >= 0)
        Q_EMIT micro_clique(m);
    QWidget::mousePressEvent(e);
}

bool VueCellules::event(QEvent* e)
{
    if (e->type() != QEvent::ToolTip)
        return QWidget::event(e);
    auto* aide = static_cast<QHelpEvent*>(e);
    const int m = micro_en(aide->pos());
    if (m >= 0 && signales_[size_t(m)])
        QToolTip::showText(
            aide->globalPos(),
            QStringLiteral("Micro %1 : %2").arg(m).arg(QString::fromStdString(noms_defauts(signales_[size_t(m)]))),
            this);
    else
        QToolTip::hideText();
    return true;
}

void VueCellules::signales(const std::array<unsigned, 1024>& s)
{
    if (s == signales_)
        return;
    signales_ = s;
    update();
}

QFont VueCellules::police_legendes()
{
    QFont f = QApplication::font();
    f.setPointSize(8);
    f.setBold(false);
    return f;
}

void VueCellules::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setFont(police_legendes());
    p.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    for (int g = 0; g < 16; ++g)
        p.drawText(QRect(gx(g), gy(g) - 15, 80, 12), Qt::AlignCenter,
                   QStringLiteral("F%1 -> F%2").arg(8 * g).arg(8 * g + 7));
    for (int f = 0; f < 128; ++f)
        for (int j = 0; j < 8; ++j) {
            const Couleur& c = cellules_[f][j];
            p.fillRect(QRect(position(f, j), QSize(COTE, COTE)), QColor(c.r, c.g, c.b, c.a));
        }
    // A flagged microphone: a black cross over its cell, a white one beside
    // it so that it shows on every colour.
    p.setRenderHint(QPainter::Antialiasing, false);
    for (int m = 0; m < 1024; ++m) {
        if (!signales_[size_t(m)])
            continue;
        const QPoint o = position(m / 8, m % 8);
        const QRect r(o.x() - 1, o.y() - 1, COTE + 2, COTE + 2);
        p.setPen(QPen(Qt::white, 3));
        p.drawLine(r.topLeft(), r.bottomRight());
        p.drawLine(r.topRight(), r.bottomLeft());
        p.setPen(QPen(Qt::black, 1.5));
        p.drawLine(r.topLeft(), r.bottomRight());
        p.drawLine(r.topRight(), r.bottomLeft());
    }
}

BarreCouleurs::BarreCouleurs(QWidget* parent) : QWidget(parent) {}

void BarreCouleurs::dessine(const std::array<int32_t, 128>& r, const std::array<int32_t, 128>& v,
                            const std::array<int32_t, 128>& b)
{
    // As wide as the picture box, 128 rows: row 127 - i has colour i.
    image_ = QImage(std::max(1, width()), 128, QImage::Format_RGB32);
    for (int i = 0; i < 128; ++i) {
        const QRgb c = qRgb(r[i], v[i], b[i]);
        QRgb* ligne = reinterpret_cast<QRgb*>(image_.scanLine(127 - i));
        for (int x = 0; x < image_.width(); ++x)
            ligne[x] = c;
    }
    update();
}

void BarreCouleurs::paintEvent(QPaintEvent*)
{
    if (image_.isNull())
        return;
    QPainter p(this);
    p.drawImage(rect(), image_);
}
