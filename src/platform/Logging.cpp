#include "platform/Logging.h"

#include <windows.h>

#include "platform/Handles.h"
#include "platform/ProgramInfo.h"
#include "platform/StepRunner.h"
#include "platform/TextConv.h"

namespace vcm {

namespace {
// The one open log; empty while closed.
UniqueHandle gLogFile;

const wchar_t kHeaderRule[] = L"*************************************************************";

void WriteAll(HANDLE file, const std::string& bytes)
{
    const char* data = bytes.data();
    size_t left = bytes.size();
    while (left > 0) {
        DWORD written = 0;
        const DWORD chunk = left > 0x10000000 ? 0x10000000 : static_cast<DWORD>(left);
        if (!WriteFile(file, data, chunk, &written, nullptr) || written == 0)
            return;  // disk full or handle gone: the rest of the line is dropped
        data += written;
        left -= written;
    }
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
        UniqueHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                      append ? OPEN_ALWAYS : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file)
            return;
        if (append) {
            // Only this process writes the file (no write sharing), so one seek to the end
            // keeps every later line behind what earlier runs wrote.
            LARGE_INTEGER zero = {};
            if (!SetFilePointerEx(file.get(), zero, nullptr, FILE_END))
                return;
        }
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
    }
    ProcessPendingMessages();
}

void CloseLog()
{
    gLogFile.reset();
}

}  // namespace vcm
