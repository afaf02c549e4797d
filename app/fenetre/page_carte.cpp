#include "app/fenetre/page_carte.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>
#include <cmath>

#include "app/fenetre/vue_carte.h"
#include "direct/analyse_directe.h"

namespace {

QString nominale(double f)
{
    return f >= 1000 ? QLocale(QLocale::French).toString(f / 1000, 'g', 3) + QStringLiteral(" kHz")
                     : QLocale(QLocale::French).toString(f, 'g', 3) + QStringLiteral(" Hz");
}

QDoubleSpinBox* reel(QWidget* parent, const char* nom, double min, double max, double pas, int decimales, double valeur,
                     const QString& suffixe)
{
    auto* b = new QDoubleSpinBox(parent);
    b->setObjectName(QString::fromLatin1(nom));
    b->setRange(min, max);
    b->setSingleStep(pas);
    b->setDecimals(decimales);
    b->setValue(valeur);
    b->setSuffix(suffixe);
    b->setLocale(QLocale(QLocale::French));
    return b;
}

// Two widgets sharing a row's width.
QHBoxLayout* cote_a_cote(QWidget* a, QWidget* b)
{
    auto* l = new QHBoxLayout;
    l->addWidget(a, 1);
    l->addWidget(b, 1);
    return l;
}

} // namespace

PageCarte::PageCarte(QWidget* parent) : QWidget(parent)
{
    vue_ = new VueCarte(this);
    auto* reglages = new QGroupBox(QStringLiteral("Réglages de la carte"), this);
    auto* form = new QFormLayout(reglages);

    curseur_bande_ = new QSlider(Qt::Horizontal, reglages);
    curseur_bande_->setObjectName(QStringLiteral("curseur_bande"));
    curseur_bande_->setPageStep(3);
    curseur_bande_->setTickPosition(QSlider::TicksBelow);
    valeur_bande_ = new QLabel(reglages);
    valeur_bande_->setObjectName(QStringLiteral("valeur_bande"));
    valeur_bande_->setMinimumWidth(70);
    auto* ligne_bande = new QHBoxLayout;
    ligne_bande->addWidget(curseur_bande_, 1);
    ligne_bande->addWidget(valeur_bande_);
    form->addRow(QStringLiteral("Bande"), ligne_bande);

    largeur_ = new QComboBox(reglages);
    largeur_->setObjectName(QStringLiteral("largeur_bande"));
    largeur_->addItems({QStringLiteral("Tiers d'octave"), QStringLiteral("Octave")});
    form->addRow(QStringLiteral("Largeur"), largeur_);

    z_ = reel(reglages, "distance_z", 0.05, 20, 0.1, 2, reglages_.z, QStringLiteral(" m"));
    form->addRow(QStringLiteral("Distance du plan z"), z_);
    dynamique_ = reel(reglages, "dynamique", 1, 60, 1, 0, reglages_.dynamique, QStringLiteral(" dB"));
    form->addRow(QStringLiteral("Dynamique"), dynamique_);
    moyenne_ = reel(reglages, "moyenne", 0.25, 1, 0.25, 2, reglages_.moyenne, QStringLiteral(" s"));
    form->addRow(QStringLiteral("Moyenne"), moyenne_);

    vue_de_ = new QComboBox(reglages);
    vue_de_->setObjectName(QStringLiteral("point_de_vue"));
    vue_de_->addItems(
        {QStringLiteral("Vue de face (depuis la source)"), QStringLiteral("Vue de dos (derrière l'antenne)")});
    form->addRow(QStringLiteral("Point de vue"), vue_de_);

    diagonale_ = new QCheckBox(QStringLiteral("Bruit propre des micros retiré"), reglages);
    diagonale_->setObjectName(QStringLiteral("sans_diagonale"));
    diagonale_->setChecked(reglages_.sans_diagonale);
    diagonale_->setToolTip(QStringLiteral("La diagonale de la matrice interspectrale est retirée : "
                                          "le bruit propre de chaque micro n'est plus sous la carte"));
    form->addRow(QStringLiteral("Diagonale"), diagonale_);

    // The grid, the snapshots, the speed of sound and the level's reference.
    auto* grille = new QGroupBox(QStringLiteral("Grille et propagation"), this);
    auto* fg = new QFormLayout(grille);
    etendue_ = new QComboBox(grille);
    etendue_->setObjectName(QStringLiteral("etendue"));
    etendue_->addItems({QStringLiteral("Ouverture du réseau"), QStringLiteral("Étendue donnée")});
    fg->addRow(QStringLiteral("Étendue"), etendue_);
    const auto intervalle = [&](const char* de, const char* a, double v0, double v1, QDoubleSpinBox*& b0,
                                QDoubleSpinBox*& b1) {
        b0 = reel(grille, de, -20, 20, 0.1, 2, v0, QStringLiteral(" m"));
        b1 = reel(grille, a, -20, 20, 0.1, 2, v1, QStringLiteral(" m"));
        auto* l = new QHBoxLayout;
        l->addWidget(b0, 1);
        l->addWidget(new QLabel(QStringLiteral("à"), grille));
        l->addWidget(b1, 1);
        return l;
    };
    fg->addRow(QStringLiteral("x de"), intervalle("etendue_x0", "etendue_x1", -0.5, 0.5, x0_, x1_));
    fg->addRow(QStringLiteral("y de"), intervalle("etendue_y0", "etendue_y1", -0.5, 0.5, y0_, y1_));

    mode_grille_ = new QComboBox(grille);
    mode_grille_->setObjectName(QStringLiteral("mode_grille"));
    mode_grille_->addItems(
        {QStringLiteral("Pas selon la bande"), QStringLiteral("Pas donné"), QStringLiteral("Points par côté")});
    fg->addRow(QStringLiteral("Grille"), mode_grille_);
    pas_ = reel(grille, "pas_grille", 0.005, 1, 0.005, 3, 0.025, QStringLiteral(" m"));
    n_ = new QSpinBox(grille);
    n_->setObjectName(QStringLiteral("grille_n"));
    n_->setRange(11, 101);
    n_->setSingleStep(10);
    n_->setValue(41);
    n_->setSuffix(QStringLiteral(" points"));
    fg->addRow(QStringLiteral("Pas ou côté"), cote_a_cote(pas_, n_));

    instantane_ = new QComboBox(grille);
    instantane_->setObjectName(QStringLiteral("instantane"));
    instantane_->addItem(QStringLiteral("Selon la bande"), 0);
    for (int n = POINTS_DIRECT_MIN; n <= POINTS_DIRECT_MAX; n *= 2)
        instantane_->addItem(QStringLiteral("%1 points").arg(n), n);
    fg->addRow(QStringLiteral("Instantanés"), instantane_);

    propagation_ = new QComboBox(grille);
    propagation_->setObjectName(QStringLiteral("propagation"));
    propagation_->addItems({QStringLiteral("Vitesse du son donnée"), QStringLiteral("Température de l'air")});
    fg->addRow(QStringLiteral("Son"), propagation_);
    celerite_ = reel(grille, "celerite", 200, 2000, 0.5, 1, reglages_.celerite, QStringLiteral(" m/s"));
    temperature_ = reel(grille, "temperature", -50, 60, 1, 1, reglages_.temperature, QStringLiteral(" °C"));
    fg->addRow(QStringLiteral("Vitesse ou air"), cote_a_cote(celerite_, temperature_));

    reference_ = new QComboBox(grille);
    reference_->setObjectName(QStringLiteral("reference_niveau"));
    reference_->addItems({QStringLiteral("Au centre du réseau"), QStringLiteral("À 1 m de la source")});
    reference_->setToolTip(QString::fromStdString(reference_longue(ReferenceNiveau::Centre)) + QStringLiteral("\n") +
                           QString::fromStdString(reference_longue(ReferenceNiveau::Source)));
    fg->addRow(QStringLiteral("Niveau"), reference_);

    auto* disposition = new QHBoxLayout(this);
    disposition->addWidget(vue_, 1);
    auto* droite = new QVBoxLayout;
    droite->addWidget(reglages);
    droite->addWidget(grille);
    droite->addWidget(construit_ecoute());
    droite->addStretch(1);
    disposition->addLayout(droite);

    remplit_bandes(reglages_.bande);
    connect(curseur_bande_, &QSlider::valueChanged, this, [this] { lit_controles(); });
    connect(largeur_, &QComboBox::currentIndexChanged, this, [this] {
        if (!en_cours_)
            remplit_bandes(reglages_.bande);
        lit_controles();
    });
    connect(n_, &QSpinBox::valueChanged, this, [this] { lit_controles(); });
    for (QComboBox* b : {etendue_, mode_grille_, instantane_, propagation_, reference_})
        connect(b, &QComboBox::currentIndexChanged, this, [this] { lit_controles(); });
    for (QDoubleSpinBox* b : {z_, dynamique_, moyenne_, x0_, x1_, y0_, y1_, pas_, celerite_, temperature_})
        connect(b, &QDoubleSpinBox::valueChanged, this, [this] { lit_controles(); });
    connect(vue_de_, &QComboBox::currentIndexChanged, this, [this] { lit_controles(); });
    connect(diagonale_, &QCheckBox::toggled, this, [this] { lit_controles(); });
    lit_controles(); // the band's caption; the settings are the defaults
}

QWidget* PageCarte::construit_ecoute()
{
    auto* groupe = new QGroupBox(QStringLiteral("Écoute et distance"), this);
    auto* l = new QVBoxLayout(groupe);
    point_ = new QLabel(QStringLiteral("Point : cliquez sur la carte"), groupe);
    point_->setObjectName(QStringLiteral("point_choisi"));
    l->addWidget(point_);
    ecoute_ = new QPushButton(QStringLiteral("Écouter ce point…"), groupe);
    ecoute_->setObjectName(QStringLiteral("ecoute_point"));
    ecoute_->setToolTip(QStringLiteral("Écrit en WAV le signal de l'antenne pointée sur ce point, "
                                       "sur les %1 dernières secondes de trames")
                            .arg(QLocale(QLocale::French).toString(DUREE_ECOUTE_S)));
    ecoute_->setEnabled(false);
    distance_ = new QPushButton(QStringLiteral("Trouver la distance z"), groupe);
    distance_->setObjectName(QStringLiteral("distance_auto"));
    distance_->setToolTip(QStringLiteral("Cherche entre %1 et %2 m le plan où la carte est la plus nette, "
                                         "sur les dernières trames, et y met la carte")
                              .arg(QLocale(QLocale::French).toString(Z_AUTO_MIN))
                              .arg(QLocale(QLocale::French).toString(Z_AUTO_MAX)));
    l->addLayout(cote_a_cote(ecoute_, distance_));
    etat_tache_ = new QLabel(groupe);
    etat_tache_->setObjectName(QStringLiteral("etat_tache"));
    etat_tache_->setWordWrap(true);
    etat_tache_->setMaximumWidth(320);
    l->addWidget(etat_tache_);
    connect(vue_, &VueCarte::point_clique, this, [this](double x, double y) { choisit_point(x, y); });
    connect(vue_, &VueCarte::ecoute_demandee, this, [this](double x, double y) {
        choisit_point(x, y);
        if (!tache_en_cours_)
            Q_EMIT ecoute(x, y);
    });
    connect(ecoute_, &QPushButton::clicked, this, [this] {
        if (choisi_)
            Q_EMIT ecoute(x_choisi_, y_choisi_);
    });
    connect(distance_, &QPushButton::clicked, this, [this] { Q_EMIT distance_demandee(); });
    return groupe;
}

void PageCarte::choisit_point(double x, double y)
{
    choisi_ = true;
    x_choisi_ = x;
    y_choisi_ = y;
    const QLocale fr(QLocale::French);
    point_->setText(QStringLiteral("Point : x = %1 m, y = %2 m").arg(fr.toString(x, 'f', 3), fr.toString(y, 'f', 3)));
    vue_->point_choisi(true, x, y);
    ecoute_->setEnabled(!tache_en_cours_);
}

void PageCarte::tache(bool en_cours, const QString& ligne)
{
    tache_en_cours_ = en_cours;
    ecoute_->setEnabled(choisi_ && !en_cours);
    distance_->setEnabled(!en_cours);
    etat_tache_->setText(ligne);
}

void PageCarte::distance(double z) { z_->setValue(z); }

void PageCarte::remplit_bandes(double voulue)
{
    en_cours_ = true;
    bandes_ = largeur_->currentIndex() == 1 ? bandes_octave(fs_ / 2) : bandes_tiers_octave(fs_ / 2);
    int choisie = 0;
    for (int i = 0; i < int(bandes_.size()); ++i)
        if (std::fabs(std::log(bandes_[size_t(i)].nominale / voulue)) <
            std::fabs(std::log(bandes_[size_t(choisie)].nominale / voulue)))
            choisie = i;
    curseur_bande_->setRange(0, std::max(0, int(bandes_.size()) - 1));
    curseur_bande_->setValue(choisie);
    en_cours_ = false;
}

void PageCarte::lit_controles()
{
    if (en_cours_)
        return;
    ReglagesCarte r;
    const int i = curseur_bande_->value();
    r.bande = i >= 0 && i < int(bandes_.size()) ? bandes_[size_t(i)].nominale : reglages_.bande;
    r.octave = largeur_->currentIndex() == 1;
    r.z = z_->value();
    r.dynamique = dynamique_->value();
    r.moyenne = moyenne_->value();
    r.derriere = vue_de_->currentIndex() == 1;
    r.sans_diagonale = diagonale_->isChecked();
    const bool etendue = etendue_->currentIndex() == 1;
    if (etendue) {
        r.x0 = x0_->value(), r.x1 = x1_->value();
        r.y0 = y0_->value(), r.y1 = y1_->value();
    }
    r.pas = mode_grille_->currentIndex() == 1 ? pas_->value() : 0;
    r.n = mode_grille_->currentIndex() == 2 ? n_->value() : 0;
    r.points = instantane_->currentData().toInt();
    r.selon_temperature = propagation_->currentIndex() == 1;
    r.celerite = celerite_->value();
    r.temperature = temperature_->value();
    r.reference = reference_->currentIndex() == 1 ? ReferenceNiveau::Source : ReferenceNiveau::Centre;
    for (QWidget* w : {static_cast<QWidget*>(x0_), static_cast<QWidget*>(x1_), static_cast<QWidget*>(y0_),
                       static_cast<QWidget*>(y1_)})
        w->setEnabled(etendue);
    pas_->setEnabled(mode_grille_->currentIndex() == 1);
    n_->setEnabled(mode_grille_->currentIndex() == 2);
    celerite_->setEnabled(!r.selon_temperature);
    temperature_->setEnabled(r.selon_temperature);
    valeur_bande_->setText(nominale(r.bande));
    vue_->dynamique(r.dynamique);
    vue_->derriere(r.derriere);
    if (r == reglages_)
        return;
    reglages_ = r;
    Q_EMIT reglages(r);
}

void PageCarte::frequence(double fs)
{
    fs_ = fs;
    remplit_bandes(reglages_.bande);
    lit_controles();
}

void PageCarte::bande(double nominale)
{
    en_cours_ = true;
    if (largeur_->currentIndex() == 1 && bandes_octave(fs_ / 2).size() > 0) {
        bool octave = false;
        for (const Bande& b : bandes_octave(fs_ / 2))
            octave = octave || b.nominale == nominale;
        if (!octave)
            largeur_->setCurrentIndex(0);
    }
    en_cours_ = false;
    remplit_bandes(nominale);
    lit_controles();
}

void PageCarte::montre(const ImageCarte& c) { vue_->montre(c); }
