#include "platform/ConsoleOutput.h"

#include <string>

#include "platform/TextConv.h"
#include "platform/WinHelpers.h"

namespace vcm {

namespace {

bool IsConsole(HANDLE handle)
{
    DWORD mode = 0;
    return GetConsoleMode(handle, &mode) != FALSE;
}

// A handle the starter really passed on: not empty, and one the system knows a kind of.
bool Usable(HANDLE handle)
{
    return handle && handle != INVALID_HANDLE_VALUE && GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

}  // namespace

ConsoleOutput::ConsoleOutput() : m_out(Find(STD_OUTPUT_HANDLE)), m_err(Find(STD_ERROR_HANDLE)) {}

ConsoleOutput::Stream ConsoleOutput::Find(DWORD which)
{
    const HANDLE inherited = GetStdHandle(which);
    if (Usable(inherited))
        return {inherited, IsConsole(inherited)};
    if (!m_attached) {
        m_attached = true;
        // ERROR_ACCESS_DENIED: the process has a console already, which serves as well.
        if (AttachConsole(ATTACH_PARENT_PROCESS) || GetLastError() == ERROR_ACCESS_DENIED)
            m_consoleOut.reset(CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                           nullptr, OPEN_EXISTING, 0, nullptr));
    }
    if (m_consoleOut)
        return {m_consoleOut.get(), true};
    return {};
}

void ConsoleOutput::Write(const Stream& stream, std::wstring_view line) noexcept
{
    if (!stream.handle)
        return;
    try {
        // Every line break as CR LF, the last line's included.
        std::wstring text;
        for (const wchar_t c : WithUnixLineEnds(line)) {
            if (c == L'\n')
                text += L'\r';
            text += c;
        }
        text += L"\r\n";
        if (stream.console) {
            DWORD written = 0;
            WriteConsoleW(stream.handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        } else {
            WriteWhole(stream.handle, ToUtf8(text));
        }
    } catch (...) {
        // Out of memory for one line: the line is dropped.
    }
}

}  // namespace vcm
