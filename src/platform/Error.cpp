#include "platform/Error.h"

#include <new>

#include "platform/ErrorCodes.h"
#include "platform/Handles.h"
#include "platform/TextConv.h"

namespace vcm {

std::wstring TrimLineEnd(std::wstring text)
{
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' '))
        text.pop_back();
    return text;
}

Error::Error(long number, std::wstring description, std::wstring source)
    : m_number(number), m_description(std::move(description)), m_source(std::move(source)),
      m_what(ToUtf8(m_description))
{
}

std::wstring SystemMessage(DWORD code)
{
    wchar_t* buffer = nullptr;
    DWORD len = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                   FORMAT_MESSAGE_IGNORE_INSERTS,
                               nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    const UniqueLocal owned(buffer);  // allocated by the system for this call
    std::wstring text;
    if (len != 0 && buffer)
        text.assign(buffer, len);
    text = TrimLineEnd(std::move(text));
    if (text.empty())
        text = L"Error " + std::to_wstring(code);
    return text;
}

void ThrowWin32(DWORD code, std::wstring_view call)
{
    throw Error(static_cast<long>(code), SystemMessage(code), std::wstring(call));
}

void ThrowLastError(std::wstring_view call)
{
    ThrowWin32(GetLastError(), call);
}

void ThrowHResult(HRESULT hr, std::wstring_view call)
{
    throw Error(static_cast<long>(hr), SystemMessage(static_cast<DWORD>(hr)), std::wstring(call));
}

Error CurrentError()
{
    try {
        throw;
    } catch (const Error& e) {
        return e;
    } catch (const std::bad_alloc&) {
        return OutOfMemoryError();
    } catch (const std::exception& e) {
        return Error(err::kInvalidCall, FromUtf8(e.what()));
    } catch (...) {
        return Error(err::kInvalidCall, L"Unknown error");
    }
}

}  // namespace vcm
