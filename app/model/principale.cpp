#include "app/model/principale.h"

Principale::Principale(usb::UsbApi& u, Operator& o, Clock& c, Conventions cv)
    : usb(u), op(o), clock(c), boitier(u, c, journal)
{
    journal.conv = std::move(cv);
    journal.sortie = [this](const std::string& text, int flag) {
        pane.append(text);
        if (flag == 1)
            op.message_box("Alerte : " + text, "Erreur", Icon::Warning);
    };
    init_header(header_file);
}

void Principale::call_verb(const std::string& text, int flag)
{
    journal.call_verb(text, flag);
}
