// The live acoustic map as a picture: the levels of an ImageCarte in the jet
// colours over the dynamic range below the maximum (quieter points left
// dark), the maximum marked, the microphones used as dots, axes in metres
// and the colour bar; above it the band, the maximum's level with its unit
// and reference point, the border's warning, the grid and the speed of
// sound. Seen from in front of the array (the source side, x
// to the right) or from behind it (x to the left), as the caption says.
// Paints values only: the map is computed elsewhere (carte_directe.h).
#pragma once

#include <QImage>
#include <QRectF>
#include <QString>
#include <QWidget>

#include "analyse/carte_directe.h"

class VueCarte : public QWidget {
    Q_OBJECT
public:
    explicit VueCarte(QWidget* parent = nullptr);

    // The array's positions, for the microphones' dots.
    void geometrie(const Geometrie& g);
    // The map to show. Its dynamic range and viewpoint are the view's own
    // (dynamique(), derriere()), which may change between maps.
    void montre(const ImageCarte& c);
    const ImageCarte& image() const { return image_; }

    void dynamique(double db);
    void derriere(bool d);
    bool derriere() const { return derriere_; }

    // The point chosen for listening, marked by a square (none: hidden).
    void point_choisi(bool montre, double x = 0, double y = 0);

    // "Vue de face (depuis la source)" or "Vue de dos (derrière l'antenne)".
    QString legende() const;
    // Where the point (x, y) of the map's plane is drawn in this widget.
    QPointF ecran(double x, double y) const;

    QSize sizeHint() const override { return QSize(640, 560); }
    QSize minimumSizeHint() const override { return QSize(420, 380); }

Q_SIGNALS:
    // A click on the map: the point of the plane, m.
    void point_clique(double x, double y);
    // The same click: the microphone whose dot is nearest.
    void micro_clique(int micro);
    // "Écouter ce point…" chosen in the map's menu (right click).
    void ecoute_demandee(double x, double y);

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;
    void resizeEvent(QResizeEvent*) override { zone_ = calcule_zone(); }

private:
    QRectF calcule_zone() const; // the map's square in the widget
    void plan(QPointF p, double& x, double& y) const;
    // The plane's extent shown: the grid with half a step around it.
    void etendue(double& x0, double& x1, double& y0, double& y1) const;

    Geometrie geometrie_;
    ImageCarte image_;
    double dynamique_ = 10;
    bool derriere_ = false;
    bool choisi_ = false;
    double x_choisi_ = 0, y_choisi_ = 0;
    QRectF zone_;
};
