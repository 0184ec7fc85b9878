#include "platform/WinHelpers.h"

#include <algorithm>

#include "platform/Error.h"

namespace vcm {

namespace {

struct FindHandleTraits {
    using Handle = HANDLE;
    static Handle Empty() noexcept { return INVALID_HANDLE_VALUE; }
    static bool IsEmpty(Handle h) noexcept { return h == INVALID_HANDLE_VALUE || h == nullptr; }
    static void Close(Handle h) noexcept { FindClose(h); }
};
using UniqueFind = Unique<FindHandleTraits>;

}  // namespace

HWND TryCreateChild(const ChildArgs& args) noexcept
{
    return CreateWindowExW(args.exStyle, args.className, args.text, args.style, args.bounds.left, args.bounds.top,
                           args.bounds.right - args.bounds.left, args.bounds.bottom - args.bounds.top, args.parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(args.id)), GetModuleHandleW(nullptr),
                           nullptr);
}

HWND CreateChild(const ChildArgs& args, std::wstring_view what)
{
    HWND child = TryCreateChild(args);
    if (!child)
        ThrowLastError(what);
    return child;
}

HMENU AppendSubmenu(HMENU bar, UniqueHMenu popup, const wchar_t* caption)
{
    if (!AppendMenuW(bar, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(popup.get()), caption))
        ThrowLastError(L"AppendMenuW");
    return popup.release();
}

std::wstring MenuItemText(HMENU menu, UINT item, bool byPosition)
{
    const UINT flags = byPosition ? MF_BYPOSITION : MF_BYCOMMAND;
    const int length = GetMenuStringW(menu, item, nullptr, 0, flags);
    if (length <= 0)
        return {};
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    GetMenuStringW(menu, item, text.data(), length + 1, flags);
    text.resize(static_cast<size_t>(length));
    return text;
}

bool SetMenuItemText(HMENU menu, UINT item, bool byPosition, const std::wstring& text) noexcept
{
    MENUITEMINFOW info = {};
    info.cbSize = sizeof info;
    info.fMask = MIIM_STRING;
    info.dwTypeData = const_cast<wchar_t*>(text.c_str());
    return SetMenuItemInfoW(menu, item, byPosition ? TRUE : FALSE, &info) != FALSE;
}

bool MessageFont(LOGFONTW& font)
{
    NONCLIENTMETRICSW metrics = {};
    metrics.cbSize = sizeof metrics;
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
        font = metrics.lfMessageFont;
        return true;
    }
    return false;
}

bool StockGuiFont(LOGFONTW& font)
{
    return GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof font, &font) == sizeof font;
}

DWORD WriteWhole(HANDLE file, std::string_view bytes) noexcept
{
    const char* data = bytes.data();
    size_t left = bytes.size();
    while (left > 0) {
        const DWORD chunk = left > 0x10000000 ? 0x10000000 : static_cast<DWORD>(left);
        DWORD written = 0;
        if (!WriteFile(file, data, chunk, &written, nullptr))
            return GetLastError();
        if (written == 0)
            return ERROR_WRITE_FAULT;
        data += written;
        left -= written;
    }
    return 0;
}

std::wstring JoinPath(const std::wstring& folder, const std::wstring& name)
{
    if (folder.empty() || folder.back() == L'\\' || folder.back() == L'/')
        return folder + name;
    return folder + L'\\' + name;
}

std::vector<std::wstring> ListFileNames(const std::wstring& folder, const std::wstring& pattern)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data = {};
    const std::wstring path = JoinPath(folder, pattern);
    UniqueFind find(FindFirstFileExW(path.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr, 0));
    if (!find) {
        // A folder with no matching entries is an empty listing, not a failure.
        if (GetLastError() == ERROR_FILE_NOT_FOUND)
            return names;
        ThrowLastError(L"FindFirstFileExW");
    }
    do {
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
            names.emplace_back(data.cFileName);
    } while (FindNextFileW(find.get(), &data));
    if (GetLastError() != ERROR_NO_MORE_FILES)
        ThrowLastError(L"FindNextFileW");
    return names;
}

void CenterWindowOver(HWND window, HWND owner)
{
    RECT area = {};
    if (!owner || IsIconic(owner) || !GetWindowRect(owner, &area))
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    RECT self = {};
    GetWindowRect(window, &self);
    const int width = self.right - self.left;
    const int height = self.bottom - self.top;
    int x = area.left + (area.right - area.left - width) / 2;
    int y = area.top + (area.bottom - area.top - height) / 2;
    // Keep the whole window on the screen that holds the owner.
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof monitor;
    if (GetMonitorInfoW(MonitorFromRect(&area, MONITOR_DEFAULTTONEAREST), &monitor)) {
        const RECT& work = monitor.rcWork;
        x = std::clamp<int>(x, work.left, std::max<int>(work.left, work.right - width));
        y = std::clamp<int>(y, work.top, std::max<int>(work.top, work.bottom - height));
    }
    SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void RunModalLoop(HWND window) { RunModalLoop(window, {}); }

void RunModalLoop(HWND window, const std::function<bool(MSG&)>& preTranslate)
{
    MSG msg;
    while (IsWindow(window) && IsWindowVisible(window)) {
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {
            // WM_QUIT belongs to the program's own loop.
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (got == -1)
            break;
        if (preTranslate && preTranslate(msg))
            continue;
        if (!IsDialogMessageW(window, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
}

}  // namespace vcm
