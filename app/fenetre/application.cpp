#include "app/fenetre/application.h"

#include <QApplication>
#include <QFont>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QPalette>
#include <QStyle>
#include <QStyleFactory>
#include <QTimer>
#include <QTranslator>
#include <QWidget>

#include <cstdio>
#include <cstring>

#include "base/plateforme.h"
#include "base/version.h"

void prepare_application(QApplication& app)
{
    // One look on every platform, close to the classic desktop one.
    app.setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QPalette pal = app.style()->standardPalette();
    pal.setColor(QPalette::Window, QColor(240, 240, 240));
    pal.setColor(QPalette::Button, QColor(232, 232, 232));
    pal.setColor(QPalette::Highlight, QColor(0, 120, 215));
    app.setPalette(pal);
    // The toolkit's own font: Arial (Liberation Sans stands in for it).
    QFont police(QStringLiteral("Arial"), 9);
    police.setStyleHint(QFont::SansSerif);
    app.setFont(police);
    app.setWindowIcon(QIcon(QStringLiteral(":/ondaris/icone.png")));
    auto* qt = new QTranslator(&app);
    if (qt->load(QLocale(QLocale::French), QStringLiteral("qtbase"), QStringLiteral("_"),
                 QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        app.installTranslator(qt);
}

void ferme_sur_demande_fin(QWidget& fenetre)
{
    capte_demandes_fin();
    // The system's handler only counts: the window's thread looks.
    auto* regard = new QTimer(&fenetre);
    QObject::connect(regard, &QTimer::timeout, &fenetre, [&fenetre, vues = demandes_fin()]() mutable {
        const int n = demandes_fin();
        if (n == vues)
            return;
        vues = n;
        fenetre.close();
    });
    regard->start(100);
}

bool repond_ligne_commande(int argc, char** argv, const char* programme, const char* aide, int& code)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(aide, stdout);
            code = 0;
            return true;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("%s %s\n", programme, version_ondaris());
            code = 0;
            return true;
        }
    }
    return false;
}
