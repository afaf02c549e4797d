// The main window, Principale as the operator sees it: every widget is tied
// to its field of Controles. An action of the operator writes the model and
// runs the handler the toolkit would run; after every handler and at every
// pump of events the window applies the model to the widgets, in one place
// (applique). The window decides nothing itself.
#pragma once

#include <QElapsedTimer>
#include <QFont>
#include <QRect>
#include <QString>
#include <QWidget>
#include <array>
#include <functional>
#include <string>
#include <vector>

#include "app/model/principale.h"

class QAbstractButton;
class QDoubleSpinBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QCheckBox;
class QTimer;
class QSpinBox;
class BarreCouleurs;
class QtOperator;
class VueCellules;
class FenetreAnalyse;

class Fenetre : public QWidget {
    Q_OBJECT
public:
    static const char* const TITRE;
    static constexpr int LARGEUR = 1292, HAUTEUR = 767; // client area

    // Builds the widgets, runs the model's start-up (construction) and
    // applies it. `suffixe_titre` is appended to the title.
    Fenetre(Principale& p, QtOperator& op, const QString& suffixe_titre = QString());
    ~Fenetre() override;

    // Model -> widgets: enabled, shown, checked, values, ranges, texts,
    // cell colours, the pane.
    void applique();
    // One pump of a long operation: apply the model, then process the
    // window's pending events (clicks, one repaint).
    void pompe();
    // Takes a run's reports from the model's hand-over (timer, window thread).
    void releve();
    static constexpr int PERIODE_RELEVE_MS = 50;

    Principale& modele() { return p_; }
    VueCellules* vue_cellules() const { return cellules_; }
    QWidget* page_selection() const { return page_; }
    // The analysis window, made at its first opening.
    void ouvre_analyse();
    FenetreAnalyse* fenetre_analyse() const { return analyse_; }

    // Pumps counted since the last reset, and the longest gap between two.
    struct Pompes {
        uint64_t nombre = 0;
        qint64 ecart_max_ms = 0;
    };
    Pompes pompes() const { return pompes_; }
    void remet_pompes()
    {
        pompes_ = Pompes();
        horloge_pompe_.invalidate();
    }

protected:
    void closeEvent(QCloseEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void showEvent(QShowEvent* e) override;
    bool eventFilter(QObject* o, QEvent* e) override;

private:
    using Action = std::function<void()>;

    void construit_colonne_gauche();
    void construit_groupe_avance(QWidget* groupe);
    void construit_partie_droite();
    void construit_page();
    void dispose_page_et_panneau();

    // Runs a handler as the toolkit would, then applies the model.
    void agit(const Action& handler);

    // Bindings (model field -> widget), applied by applique().
    void lie(QWidget* w, const Control& c);
    void lie_bouton(QPushButton* b, Button& m, Action clic);
    // Check box or radio button whose change handler runs on every change
    // of state made by the operator.
    void lie_etat(QAbstractButton* b, bool& champ, Action changement = nullptr);
    // Check box whose handler runs on a click.
    void lie_clic(QAbstractButton* b, bool& champ, Action clic);
    // A check box with its caption and font, bound to `m` by its state.
    QCheckBox* case_a_cocher(QWidget* parent, const char* nom, QRect place, const char* texte, const QFont& police,
                             CheckBox& m, Action changement = nullptr);
    void lie_texte(QWidget* w, const std::string& texte);

    void applique_liste();
    void applique_pane();
    void ajoute_pane(const std::string& morceau);

    Principale& p_;
    QtOperator& op_;

    struct LienControle {
        QWidget* w;
        const Control* c;
    };
    struct LienCoche {
        QAbstractButton* b;
        const bool* v;
    };
    struct LienTexte {
        QWidget* w;
        const std::string* s;
        std::string vu;
        bool premier = true;
    };
    struct LienPolice {
        QPushButton* b;
        const Button* m;
    };
    std::vector<LienControle> controles_;
    std::vector<LienCoche> coches_;
    std::vector<LienTexte> textes_;
    std::vector<LienPolice> polices_;

    QListWidget* liste_freq_ = nullptr;
    QDoubleSpinBox* duree_ = nullptr;
    QSpinBox* delay_ = nullptr;
    QProgressBar* progression_ = nullptr;
    QPlainTextEdit* info_ = nullptr;
    QPlainTextEdit* commentaire_ = nullptr;
    QLineEdit* rep_ = nullptr;
    QGroupBox* groupe_micros_ = nullptr;
    QGroupBox* groupe_test_ = nullptr;
    QGroupBox* groupe_nom_fich_ = nullptr;
    QGroupBox* groupe_comment_ = nullptr;
    QWidget* panel_db_ = nullptr;
    VueCellules* cellules_ = nullptr;
    BarreCouleurs* barre_ = nullptr;
    QWidget* page_ = nullptr;
    QPushButton* analyse_bouton_ = nullptr;
    FenetreAnalyse* analyse_ = nullptr;

    QTimer* releve_ = nullptr;
    bool en_releve_ = false;
    bool en_application_ = false;
    int profondeur_ = 0; // handlers running (nested through pumps)
    bool fermeture_differee_ = false;
    size_t octets_pane_ = 0; // bytes of the model's pane the widget shows
    Pompes pompes_;
    QElapsedTimer horloge_pompe_;
};
