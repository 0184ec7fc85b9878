// Small helpers for Win32 idioms the windows and modules repeat: creating a child control,
// menu item text, the user's message font, writing a whole buffer, listing a folder, and a
// modal message loop. Each does one call sequence the same way everywhere.
#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Handles.h"

namespace vcm {

// Everything CreateWindowExW needs for a child control, with the usual defaults.
struct ChildArgs {
    const wchar_t* className = L"STATIC";
    DWORD style = WS_CHILD | WS_VISIBLE;
    DWORD exStyle = 0;
    const wchar_t* text = L"";
    RECT bounds = {};  // in the parent's client area
    HWND parent = nullptr;
    int id = 0;
};

// Creates the child; throws the system's error naming `what` when it cannot be created.
HWND CreateChild(const ChildArgs& args, std::wstring_view what = L"CreateWindowExW");
// The same, but nullptr instead of an error, for controls the window can do without.
HWND TryCreateChild(const ChildArgs& args) noexcept;

// Appends `popup` under `caption` to `bar`; the bar owns the popup from then on.
HMENU AppendSubmenu(HMENU bar, UniqueHMenu popup, const wchar_t* caption);
// A menu item's text, by position or by command id.
std::wstring MenuItemText(HMENU menu, UINT item, bool byPosition);
// Sets the text; false (with the last error set) when the item does not exist.
bool SetMenuItemText(HMENU menu, UINT item, bool byPosition, const std::wstring& text) noexcept;

// The user's message font (the one message boxes use); false when the system does not tell it.
bool MessageFont(LOGFONTW& font);
// The stock GUI font, for where the message font cannot be read.
bool StockGuiFont(LOGFONTW& font);

// Writes all of `bytes`, in pieces a DWORD can count. 0 when everything was written, else
// the system's error (ERROR_WRITE_FAULT for a write that took nothing).
DWORD WriteWhole(HANDLE file, std::string_view bytes) noexcept;

// The names of the entries directly in the folder that match `pattern` and are not folders,
// in the order the platform lists them; a folder with no match is an empty list.
std::vector<std::wstring> ListFileNames(const std::wstring& folder, const std::wstring& pattern = L"*");
std::wstring JoinPath(const std::wstring& folder, const std::wstring& name);

// Centres the window over `owner` (the work area without one), kept whole on that screen.
void CenterWindowOver(HWND window, HWND owner);
// Dispatches messages, with dialog keys, while `window` exists and is visible. A WM_QUIT
// met here is posted again for the program's own loop.
void RunModalLoop(HWND window);
// The same, with the window's own keys first: a message `preTranslate` handled (true) goes
// no further.
void RunModalLoop(HWND window, const std::function<bool(MSG&)>& preTranslate);

}  // namespace vcm
