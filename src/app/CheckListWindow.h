// What the two check-list windows (Remove Deleted Accounts, Restore Removed Mappings) share:
// a modal frame of one fixed size, a report list with a check box per row, and the action
// and Cancel buttons at the bottom right, all measured in twips.
#pragma once
#include <windows.h>

#include <functional>
#include <span>
#include <string>
#include <utility>

namespace vcm::checklist {

inline constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
inline constexpr DWORD kExStyle = WS_EX_DLGMODALFRAME;
inline constexpr int kClientWidth = 9600;
inline constexpr int kClientHeight = 5400;
inline constexpr int kMargin = 120;
inline constexpr int kButtonWidth = 2600;
inline constexpr int kButtonHeight = 375;

// A rectangle given in twips, in the window's pixels.
RECT Twips(HWND window, int x, int y, int width, int height);
// Gives the frame the client area of kClientWidth by kClientHeight twips.
void SizeFrame(HWND window);
// The report list with check boxes from `top` down to the buttons, one column per width in
// twips; the columns' captions come with SetCaptions.
HWND CreateList(HWND parent, int id, int top, std::span<const int> columnWidths);
void SetCaptions(HWND list, std::span<const int> catalogueIds);
// Appends a row: the first cell as the item, the others as its columns.
int AddRow(HWND list, std::span<const std::wstring> cells);
// The action button left of Cancel (IDCANCEL, so that Esc reaches it): {action, cancel}.
std::pair<HWND, HWND> CreateButtons(HWND parent, int actionId);

// Shows the created window modally over `owner` (may be null) with the focus on `focus`,
// until it is destroyed; `preTranslate` sees each message first and may take it.
void ShowModal(HWND window, HWND owner, HWND focus, const std::function<bool(MSG&)>& preTranslate = {});
// Gives the owner back its input before the window goes, so that activation returns to it.
void ReleaseOwner(HWND owner);

}  // namespace vcm::checklist
