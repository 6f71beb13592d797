// The conversation with the open design: one per command, never held
// between commands.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "dbx/platform.h"
#include "dbx/records.h"

namespace orlune {

namespace dbx {

// What a run keeps of its conversation with the design: the context every
// operation takes, the status of the last operation, and whether it is open.
struct Connection {
    dbx::DesignContext DesignContext{};
    int32_t LastStatus = 0;
    bool DesignOpen = false;
    // Why the last open failed, for its box; unset where the reason is
    // reported otherwise (the command line prints it after the box).
    std::function<std::string()> OpenFailureReason;
};

}  // namespace dbx

// Opens the conversation. Returns only when it is open; otherwise tells the
// user why through the platform and ends the program.
void Design_Open(dbx::Connection& connection, Platform& platform);

// Ends the conversation; DesignOpen becomes false whatever the host answers.
void Design_Close(dbx::Connection& connection);

}  // namespace orlune
