// The cell view (the 1024 microphones as 8 x 8 squares at a 10-pixel pitch,
// 16 beam groups with their captions) and the colour bar of the level
// display. Both draw in one paint event: no child widget per cell.
#pragma once

#include <QImage>
#include <QWidget>
#include <array>

#include "app/model/controles.h"

using Cellules = std::array<std::array<Couleur, 8>, 128>;

class VueCellules : public QWidget {
    Q_OBJECT
public:
    explicit VueCellules(QWidget* parent);

    // Takes the model's colours; schedules one repaint when one differs.
    void couleurs(const Cellules& c);
    const Cellules& couleurs() const { return cellules_; }
    // Microphones crossed out (the health check's Defaut bits, 0: none);
    // a flagged cell's tooltip names its faults.
    void signales(const std::array<unsigned, 1024>& s);

    // Top-left corner of cell (beam f, position j), in this widget.
    static QPoint position(int f, int j);
    static constexpr int COTE = 8;
    // The groups' captions ("F0 -> F7"...): 8 pt regular, whatever the
    // group around the view is drawn in.
    static QFont police_legendes();

    // The microphone whose cell holds `point`, or -1.
    static int micro_en(const QPoint& point);

Q_SIGNALS:
    void micro_clique(int micro);

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* e) override;
    bool event(QEvent* e) override;

private:
    Cellules cellules_;
    std::array<unsigned, 1024> signales_{};
};

// The 128-level map, level 0 at the bottom, stretched to the widget.
class BarreCouleurs : public QWidget {
    Q_OBJECT
public:
    explicit BarreCouleurs(QWidget* parent);
    // Draws the image from the map (R_jet, V_jet, B_jet): one row per level.
    void dessine(const std::array<int32_t, 128>& r, const std::array<int32_t, 128>& v,
                 const std::array<int32_t, 128>& b);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QImage image_;
};
