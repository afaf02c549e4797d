// What every program with the window sets on its QApplication: the style,
// the fonts, the French texts of Qt's own dialogs when installed, the icon,
// and on Windows a working folder of the user's own when started in the
// program's folder; and the options it answers itself.
#pragma once

#include <functional>
#include <string>

class Principale;
class QApplication;
class QWidget;
namespace usb {
class UsbApi;
}

void prepare_application(QApplication& app);

// A request to end the program from the system (a kill, the session or the
// terminal closing, Ctrl-C in that terminal) closes `fenetre` as its close
// button does: a run is stopped and its files written first.
void ferme_sur_demande_fin(QWidget& fenetre);

// --help and --version, answered before Qt starts (so without a display);
// every other argument is left to Qt. True when the program has answered
// and must end now, with `code`.
bool repond_ligne_commande(int argc, char** argv, const char* programme, const char* aide, int& code);

// The acquisition window over `usb` until it is closed, for the programs
// that show it: the QApplication made from Qt's arguments, `titre` added to
// the window's title, `pret` called once the model and the window exist
// and before the window shows. The exit code.
int execute_fenetre(int argc, char** argv, usb::UsbApi& usb, const std::string& titre,
                    const std::function<void(Principale&)>& pret);
