#include "dbx/connection.h"

#include <string>

#include "dbx/dbx32.h"

namespace orlune {

void Design_Open(dbx::Connection& connection, Platform& platform) {
    connection.LastStatus = TOpenDesign(0, 16000, "SCH", &connection.DesignContext);
    if (connection.LastStatus == dbx::kStatusOk) {
        connection.DesignOpen = true;
        return;
    }
    std::string message = connection.LastStatus == dbx::kStatusIncompatibleVersion ? "Incompatible DBX version"
                                                                                   : "Design connection error";
    if (connection.OpenFailureReason) {
        if (const std::string reason = connection.OpenFailureReason(); !reason.empty()) message += "\r\r" + reason;
    }
    platform.messageBox(message, "Error", Icon::Error, Buttons::Ok);
    connection.LastStatus = TCloseDesign(&connection.DesignContext, "");
    platform.endProgram();
}

void Design_Close(dbx::Connection& connection) {
    connection.LastStatus = TCloseDesign(&connection.DesignContext, "");
    connection.DesignOpen = false;
}

}  // namespace orlune
