// Changes the priority class of the running process.
#pragma once
#include <windows.h>

namespace vcm {

// Opens the current process for setting information (inheritable handle), sets its
// priority class and closes the handle again. True when the class was set; raises nothing
// and shows nothing.
bool SetProcessPriority(DWORD& priorityClass);

}  // namespace vcm
