// The live spectrum's page: a caption telling how to choose the
// microphone, and its spectrum (VueSpectre). Computes nothing.
#pragma once

#include <QWidget>

#include "analyse/spectre_direct.h"

class VueSpectre;

class PageSpectre : public QWidget {
    Q_OBJECT
public:
    explicit PageSpectre(QWidget* parent = nullptr);

    VueSpectre* vue() const { return vue_; }
    void montre(const SpectreMicro& s);

Q_SIGNALS:
    // A click on a band's bar.
    void bande_cliquee(double nominale);

private:
    VueSpectre* vue_;
};
