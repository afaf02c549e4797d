#include "app/fenetre/fenetre.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDoubleSpinBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QTextCursor>
#include <QTimer>
#include <algorithm>
#include <cmath>

#include "app/model/acquisition.h"
#include "app/fenetre/fenetre_analyse.h"
#include "app/fenetre/texte_qt.h"
#include "app/fenetre/operateur_qt.h"
#include "app/fenetre/vue_cellules.h"
#include "app/model/construction.h"
#include "app/model/grille.h"
#include "app/model/micros_fichier.h"
#include "app/model/nommage_controles.h"
#include "app/model/init.h"
#include "acquisition/presence.h"
#include "device/bringup.h"
#include "app/model/parametres.h"
#include "device/parametres.h"
#include "app/model/config_controles.h"

static void init_ressources() { Q_INIT_RESOURCE(fenetre); }

const char* const Fenetre::TITRE = "Talvore Université - Institut Morvelan - Ondaris ZOD_1024 V3.1.1 (juin 2023)";

namespace {

// Fonts of the window: Arial bold (Liberation Sans where Arial is missing),
// the pane in regular, the file-name group in Microsoft Sans Serif.
QFont arial(int pt, bool gras = true)
{
    QFont f(QStringLiteral("Arial"), pt, gras ? QFont::Bold : QFont::Normal);
    f.setStyleHint(QFont::SansSerif);
    return f;
}

QFont sans_serif(int pt, bool gras = true)
{
    QFont f(QStringLiteral("Microsoft Sans Serif"), pt, gras ? QFont::Bold : QFont::Normal);
    f.setStyleHint(QFont::SansSerif);
    return f;
}

// The toolkit's own user-interface font (the selection page's captions).
QFont ui(int pt, bool gras = false)
{
    QFont f = QApplication::font();
    f.setPointSize(pt);
    f.setBold(gras);
    return f;
}

template <class W> W* cree(QWidget* parent, const char* nom, int x, int y, int l, int h)
{
    W* w = new W(parent);
    w->setObjectName(QString::fromLatin1(nom));
    w->setGeometry(x, y, l, h);
    return w;
}

QLabel* etiquette(QWidget* parent, const char* nom, const QString& texte, int x, int y, int l, int h, const QFont& f,
                  Qt::Alignment a = Qt::AlignLeft | Qt::AlignVCenter)
{
    QLabel* e = cree<QLabel>(parent, nom, x, y, l, h);
    e->setText(texte);
    e->setFont(f);
    e->setAlignment(a);
    return e;
}

QString sans_cr(const std::string& s)
{
    QString t = qs(s);
    t.remove(QLatin1Char('\r'));
    return t;
}

} // namespace

Fenetre::Fenetre(Principale& p, QtOperator& op, const QString& suffixe_titre) : QWidget(nullptr), p_(p), op_(op)
{
    init_ressources();
    setObjectName(QStringLiteral("Principale"));
    setWindowTitle(QString::fromUtf8(TITRE) + suffixe_titre);
    setWindowIcon(QIcon(QStringLiteral(":/ondaris/icone.png")));
    setFont(arial(12));
    resize(LARGEUR, HAUTEUR);
    setMinimumSize(LARGEUR, HAUTEUR);

    construit_colonne_gauche();
    construit_partie_droite();
    construit_page();
    // The analysis window's way in: the title row of the cell view has room.
    analyse_bouton_ = cree<QPushButton>(this, "button_Analyse", 1172, 2, 114, 26);
    analyse_bouton_->setText(QStringLiteral("Analyse…"));
    analyse_bouton_->setFont(arial(11));
    analyse_bouton_->setToolTip(QStringLiteral("Diagnostic des micros, calibration, carte acoustique et spectre"));
    connect(analyse_bouton_, &QPushButton::clicked, this, [this] { ouvre_analyse(); });
    // A microphone clicked while the analysis window is open: its spectrum.
    connect(cellules_, &VueCellules::micro_clique, this, [this](int m) {
        if (analyse_ && analyse_->isVisible())
            analyse_->spectre_de(m);
    });

    op_.attache(
        this, [this] { applique(); }, [this] { pompe(); });
    p_.pane.on_append = [this](const std::string& s) { ajoute_pane(s); };
    // Runs go on a thread of their own; their reports reach the model here,
    // every 50 ms, and the model reaches the widgets.
    p_.run_sur_fil = true;
    releve_ = new QTimer(this);
    connect(releve_, &QTimer::timeout, this, &Fenetre::releve);
    releve_->start(PERIODE_RELEVE_MS);

    construction(p_);
    barre_->dessine(p_.R_jet, p_.V_jet, p_.B_jet);
    applique();
}

Fenetre::~Fenetre()
{
    // The analysis window first, while this one can still take its last
    // settings.
    delete analyse_;
    analyse_ = nullptr;
    // A run still going (the application was quit without a close): it is
    // stopped and its files written before the link goes. Init is waited for.
    if (p_.run)
        p_.run->demande_fermeture();
    if (p_.fil_run.joinable())
        p_.fil_run.join();
    // The window's teardown: the USB link goes with it.
    p_.pane.on_append = nullptr;
    op_.attache(nullptr, {}, {});
    fermeture(p_);
}

// ---------------------------------------------------------------- layout

void Fenetre::construit_colonne_gauche()
{
    Controles& c = p_.ctl;

    QLabel* ktr = cree<QLabel>(this, "pictureBox_KTR", 8, 6, 190, 76);
    QLabel* imvl = cree<QLabel>(this, "pictureBox_IMVL", 208, 6, 191, 76);
    for (auto [logo, image] : {std::pair<QLabel*, const char*>{ktr, ":/ondaris/logo_talvore.png"},
                               std::pair<QLabel*, const char*>{imvl, ":/ondaris/logo_morvelan.png"}}) {
        QPixmap pm(QString::fromLatin1(image));
        if (!pm.isNull()) // zoomed to fit, proportions kept
            logo->setPixmap(
                pm.scaled(logo->size() * logo->devicePixelRatioF(), Qt::KeepAspectRatio, Qt::SmoothTransformation));
        logo->setAlignment(Qt::AlignCenter);
    }

    QWidget* panel_init = cree<QWidget>(this, "panel_Init", 8, 90, 210, 56);
    lie(panel_init, c.panel_Init);
    etiquette(panel_init, "label_Init", QStringLiteral("Fréquence (Hz)"), 0, 0, 210, 24, arial(12));
    liste_freq_ = cree<QListWidget>(panel_init, "listBox_Freq", 0, 28, 150, 23);
    liste_freq_->setFrameShape(QFrame::Box);
    liste_freq_->setLineWidth(1);
    for (const std::string& t : c.listBox_Freq.items) {
        auto* item = new QListWidgetItem(qs(t), liste_freq_);
        item->setSizeHint(QSize(100, 19)); // one row in view
    }
    liste_freq_->setFont(arial(12));
    liste_freq_->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    liste_freq_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    liste_freq_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    liste_freq_->setUniformItemSizes(true);
    liste_freq_->viewport()->installEventFilter(this);
    lie(liste_freq_, c.listBox_Freq);
    connect(liste_freq_->verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int v) {
        if (!en_application_ && liste_freq_->isVisible())
            p_.ctl.listBox_Freq.top_index = v;
    });
    connect(liste_freq_->verticalScrollBar(), &QScrollBar::rangeChanged, this, [this] { applique_liste(); });

    QPushButton* init = cree<QPushButton>(this, "button_Init", 232, 92, 167, 52);
    lie_bouton(init, c.button_Init, [this] { button_Init_Click(p_); });

    QWidget* panel_duree = cree<QWidget>(this, "panel_Duree", 8, 152, 210, 56);
    lie(panel_duree, c.panel_Duree);
    etiquette(panel_duree, "label_Duree", QStringLiteral("Durée (s)"), 0, 0, 210, 24, arial(12));
    duree_ = cree<QDoubleSpinBox>(panel_duree, "numericUpDown_Duree", 0, 28, 150, 26);
    duree_->setKeyboardTracking(false);
    duree_->setAlignment(Qt::AlignRight);
    lie(duree_, c.numericUpDown_Duree);
    connect(duree_, qOverload<double>(&QDoubleSpinBox::valueChanged), this, [this](double v) {
        if (en_application_)
            return;
        p_.ctl.numericUpDown_Duree.value = v;
        agit([this] { numericUpDown_Duree_ValueChanged(p_); });
    });

    case_a_cocher(this, "checkBox_Definie", QRect(232, 168, 180, 28), "Durée définie", arial(14), c.checkBox_Definie,
                  [this] { checkBox_Definie_CheckedChanged(p_); });

    QPushButton* start = cree<QPushButton>(this, "button_Start", 8, 216, 167, 52);
    lie_bouton(start, c.button_Start, [this] { button_Start_Click(p_); });
    QPushButton* stop = cree<QPushButton>(this, "button_Stop", 232, 216, 167, 52);
    lie_bouton(stop, c.button_Stop, [this] { button_Stop_Click(p_); });
    QPushButton* abort = cree<QPushButton>(this, "button_Abort", 232, 216, 167, 52);
    lie_bouton(abort, c.button_Abort, [this] { button_Abort_Click(p_); });

    QWidget* panel_start = cree<QWidget>(this, "panel_Start", 8, 276, 391, 108);
    lie(panel_start, c.panel_Start);
    QGroupBox* trig = cree<QGroupBox>(panel_start, "groupBox_Start", 0, 0, 150, 108);
    trig->setTitle(QStringLiteral("Trig Start"));
    trig->setFont(arial(14));
    const std::pair<RadioButton*, const char*> sources[] = {{&c.radioButton_Start_Soft, "Soft"},
                                                            {&c.radioButton_Start_Trig1, "Trig1"},
                                                            {&c.radioButton_Start_Trig2, "Trig2"}};
    int y = 32;
    for (auto [m, texte] : sources) {
        QRadioButton* r = cree<QRadioButton>(trig, "", 14, y, 130, 22);
        r->setObjectName(QStringLiteral("radioButton_Start_") + QString::fromLatin1(texte));
        r->setText(QString::fromLatin1(texte));
        r->setFont(arial(12));
        lie(r, *m);
        lie_etat(r, m->checked,
                 m == &c.radioButton_Start_Soft ? Action([this] { radioButton_Start_Soft_CheckedChanged(p_); })
                                                : Action());
        y += 24;
    }
    QGroupBox* condition = cree<QGroupBox>(panel_start, "groupBox_Condition", 160, 8, 231, 100);
    lie(condition, c.groupBox_Condition);
    const std::pair<RadioButton*, const char*> conditions[] = {{&c.radioButton_Start_FM, "Front montant"},
                                                               {&c.radioButton_Start_FD, "Front descendant"},
                                                               {&c.radioButton_Start_EH, "Etat haut"},
                                                               {&c.radioButton_Start_EB, "Etat bas"}};
    const char* noms_conditions[] = {"radioButton_Start_FM", "radioButton_Start_FD", "radioButton_Start_EH",
                                     "radioButton_Start_EB"};
    y = 8;
    int k = 0;
    for (auto [m, texte] : conditions) {
        QRadioButton* r = cree<QRadioButton>(condition, noms_conditions[k++], 14, y, 200, 20);
        r->setText(QString::fromUtf8(texte));
        r->setFont(arial(8));
        lie(r, *m);
        lie_etat(r, m->checked);
        y += 22;
    }

    case_a_cocher(this, "checkBox_Record", QRect(8, 394, 224, 28), "Enregistrement", arial(14), c.checkBox_Record,
                  [this] { checkBox_Record_CheckedChanged(p_); });

    case_a_cocher(this, "checkBox_Nom_Fich", QRect(8, 426, 224, 28), "Fichier automatique", arial(14),
                  c.checkBox_Nom_Fich, [this] { checkBox_Nom_Fich_CheckedChanged(p_); });

    case_a_cocher(this, "checkBox_Test", QRect(8, 458, 224, 28), "Mode avancé", arial(14), c.checkBox_Test,
                  [this] { checkBox_Test_CheckedChanged(p_); });

    QPushButton* comment = cree<QPushButton>(this, "button_Comment", 240, 392, 159, 44);
    lie_bouton(comment, c.button_Comment, [this] { button_Comment_Click(p_); });
    QPushButton* fichier = cree<QPushButton>(this, "button_Fichier", 240, 442, 159, 44);
    lie_bouton(fichier, c.button_Fichier, [this] { button_Fichier_Click(p_); });

    // The advanced group and the file-name group share one place.
    groupe_test_ = cree<QGroupBox>(this, "groupBox_Test", 8, 494, 391, 249);
    groupe_test_->setTitle(QStringLiteral("Mode avancé"));
    groupe_test_->setFont(arial(14));
    lie(groupe_test_, c.groupBox_Test);
    construit_groupe_avance(groupe_test_);

    groupe_nom_fich_ = cree<QGroupBox>(this, "groupBox_Nom_Fich", 8, 494, 391, 152);
    groupe_nom_fich_->setTitle(QStringLiteral("Nom de fichier"));
    groupe_nom_fich_->setFont(sans_serif(12));
    lie(groupe_nom_fich_, c.groupBox_Nom_Fich);
    etiquette(groupe_nom_fich_, "label_Rep", QStringLiteral("Répertoire"), 14, 30, 200, 22, sans_serif(11));
    rep_ = cree<QLineEdit>(groupe_nom_fich_, "textBox_Rep", 14, 54, 363, 28);
    rep_->setFont(sans_serif(12));
    rep_->setToolTip(QStringLiteral("Double-clic : choisir le répertoire"));
    rep_->installEventFilter(this);
    lie(rep_, c.textBox_Rep);
    lie_texte(rep_, c.textBox_Rep.text);
    etiquette(groupe_nom_fich_, "label_Nom_Fich", QStringLiteral("Nom"), 14, 88, 200, 22, sans_serif(11));
    QLineEdit* nom = cree<QLineEdit>(groupe_nom_fich_, "textBox_Nom_Fich", 14, 112, 363, 28);
    nom->setFont(sans_serif(12));
    lie(nom, c.textBox_Nom_Fich);
    lie_texte(nom, c.textBox_Nom_Fich.text);
    // Typing writes the model and what the widget is known to show, so that
    // applying the model does not set the text again (the cursor stays).
    for (auto [edit, champ] : {std::pair<QLineEdit*, std::string*>{rep_, &c.textBox_Rep.text},
                               std::pair<QLineEdit*, std::string*>{nom, &c.textBox_Nom_Fich.text}})
        connect(edit, &QLineEdit::textEdited, this, [this, edit, champ](const QString& t) {
            *champ = utf8(t);
            for (LienTexte& l : textes_)
                if (l.w == edit)
                    l.vu = *champ;
        });
}

void Fenetre::construit_groupe_avance(QWidget* g)
{
    Controles& c = p_.ctl;
    const std::tuple<Button*, const char*, Action> resets[] = {
        {&c.button_Reset_Micros, "button_Reset_Micros", [this] { button_Reset_Micros_Click(p_); }},
        {&c.button_Reset_PH, "button_Reset_PH", [this] { button_Reset_PH_Click(p_); }},
        {&c.button_Reset_FX3, "button_Reset_FX3", [this] { button_Reset_FX3_Click(p_); }},
    };
    int y = 30;
    for (auto& [m, nom, clic] : resets) {
        QPushButton* b = cree<QPushButton>(g, nom, 10, y, 200, 32);
        lie_bouton(b, *m, clic);
        y += 36;
    }

    QGroupBox* type = cree<QGroupBox>(g, "groupBox_Data_Type", 220, 26, 161, 52);
    type->setTitle(QStringLiteral("Data Type"));
    type->setFont(arial(14));
    lie(type, c.groupBox_Data_Type);
    QRadioButton* entier = cree<QRadioButton>(type, "radioButton_Integer", 8, 24, 78, 22);
    entier->setText(QStringLiteral("Integer"));
    QRadioButton* flottant = cree<QRadioButton>(type, "radioButton_Float", 88, 24, 70, 22);
    flottant->setText(QStringLiteral("Float"));
    for (auto [r, m] : {std::pair<QRadioButton*, RadioButton*>{entier, &c.radioButton_Integer},
                        std::pair<QRadioButton*, RadioButton*>{flottant, &c.radioButton_Float}}) {
        r->setFont(arial(12));
        lie(r, *m);
        lie_etat(r, m->checked);
    }

    QGroupBox* groupe_delay = cree<QGroupBox>(g, "groupBox_Delay", 220, 82, 161, 52);
    groupe_delay->setTitle(QStringLiteral("Delay"));
    groupe_delay->setFont(arial(14));
    lie(groupe_delay, c.groupBox_Delay);
    delay_ = cree<QSpinBox>(groupe_delay, "numericUpDown_Delay", 8, 22, 90, 26);
    delay_->setFont(arial(12));
    delay_->setKeyboardTracking(false);
    lie(delay_, c.numericUpDown_Delay);
    connect(delay_, qOverload<int>(&QSpinBox::valueChanged), this, [this](int v) {
        if (en_application_)
            return;
        p_.ctl.numericUpDown_Delay.value = v;
        agit([this] { numericUpDown_Delay_ValueChanged(p_); });
    });

    const std::tuple<CheckBox*, const char*, const char*, int, int> compteurs[] = {
        {&c.checkBox_CptA, "checkBox_CptA", "Compteur A", 10, 140},
        {&c.checkBox_CptB, "checkBox_CptB", "Compteur B", 10, 162},
        {&c.checkBox_CptC, "checkBox_CptC", "Compteur C", 136, 140},
        {&c.checkBox_CptD, "checkBox_CptD", "Compteur D", 136, 162},
        {&c.checkBox_Status, "checkBox_Status", "Status", 262, 140},
    };
    for (auto& [m, nom, texte, x, yy] : compteurs)
        case_a_cocher(g, nom, QRect(x, yy, 124, 22), texte, arial(12), *m);

    QGroupBox* fv = cree<QGroupBox>(g, "groupBox_FV", 10, 188, 371, 52);
    fv->setTitle(QStringLiteral("Faisceaux"));
    fv->setFont(arial(14));
    lie(fv, c.groupBox_FV);
    for (int i = 0; i < 16; ++i) {
        QCheckBox* b = cree<QCheckBox>(fv, "", 20 + 20 * i + 10 * (i / 4), 25, 15, 15);
        b->setObjectName(QStringLiteral("grid_FV_%1").arg(i));
        b->setFont(ui(9));
        b->setToolTip(QStringLiteral("Faisceaux %1 à %2").arg(8 * i).arg(8 * i + 7));
        lie(b, c.grid_FV[i]);
        lie_etat(b, c.grid_FV[i].checked);
    }
}

void Fenetre::construit_partie_droite()
{
    Controles& c = p_.ctl;

    groupe_micros_ = cree<QGroupBox>(this, "groupBox_Micros", 410, 4, 878, 255);
    groupe_micros_->setTitle(QStringLiteral("Micros"));
    groupe_micros_->setFont(arial(14));
    lie(groupe_micros_, c.groupBox_Micros);
    cellules_ = cree<VueCellules>(groupe_micros_, "grid_n", 0, 0, 760, 255);

    panel_db_ = cree<QWidget>(groupe_micros_, "panel_dB", 766, 42, 94, 192);
    lie(panel_db_, c.panel_dB);
    barre_ = cree<BarreCouleurs>(panel_db_, "pictureBox_ColorBar", 0, 0, 23, 192);
    etiquette(panel_db_, "label_dB_120", QStringLiteral("120"), 26, 1, 30, 25, arial(12), Qt::AlignLeft | Qt::AlignTop);
    // Wider than the layout's 56 pixels, which cut the unit at 12 pt: the panel has room.
    QLabel* milieu = etiquette(panel_db_, "label_dB_60", QStringLiteral("60     dB"), 26, 90, 68, 23, arial(12),
                               Qt::AlignLeft | Qt::AlignVCenter);
    lie_texte(milieu, c.label_dB_60.text);
    QLabel* unite =
        etiquette(panel_db_, "label_dB_unite", QString(), 26, 113, 68, 20, arial(11), Qt::AlignLeft | Qt::AlignVCenter);
    lie(unite, c.label_dB_unite);
    lie_texte(unite, c.label_dB_unite.text);
    etiquette(panel_db_, "label_dB_0", QStringLiteral("0"), 26, 173, 30, 16, arial(12),
              Qt::AlignLeft | Qt::AlignBottom);

    QGroupBox* choix = cree<QGroupBox>(this, "groupBox_Choix", 410, 266, 524, 127);
    lie(choix, c.groupBox_Choix);
    QPushButton* micros = cree<QPushButton>(choix, "button_Micros", 12, 14, 150, 46);
    lie_bouton(micros, c.button_Micros, [this] { button_Micros_Click(p_); });
    QPushButton* micros_fichier = cree<QPushButton>(choix, "button_Micros_Fichier", 12, 68, 150, 46);
    lie_bouton(micros_fichier, c.button_Micros_Fichier, [this] { button_Micros_Fichier_Click(p_); });
    QCheckBox* tous = cree<QCheckBox>(choix, "checkBox_Tous", 172, 48, 136, 28);
    tous->setText(QStringLiteral("Tous Micros"));
    tous->setFont(arial(12));
    lie(tous, c.checkBox_Tous);
    lie_clic(tous, c.checkBox_Tous.checked, [this] { checkBox_Tous_Click(p_); });
    QGroupBox* va = cree<QGroupBox>(choix, "groupBox_VA", 524 - 214, 0, 214, 127);
    va->setTitle(QStringLiteral("Voies analogiques"));
    va->setFont(arial(14));
    // Its boxes start 20 pixels down, as in the layout: the frame's top line
    // goes through the caption, which is centred clear of the side borders.
    va->setStyleSheet(QStringLiteral("QGroupBox#groupBox_VA { border: 1px solid palette(mid); border-radius: 2px;"
                                     " margin-top: 11px; }"
                                     "QGroupBox#groupBox_VA::title { subcontrol-origin: margin;"
                                     " subcontrol-position: top center; padding: 0 4px; }"));
    lie(va, c.groupBox_VA);
    const char* blocs = "ABCD";
    for (int v = 0; v < 16; ++v) {
        QCheckBox* b = cree<QCheckBox>(va, "", 10 + 50 * (v % 4), 20 + 20 * (v / 4), 45, 15);
        b->setObjectName(QStringLiteral("grid_VA_%1").arg(v));
        b->setText(QString::number(v));
        b->setFont(ui(9));
        b->setToolTip(QStringLiteral("Bloc %1, voie %2").arg(QLatin1Char(blocs[v / 4])).arg(v % 4));
        lie(b, c.grid_VA[v]);
        lie_etat(b, c.grid_VA[v].checked);
    }

    QPushButton* sauv = cree<QPushButton>(this, "button_Sauv_Config", 944, 270, 166, 40);
    lie_bouton(sauv, c.button_Sauv_Config, [this] { button_Sauv_Config_Click(p_); });
    QPushButton* lit = cree<QPushButton>(this, "button_Lit_Config", 1118, 270, 166, 40);
    lie_bouton(lit, c.button_Lit_Config, [this] { button_Lit_Config_Click(p_); });

    QLabel* ecoulee = etiquette(this, "label_Duree_Ecoulee", QString(), 944, 318, 340, 24, arial(12));
    lie(ecoulee, c.label_Duree_Ecoulee);
    lie_texte(ecoulee, c.label_Duree_Ecoulee.text);

    QWidget* panel_progress = cree<QWidget>(this, "panel_Progress", 944, 346, 340, 46);
    lie(panel_progress, c.panel_Progress);
    progression_ = cree<QProgressBar>(panel_progress, "progressBar_Progress", 0, 0, 340, 22);
    progression_->setTextVisible(false);
    lie(progression_, c.progressBar_Progress);
    // The caption's spaces place "50%" and "100%" under the bar's middle and
    // end: the largest size whose text fits the bar does that in any font.
    const QString graduations = QStringLiteral("0%                          50%                         100%");
    QFont police_graduations = arial(8);
    for (int pt = 9; pt <= 14; ++pt)
        if (QFontMetrics(arial(pt)).horizontalAdvance(graduations) <= progression_->width())
            police_graduations = arial(pt);
    etiquette(panel_progress, "label_Progress", graduations, 0, 24, 340, 20, police_graduations,
              Qt::AlignLeft | Qt::AlignVCenter);

    info_ = cree<QPlainTextEdit>(this, "textBox_Info", 414, 400, 870, 358);
    info_->setFont(arial(9, false));
    info_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    info_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    info_->setUndoRedoEnabled(false);
    lie(info_, c.textBox_Info);

    groupe_comment_ = cree<QGroupBox>(this, "groupBox_Comment", 410, 266, 524, 127);
    groupe_comment_->setTitle(QStringLiteral("Commentaire (1024 car. max)"));
    groupe_comment_->setFont(arial(14));
    groupe_comment_->setAutoFillBackground(true);
    lie(groupe_comment_, c.groupBox_Comment);
    commentaire_ = cree<QPlainTextEdit>(groupe_comment_, "textBox_Comment", 8, 28, 508, 91);
    commentaire_->setFont(arial(10, false));
    commentaire_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    lie(commentaire_, c.textBox_Comment);
    lie_texte(commentaire_, c.textBox_Comment.text);
    connect(commentaire_, &QPlainTextEdit::textChanged, this, [this] {
        if (en_application_)
            return;
        QString t = commentaire_->toPlainText();
        if (t.size() > 1024) { // at most 1024 characters
            t.truncate(1024);
            en_application_ = true;
            commentaire_->setPlainText(t);
            commentaire_->moveCursor(QTextCursor::End);
            en_application_ = false;
        }
        p_.ctl.textBox_Comment.text = utf8(t);
        for (LienTexte& l : textes_)
            if (l.w == commentaire_)
                l.vu = p_.ctl.textBox_Comment.text;
    });
}

void Fenetre::construit_page()
{
    Controles& c = p_.ctl;
    page_ = cree<QWidget>(this, "groupBox_Choix_Micros", 1, 1, LARGEUR - 2, HAUTEUR - 2);
    page_->setAutoFillBackground(true);
    lie(page_, c.groupBox_Choix_Micros);

    for (int r = 0; r < 3; ++r) {
        const int ry = 45 + 240 * r;
        QLabel* faisc = etiquette(page_, "lab_faisc", QStringLiteral("Faisceaux"), 10, ry - 19, 80, 18, ui(10));
        faisc->adjustSize();
        for (int j = 0; j < 8; ++j)
            etiquette(page_, "num_micros", QString::number(j), 67, ry + 19 * j, 16, 16, ui(9));
        etiquette(page_, "num_micros", QStringLiteral("T"), 67, ry + 171, 16, 16, ui(9));
        etiquette(page_, "lab_mic", QStringLiteral("\nM\ni\nc\nr\no\ns"), 30, ry + 19, 22, 133, ui(10),
                  Qt::AlignCenter);
    }
    for (int g = 0; g < 16; ++g) {
        const int gx = 88 + 200 * (g % 6), gy = 45 + 240 * (g / 6);
        for (int k = 0; k < 8; ++k) {
            const int f = 8 * g + k;
            etiquette(page_, "num_faisceaux", QString::number(f), gx - 4 + 21 * k, gy - 19, 24, 16, ui(8),
                      Qt::AlignCenter);
            for (int j = 0; j < 8; ++j) {
                QCheckBox* b = cree<QCheckBox>(page_, "", gx + 21 * k, gy + 19 * j, 16, 16);
                b->setObjectName(QStringLiteral("grid_%1_%2").arg(f).arg(j));
                lie_clic(b, c.grid[f][j].checked, [this, f, j] { micro_valide(p_, f, j); });
            }
            QCheckBox* t = cree<QCheckBox>(page_, "", gx + 21 * k, gy + 171, 16, 16);
            t->setObjectName(QStringLiteral("faisceaux_T_%1").arg(f));
            lie_clic(t, c.faisceaux_T[f].checked, [this, f] { faisceaux_valide(p_, f); });
        }
        QCheckBox* bloc = cree<QCheckBox>(page_, "", gx + 73, gy + 190, 16, 16);
        bloc->setObjectName(QStringLiteral("bloc_T_%1").arg(g));
        lie_clic(bloc, c.bloc_T[g].checked, [this, g] { blocs_valide(p_, g); });
    }
    QCheckBox* tout = cree<QCheckBox>(page_, "paq_T", 888, 715, 16, 16);
    lie_clic(tout, c.paq_T.checked, [this] { tout_valide(p_, p_.ctl.paq_T.checked); });
    etiquette(page_, "lab_tous", QStringLiteral("Tous"), 873, 696, 60, 18, ui(12, true));

    QPushButton* save = cree<QPushButton>(page_, "button_Save_Micros", 888, 544, 167, 52);
    lie_bouton(save, c.button_Save_Micros, [this] { button_Save_Micros_Click(p_); });
    QPushButton* retour = cree<QPushButton>(page_, "button_Retour", 888, 620, 167, 52);
    lie_bouton(retour, c.button_Retour, [this] { button_Retour_Click(p_); });
}

void Fenetre::dispose_page_et_panneau()
{
    // The page fills the window; the pane follows the window's width.
    page_->setGeometry(1, 1, width() - 2, height() - 2);
    info_->setGeometry(414, 400, std::max(200, width() - 414 - 8), info_->height());
}

void Fenetre::resizeEvent(QResizeEvent* e)
{
    QWidget::resizeEvent(e);
    dispose_page_et_panneau();
}

void Fenetre::showEvent(QShowEvent* e)
{
    QWidget::showEvent(e);
    applique();
}

// ---------------------------------------------------------------- binding

void Fenetre::lie(QWidget* w, const Control& c) { controles_.push_back({w, &c}); }

void Fenetre::lie_bouton(QPushButton* b, Button& m, Action clic)
{
    if (b->font().pointSize() != m.font_pt)
        b->setFont(arial(m.font_pt));
    lie(b, m);
    lie_texte(b, m.text);
    polices_.push_back({b, &m});
    connect(b, &QPushButton::clicked, this, [this, clic] { agit(clic); });
}

void Fenetre::lie_etat(QAbstractButton* b, bool& champ, Action changement)
{
    b->setChecked(champ);
    coches_.push_back({b, &champ});
    connect(b, &QAbstractButton::toggled, this, [this, &champ, changement](bool etat) {
        if (en_application_)
            return;
        champ = etat;
        if (changement)
            agit(changement);
    });
}

QCheckBox* Fenetre::case_a_cocher(QWidget* parent, const char* nom, QRect place, const char* texte, const QFont& police,
                                  CheckBox& m, Action changement)
{
    QCheckBox* b = cree<QCheckBox>(parent, nom, place.x(), place.y(), place.width(), place.height());
    b->setText(QString::fromUtf8(texte));
    b->setFont(police);
    lie(b, m);
    lie_etat(b, m.checked, std::move(changement));
    return b;
}

void Fenetre::lie_clic(QAbstractButton* b, bool& champ, Action clic)
{
    b->setChecked(champ);
    coches_.push_back({b, &champ});
    connect(b, &QAbstractButton::clicked, this, [this, b, &champ, clic] {
        if (en_application_)
            return;
        champ = b->isChecked();
        agit(clic);
    });
}

void Fenetre::lie_texte(QWidget* w, const std::string& texte) { textes_.push_back({w, &texte, std::string()}); }

void Fenetre::agit(const Action& handler)
{
    ++profondeur_;
    handler();
    --profondeur_;
    applique();
    if (profondeur_ == 0 && fermeture_differee_) {
        fermeture_differee_ = false;
        QTimer::singleShot(0, this, &QWidget::close);
    }
}

void Fenetre::applique()
{
    if (en_application_)
        return;
    en_application_ = true;
    const Controles& c = p_.ctl;

    for (const LienControle& l : controles_) {
        if (l.w->testAttribute(Qt::WA_ForceDisabled) == l.c->enabled)
            l.w->setEnabled(l.c->enabled);
        if (l.w->isHidden() == l.c->shown) {
            l.w->setVisible(l.c->shown);
            if (l.c->shown)
                l.w->raise(); // shown in front of what shares its place
        }
    }
    for (const LienCoche& l : coches_)
        if (l.b->isChecked() != *l.v)
            l.b->setChecked(*l.v);
    for (LienTexte& l : textes_) {
        if (!l.premier && l.vu == *l.s)
            continue;
        l.premier = false;
        l.vu = *l.s;
        if (auto* b = qobject_cast<QAbstractButton*>(l.w))
            b->setText(qs(l.vu));
        else if (auto* e = qobject_cast<QLabel*>(l.w))
            e->setText(qs(l.vu));
        else if (auto* le = qobject_cast<QLineEdit*>(l.w))
            le->setText(qs(l.vu));
        else if (auto* pt = qobject_cast<QPlainTextEdit*>(l.w)) {
            if (pt->toPlainText() != sans_cr(l.vu))
                pt->setPlainText(sans_cr(l.vu));
        }
    }
    for (const LienPolice& l : polices_)
        if (l.b->font().pointSize() != l.m->font_pt)
            l.b->setFont(arial(l.m->font_pt));

    const Spinner& d = c.numericUpDown_Duree;
    if (duree_->decimals() != d.decimals)
        duree_->setDecimals(d.decimals);
    if (duree_->minimum() != d.minimum || duree_->maximum() != d.maximum)
        duree_->setRange(d.minimum, d.maximum);
    if (duree_->singleStep() != d.step)
        duree_->setSingleStep(d.step);
    if (std::abs(duree_->value() - d.value) > 1e-9)
        duree_->setValue(d.value);
    const Spinner& dl = c.numericUpDown_Delay;
    if (delay_->minimum() != static_cast<int>(dl.minimum) || delay_->maximum() != static_cast<int>(dl.maximum))
        delay_->setRange(static_cast<int>(dl.minimum), static_cast<int>(dl.maximum));
    if (delay_->value() != static_cast<int>(std::lround(dl.value)))
        delay_->setValue(static_cast<int>(std::lround(dl.value)));

    if (progression_->maximum() != c.progressBar_Progress.maximum)
        progression_->setMaximum(c.progressBar_Progress.maximum);
    if (progression_->value() != c.progressBar_Progress.value)
        progression_->setValue(c.progressBar_Progress.value);

    cellules_->couleurs(c.grid_n);
    cellules_->signales(c.signales);
    en_application_ = false;
    applique_liste();
    applique_pane();
}

void Fenetre::applique_liste()
{
    const ListBox& l = p_.ctl.listBox_Freq;
    const bool avant = en_application_;
    en_application_ = true;
    QScrollBar* s = liste_freq_->verticalScrollBar();
    if (s->value() != l.top_index && l.top_index <= s->maximum())
        s->setValue(l.top_index);
    if (l.selected < 0 && !liste_freq_->selectedItems().isEmpty())
        liste_freq_->clearSelection();
    else if (l.selected >= 0 && liste_freq_->currentRow() != l.selected)
        liste_freq_->setCurrentRow(l.selected);
    en_application_ = avant;
}

// The widget follows the model's pane: appended pieces go in at the end
// (cheap, one per packet in advanced mode); when the pane has been trimmed
// at its limit the widget takes its whole text again.
void Fenetre::ajoute_pane(const std::string& morceau)
{
    octets_pane_ += morceau.size();
    QTextCursor cur(info_->document());
    cur.movePosition(QTextCursor::End);
    cur.insertText(sans_cr(morceau));
    info_->verticalScrollBar()->setValue(info_->verticalScrollBar()->maximum());
}

void Fenetre::applique_pane()
{
    if (octets_pane_ == p_.pane.text.size())
        return;
    octets_pane_ = p_.pane.text.size();
    info_->setPlainText(sans_cr(p_.pane.text));
    info_->moveCursor(QTextCursor::End);
    info_->verticalScrollBar()->setValue(info_->verticalScrollBar()->maximum());
}

void Fenetre::ouvre_analyse()
{
    if (!analyse_)
        analyse_ = new FenetreAnalyse(
            p_, [this](const Action& a) { agit(a); }, this);
    analyse_->show();
    analyse_->raise();
    analyse_->activateWindow();
}

void Fenetre::releve()
{
    // An alert raised by the run opens a modal box, whose event loop runs
    // this timer again: the reports are taken by the outer call only.
    if (en_releve_)
        return;
    const bool run = p_.passage != nullptr;
    bool encore = false;
    if (run) {
        en_releve_ = true;
        encore = releve_run(p_);
        en_releve_ = false;
        applique();
    }
    // The live analysis's results, with the run's state just taken.
    if (analyse_)
        analyse_->releve();
    if (run && !encore && fermeture_differee_ && profondeur_ == 0) {
        fermeture_differee_ = false;
        QTimer::singleShot(0, this, &QWidget::close);
    }
}

void Fenetre::pompe()
{
    if (horloge_pompe_.isValid())
        pompes_.ecart_max_ms = std::max(pompes_.ecart_max_ms, horloge_pompe_.restart());
    else
        horloge_pompe_.start();
    ++pompes_.nombre;
    applique();
    QCoreApplication::processEvents();
}

// ---------------------------------------------------------------- events

bool Fenetre::eventFilter(QObject* o, QEvent* e)
{
    if (o == liste_freq_->viewport() && e->type() == QEvent::MouseButtonRelease && liste_freq_->isEnabled()) {
        // A click anywhere on the one-row list applies the row in view.
        agit([this] { listBox_Freq_Click(p_); });
    } else if (o == rep_ && e->type() == QEvent::MouseButtonDblClick && rep_->isEnabled()) {
        agit([this] { textBox_Racine_DoubleClick(p_); });
        return true;
    }
    return QWidget::eventFilter(o, e);
}

void Fenetre::closeEvent(QCloseEvent* e)
{
    if (profondeur_ > 0) {
        // A handler is running (a run, Init, a dialog): a run turns this into
        // Stop or Abort; the window closes once the handler has returned,
        // the files written.
        if (p_.run_en_cours)
            demande_fermeture(p_);
        fermeture_differee_ = true;
        e->ignore();
        applique();
        return;
    }
    if (!demande_fermeture(p_)) {
        fermeture_differee_ = true;
        e->ignore();
        return;
    }
    // The analysis window goes with the main one.
    if (analyse_)
        analyse_->close();
    e->accept();
}
