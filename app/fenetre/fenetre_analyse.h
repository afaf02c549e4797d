// The analysis window, opened from the main window's "Analyse…" button:
// pages for the microphones' health check, calibration, the live acoustic
// map and a microphone's live spectrum. It shows
// the live analysis's results (direct/analyse_directe.h), taken from the
// main window's timer, and runs the model's handlers through the main
// window, which then applies the model.
#pragma once

#include <QWidget>
#include <functional>
#include <vector>

#include "analyse/sante.h"
#include "direct/analyse_directe.h"

struct Principale;
class QCheckBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QTableWidget;
class PageCarte;
class PageSpectre;

class FenetreAnalyse : public QWidget {
    Q_OBJECT
public:
    using Action = std::function<void()>;
    // `agit` runs a handler as the main window does, then applies the model.
    FenetreAnalyse(Principale& p, std::function<void(const Action&)> agit, QWidget* parent = nullptr);

    // Takes the live analysis's new results and follows the model's state
    // (a run going, a calibration loaded). Main window's timer.
    void releve();

    QTabWidget* onglets() const { return onglets_; }
    enum Page { DIAGNOSTIC, CALIBRATION, CARTE, SPECTRE };
    // The spectrum of microphone m (a click on the cell view or the map).
    void spectre_de(int m);
    PageCarte* page_carte() const { return carte_; }
    PageSpectre* page_spectre() const { return spectre_; }

protected:
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;

private:
    QWidget* page_diagnostic();
    QWidget* page_calibration();
    QWidget* construit_carte();
    QWidget* construit_spectre();
    void montre_bilan();
    void montre_calibres();
    void suit_modele();
    void suit_tache();

    Principale& p_;
    std::function<void(const Action&)> agit_;
    ResultatsDirect r_;
    uint64_t version_ = ~uint64_t(0);
    std::vector<StatistiquesMicro> bilan_;

    QTabWidget* onglets_ = nullptr;
    // Health check.
    QPushButton* diagnostic_ = nullptr;
    QPushButton* deselectionne_ = nullptr;
    QCheckBox* marque_ = nullptr;
    QLabel* resume_ = nullptr;
    QTableWidget* signales_ = nullptr;
    // Calibration.
    QLabel* fichier_ = nullptr;
    QPushButton* charge_ = nullptr;
    QPushButton* enregistre_ = nullptr;
    QPushButton* oublie_ = nullptr;
    QCheckBox* ponderation_ = nullptr;
    QRadioButton* cal94_ = nullptr;
    QRadioButton* cal114_ = nullptr;
    QPushButton* assistant_ = nullptr;
    QLabel* etat_assistant_ = nullptr;
    QTableWidget* calibres_ = nullptr;
    // Map and spectrum.
    PageCarte* carte_ = nullptr;
    PageSpectre* spectre_ = nullptr;
    QLabel* geometrie_ = nullptr;
    QLabel* etat_carte_ = nullptr;
    double frequence_ = 0;
    uint64_t tache_vue_ = 0; // the latest job whose end was said
};
