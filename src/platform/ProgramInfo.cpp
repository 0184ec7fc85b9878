#include "platform/ProgramInfo.h"

#include <vector>

#include "platform/Error.h"

namespace vcm {

namespace {
std::wstring ModulePath()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD len = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (len == 0)
            ThrowLastError(L"GetModuleFileNameW");
        if (len < path.size()) {
            path.resize(len);
            return path;
        }
        path.resize(path.size() * 2);
    }
}
}  // namespace

std::wstring AppFolder()
{
    std::wstring path = ModulePath();
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

std::wstring ExeBaseName()
{
    std::wstring path = ModulePath();
    const size_t slash = path.find_last_of(L"\\/");
    std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);
    const size_t dot = name.find_last_of(L'.');
    return dot == std::wstring::npos ? name : name.substr(0, dot);
}

OwnVersion ProgramVersion()
{
    const std::wstring path = ModulePath();
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size == 0)
        return {};
    std::vector<unsigned char> data(size);
    if (!GetFileVersionInfoW(path.c_str(), 0, size, data.data()))
        return {};
    VS_FIXEDFILEINFO* info = nullptr;
    UINT len = 0;
    if (!VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&info), &len) || !info)
        return {};
    return {static_cast<int>(HIWORD(info->dwFileVersionMS)), static_cast<int>(LOWORD(info->dwFileVersionMS)),
            static_cast<int>(HIWORD(info->dwFileVersionLS))};
}

std::wstring GeneralDate(const SYSTEMTIME& time)
{
    auto format = [&](bool date) {
        const int needed = date ? GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, &time, nullptr, nullptr, 0, nullptr)
                                : GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, 0, &time, nullptr, nullptr, 0);
        if (needed <= 0)
            return std::wstring();
        std::wstring text(static_cast<size_t>(needed), L'\0');
        if (date)
            GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, &time, nullptr, text.data(), needed, nullptr);
        else
            GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, 0, &time, nullptr, text.data(), needed);
        text.resize(static_cast<size_t>(needed - 1));
        return text;
    };
    std::wstring text = format(true);
    if (time.wHour != 0 || time.wMinute != 0 || time.wSecond != 0)
        text += L" " + format(false);
    return text;
}

std::wstring GeneralDateNow()
{
    SYSTEMTIME now = {};
    GetLocalTime(&now);
    return GeneralDate(now);
}

}  // namespace vcm
