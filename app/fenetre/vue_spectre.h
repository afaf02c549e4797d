// The live spectrum of one microphone as a picture: its third-octave levels
// as bars over the fine spectrum (the level of each line, drawn behind
// them), a logarithmic frequency axis, a level axis, and the overall LZ and
// LA. Paints values only: the spectrum is computed elsewhere
// (spectre_direct.h). A click on a bar names its band.
#pragma once

#include <QRectF>
#include <QString>
#include <QWidget>

#include "analyse/spectre_direct.h"

class VueSpectre : public QWidget {
    Q_OBJECT
public:
    explicit VueSpectre(QWidget* parent = nullptr);

    void montre(const SpectreMicro& s);
    const SpectreMicro& spectre() const { return spectre_; }
    // The band drawn highlighted (0: none), e.g. the map's.
    void choisit(double nominale);

    // The bar of a band in this widget (empty when not drawn).
    QRectF barre(double nominale) const;

    QSize sizeHint() const override { return QSize(720, 420); }
    QSize minimumSizeHint() const override { return QSize(480, 300); }

Q_SIGNALS:
    void bande_cliquee(double nominale);

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* e) override;

private:
    QRectF trace() const; // the plot's area
    double px(double f) const;
    double py(double db) const;

    SpectreMicro spectre_;
    double choisie_ = 0;
    double f_min_ = 20, f_max_ = 20000;
    double db_haut_ = 100, db_bas_ = 20;
};
