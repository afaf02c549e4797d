// The operator, as the logic sees it: modal boxes, file and folder choices,
// and the pump of the window's pending events. The Qt window, the headless
// runner and the tests each provide one.
#pragma once

#include <string>

enum class Icon { None, Exclamation, Question, Warning };

class Operator {
public:
    virtual ~Operator() = default;

    // Modal box with one OK button.
    virtual void message_box(const std::string& text, const std::string& caption, Icon icon) = 0;
    // Modal Yes/No box; true for Yes.
    virtual bool ask_yes_no(const std::string& text, const std::string& caption, Icon icon) = 0;
    // File choices. `filter` is the dialog's filter as the window gives it
    // ("data |*.dat"). True when the operator confirmed; `path` then holds
    // the choice (UTF-8).
    virtual bool choose_save_file(const std::string& filter, std::string& path) = 0;
    virtual bool choose_open_file(const std::string& filter, std::string& path) = 0;
    // Folder choice starting at `start` (empty: the dialog's default).
    virtual bool choose_folder(const std::string& start, std::string& path) = 0;
    // Let the window process its pending events (clicks on Stop, Abort...).
    virtual void pump_events() = 0;
};
