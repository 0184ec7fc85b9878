// The program's one error type: a number and a description, plus the failing call.
// Win32, HRESULT and ODBC failures are turned into it with the platform's own text.
#pragma once
#include <windows.h>
#include <exception>
#include <string>
#include <string_view>

namespace vcm {

class Error : public std::exception {
public:
    Error(long number, std::wstring description, std::wstring source = {});

    long Number() const noexcept { return m_number; }
    const std::wstring& Description() const noexcept { return m_description; }
    // The call or routine that failed; for the developer, never shown in place of the description.
    const std::wstring& Source() const noexcept { return m_source; }
    const char* what() const noexcept override { return m_what.c_str(); }

private:
    long m_number;
    std::wstring m_description;
    std::wstring m_source;
    std::string m_what;
};

// The system's text for a Win32 error code or HRESULT, without the trailing line break.
std::wstring SystemMessage(DWORD code);

[[noreturn]] void ThrowWin32(DWORD code, std::wstring_view call);
[[noreturn]] void ThrowLastError(std::wstring_view call);
[[noreturn]] void ThrowHResult(HRESULT hr, std::wstring_view call);

// Trailing line breaks and blanks cut off a system or driver message.
std::wstring TrimLineEnd(std::wstring text);

// Turns whatever is being handled in a catch(...) block into an Error.
Error CurrentError();

}  // namespace vcm
