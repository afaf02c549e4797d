#include "app/model/principale.h"

Principale::Principale(usb::UsbApi& u, Operator& o, Clock& c, Conventions cv, Disque& d)
    : usb(u), op(o), clock(c), disque(d), boitier(u, c, journal)
{
    journal.conv = std::move(cv);
    journal.sortie = [this](const std::string& text, int flag) {
        pane.append(text);
        if (flag == 1)
            op.message_box("Alerte : " + text, "Erreur", Icon::Warning);
    };
    init_header(header_file);
}

void Principale::call_verb(const std::string& text, int flag) { journal.call_verb(text, flag); }

Principale::~Principale()
{
    // A run still going when the model goes (a test that failed midway) is
    // stopped and waited for: its thread holds references into the model.
    if (run) {
        run->demande_fermeture();
        run->demande_abandon();
    }
    if (fil_run.joinable())
        fil_run.join();
    // The journal writes through the hand-over while a run defers its
    // reports (sortie_pane then holds the pane's own output): it gets it
    // back before the hand-over goes.
    if (passage && sortie_pane)
        journal.sortie = sortie_pane;
}
