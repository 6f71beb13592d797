#include "ui/command_flow.h"

#include "annotate/connector_scan.h"
#include "annotate/text_place.h"
#include "dbx/connection.h"
#include "run/page_state.h"
#include "run/run.h"
#include "utils/connector_utils.h"
#include "utils/status.h"

namespace orlune {

namespace {

// A click that arrives while a command holds the design only gives the
// focus back; a second conversation must never start.
bool busy(Run& run) {
    if (!run.connection.DesignOpen) return false;
    Restore_Focus(run);
    return true;
}

}  // namespace

void Command1_Click(Run& run) {
    if (busy(run)) return;
    run.form.at("Command1").caption = "Wait";
    run.page.FocusButton = kFocusUpdate;
    // Paint "Wait" before the pass keeps the window's thread busy.
    run.form.refresh();
    Design_Open(run.connection, run.platform);
    Update_Connectors(run);
    Design_Close(run.connection);
    run.form.at("Command1").caption = "Update";
    run.form.setFocus("Command3");
    run.page.FocusButton = kFocusExit;
}

void Command6_Click(Run& run) {
    if (busy(run)) return;
    run.page.FocusButton = kFocusDelete;
    run.form.at("Command6").caption = "Wait";
    run.form.refresh();
    Design_Open(run.connection, run.platform);
    Delete_OwnTexts(run);
    Design_Close(run.connection);
    run.form.at("Command6").caption = "Delete";
    run.form.setFocus("Command3");
    run.page.FocusButton = kFocusExit;
}

void Command10_Click(Run& run) {
    if (busy(run)) return;
    En_DisableMainMenu(run, false);
    run.form.at("Frame2").visible = true;
    run.page.ActivePage = kPageUtils;
    run.form.setFocus("Command11");
    run.page.FocusButton = kFocusUtilsOk;
}

void Command8_Click(Run& run, int16_t index) {
    if (busy(run)) return;
    // Only the five buttons of the array exist; index 5 is the status
    // page's own use of the walk.
    if (index < kUtilHighlightOneRow || index > kUtilAddAttribute) return;
    Design_Open(run.connection, run.platform);
    Run_Utility(run, index);
    Design_Close(run.connection);
    // The page's Ok may have been clicked while the utility ran; the focus
    // must not move onto its hidden button.
    if (run.form.at("Frame2").visible) {
        run.form.setFocus("Command11");
        run.page.FocusButton = kFocusUtilsOk;
    }
}

void Command11_Click(Run& run) {
    // A hidden button cannot be clicked; ignore a stray event for it.
    if (!run.form.at("Frame2").visible) return;
    run.form.at("Frame2").visible = false;
    En_DisableMainMenu(run, true);
    run.page.ActivePage = kPageMain;
}

void Command2_Click(Run& run) {
    if (busy(run)) return;
    En_DisableMainMenu(run, false);
    run.page.ActivePage = kPageStatus;
    Command_Status(run);
}

void Command9_Click(Run& run) {
    if (!run.form.at("Frame3").visible) return;
    run.form.at("Frame3").visible = false;
    En_DisableMainMenu(run, true);
    run.page.ActivePage = kPageMain;
}

void Command4_Click(Run& run) {
    if (busy(run)) return;
    run.platform.messageBox(
        "ORLUNE is schematic DBX utility for showing\r"
        "sheet and bus connectors in human readable mode\r"
        "\r"
        "orlune@example.org",
        "ORLUNE version 1.0", Icon::None, Buttons::Ok);
    run.form.setFocus("Command3");
    run.page.FocusButton = kFocusExit;
}

void Command3_Click(Run& run) {
    run.platform.endProgram();
}

}  // namespace orlune
