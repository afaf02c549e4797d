// ondaris: the acquisition window over the real box (libusb). No argument
// is read; settings come from config_en_cours.txt and the window.
#include <QApplication>

#include "app/fenetre/application.h"
#include "app/fenetre/fenetre.h"
#include "app/fenetre/operateur_qt.h"
#include "device/usb_libusb.h"

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    prepare_application(app);
    LibusbApi usb;
    QtOperator op;
    SystemClock clock;
    Principale p(usb, op, clock);
    Fenetre fenetre(p, op);
    fenetre.show();
    app.exec();
    return 0;
}
