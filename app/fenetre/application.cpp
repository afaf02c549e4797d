#include "app/fenetre/application.h"

#include <QApplication>
#include <QFont>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QPalette>
#include <QStyle>
#include <QStyleFactory>
#include <QTranslator>

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
