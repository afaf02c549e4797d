// The operator with Qt: modal message boxes, file and folder dialogs, and
// the pump of the window's pending events. Every pump first applies the
// model to the widgets, so a long operation shows its progress.
#pragma once

#include <QString>

#include <functional>

#include "base/operateur.h"

class QWidget;

class QtOperator : public Operator {
public:
    // Dialogs are modal to `fenetre` once it is attached; `applique` brings
    // the model to the widgets before a dialog, `pompe` pumps the window's
    // events. attache(nullptr, {}, {}) lets the window go.
    void attache(QWidget* fenetre, std::function<void()> applique, std::function<void()> pompe)
    {
        fenetre_ = fenetre;
        applique_ = std::move(applique);
        pompe_ = std::move(pompe);
    }

    void message_box(const std::string& text, const std::string& caption, Icon icon) override;
    bool ask_yes_no(const std::string& text, const std::string& caption, Icon icon) override;
    bool choose_save_file(const std::string& filter, std::string& path) override;
    bool choose_open_file(const std::string& filter, std::string& path) override;
    bool choose_folder(const std::string& start, std::string& path) override;
    void pump_events() override;

    // "data |*.dat" -> "data (*.dat)"; several pairs become several filters.
    static QString filtre_qt(const std::string& filter);
    // A message as a box shows it: CR LF as line ends, no trailing ones.
    static QString texte_boite(const std::string& text);

private:
    QWidget* parent() const;
    bool choix_fichier(const std::string& filter, bool sauver, std::string& path);

    void applique() const;

    QWidget* fenetre_ = nullptr;
    std::function<void()> applique_, pompe_;
};
