#include "app/fenetre/fenetre_analyse.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "analyse/acoustique.h"
#include "app/fenetre/page_carte.h"
#include "app/fenetre/page_spectre.h"
#include "app/fenetre/vue_carte.h"
#include "device/parametres.h"
#include "app/fenetre/texte_qt.h"
#include "app/model/acquisition.h"
#include "app/model/affiche_niveaux.h"
#include "app/model/instrument.h"
#include "app/model/principale.h"
#include "base/format.h"

namespace {

QTableWidget* tableau(const QStringList& colonnes)
{
    auto* t = new QTableWidget(0, int(colonnes.size()));
    t->setHorizontalHeaderLabels(colonnes);
    t->verticalHeader()->setVisible(false);
    t->setEditTriggers(QAbstractItemView::NoEditTriggers);
    t->setSelectionMode(QAbstractItemView::NoSelection);
    t->horizontalHeader()->setStretchLastSection(true);
    return t;
}

void cellule(QTableWidget* t, int ligne, int colonne, const QString& texte, bool droite = true)
{
    auto* c = new QTableWidgetItem(texte);
    c->setTextAlignment(Qt::Alignment(droite ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
    t->setItem(ligne, colonne, c);
}

QLabel* note(const QString& texte)
{
    auto* l = new QLabel(texte);
    l->setWordWrap(true);
    return l;
}

} // namespace

FenetreAnalyse::FenetreAnalyse(Principale& p, std::function<void(const Action&)> agit, QWidget* parent)
    : QWidget(parent, Qt::Window), p_(p), agit_(std::move(agit))
{
    setObjectName(QStringLiteral("FenetreAnalyse"));
    setWindowTitle(QStringLiteral("Ondaris 1024 : analyse"));
    QFont f = font();
    f.setPointSize(11);
    setFont(f);
    resize(900, 640);
    onglets_ = new QTabWidget(this);
    onglets_->addTab(page_diagnostic(), QStringLiteral("Diagnostic micros"));
    onglets_->addTab(page_calibration(), QStringLiteral("Calibration"));
    onglets_->addTab(construit_carte(), QStringLiteral("Carte acoustique"));
    onglets_->addTab(construit_spectre(), QStringLiteral("Spectre"));
    // The map is computed while its page is in view.
    connect(onglets_, &QTabWidget::currentChanged, this, [this](int i) {
        if ((i == CARTE) != p_.carte_voulue)
            agit_([this, i] {
                p_.carte_voulue = i == CARTE;
                regle_analyse(p_);
            });
    });
    auto* l = new QVBoxLayout(this);
    l->addWidget(onglets_);
    suit_modele();
}

QWidget* FenetreAnalyse::page_diagnostic()
{
    auto* page = new QWidget;
    auto* l = new QVBoxLayout(page);
    l->addWidget(note(QStringLiteral(
        "Tant que cette fenêtre est ouverte, chaque acquisition est analysée micro par micro : moyenne, "
        "valeur efficace, crête, part à pleine échelle, plus long palier, niveau de 1/4 à 1/2 de la "
        "fréquence d'échantillonnage comparé à la médiane des micros voisins (les plus proches avec une "
        "géométrie), corrélation avec les plus proches, raies à 50/60 Hz et à 1 kHz. Le diagnostic lance une "
        "capture d'une seconde sans fichier.")));

    auto* boutons = new QHBoxLayout;
    diagnostic_ = new QPushButton(QStringLiteral("Diagnostic (1 s)"));
    diagnostic_->setObjectName(QStringLiteral("button_Diagnostic"));
    connect(diagnostic_, &QPushButton::clicked, this, [this] { agit_([this] { diagnostic_micros(p_); }); });
    deselectionne_ = new QPushButton(QStringLiteral("Désélectionner les micros signalés"));
    deselectionne_->setObjectName(QStringLiteral("button_Deselectionne"));
    connect(deselectionne_, &QPushButton::clicked, this,
            [this] { agit_([this] { deselectionne_signales(p_, bilan_); }); });
    marque_ = new QCheckBox(QStringLiteral("Les marquer sur la vue des cellules"));
    marque_->setChecked(true);
    connect(marque_, &QCheckBox::toggled, this, [this](bool oui) {
        agit_([this, oui] { marque_signales(p_, oui ? bilan_ : std::vector<StatistiquesMicro>()); });
    });
    boutons->addWidget(diagnostic_);
    boutons->addWidget(deselectionne_);
    boutons->addWidget(marque_);
    boutons->addStretch();
    l->addLayout(boutons);

    resume_ = new QLabel(QStringLiteral("Pas encore de diagnostic."));
    resume_->setObjectName(QStringLiteral("label_Resume"));
    QFont g = resume_->font();
    g.setBold(true);
    resume_->setFont(g);
    l->addWidget(resume_);

    signales_ = tableau({QStringLiteral("Micro"), QStringLiteral("Faisceau"), QStringLiteral("Niveau (dB)"),
                         QStringLiteral("Voisins (dB)"), QStringLiteral("Raisons")});
    signales_->setObjectName(QStringLiteral("table_Signales"));
    l->addWidget(signales_, 1);

    l->addWidget(note(QStringLiteral("Seuils. ") + qs(texte_seuils()) +
                      QStringLiteral("\nUne source réelle élève aussi les voisins, de concert ; un micro défaillant "
                                     "reste seul.")));
    return page;
}

QWidget* FenetreAnalyse::page_calibration()
{
    auto* page = new QWidget;
    auto* l = new QVBoxLayout(page);

    auto* usage = new QGroupBox(QStringLiteral("Calibration en usage"));
    auto* lu = new QVBoxLayout(usage);
    fichier_ = new QLabel;
    fichier_->setObjectName(QStringLiteral("label_Calibration"));
    fichier_->setWordWrap(true);
    lu->addWidget(fichier_);
    auto* boutons = new QHBoxLayout;
    charge_ = new QPushButton(QStringLiteral("Charger…"));
    enregistre_ = new QPushButton(QStringLiteral("Enregistrer…"));
    oublie_ = new QPushButton(QStringLiteral("Oublier"));
    connect(charge_, &QPushButton::clicked, this, [this] {
        agit_([this] {
            std::string chemin;
            if (p_.op.choose_open_file("calibration (XML)|*.xml", chemin))
                charge_calibration(p_, chemin);
        });
    });
    connect(enregistre_, &QPushButton::clicked, this, [this] {
        agit_([this] {
            std::string chemin = p_.fichier_calibration;
            if (p_.op.choose_save_file("calibration (XML)|*.xml", chemin))
                enregistre_calibration(p_, chemin);
        });
    });
    connect(oublie_, &QPushButton::clicked, this, [this] { agit_([this] { oublie_calibration(p_); }); });
    boutons->addWidget(charge_);
    boutons->addWidget(enregistre_);
    boutons->addWidget(oublie_);
    boutons->addStretch();
    lu->addLayout(boutons);
    ponderation_ = new QCheckBox(QStringLiteral("Carte des niveaux pondérée A (CEI 61672-1)"));
    ponderation_->setObjectName(QStringLiteral("checkBox_Ponderation_A"));
    connect(ponderation_, &QCheckBox::toggled, this, [this](bool a) { agit_([this, a] { pondere_niveaux(p_, a); }); });
    lu->addWidget(ponderation_);
    l->addWidget(usage);

    auto* assistant = new QGroupBox(QStringLiteral("Assistant calibreur (1 kHz)"));
    auto* la = new QVBoxLayout(assistant);
    la->addWidget(note(QStringLiteral(
        "Posez le calibreur sur un micro et démarrez : l'assistant trouve le micro qui le porte, attend une "
        "lecture stable et corrige son facteur. Passez ensuite au micro suivant ; Stop (fenêtre principale) "
        "ou Arrêter termine. Enregistrez la calibration pour la garder.")));
    auto* niveau = new QHBoxLayout;
    cal94_ = new QRadioButton(QStringLiteral("94 dB"));
    cal114_ = new QRadioButton(QStringLiteral("114 dB"));
    cal94_->setChecked(true);
    assistant_ = new QPushButton(QStringLiteral("Démarrer l'assistant"));
    assistant_->setObjectName(QStringLiteral("button_Assistant"));
    connect(assistant_, &QPushButton::clicked, this, [this] {
        agit_([this] {
            if (p_.assistant && p_.run_en_cours)
                button_Stop_Click(p_);
            else
                assistant_calibreur(p_, cal114_->isChecked() ? 114.0 : 94.0);
        });
    });
    niveau->addWidget(new QLabel(QStringLiteral("Calibreur :")));
    niveau->addWidget(cal94_);
    niveau->addWidget(cal114_);
    niveau->addSpacing(20);
    niveau->addWidget(assistant_);
    niveau->addStretch();
    la->addLayout(niveau);
    etat_assistant_ = new QLabel;
    etat_assistant_->setObjectName(QStringLiteral("label_Assistant"));
    QFont g = etat_assistant_->font();
    g.setBold(true);
    etat_assistant_->setFont(g);
    la->addWidget(etat_assistant_);
    calibres_ = tableau({QStringLiteral("Micro"), QStringLiteral("Lu (dB SPL)"), QStringLiteral("Correction (dB)"),
                         QStringLiteral("Facteur (Pa/compte)")});
    calibres_->setObjectName(QStringLiteral("table_Calibres"));
    la->addWidget(calibres_, 1);
    l->addWidget(assistant, 1);
    return page;
}

QWidget* FenetreAnalyse::construit_carte()
{
    auto* page = new QWidget;
    auto* l = new QVBoxLayout(page);
    auto* haut = new QHBoxLayout;
    geometrie_ = new QLabel;
    geometrie_->setObjectName(QStringLiteral("label_Geometrie"));
    auto* charge = new QPushButton(QStringLiteral("Géométrie…"));
    charge->setObjectName(QStringLiteral("button_Geometrie"));
    connect(charge, &QPushButton::clicked, this, [this] {
        agit_([this] {
            std::string chemin;
            if (p_.op.choose_open_file("géométrie d'antenne (XML)|*.xml", chemin))
                charge_geometrie(p_, chemin);
        });
        if (p_.geometrie)
            carte_->vue()->geometrie(*p_.geometrie);
    });
    haut->addWidget(geometrie_, 1);
    haut->addWidget(charge);
    l->addLayout(haut);
    etat_carte_ = new QLabel;
    etat_carte_->setObjectName(QStringLiteral("label_Etat_Carte"));
    l->addWidget(etat_carte_);
    carte_ = new PageCarte;
    carte_->setObjectName(QStringLiteral("page_Carte"));
    connect(carte_, &PageCarte::reglages, this, [this](const ReglagesCarte& r) {
        agit_([this, r] {
            p_.reglages_carte = r;
            regle_analyse(p_);
        });
    });
    connect(carte_->vue(), &VueCarte::micro_clique, this, [this](int m) { spectre_de(m); });
    connect(carte_, &PageCarte::ecoute, this, [this](double x, double y) {
        const double z = carte_->vue()->image().grille.z;
        agit_([this, x, y, z] { ecoute_point(p_, x, y, z); });
    });
    connect(carte_, &PageCarte::distance_demandee, this, [this] { agit_([this] { cherche_distance_carte(p_); }); });
    l->addWidget(carte_, 1);
    agit_([this] {
        p_.reglages_carte = carte_->reglages_courants();
        regle_analyse(p_);
    });
    if (p_.geometrie)
        carte_->vue()->geometrie(*p_.geometrie);
    return page;
}

QWidget* FenetreAnalyse::construit_spectre()
{
    spectre_ = new PageSpectre;
    spectre_->setObjectName(QStringLiteral("page_Spectre"));
    connect(spectre_, &PageSpectre::bande_cliquee, this, [this](double f) {
        carte_->bande(f);
        onglets_->setCurrentIndex(CARTE);
    });
    return spectre_;
}

void FenetreAnalyse::spectre_de(int m)
{
    agit_([this, m] {
        p_.micro_spectre = m;
        regle_analyse(p_);
    });
    onglets_->setCurrentIndex(SPECTRE);
}

void FenetreAnalyse::showEvent(QShowEvent* e)
{
    QWidget::showEvent(e);
    if (!p_.analyse_ouverte)
        agit_([this] {
            p_.analyse_ouverte = true;
            regle_analyse(p_);
        });
}

void FenetreAnalyse::hideEvent(QHideEvent* e)
{
    QWidget::hideEvent(e);
    if (p_.analyse_ouverte)
        agit_([this] {
            p_.analyse_ouverte = false;
            regle_analyse(p_);
        });
}

void FenetreAnalyse::suit_modele()
{
    const Conventions& cv = p_.journal.conv;
    const bool libre = !p_.run_en_cours && p_.enabled[9];
    diagnostic_->setEnabled(libre);
    deselectionne_->setEnabled(!p_.run_en_cours && !bilan_.empty());
    const bool assistant = p_.assistant && p_.run_en_cours;
    assistant_->setEnabled(libre || assistant);
    assistant_->setText(assistant ? QStringLiteral("Arrêter") : QStringLiteral("Démarrer l'assistant"));
    cal94_->setEnabled(!assistant);
    cal114_->setEnabled(!assistant);
    charge_->setEnabled(!assistant);
    oublie_->setEnabled(!assistant && calibration_chargee(p_));
    // The bands offered follow the frequency of the run, or the one set.
    const int ligne = std::clamp(p_.ctl.listBox_Freq.top_index, 0, NB_FREQ - 1);
    const double fs = r_.en_cours ? r_.frequence : double(frequence_de_division(FREQ[ligne]));
    if (fs > 0 && fs != frequence_) {
        frequence_ = fs;
        carte_->frequence(fs);
    }
    geometrie_->setText(p_.geometrie ? QStringLiteral("Géométrie : ") + qs(p_.fichier_geometrie)
                                     : QStringLiteral("Pas de géométrie : chargez les positions des micros "
                                                      "(fichier XML d'acoular, <MicArray>)."));
    QString etat_carte;
    if (!p_.geometrie)
        etat_carte = QString();
    else if (!r_.erreur_carte.empty())
        etat_carte = qs(r_.erreur_carte);
    else if (!r_.en_cours)
        etat_carte = QStringLiteral("La carte se calcule pendant une acquisition (Start), sur les micros choisis "
                                    "et sains.");
    else if (r_.carte.niveaux.empty())
        etat_carte = QStringLiteral("Première carte en cours de calcul…");
    else
        etat_carte =
            qs(compose(cv,
                       "{0:G} micros, {1:G} instantanés par carte, {2:N2} s de calcul par seconde de "
                       "trames{3:G}",
                       {int(r_.carte.micros.size()), r_.carte.instantanes, r_.charge_carte,
                        r_.paquets_ignores ? std::string(", trames en surplus laissées de côté") : std::string()}));
    etat_carte_->setText(etat_carte);
    if (ponderation_->isChecked() != p_.ponderation_a)
        ponderation_->setChecked(p_.ponderation_a);
    fichier_->setText(calibration_chargee(p_)
                          ? qs(p_.fichier_calibration.empty()
                                   ? std::string("Facteurs de l'assistant, pas encore enregistrés")
                                   : p_.fichier_calibration) +
                                QStringLiteral(" : la carte des niveaux lit des dB SPL (réf. 20 µPa).")
                          : qs(compose(cv,
                                       "Aucune : sensibilité nominale ({0:N0} comptes/Pa), la carte des niveaux "
                                       "lit 10 log10(moyenne des carrés) - 15 dB.",
                                       {SENSIBILITE_NOMINALE})));
}

// The job on the latest frames: its buttons while it runs, its line once
// it ends, and the distance found put on the map.
void FenetreAnalyse::suit_tache()
{
    const ResultatTache& t = r_.tache;
    if (t.numero == 0 || t.numero == tache_vue_)
        return;
    if (t.en_cours) {
        carte_->tache(true, t.genre == DemandeTache::ECOUTE ? QStringLiteral("Écoute en cours…")
                                                            : QStringLiteral("Recherche de la distance…"));
        return;
    }
    tache_vue_ = t.numero;
    carte_->tache(false, qs(t.message));
    agit_([this, t] { dit_tache(p_, t); });
    if (t.genre == DemandeTache::DISTANCE && t.reussie)
        carte_->distance(t.z);
}

void FenetreAnalyse::releve()
{
    if (p_.assistant && !p_.run_en_cours) {
        p_.assistant = false;
        regle_analyse(p_);
    }
    // The results are copied only when there are new ones.
    if (p_.direct.version() != version_) {
        ResultatsDirect r = p_.direct.resultats();
        version_ = r.version;
        const bool bilan_change = r.bilan.size() != r_.bilan.size() || r.trames_sante != r_.trames_sante;
        const bool calibres_change = r.calibres.size() != r_.calibres.size();
        r_ = std::move(r);
        if (bilan_change) {
            bilan_ = r_.bilan;
            montre_bilan();
            agit_([this] {
                retient_signales(p_, bilan_);
                if (marque_->isChecked())
                    marque_signales(p_, bilan_);
            });
        }
        if (calibres_change)
            agit_([this] { prend_calibres(p_, r_); });
        if (p_.ponderation_a && !r_.niveaux_a.empty())
            agit_([this] { applique_niveaux_a(p_, r_); });
        if (!r_.carte.niveaux.empty())
            carte_->montre(r_.carte);
        if (r_.spectre.micro >= 0 && r_.spectre.micro == p_.micro_spectre && !r_.spectre.densite.empty())
            spectre_->montre(r_.spectre);
        suit_tache();
    }
    montre_calibres();
    suit_modele();
}

void FenetreAnalyse::montre_bilan()
{
    const Conventions& cv = p_.journal.conv;
    if (bilan_.empty()) {
        resume_->setText(QStringLiteral("Pas encore de diagnostic."));
        signales_->setRowCount(0);
        return;
    }
    resume_->setText(qs(compose(cv, "Micros : {0:G} analysés sur {1:N0} trames, {2:G}{3:G}",
                                {int(bilan_.size()), double(r_.trames_sante), compte_signales(bilan_),
                                 r_.en_cours ? std::string(" (acquisition en cours)") : std::string()})));
    int n = 0;
    for (const StatistiquesMicro& s : bilan_)
        n += s.defauts ? 1 : 0;
    signales_->setRowCount(n);
    int i = 0;
    for (const StatistiquesMicro& s : bilan_) {
        if (!s.defauts)
            continue;
        cellule(signales_, i, 0, QString::number(s.micro));
        cellule(signales_, i, 1, QStringLiteral("F%1, position %2").arg(s.micro / 8).arg(s.micro % 8), false);
        cellule(signales_, i, 2, qs(compose(cv, "{0:N1}", {s.niveau_bande})));
        cellule(signales_, i, 3, s.nb_voisins ? qs(compose(cv, "{0:N1}", {s.mediane_voisins})) : QStringLiteral("—"));
        cellule(signales_, i, 4, qs(raisons(s)), false);
        ++i;
    }
    signales_->resizeColumnsToContents();
}

void FenetreAnalyse::montre_calibres()
{
    const Conventions& cv = p_.journal.conv;
    const double ref = p_.reference_calibreur;
    QString etat;
    if (!p_.assistant) {
        etat = r_.calibres.empty() ? QStringLiteral("Posez le calibreur sur un micro, puis démarrez l'assistant.")
               : r_.calibres.size() == 1 ? QStringLiteral("1 micro calibré.")
                                         : qs(compose(cv, "{0:G} micros calibrés.", {int(r_.calibres.size())}));
    } else {
        switch (r_.etat_calibreur) {
        case Calibreur::RECHERCHE:
            etat = QStringLiteral("Recherche du micro qui porte le calibreur…");
            break;
        case Calibreur::LECTURE:
            etat = qs(compose(cv, "Micro {0:G} : {1:N2} dB SPL, en attente d'une lecture stable…",
                              {r_.micro_calibreur, r_.niveau_calibreur}));
            break;
        case Calibreur::STABLE:
            etat = qs(compose(cv, "Micro {0:G} calibré ({1:N2} dB lus pour {2:N0} dB). Passez au micro suivant.",
                              {r_.micro_calibreur, r_.niveau_calibreur, ref}));
            break;
        case Calibreur::ABSENT:
            etat = QStringLiteral("Pas de calibreur trouvé : aucun micro ne dépasse les autres de 10 dB à 1 kHz.");
            break;
        }
    }
    etat_assistant_->setText(etat);
    if (calibres_->rowCount() == int(r_.calibres.size()))
        return;
    calibres_->setRowCount(int(r_.calibres.size()));
    int i = 0;
    for (const auto& [m, c] : r_.calibres) {
        cellule(calibres_, i, 0, QString::number(m));
        cellule(calibres_, i, 1, qs(compose(cv, "{0:N2}", {c.lu})));
        cellule(calibres_, i, 2, qs(compose(cv, "{0:N2}", {ref - c.lu})));
        cellule(calibres_, i, 3, QString::number(c.facteur, 'g', 6));
        ++i;
    }
    calibres_->resizeColumnsToContents();
}
