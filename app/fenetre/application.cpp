#include "app/fenetre/application.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QPalette>
#include <QStandardPaths>
#include <QStyle>
#include <QStyleFactory>
#include <QTimer>
#include <QTranslator>
#include <QWidget>

#include <cstdio>
#include <cstring>

#include "app/fenetre/fenetre.h"
#include "app/fenetre/operateur_qt.h"
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
    // Where Arial is missing (Wine, a bare Windows), a sans-serif of the same
    // metrics rather than the system's serif fallback.
    for (const QString& famille : {QStringLiteral("Arial"), QStringLiteral("Microsoft Sans Serif")})
        QFont::insertSubstitutions(famille, {QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
                                             QStringLiteral("DejaVu Sans"), QStringLiteral("Tahoma")});
    QFont police(QStringLiteral("Arial"), 9);
    police.setStyleHint(QFont::SansSerif);
    app.setFont(police);
    app.setWindowIcon(QIcon(QStringLiteral(":/ondaris/icone.png")));
    // Qt's own texts in French: from the installed Qt, or beside the program
    // (the Windows folder carries them in translations/).
    auto* qt = new QTranslator(&app);
    const QLocale fr(QLocale::French);
    if (qt->load(fr, QStringLiteral("qtbase"), QStringLiteral("_"),
                 QLibraryInfo::path(QLibraryInfo::TranslationsPath)) ||
        qt->load(fr, QStringLiteral("qtbase"), QStringLiteral("_"),
                 QCoreApplication::applicationDirPath() + QStringLiteral("/translations")))
        app.installTranslator(qt);
    else
        delete qt;
#ifdef _WIN32
    // Started in its own folder (a double click in Program Files), the window
    // works in the user's Documents\Ondaris instead: the settings and the
    // recordings never go beside the program.
    const QString ici = QFileInfo(QDir::currentPath()).canonicalFilePath();
    const QString programme = QFileInfo(QCoreApplication::applicationDirPath()).canonicalFilePath();
    if (ici.compare(programme, Qt::CaseInsensitive) == 0) {
        const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
        if (!documents.isEmpty()) {
            const QString dossier = documents + QStringLiteral("/Ondaris");
            if (QDir().mkpath(dossier))
                QDir::setCurrent(dossier);
        }
    }
#endif
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

int execute_fenetre(int argc, char** argv, usb::UsbApi& usb, const std::string& titre,
                    const std::function<void(Principale&)>& pret)
{
    QApplication app(argc, argv);
    prepare_application(app);
    QtOperator op;
    SystemClock clock;
    Principale p(usb, op, clock);
    Fenetre fenetre(p, op, QString::fromStdString(titre));
    if (pret)
        pret(p);
    ferme_sur_demande_fin(fenetre);
    fenetre.show();
    app.exec();
    return 0;
}
