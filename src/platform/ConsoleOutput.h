// Standard output and standard error for a program built for the windowed subsystem, which
// the system starts without a console of its own: handles the starter passed on (a pipe, a
// redirected file, its console) are used as they are; otherwise the program attaches to the
// console of the process that started it. With neither, text goes nowhere.
#pragma once
#include <windows.h>

#include <string_view>

#include "platform/Handles.h"

namespace vcm {

class ConsoleOutput {
public:
    // Finds the two streams; attaches to the parent's console only when a stream has no
    // valid inherited handle.
    ConsoleOutput();
    ConsoleOutput(const ConsoleOutput&) = delete;
    ConsoleOutput& operator=(const ConsoleOutput&) = delete;

    // Writes the text and a line end: on a console as UTF-16 text, to a pipe or a file as
    // UTF-8 with CR LF. Failures are dropped: a caller that cannot be told has no remedy.
    void Out(std::wstring_view line) noexcept { Write(m_out, line); }
    void Err(std::wstring_view line) noexcept { Write(m_err, line); }

private:
    struct Stream {
        HANDLE handle = nullptr;
        bool console = false;
    };
    Stream Find(DWORD which);
    static void Write(const Stream& stream, std::wstring_view line) noexcept;

    bool m_attached = false;
    UniqueHandle m_consoleOut;  // CONOUT$ of the attached console
    Stream m_out;
    Stream m_err;
};

}  // namespace vcm
