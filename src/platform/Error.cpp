#include "platform/Error.h"

#include "platform/Odbc.h"
#include <new>

#include "platform/TextConv.h"

namespace vcm {

namespace {
// What the platform reports for a failure that carries no number of its own (E_FAIL).
constexpr long kGenericFailure = static_cast<long>(0x80004005);
constexpr long kOutOfMemory = 7;
constexpr long kInvalidCall = 5;

std::wstring TrimLineEnd(std::wstring text)
{
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' '))
        text.pop_back();
    return text;
}
}  // namespace

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
    std::wstring text;
    if (len != 0 && buffer) {
        text.assign(buffer, len);
        LocalFree(buffer);
    }
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

Error OdbcError(SQLSMALLINT handleType, SQLHANDLE handle, std::wstring_view call)
{
    SQLWCHAR state[6] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT needed = 0;
    std::wstring message(512, L'\0');
    SQLRETURN rc = SQLGetDiagRecW(handleType, handle, 1, state, &native,
                                  reinterpret_cast<SQLWCHAR*>(message.data()),
                                  static_cast<SQLSMALLINT>(message.size()), &needed);
    if (rc == SQL_SUCCESS_WITH_INFO && needed >= static_cast<SQLSMALLINT>(message.size())) {
        message.assign(static_cast<size_t>(needed) + 1, L'\0');
        rc = SQLGetDiagRecW(handleType, handle, 1, state, &native,
                            reinterpret_cast<SQLWCHAR*>(message.data()),
                            static_cast<SQLSMALLINT>(message.size()), &needed);
    }
    if (!SQL_SUCCEEDED(rc))
        return Error(kGenericFailure, L"ODBC call failed without diagnostics", std::wstring(call));
    message.resize(static_cast<size_t>(needed));
    std::wstring description = L"[" + std::wstring(reinterpret_cast<wchar_t*>(state)) + L"] " +
                               TrimLineEnd(std::move(message));
    return Error(native != 0 ? static_cast<long>(native) : kGenericFailure, std::move(description),
                 std::wstring(call));
}

Error CurrentError()
{
    try {
        throw;
    } catch (const Error& e) {
        return e;
    } catch (const std::bad_alloc&) {
        return Error(kOutOfMemory, L"Out of memory");
    } catch (const std::exception& e) {
        return Error(kInvalidCall, FromUtf8(e.what()));
    } catch (...) {
        return Error(kInvalidCall, L"Unknown error");
    }
}

}  // namespace vcm
