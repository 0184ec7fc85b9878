// What the window's startup and the command-line report share: the priority they run at,
// the checks that refuse a server, the connection string and the log's place.
#pragma once
#include <windows.h>

#include <string>

#include "platform/StepRunner.h"

namespace vcm {

inline constexpr DWORD kBelowNormalPriority = 0x4000;
inline constexpr wchar_t kConnectionString[] = L"Driver={SQL Server};server=;database=VeltoDb";

// The activity log beside the executable.
std::wstring ActivityLogPath();

// Reads the installed product version into gProductVersion and checks it, then reads and
// checks the directory connector. Returns the catalogue id of the refusal
// (IDS_REFUSED_VERSION or IDS_REFUSED_CONNECTOR), or 0 when the tool may run. Each read
// and check is a step of `step`, which reports a failure the caller's way and goes on: a
// version that cannot be read refuses, a connector that cannot be read does not.
int CheckServer(StepRunner& step);

}  // namespace vcm
