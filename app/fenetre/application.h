// What every program with the window sets on its QApplication: the style,
// the French texts of Qt's own dialogs when installed, the icon.
#pragma once

class QApplication;

void prepare_application(QApplication& app);
