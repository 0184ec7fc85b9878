#include "platform/Logging.h"

#include <windows.h>

#include "platform/ErrorCodes.h"
#include "platform/FileLineLock.h"
#include "platform/Handles.h"
#include "platform/ProgramInfo.h"
#include "platform/StepRunner.h"
#include "platform/TextConv.h"
#include "platform/WinHelpers.h"

namespace vcm {

namespace {
// The one open log; empty while closed.
UniqueHandle gLogFile;

const wchar_t kHeaderRule[] = L"*************************************************************";

void WriteAll(HANDLE file, const std::string& bytes)
{
    const FileLineLock lock(file);  // a failed lock still writes: the line matters more
    // Disk full or handle gone: the rest of the line is dropped.
    WriteWhole(file, bytes);
}

// Lets the user interface breathe between log lines. A quit request found here is posted
// again, so that the message loop that owns it still ends the program.
void ProcessPendingMessages()
{
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}
}  // namespace

void OpenLog(const std::wstring& path, bool append)
{
    StepRunner step;  // silent: a log that cannot be opened leaves the program working without one
    step([&] {
        gLogFile.reset();
        // Emptying is a step of its own; every handle that writes lines appends.
        if (!append) {
            UniqueHandle emptied(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                             CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
            if (!emptied)
                return;
        }
        // Append access without write access puts every write at the end of the file as one
        // piece, so several running copies of the tool (two administrators on one server)
        // can share the log: each line lands whole after whatever the others wrote. Read
        // access is there for the line lock, which needs it.
        UniqueHandle file(CreateFileW(path.c_str(), FILE_APPEND_DATA | FILE_READ_DATA | SYNCHRONIZE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file)
            gLogFile = std::move(file);
    });
    step([] { WriteLog(L"\r\n" + std::wstring(kHeaderRule)); });
    step([] {
        const OwnVersion version = ProgramVersion();
        WriteLog(L"Running " + ExeBaseName() + L" version: " + std::to_wstring(version.major) + L"." +
                 std::to_wstring(version.minor) + L"." + std::to_wstring(version.revision));
    });
    step([] { WriteLog(GeneralDateNow() + L"\r\n"); });
}

void WriteLog(const std::wstring& text)
{
    try {
        if (gLogFile)
            WriteAll(gLogFile.get(), ToAnsi(text + L"\r\n"));
    } catch (...) {
        // Out of memory while converting: the line is dropped like any failed write.
        DebugReport(CurrentError());
    }
    ProcessPendingMessages();
}

void CloseLog()
{
    gLogFile.reset();
}

}  // namespace vcm
