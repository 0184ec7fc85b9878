// Removing the selected credential mapping: proves the grid row still names exactly one
// mapping row and one subscriber, asks the administrator, deletes, and records it.
#pragma once
#include <functional>
#include <string>

#include "grid/GridModel.h"
#include "platform/Dialogs.h"

namespace vcm {

struct RemovalContext {
    std::wstring connection;   // the main window's connection string
    short major = 0;           // installed product's major version: below 4 uses SIDHistory
    IDialogs& dialogs;         // the person at the main window
    // Runs a database step that may wait on another session's lock, so that the window goes
    // on painting meanwhile; what the step throws comes out of it. Empty: on this thread.
    std::function<void(const std::function<void()>&)> runWaiting = {};
};

// The main window's "Remove Selected Mapping" command, start to end. Expected conditions
// end it with their own message; unexpected failures are reported and it goes on with the
// next step. Never throws.
void RemoveSelectedMapping(GridModel& grid, const RemovalContext& context);

}  // namespace vcm
