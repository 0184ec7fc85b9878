// Detects leaked kernel handles. GetProcessHandleCount is not usable under Wine (it always
// reports 0), but the handle table hands out the lowest free slot: when code between two
// probes keeps a handle open, the second probe gets a different value than the first.
#pragma once
#include <windows.h>

namespace vcm {

inline HANDLE NextFreeHandle()
{
    HANDLE probe = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    CloseHandle(probe);
    return probe;
}

}  // namespace vcm
