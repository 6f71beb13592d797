#include "run/page_state.h"

#include "run/run.h"

namespace orlune {

void En_DisableMainMenu(Run& run, bool show) {
    for (const char* name : {"Command1", "Command2", "Command3", "Command4", "Command6", "Command10"}) {
        run.form.at(name).visible = show;
    }
    if (show) {
        run.form.setFocus("Command3");
        run.page.FocusButton = kFocusExit;
    }
}

void Restore_Focus(Run& run) {
    switch (run.page.FocusButton) {
        case kFocusUpdate:
            run.form.setFocus("Command1");
            break;
        case kFocusDelete:
            run.form.setFocus("Command6");
            break;
        case kFocusExit:
            run.form.setFocus("Command3");
            break;
        case kFocusStatusOk:
            run.form.setFocus("Command9");
            break;
        case kFocusUtilsOk:
            run.form.setFocus("Command11");
            break;
        default:
            break;
    }
}

}  // namespace orlune
