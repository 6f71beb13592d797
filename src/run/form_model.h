// The window's controls as plain data: names, kinds, captions, hints,
// geometry (in twips), tab order, visibility, list contents and focus. The
// procedures work on this model; the Qt window only shows it and forwards
// events, so the same logic runs headless on the command line and in tests.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace orlune::ui {

enum class ControlKind { TabControl, Frame, Button, Label, TextBox, ComboBox, CheckBox };

struct Control {
    std::string name;
    int index = -1;  // element of a control array, -1 for a single control
    ControlKind kind = ControlKind::Button;
    std::string container;  // "Form1", "SSTab1", "Frame2" or "Frame3"
    int tab = -1;           // for the controls of SSTab1: the tab that holds them
    std::string caption;    // caption, or the text of a text box or a list
    std::string hint;
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    int tabOrder = 0;
    std::string event;  // the handler that the control's event calls
    bool visible = true;
    bool enabled = true;
    // Drop-down list: entries with their item data, and the selected position.
    std::vector<std::pair<std::string, int32_t>> items;
    int listIndex = -1;
    bool checked = false;  // a check box's state
};

// Client area of Form1, in twips.
inline constexpr int kFormWidth = 2910;
inline constexpr int kFormHeight = 3720;

class FormModel {
public:
    FormModel();  // the controls as the window is created

    Control& at(std::string_view name, int index = -1);
    const Control& at(std::string_view name, int index = -1) const;
    const std::vector<Control>& controls() const { return controls_; }

    // The window's title.
    std::string title = "ORLUNE";

    // The tab that SSTab1 shows (0 "Update", 1 "Settings"). Setting it here
    // only records it; the handlers decide what a change means.
    int selectedTab = 0;

    // The control that has the keyboard focus.
    void setFocus(std::string_view name, int index = -1);
    bool hasFocus(std::string_view name, int index = -1) const;
    const std::string& focusName() const { return focusName_; }
    int focusIndex() const { return focusIndex_; }

    // Asks the view to show the model now (before a long pass, so that a
    // "Wait" caption is painted). Does nothing without a view.
    void refresh() const {
        if (onRefresh) onRefresh();
    }
    std::function<void()> onRefresh;

private:
    std::vector<Control> controls_;
    std::string focusName_;
    int focusIndex_ = -1;
};

}  // namespace orlune::ui
