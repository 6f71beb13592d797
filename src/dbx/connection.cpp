#include "dbx/connection.h"

#include <string>

#include "dbx/dbx32.h"
#include "ui/run.h"

namespace orlune {

void Design_Open(Run& run) {
    run.LastStatus = TOpenDesign(0, 16000, "SCH", &run.DesignContext);
    if (run.LastStatus == dbx::kStatusOk) {
        run.DesignOpen = true;
        return;
    }
    std::string message =
        run.LastStatus == dbx::kStatusIncompatibleVersion ? "Incompatible DBX version" : "Design connection error";
    if (run.OpenFailureReason) {
        if (const std::string reason = run.OpenFailureReason(); !reason.empty()) message += "\r\r" + reason;
    }
    run.platform.messageBox(message, "Error", Icon::Error, Buttons::Ok);
    run.LastStatus = TCloseDesign(&run.DesignContext, "");
    run.platform.endProgram();
}

void Design_Close(Run& run) {
    run.LastStatus = TCloseDesign(&run.DesignContext, "");
    run.DesignOpen = false;
}

}  // namespace orlune
