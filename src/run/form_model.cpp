#include "run/form_model.h"

#include <stdexcept>

namespace orlune::ui {

namespace {

using K = ControlKind;

struct Row {
    const char* name;
    int index;
    K kind;
    const char* container;
    int tab;
    const char* caption;
    const char* hint;
    int left, top, width, height, tabOrder;
    const char* event;
};

// Form1 as it is created: name, index, kind, container, tab, caption, hint,
// left, top, width, height (twips), tab order, event.
const Row kLayout[] = {
    {"SSTab1", -1, K::TabControl, "Form1", -1, "", "", 0, 0, 2920, 3735, 0, "SSTab1_Click"},
    // Tab 0 "Update".
    {"Command1", -1, K::Button, "SSTab1", 0, "Update", "Update all Sheet and Bus connections ", 480, 600, 855, 495, 22,
     "Command1_Click"},
    {"Command6", -1, K::Button, "SSTab1", 0, "Delete", "Delete all assigned texts for Sheet and Bus connections", 480,
     1200, 855, 495, 36, "Command6_Click"},
    {"Command10", -1, K::Button, "SSTab1", 0, "Utils", "Some UTILS for better using", 480, 1800, 855, 495, 23,
     "Command10_Click"},
    {"Command2", -1, K::Button, "SSTab1", 0, "Status", "Status for actual Sheet and Bus connections", 480, 2400, 855,
     495, 37, "Command2_Click"},
    {"Command4", -1, K::Button, "SSTab1", 0, "Help", "Help about", 480, 3000, 855, 495, 31, "Command4_Click"},
    {"Command3", -1, K::Button, "SSTab1", 0, "Exit", "Exit UTIL", 1800, 1800, 735, 495, 1, "Command3_Click"},
    {"Frame2", -1, K::Frame, "SSTab1", 0, "U T I L S", "", 120, 360, 2655, 3255, 13, ""},
    {"Frame3", -1, K::Frame, "SSTab1", 0, "S T A T U S", "", 120, 360, 2655, 3255, 6, ""},
    // Utilities page.
    {"Command8", 0, K::Button, "Frame2", -1, " Highlight \"one row\" ", "Highlight only SHEET CONN. with one row", 240,
     240, 1095, 495, 14, "Command8_Click"},
    {"Command8", 1, K::Button, "Frame2", -1, "Highlight \"more rows\"", "Highlight only SHEET CONN. with more rows",
     240, 840, 1095, 495, 15, "Command8_Click"},
    {"Command8", 2, K::Button, "Frame2", -1, "Invert highlighted", "Invert type of highlighted SHEET CONN.", 240, 1440,
     1095, 495, 16, "Command8_Click"},
    {"Command8", 3, K::Button, "Frame2", -1, "Invert selected", "Invert type of selected SHEET CONN.", 240, 2040, 1095,
     495, 17, "Command8_Click"},
    {"Command8", 4, K::Button, "Frame2", -1, "Add attribute", "Add SHEET_TYPE attribute to SHEET CONN.", 240, 2640,
     1095, 495, 21, "Command8_Click"},
    {"Command11", -1, K::Button, "Frame2", -1, "Ok", "Back to parent menu", 1680, 1440, 735, 495, 24,
     "Command11_Click"},
    // Status page.
    {"Label1", 0, K::Label, "Frame3", -1, "One row SC:", "Number of only one row SC", 120, 360, 735, 375, 7, ""},
    {"Label1", 1, K::Label, "Frame3", -1, "More rows SC:", "Number of only more rows SC", 120, 840, 735, 375, 8, ""},
    {"Label1", 2, K::Label, "Frame3", -1, "No SH_T attribute:", "Numer of SC without SH_TYPE attr.", 120, 1440, 735,
     375, 9, ""},
    {"Label1", 3, K::Label, "Frame3", -1, "Assigned texts:", "Number of assigned texts", 120, 2040, 735, 375, 19, ""},
    {"Label1", 4, K::Label, "Frame3", -1, "Too long  texts:", "Number of unassigned SC (too long text)", 120, 2640, 735,
     375, 25, ""},
    {"Text4", 0, K::TextBox, "Frame3", -1, "Text4", "", 960, 360, 735, 285, 10, ""},
    {"Text4", 1, K::TextBox, "Frame3", -1, "Text4", "", 960, 960, 735, 285, 11, ""},
    {"Text4", 2, K::TextBox, "Frame3", -1, "Text4", "", 960, 1560, 735, 285, 12, ""},
    {"Text4", 3, K::TextBox, "Frame3", -1, "Text4", "", 960, 2160, 735, 285, 20, ""},
    {"Text4", 4, K::TextBox, "Frame3", -1, "Text4", "", 960, 2760, 735, 285, 26, ""},
    {"Command9", -1, K::Button, "Frame3", -1, "Ok", "Back to parent menu", 1920, 1440, 495, 495, 18, "Command9_Click"},
    // Tab 1 "Settings".
    {"Label2", -1, K::Label, "SSTab1", 1, "Text type", "Select text type", 240, 600, 855, 255, 27, ""},
    {"cboTextStyle", -1, K::ComboBox, "SSTab1", 1, "cboTextStyle", "", 1080, 600, 1575, 315, 2, "cboTextStyle_Change"},
    {"Label3", -1, K::Label, "SSTab1", 1, "Left side start", "Distance  from origin on left side", 240, 1200, 855, 375,
     28, ""},
    {"Text1", -1, K::TextBox, "SSTab1", 1, "Text1", "", 1080, 1200, 735, 285, 3, "Text1_KeyPress"},
    {"Label6", 0, K::Label, "SSTab1", 1, "", "", 2040, 1200, 615, 255, 33, ""},
    {"Label4", -1, K::Label, "SSTab1", 1, "Right side start", "Distance from origin on right side", 240, 1800, 855, 495,
     29, ""},
    {"Text2", -1, K::TextBox, "SSTab1", 1, "Text2", "", 1080, 1800, 735, 315, 4, "Text2_KeyPress"},
    {"Label6", 1, K::Label, "SSTab1", 1, "", "", 2040, 1800, 495, 255, 34, ""},
    {"Label5", -1, K::Label, "SSTab1", 1, "Max row lenght", "Max. row lenght (only for more rows SC)", 240, 2400, 735,
     495, 30, ""},
    {"Text3", -1, K::TextBox, "SSTab1", 1, "Text3", "", 1080, 2400, 735, 315, 5, "Text3_KeyPress"},
    {"Label6", 2, K::Label, "SSTab1", 1, "", "", 2040, 2400, 495, 255, 35, ""},
    {"Check1", -1, K::CheckBox, "SSTab1", 1, "Ranges: 3-7 for 3,4,5,6,7",
     "Write runs of three or more consecutive sheets as a range", 240, 2760, 2415, 255, 32, "Check1_Click"},
    {"Command5", -1, K::Button, "SSTab1", 1, "Update", "", 1080, 3120, 855, 375, 38, "Command5_Click"},
};

}  // namespace

FormModel::FormModel() {
    controls_.reserve(std::size(kLayout));
    for (const Row& r : kLayout) {
        Control c;
        c.name = r.name;
        c.index = r.index;
        c.kind = r.kind;
        c.container = r.container;
        c.tab = r.tab;
        c.caption = r.caption;
        c.hint = r.hint;
        c.left = r.left;
        c.top = r.top;
        c.width = r.width;
        c.height = r.height;
        c.tabOrder = r.tabOrder;
        c.event = r.event;
        controls_.push_back(std::move(c));
    }
}

Control& FormModel::at(std::string_view name, int index) {
    for (Control& c : controls_) {
        if (c.name == name && c.index == index) return c;
    }
    throw std::out_of_range("no control " + std::string(name) + "(" + std::to_string(index) + ")");
}

const Control& FormModel::at(std::string_view name, int index) const {
    return const_cast<FormModel*>(this)->at(name, index);
}

void FormModel::setFocus(std::string_view name, int index) {
    at(name, index);  // the control must exist
    focusName_ = std::string(name);
    focusIndex_ = index;
}

bool FormModel::hasFocus(std::string_view name, int index) const {
    return focusName_ == name && focusIndex_ == index;
}

}  // namespace orlune::ui
