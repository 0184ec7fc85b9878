#include "platform/Dialogs.h"

#include <commdlg.h>
#include <vector>

#include "platform/Error.h"

namespace vcm {

int Win32Dialogs::Message(const std::wstring& text, const std::wstring& title, UINT type)
{
    const int answer = MessageBoxW(m_owner, text.c_str(), title.c_str(), type);
    if (answer == 0)
        ThrowLastError(L"MessageBoxW");
    return answer;
}

std::optional<std::wstring> Win32Dialogs::SaveFile(const SaveFileRequest& request)
{
    // The file buffer must hold any path the person may pick: 32K characters is the
    // longest path Windows accepts.
    std::vector<wchar_t> file(32768, L'\0');
    request.fileName.copy(file.data(), file.size() - 1);

    // A filter is a double-NUL terminated list of pairs; a lone pattern shows as its own description.
    std::wstring filter = request.filter;
    if (!filter.empty() && filter.find(L'\0') == std::wstring::npos)
        filter += L'\0' + request.filter;
    filter.push_back(L'\0');
    filter.push_back(L'\0');

    OPENFILENAMEW ofn = {};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = m_owner;
    ofn.lpstrFilter = request.filter.empty() ? nullptr : filter.c_str();
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = static_cast<DWORD>(file.size());
    ofn.lpstrTitle = request.title.empty() ? nullptr : request.title.c_str();
    ofn.lpstrDefExt = request.defaultExt.empty() ? nullptr : request.defaultExt.c_str();
    ofn.Flags = request.flags;
    if (GetSaveFileNameW(&ofn))
        return std::wstring(file.data());
    const DWORD failure = CommDlgExtendedError();
    if (failure == 0)
        return std::nullopt;  // cancelled
    throw Error(static_cast<long>(failure), L"The Save dialog failed (common dialog error " +
                                                std::to_wstring(failure) + L")", L"GetSaveFileNameW");
}

namespace {
IDialogs* g_appDialogs = nullptr;
}

IDialogs& AppDialogs()
{
    static Win32Dialogs platformDialogs;
    return g_appDialogs ? *g_appDialogs : platformDialogs;
}

void SetAppDialogs(IDialogs* dialogs) { g_appDialogs = dialogs; }

}  // namespace vcm
