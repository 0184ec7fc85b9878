#include "platform/mdlPriority.h"

#include "platform/Handles.h"

namespace vcm {

bool SetProcessPriority(DWORD& priorityClass)
{
    const DWORD processId = GetCurrentProcessId();
    // The owner closes the handle whatever SetPriorityClass returns.
    const UniqueHandle process(OpenProcess(PROCESS_SET_INFORMATION, TRUE, processId));
    if (!process)
        return false;
    return SetPriorityClass(process.get(), priorityClass) != FALSE;
}

}  // namespace vcm
