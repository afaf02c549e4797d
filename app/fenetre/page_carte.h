// The live map's page: the map (VueCarte) and the operator's settings of
// it, the band's and the view's in one box, the grid's, the snapshots', the
// speed of sound's and the level's reference in another ("Grille et
// propagation"). A change of a setting emits reglages(); the dynamic range and the
// viewpoint also apply to the map shown at once. The page computes
// nothing: a new map comes through montre().
#pragma once

#include <QWidget>
#include <vector>

#include "analyse/carte_directe.h"
#include "analyse/spectre.h"

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QPushButton;
class QSlider;
class QSpinBox;
class VueCarte;

class PageCarte : public QWidget {
    Q_OBJECT
public:
    explicit PageCarte(QWidget* parent = nullptr);

    VueCarte* vue() const { return vue_; }
    ReglagesCarte reglages_courants() const { return reglages_; }

    // The run's frame rate: the bands offered are those below fs/2; the
    // band chosen stays when it is still there, else the nearest one.
    void frequence(double fs);
    // Chooses the band of this nominal centre (a third-octave one switches
    // an octave setting back to third-octaves when it is not an octave).
    void bande(double nominale);
    void montre(const ImageCarte& c);

    // The plane's distance, found by the search: the z control set to it
    // (which emits reglages()).
    void distance(double z);
    // A job on the latest frames runs (its two buttons disabled), with the
    // line said under them.
    void tache(bool en_cours, const QString& ligne);
    // The point chosen on the map's plane (x, y; its z is the map's).
    bool point_choisi() const { return choisi_; }
    double x_choisi() const { return x_choisi_; }
    double y_choisi() const { return y_choisi_; }

Q_SIGNALS:
    void reglages(const ReglagesCarte& r);
    // "Écouter ce point…": the point chosen (a click on the map) or the one
    // of the map's menu.
    void ecoute(double x, double y);
    // "Trouver la distance".
    void distance_demandee();

private:
    void remplit_bandes(double voulue);
    void lit_controles(); // controls -> reglages_, emitted when they differ
    QWidget* construit_ecoute();
    void choisit_point(double x, double y);

    VueCarte* vue_;
    QSlider* curseur_bande_;
    QLabel* valeur_bande_;
    QComboBox* largeur_;
    QSpinBox* n_;
    QDoubleSpinBox* z_;
    QDoubleSpinBox* dynamique_;
    QDoubleSpinBox* moyenne_;
    QComboBox* vue_de_;
    QCheckBox* diagonale_;
    QLabel* point_ = nullptr;
    QPushButton* ecoute_ = nullptr;
    QPushButton* distance_ = nullptr;
    QLabel* etat_tache_ = nullptr;
    bool choisi_ = false, tache_en_cours_ = false;
    double x_choisi_ = 0, y_choisi_ = 0;
    // Grid and propagation.
    QComboBox* etendue_;
    QDoubleSpinBox *x0_, *x1_, *y0_, *y1_;
    QComboBox* mode_grille_;
    QDoubleSpinBox* pas_;
    QComboBox* instantane_;
    QComboBox* propagation_;
    QDoubleSpinBox* celerite_;
    QDoubleSpinBox* temperature_;
    QComboBox* reference_;
    double fs_ = 50000;
    std::vector<Bande> bandes_;
    ReglagesCarte reglages_;
    bool en_cours_ = false; // controls being set from here
};
