#include "app/fenetre/vue_carte.h"

#include "analyse/reglages_carte.h" // au_bord

#include <QApplication>
#include <QContextMenuEvent>
#include <QLocale>
#include <QMenu>
#include <QMouseEvent>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

#include "app/fenetre/texte_qt.h"
#include "channels/niveaux.h"

namespace {

// One centred line of the map's header: the font made smaller until it
// fits the widget's width (down to 7 points), then elided.
void ligne(QPainter& p, double y, double largeur, const QString& texte)
{
    QFont f = p.font();
    for (double taille = f.pointSizeF(); taille > 7; taille -= 0.5) {
        if (QFontMetricsF(f).horizontalAdvance(texte) <= largeur - 8)
            break;
        f.setPointSizeF(taille - 0.5);
    }
    const QFont avant = p.font();
    p.setFont(f);
    const QString t = QFontMetricsF(f).elidedText(texte, Qt::ElideRight, largeur - 8);
    p.drawText(QRectF(0, y, largeur, 20), Qt::AlignHCenter | Qt::AlignVCenter, t);
    p.setFont(avant);
}

constexpr int MARGE_GAUCHE = 58, MARGE_DROITE = 96, MARGE_HAUT = 112, MARGE_BAS = 48;

// Jet colour of u in 0..1.
QColor jet(double u)
{
    const auto& c = carte_jet()[size_t(std::clamp(int(std::lround(u * (NB_NIVEAUX - 1))), 0, NB_NIVEAUX - 1))];
    return QColor(c.r, c.v, c.b);
}

// A round step giving about `n` ticks over `etendue`.
double pas_graduation(double etendue, int n)
{
    const double brut = etendue / n, p = std::pow(10.0, std::floor(std::log10(brut)));
    for (double m : {1.0, 2.0, 5.0})
        if (m * p >= brut)
            return m * p;
    return 10 * p;
}

} // namespace

VueCarte::VueCarte(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    zone_ = calcule_zone();
}

void VueCarte::geometrie(const Geometrie& g)
{
    geometrie_ = g;
    update();
}

void VueCarte::montre(const ImageCarte& c)
{
    image_ = c;
    update();
}

void VueCarte::dynamique(double db)
{
    dynamique_ = std::max(0.1, db);
    update();
}

void VueCarte::derriere(bool d)
{
    derriere_ = d;
    update();
}

QString VueCarte::legende() const
{
    return derriere_ ? QStringLiteral("Vue de dos (derrière l'antenne)")
                     : QStringLiteral("Vue de face (depuis la source)");
}

QRectF VueCarte::calcule_zone() const
{
    const double l = width() - MARGE_GAUCHE - MARGE_DROITE, h = height() - MARGE_HAUT - MARGE_BAS;
    const double cote = std::max(10.0, std::min(l, h));
    return QRectF(MARGE_GAUCHE + (l - cote) / 2, MARGE_HAUT, cote, cote);
}

void VueCarte::etendue(double& x0, double& x1, double& y0, double& y1) const
{
    const Grille& g = image_.grille;
    x0 = g.x0 - g.pas_x() / 2;
    x1 = g.x1 + g.pas_x() / 2;
    y0 = g.y0 - g.pas_y() / 2;
    y1 = g.y1 + g.pas_y() / 2;
    // A square of the larger side, the grid in its middle.
    const double c = std::max({x1 - x0, y1 - y0, 1e-3}), mx = (x0 + x1) / 2, my = (y0 + y1) / 2;
    x0 = mx - c / 2, x1 = mx + c / 2, y0 = my - c / 2, y1 = my + c / 2;
}

QPointF VueCarte::ecran(double x, double y) const
{
    double x0, x1, y0, y1;
    etendue(x0, x1, y0, y1);
    double u = (x - x0) / (x1 - x0);
    if (derriere_)
        u = 1 - u; // from behind, x grows to the left
    const double v = (y - y0) / (y1 - y0);
    return QPointF(zone_.left() + u * zone_.width(), zone_.bottom() - v * zone_.height());
}

void VueCarte::plan(QPointF p, double& x, double& y) const
{
    double x0, x1, y0, y1;
    etendue(x0, x1, y0, y1);
    double u = (p.x() - zone_.left()) / zone_.width();
    if (derriere_)
        u = 1 - u;
    x = x0 + u * (x1 - x0);
    y = y0 + (zone_.bottom() - p.y()) / zone_.height() * (y1 - y0);
}

void VueCarte::mousePressEvent(QMouseEvent* e)
{
    if (e->button() != Qt::LeftButton || image_.niveaux.empty() || !zone_.contains(e->position()))
        return;
    double x, y;
    plan(e->position(), x, y);
    Q_EMIT point_clique(x, y);
    int proche = -1;
    double d2 = 0;
    for (int m : image_.micros) {
        if (m < 0 || m >= int(geometrie_.size()))
            continue;
        const QPointF q = ecran(geometrie_[size_t(m)].x, geometrie_[size_t(m)].y) - e->position();
        const double d = q.x() * q.x() + q.y() * q.y();
        if (proche < 0 || d < d2)
            proche = m, d2 = d;
    }
    if (proche >= 0)
        Q_EMIT micro_clique(proche);
}

void VueCarte::contextMenuEvent(QContextMenuEvent* e)
{
    if (image_.niveaux.empty() || !zone_.contains(e->pos()))
        return;
    double x, y;
    plan(e->pos(), x, y);
    QMenu menu(this);
    QAction* ecoute = menu.addAction(QStringLiteral("Écouter ce point…"));
    if (menu.exec(e->globalPos()) == ecoute)
        Q_EMIT ecoute_demandee(x, y);
}

void VueCarte::point_choisi(bool montre, double x, double y)
{
    choisi_ = montre;
    x_choisi_ = x;
    y_choisi_ = y;
    update();
}

void VueCarte::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor texte = palette().color(QPalette::WindowText);
    p.setPen(texte);
    const QRectF z = zone_;

    // The viewpoint above everything else: which way x runs.
    p.setFont(police(11, true));
    p.drawText(QRectF(0, 4, width(), 22), Qt::AlignHCenter | Qt::AlignVCenter,
               legende() + (derriere_ ? QStringLiteral(" : x vers la gauche, y vers le haut")
                                      : QStringLiteral(" : x vers la droite, y vers le haut")));
    p.setFont(police(10));
    const bool vide = image_.niveaux.empty();
    const QString unite = image_.calibre ? QStringLiteral("dB SPL") : QStringLiteral("dB");
    if (vide) {
        p.fillRect(z, QColor(30, 30, 40));
        p.setPen(Qt::white);
        p.drawText(z, Qt::AlignCenter, QStringLiteral("En attente de la première carte"));
        return;
    }
    const ReglagesCarte& r = image_.reglages;
    ligne(p, 26, width(),
          QStringLiteral("Bande %1 Hz (%2, %3 à %4 Hz), plan à z = %5 m, %6 instantanés de %7 points")
              .arg(nombre(r.bande, r.bande < 100 ? 1 : 0))
              .arg(r.octave ? QStringLiteral("octave") : QStringLiteral("tiers d'octave"))
              .arg(nombre(image_.f_basse, 0))
              .arg(nombre(image_.f_haute, 0))
              .arg(nombre(r.z, 2))
              .arg(image_.instantanes)
              .arg(image_.points));
    ligne(p, 46, width(),
          QStringLiteral("Maximum : %1 %2 %3, en x = %4 m, y = %5 m ; diagonale %6")
              .arg(nombre(image_.niveau_max, 1))
              .arg(QString::fromStdString(unite_niveaux(image_.calibre)))
              .arg(QString::fromStdString(reference_courte(r.reference)))
              .arg(nombre(image_.x_max, 3))
              .arg(nombre(image_.y_max, 3))
              .arg(r.sans_diagonale ? QStringLiteral("retirée") : QStringLiteral("gardée")));
    if (au_bord(image_.grille, image_.i_max, image_.j_max)) {
        p.setPen(Qt::red);
        ligne(p, 66, width(), QString::fromUtf8(AVERTISSEMENT_BORD));
        p.setPen(texte);
    }
    // The grid and the propagation the map was made with.
    const Grille& gr = image_.grille;
    const QString pas_grille = std::fabs(gr.pas_x() - gr.pas_y()) <= 1e-9 * std::max(gr.pas_x(), 1e-9)
                                   ? nombre(gr.pas_x(), 3)
                                   : nombre(gr.pas_x(), 3) + QStringLiteral(" x ") + nombre(gr.pas_y(), 3);
    ligne(p, 86, width(),
          QStringLiteral("Grille de %1 x %2 points au pas de %3 m%4, son à %5 m/s")
              .arg(gr.nx)
              .arg(gr.ny)
              .arg(pas_grille)
              .arg(image_.grille_limitee ? QStringLiteral(" (élargi pour le direct)") : QString())
              .arg(nombre(image_.celerite, 1)));

    // The levels, one picture cell per focus point, x mirrored from behind.
    const Grille& g = image_.grille;
    QImage im(g.nx, g.ny, QImage::Format_ARGB32);
    const double haut = image_.niveau_max, bas = haut - dynamique_;
    for (int j = 0; j < g.ny; ++j)
        for (int i = 0; i < g.nx; ++i) {
            const double db = image_.niveaux[size_t(j * g.nx + i)];
            QColor c = db < bas ? QColor(0, 0, 0, 0) : jet((db - bas) / dynamique_);
            im.setPixelColor(derriere_ ? g.nx - 1 - i : i, g.ny - 1 - j, c);
        }
    p.fillRect(z, QColor(30, 30, 40));
    const double dx = g.pas_x() / 2, dy = g.pas_y() / 2;
    const QRectF cellules = QRectF(ecran(g.x0 - dx, g.y1 + dy), ecran(g.x1 + dx, g.y0 - dy)).normalized();
    p.save();
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.setClipRect(z);
    p.drawImage(cellules, im);
    // The microphones used.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 150));
    for (int m : image_.micros)
        if (m >= 0 && m < int(geometrie_.size()))
            p.drawEllipse(ecran(geometrie_[size_t(m)].x, geometrie_[size_t(m)].y), 1.3, 1.3);
    // The maximum: a white ring and cross with a black edge.
    const QPointF mx = ecran(image_.x_max, image_.y_max);
    QPainterPath repere;
    repere.addEllipse(mx, 9, 9);
    repere.moveTo(mx.x() - 13, mx.y());
    repere.lineTo(mx.x() + 13, mx.y());
    repere.moveTo(mx.x(), mx.y() - 13);
    repere.lineTo(mx.x(), mx.y() + 13);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(Qt::black, 4));
    p.drawPath(repere);
    p.setPen(QPen(Qt::white, 2));
    p.drawPath(repere);
    // The point chosen for listening: a magenta square with a black edge.
    if (choisi_) {
        const QPointF c = ecran(x_choisi_, y_choisi_);
        const QRectF carre(c.x() - 6, c.y() - 6, 12, 12);
        p.setPen(QPen(Qt::black, 4));
        p.drawRect(carre);
        p.setPen(QPen(QColor(255, 0, 255), 2));
        p.drawRect(carre);
    }
    p.restore();
    p.setPen(texte);
    p.drawRect(z);

    // Axes in metres: ticks at round values, x read with the viewpoint.
    double x0, x1, y0, y1;
    etendue(x0, x1, y0, y1);
    const double pas = pas_graduation(x1 - x0, 6);
    const int decimales = pas < 0.1 ? 2 : 1;
    for (double v = std::ceil(x0 / pas) * pas; v <= x1 + 1e-9; v += pas) {
        const double px = ecran(v, y0).x();
        p.drawLine(QPointF(px, z.bottom()), QPointF(px, z.bottom() + 5));
        p.drawText(QRectF(px - 30, z.bottom() + 6, 60, 16), Qt::AlignHCenter | Qt::AlignTop,
                   nombre(std::fabs(v) < 1e-9 ? 0.0 : v, decimales));
    }
    for (double v = std::ceil(y0 / pas) * pas; v <= y1 + 1e-9; v += pas) {
        const double py = ecran(x0, v).y();
        p.drawLine(QPointF(z.left() - 5, py), QPointF(z.left(), py));
        p.drawText(QRectF(z.left() - 48, py - 8, 41, 16), Qt::AlignRight | Qt::AlignVCenter,
                   nombre(std::fabs(v) < 1e-9 ? 0.0 : v, decimales));
    }
    p.drawText(QRectF(z.left(), z.bottom() + 24, z.width(), 18), Qt::AlignHCenter | Qt::AlignVCenter,
               derriere_ ? QStringLiteral("← x (m)") : QStringLiteral("x (m) →"));
    p.save();
    p.translate(z.left() - 50, z.center().y());
    p.rotate(-90);
    p.drawText(QRectF(-60, -16, 120, 16), Qt::AlignHCenter | Qt::AlignBottom, QStringLiteral("y (m) →"));
    p.restore();

    // The colour bar: the maximum at the top, the range's floor at the bottom.
    const QRectF barre(z.right() + 16, z.top(), 18, z.height());
    for (int k = 0; k < int(barre.height()); ++k)
        p.fillRect(QRectF(barre.left(), barre.top() + k, barre.width(), 1.0),
                   jet(1.0 - double(k) / std::max(1.0, barre.height() - 1)));
    p.drawRect(barre);
    for (int k = 0; k <= 4; ++k) {
        const double db = haut - dynamique_ * k / 4, py = barre.top() + barre.height() * k / 4;
        p.drawLine(QPointF(barre.right(), py), QPointF(barre.right() + 4, py));
        p.drawText(QRectF(barre.right() + 6, py - 8, 56, 16), Qt::AlignLeft | Qt::AlignVCenter, nombre(db, 1));
    }
    p.drawText(QRectF(barre.left() - 10, barre.bottom() + 6, 80, 16), Qt::AlignLeft | Qt::AlignTop, unite);
}
