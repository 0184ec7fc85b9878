#include "platform/EventLog.h"

#include <windows.h>
#include <sddl.h>

#include <vector>

#include "platform/Error.h"
#include "platform/Handles.h"

namespace vcm {

namespace {

std::vector<unsigned char> TokenUser()
{
    HANDLE raw = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw))
        ThrowLastError(L"OpenProcessToken");
    const UniqueHandle token(raw);
    DWORD size = 0;
    GetTokenInformation(token.get(), ::TokenUser, nullptr, 0, &size);
    std::vector<unsigned char> buffer(size ? size : sizeof(TOKEN_USER));
    if (!GetTokenInformation(token.get(), ::TokenUser, buffer.data(), static_cast<DWORD>(buffer.size()), &size))
        ThrowLastError(L"GetTokenInformation");
    return buffer;
}

std::wstring SidText(PSID sid)
{
    wchar_t* text = nullptr;
    if (!ConvertSidToStringSidW(sid, &text))
        ThrowLastError(L"ConvertSidToStringSidW");
    std::wstring result(text);
    LocalFree(text);
    return result;
}

}  // namespace

std::wstring OperatorName()
{
    const std::vector<unsigned char> buffer = TokenUser();
    PSID sid = reinterpret_cast<const TOKEN_USER*>(buffer.data())->User.Sid;
    DWORD nameLength = 0;
    DWORD domainLength = 0;
    SID_NAME_USE use = SidTypeUnknown;
    LookupAccountSidW(nullptr, sid, nullptr, &nameLength, nullptr, &domainLength, &use);
    if (nameLength == 0)
        return SidText(sid);
    std::wstring name(nameLength, L'\0');
    std::wstring domain(domainLength + 1, L'\0');
    if (!LookupAccountSidW(nullptr, sid, name.data(), &nameLength, domain.data(), &domainLength, &use))
        return SidText(sid);
    name.resize(wcslen(name.c_str()));
    domain.resize(wcslen(domain.c_str()));
    return domain.empty() ? name : domain + L"\\" + name;
}

std::wstring RemovalEventText(const std::wstring& account, const std::wstring& veltoAlias,
                              const std::wstring& removedBy)
{
    return L"Deleted credential map for " + account + L" (Velto alias " + veltoAlias + L") by " + removedBy;
}

void ReportRemovalEvent(const std::wstring& text)
{
    HANDLE source = RegisterEventSourceW(nullptr, kEventSource);
    if (!source)
        ThrowLastError(L"RegisterEventSourceW");
    const wchar_t* strings[] = {text.c_str()};
    const BOOL written = ReportEventW(source, EVENTLOG_INFORMATION_TYPE, 0, kRemovalEventId, nullptr, 1, 0,
                                      strings, nullptr);
    const DWORD error = GetLastError();
    DeregisterEventSource(source);
    if (!written)
        ThrowWin32(error, L"ReportEventW");
}

}  // namespace vcm
