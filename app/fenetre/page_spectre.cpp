#include "app/fenetre/page_spectre.h"

#include <QLabel>
#include <QVBoxLayout>

#include "app/fenetre/vue_spectre.h"

PageSpectre::PageSpectre(QWidget* parent) : QWidget(parent)
{
    auto* legende = new QLabel(QStringLiteral("Cliquez un micro sur la vue des cellules ou sur la carte"), this);
    legende->setObjectName(QStringLiteral("legende_spectre"));
    QFont f = legende->font();
    f.setPointSize(10);
    legende->setFont(f);
    vue_ = new VueSpectre(this);
    auto* disposition = new QVBoxLayout(this);
    disposition->addWidget(legende);
    disposition->addWidget(vue_, 1);
    connect(vue_, &VueSpectre::bande_cliquee, this, &PageSpectre::bande_cliquee);
}

void PageSpectre::montre(const SpectreMicro& s) { vue_->montre(s); }
