#include "dbx/connection.h"

#include "dbx/dbx32.h"
#include "ui/run.h"

namespace orlune {

void Design_Open(Run& run) {
    run.LastStatus = TOpenDesign(0, 16000, "SCH", &run.DesignContext);
    if (run.LastStatus == dbx::kStatusOk) {
        run.DesignOpen = true;
        return;
    }
    const char* message =
        run.LastStatus == dbx::kStatusIncompatibleVersion ? "Incompatible DBX version" : "Design connection error";
    run.platform.messageBox(message, "Error", Icon::Error, Buttons::Ok);
    run.LastStatus = TCloseDesign(&run.DesignContext, "");
    run.platform.endProgram();
}

void Design_Close(Run& run) {
    run.LastStatus = TCloseDesign(&run.DesignContext, "");
    run.DesignOpen = false;
}

}  // namespace orlune
