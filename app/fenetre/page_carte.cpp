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

    n_ = new QSpinBox(reglages);
    n_->setObjectName(QStringLiteral("grille_n"));
    n_->setRange(11, 101);
    n_->setSingleStep(10);
    n_->setValue(reglages_.n);
    form->addRow(QStringLiteral("Grille (points par côté)"), n_);

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

    auto* disposition = new QHBoxLayout(this);
    disposition->addWidget(vue_, 1);
    auto* droite = new QVBoxLayout;
    droite->addWidget(reglages);
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
    for (QDoubleSpinBox* b : {z_, dynamique_, moyenne_})
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
    auto* boutons = new QHBoxLayout;
    boutons->addWidget(ecoute_);
    boutons->addWidget(distance_);
    l->addLayout(boutons);
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
    r.n = n_->value();
    r.z = z_->value();
    r.dynamique = dynamique_->value();
    r.moyenne = moyenne_->value();
    r.derriere = vue_de_->currentIndex() == 1;
    r.sans_diagonale = diagonale_->isChecked();
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
