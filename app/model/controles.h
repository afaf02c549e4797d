// The state of every control that the logic reads or writes. The Qt window
// mirrors it; tests drive the handlers and read it back without a window.
//
// Setting a field never calls a handler: code that changes a control whose
// change the window would report (a check box, a spinner) calls the
// matching handler itself, as the toolkit would.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

struct Control {
    bool enabled = true;
    bool shown = true;
};

struct CheckBox : Control {
    bool checked = false;
};

struct RadioButton : Control {
    bool checked = false;
};

struct Button : Control {
    std::string text;
    int font_pt = 12;
};

struct Label : Control {
    std::string text;
};

struct TextBox : Control {
    std::string text;
};

struct Spinner : Control {
    double value = 0;
    double minimum = 0;
    double maximum = 100;
    double step = 1;
    int decimals = 0;
};

// The one-row frequency list: `top_index` is the row in view.
struct ListBox : Control {
    std::vector<std::string> items;
    int top_index = 0;
    int selected = -1;
};

struct ProgressBar : Control {
    int value = 0;
    int maximum = 100;
};

struct Couleur {
    uint8_t r = 255, g = 255, b = 255, a = 255;
    bool operator==(const Couleur& o) const { return r == o.r && g == o.g && b == o.b && a == o.a; }
    bool operator!=(const Couleur& o) const { return !(*this == o); }
};

constexpr Couleur DeepPink{255, 20, 147, 255};
constexpr Couleur White{255, 255, 255, 255};

struct Controles {
    // Left column.
    Control panel_Init; // group 1
    ListBox listBox_Freq;
    Button button_Init;  // group 0
    Control panel_Duree; // group 2
    Spinner numericUpDown_Duree;
    CheckBox checkBox_Definie; // group 2
    Button button_Start;       // group 9
    Control panel_Start;       // group 9
    RadioButton radioButton_Start_Soft, radioButton_Start_Trig1, radioButton_Start_Trig2;
    Control groupBox_Condition; // the edge/level group, shown unless "Soft"
    RadioButton radioButton_Start_FM, radioButton_Start_FD, radioButton_Start_EH, radioButton_Start_EB;
    Button button_Abort;
    Button button_Stop;         // group 10
    CheckBox checkBox_Record;   // group 5
    Button button_Fichier;      // group 6
    CheckBox checkBox_Nom_Fich; // group 5
    Button button_Comment;      // group 6
    CheckBox checkBox_Test;     // group 8
    Control groupBox_Test;      // group 8
    Control groupBox_Nom_Fich;  // group 6
    TextBox textBox_Rep;
    TextBox textBox_Nom_Fich;

    // Advanced group.
    Button button_Reset_Micros, button_Reset_PH, button_Reset_FX3;
    Control groupBox_Data_Type; // group 4
    RadioButton radioButton_Integer, radioButton_Float;
    Control groupBox_Delay;
    Spinner numericUpDown_Delay;
    CheckBox checkBox_CptA, checkBox_CptB, checkBox_CptC, checkBox_CptD;
    CheckBox checkBox_Status;
    Control groupBox_FV;
    std::array<CheckBox, 16> grid_FV;

    // Right part.
    Control groupBox_Micros;
    std::array<std::array<Couleur, 8>, 128> grid_n; // cell view, [beam][position]
    Button button_Retour, button_Save_Micros;
    Control panel_dB;
    Label label_dB_60;                     // the colour bar's middle caption, with the levels' unit when it is "dB"
    Label label_dB_unite;                  // below it, any other unit ("dB SPL", "dB(A)")
    std::array<unsigned, 1024> signales{}; // the health check's Defaut bits per microphone, crossed on the cell view
    Button button_Sauv_Config, button_Lit_Config;
    Label label_Duree_Ecoulee;
    Control panel_Progress;
    ProgressBar progressBar_Progress;
    Control groupBox_Choix; // group 7
    Button button_Micros, button_Micros_Fichier;
    CheckBox checkBox_Tous;
    Control groupBox_VA;
    std::array<CheckBox, 16> grid_VA;
    Control textBox_Info; // group 11; its text is the pane
    Control groupBox_Comment;
    TextBox textBox_Comment;

    // Selection page.
    Control groupBox_Choix_Micros;
    std::array<std::array<CheckBox, 8>, 128> grid; // [beam][position]
    std::array<CheckBox, 128> faisceaux_T;
    std::array<CheckBox, 16> bloc_T;
    CheckBox paq_T;

    Controles();
};

// Texts of the frequency list, top row first.
extern const char* const FREQ_TEXTES[17];
