// The program run as a command: arguments, standard streams on pipes, exit code, and the
// windows it creates.
#include "Driver.h"

#include <stdexcept>
#include <thread>

#include "platform/TextConv.h"

namespace vcm::e2e {

namespace {

constexpr wchar_t kProgramFile[] = L"VeltoCredentialsMap.exe";

// Where this thread's watch keeps what it saw; the event callback has no context argument.
thread_local std::vector<std::wstring>* t_created = nullptr;

// Reads a pipe to its end on a thread of its own, so that a full pipe never stops the writer.
class PipeReader {
public:
    PipeReader()
    {
        SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
        if (!CreatePipe(&m_read, &m_write, &inherit, 0))
            throw std::runtime_error("CreatePipe failed");
        SetHandleInformation(m_read, HANDLE_FLAG_INHERIT, 0);
    }
    ~PipeReader()
    {
        CloseWriteEnd();
        if (m_thread.joinable())
            m_thread.join();
        CloseHandle(m_read);
    }
    PipeReader(const PipeReader&) = delete;
    PipeReader& operator=(const PipeReader&) = delete;

    HANDLE WriteEnd() const { return m_write; }
    // After the child has its copy: the pipe ends when the child's copy closes.
    void Start()
    {
        CloseWriteEnd();
        m_thread = std::thread([this] {
            char buffer[4096];
            DWORD got = 0;
            while (ReadFile(m_read, buffer, sizeof buffer, &got, nullptr) && got > 0)
                m_bytes.append(buffer, got);
        });
    }
    std::wstring Text()
    {
        if (m_thread.joinable())
            m_thread.join();
        return FromUtf8(m_bytes);
    }

private:
    void CloseWriteEnd()
    {
        if (m_write) {
            CloseHandle(m_write);
            m_write = nullptr;
        }
    }
    HANDLE m_read = nullptr;
    HANDLE m_write = nullptr;
    std::thread m_thread;
    std::string m_bytes;
};

}  // namespace

WindowCreationWatch::WindowCreationWatch(DWORD processId)
{
    t_created = &m_created;
    m_hook = SetWinEventHook(EVENT_OBJECT_CREATE, EVENT_OBJECT_CREATE, nullptr, OnEvent, processId, 0,
                             WINEVENT_OUTOFCONTEXT);
    if (!m_hook)
        throw std::runtime_error("SetWinEventHook failed");
}

WindowCreationWatch::~WindowCreationWatch()
{
    UnhookWinEvent(m_hook);
    t_created = nullptr;
}

void CALLBACK WindowCreationWatch::OnEvent(HWINEVENTHOOK, DWORD, HWND window, LONG object, LONG, DWORD, DWORD)
{
    if (object != OBJID_WINDOW || !window || !t_created)
        return;
    wchar_t name[256] = {};
    // A window gone again before the event arrived has no class name left; it still counts.
    if (!GetClassNameW(window, name, 256))
        lstrcpyW(name, L"(gone)");
    t_created->push_back(name);
}

bool WindowCreationWatch::PumpUntil(HANDLE handle, DWORD timeoutMs)
{
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        const ULONGLONG now = GetTickCount64();
        if (now >= end)
            return WaitForSingleObject(handle, 0) == WAIT_OBJECT_0;
        const DWORD wait = MsgWaitForMultipleObjects(1, &handle, FALSE, static_cast<DWORD>(end - now), QS_ALLINPUT);
        if (wait == WAIT_OBJECT_0) {
            // Events the system queued before the end still arrive: take them in.
            Sleep(50);
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
                DispatchMessageW(&msg);
            return true;
        }
    }
}

CommandResult RunCommand(const std::wstring& folder, const std::wstring& arguments, DWORD timeoutMs)
{
    const std::wstring exe = folder + L"\\" + kProgramFile;
    std::wstring commandLine = L"\"" + exe + L"\" " + arguments;
    PipeReader out;
    PipeReader err;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = out.WriteEnd();
    startup.hStdError = err.WriteEnd();
    PROCESS_INFORMATION info = {};
    // Suspended until the watch is in place, so that not even its first window escapes it.
    SpawnProcess(exe, commandLine, TRUE, CREATE_SUSPENDED, folder, startup, info);
    out.Start();
    err.Start();

    CommandResult result;
    {
        WindowCreationWatch watch(info.dwProcessId);
        ResumeThread(info.hThread);
        result.ended = watch.PumpUntil(info.hProcess, timeoutMs);
        if (!result.ended) {
            TerminateProcess(info.hProcess, 0xE2E);
            WaitForSingleObject(info.hProcess, 10000);
        }
        result.windowsCreated = watch.Created();
    }
    GetExitCodeProcess(info.hProcess, &result.exitCode);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    result.out = out.Text();
    result.err = err.Text();
    return result;
}

}  // namespace vcm::e2e
