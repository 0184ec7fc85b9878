#include "app/CheckListWindow.h"

#include <commctrl.h>

#include "localize/modLocalize.h"
#include "platform/Twips.h"
#include "platform/WinHelpers.h"

namespace vcm::checklist {

RECT Twips(HWND window, int x, int y, int width, int height)
{
    return {TwipsToPixels(window, x), TwipsToPixels(window, y), TwipsToPixels(window, x + width),
            TwipsToPixels(window, y + height)};
}

void SizeFrame(HWND window)
{
    RECT frame = {0, 0, TwipsToPixels(window, kClientWidth), TwipsToPixels(window, kClientHeight)};
    AdjustWindowRectEx(&frame, kStyle, FALSE, kExStyle);
    SetWindowPos(window, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

HWND CreateList(HWND parent, int id, int top, std::span<const int> columnWidths)
{
    const int height = kClientHeight - top - 2 * kMargin - kButtonHeight;
    const HWND list = CreateChild({.className = WC_LISTVIEWW,
                                   .style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_BORDER | LVS_REPORT |
                                            LVS_SINGLESEL | LVS_SHOWSELALWAYS,
                                   .bounds = Twips(parent, kMargin, top, kClientWidth - 2 * kMargin, height),
                                   .parent = parent,
                                   .id = id},
                                  L"CreateWindowExW(ListView)");
    ListView_SetExtendedListViewStyle(list, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
    for (int i = 0; i < static_cast<int>(columnWidths.size()); ++i) {
        LVCOLUMNW lvc = {};
        lvc.mask = LVCF_WIDTH | LVCF_TEXT;
        lvc.cx = TwipsToPixels(parent, columnWidths[static_cast<size_t>(i)]);
        lvc.pszText = const_cast<wchar_t*>(L"");
        ListView_InsertColumn(list, i, &lvc);
    }
    return list;
}

void SetCaptions(HWND list, std::span<const int> catalogueIds)
{
    for (int i = 0; i < static_cast<int>(catalogueIds.size()); ++i) {
        const std::wstring text = myLoadResString(catalogueIds[static_cast<size_t>(i)]);
        LVCOLUMNW lvc = {};
        lvc.mask = LVCF_TEXT;
        lvc.pszText = const_cast<wchar_t*>(text.c_str());
        ListView_SetColumn(list, i, &lvc);
    }
}

int AddRow(HWND list, std::span<const std::wstring> cells)
{
    LVITEMW item = {};
    item.mask = LVIF_TEXT;
    item.iItem = ListView_GetItemCount(list);
    item.pszText = const_cast<wchar_t*>(cells[0].c_str());
    const int index = ListView_InsertItem(list, &item);
    for (int col = 1; col < static_cast<int>(cells.size()); ++col)
        ListView_SetItemText(list, index, col, const_cast<wchar_t*>(cells[static_cast<size_t>(col)].c_str()));
    return index;
}

std::pair<HWND, HWND> CreateButtons(HWND parent, int actionId)
{
    const int top = kClientHeight - kMargin - kButtonHeight;
    const int cancelLeft = kClientWidth - kMargin - kButtonWidth;
    const auto button = [&](int id, int left) {
        return CreateChild({.className = L"BUTTON",
                            .style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON,
                            .bounds = Twips(parent, left, top, kButtonWidth, kButtonHeight),
                            .parent = parent,
                            .id = id});
    };
    return {button(actionId, cancelLeft - kMargin - kButtonWidth), button(IDCANCEL, cancelLeft)};
}

void ShowModal(HWND window, HWND owner, HWND focus, const std::function<bool(MSG&)>& preTranslate)
{
    CenterWindowOver(window, owner);
    if (owner)
        EnableWindow(owner, FALSE);
    ShowWindow(window, SW_SHOW);
    SetForegroundWindow(window);
    SetFocus(focus);
    if (preTranslate)
        RunModalLoop(window, preTranslate);
    else
        RunModalLoop(window);
}

void ReleaseOwner(HWND owner)
{
    if (owner && IsWindow(owner))
        EnableWindow(owner, TRUE);
}

}  // namespace vcm::checklist
