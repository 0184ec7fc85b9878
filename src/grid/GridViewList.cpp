// The grid view's hold on its list: the subclass that marks painting, keeps hidden columns
// at zero width, and turns mouse presses and the context-menu key into the view's events.
#include "grid/GridView.h"

#include <windowsx.h>

#include "grid/GridViewParts.h"
#include "platform/ErrorCodes.h"

namespace vcm {

using namespace gridview;

namespace {

// The button code an event reports for a press message; 0 for any other message.
int PressedButton(UINT msg)
{
    switch (msg) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        return 1;
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK:
        return 2;
    case WM_MBUTTONDOWN:
    case WM_MBUTTONDBLCLK:
        return 4;
    default:
        return 0;
    }
}

}  // namespace

LRESULT CALLBACK GridView::ListProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                    DWORD_PTR self)
{
    if (msg == WM_NCDESTROY)
        RemoveWindowSubclass(hwnd, &GridView::ListProc, id);
    // Nothing may be thrown into the list's own code.
    try {
        return reinterpret_cast<GridView*>(self)->OnListMessage(hwnd, msg, wParam, lParam);
    } catch (...) {
        DebugReport(CurrentError());
        return DefSubclassProc(hwnd, msg, wParam, lParam);
    }
}

LRESULT GridView::OnListMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_PAINT:
    case WM_PRINTCLIENT: {
        ScopedFlag painting(m_painting);
        return DefSubclassProc(hwnd, msg, wParam, lParam);
    }
    case WM_NOTIFY: {
        LRESULT result = 0;
        if (OnHeaderNotify(*reinterpret_cast<NMHDR*>(lParam), result))
            return result;
        break;
    }
    default:
        if (const int button = PressedButton(msg))
            return OnListPress(hwnd, msg, wParam, lParam, button);
        break;
    }
    return DefSubclassProc(hwnd, msg, wParam, lParam);
}

// The header talks to the list, and not every list passes these on to its parent, so the
// hidden columns are locked here. True when the notification is answered with `result`.
bool GridView::OnHeaderNotify(const NMHDR& header, LRESULT& result)
{
    if (header.hwndFrom != m_header)
        return false;
    const int design = reinterpret_cast<const NMHEADERW&>(header).iItem;
    switch (header.code) {
    case HDN_BEGINTRACKW:
    case HDN_BEGINTRACKA:
        result = TRUE;  // no resizing
        return IsHiddenColumn(design);
    case HDN_DIVIDERDBLCLICKW:
    case HDN_DIVIDERDBLCLICKA:
        result = 0;  // no auto-size
        return IsHiddenColumn(design);
    case HDN_ITEMCHANGEDW:
    case HDN_ITEMCHANGEDA: {
        // Any other way to a width (keyboard auto-size, a program) is undone afterwards.
        const HDITEMW* item = reinterpret_cast<const NMHEADERW&>(header).pitem;
        if (IsHiddenColumn(design) && item && (item->mask & HDI_WIDTH) && item->cxy != 0)
            PostMessageW(Hwnd(), kRezeroHidden, 0, 0);
        return false;
    }
    case HDN_ENDDRAG:
        // The header applies the new order only after this notification returns.
        PostMessageW(Hwnd(), kSyncColumnOrder, 0, 0);
        return false;
    default:
        return false;
    }
}

LRESULT GridView::OnListPress(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, int button)
{
    const int shift = ((wParam & MK_SHIFT) ? 1 : 0) | ((wParam & MK_CONTROL) ? 2 : 0) |
                      (GetKeyState(VK_MENU) < 0 ? 4 : 0);
    POINT at = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    MapWindowPoints(hwnd, Hwnd(), &at, 1);
    const LRESULT result = DefSubclassProc(hwnd, msg, wParam, lParam);
    if (MouseDown) {
        auto handler = MouseDown;  // the handler may replace itself
        // The list has handled the press already; a failing handler must not make it run twice.
        try {
            handler(button, shift, at.x, at.y);
        } catch (...) {
            DebugReport(CurrentError());
        }
    }
    return result;
}

bool GridView::OnContextMenuKey(HWND from, LPARAM position)
{
    // Only the keyboard's request (no position) from the grid itself; a right-click has
    // already been reported as a press.
    if (position != -1 || (from != Hwnd() && from != m_list) || !ContextMenuKey || !m_list)
        return false;
    // Under the selected row, or at the list's corner when none is selected.
    POINT at = {0, 0};
    const int item = m_model.Row() - 1;
    RECT rowRect = {};
    if (item >= 0 && ListView_GetItemRect(m_list, item, &rowRect, LVIR_LABEL))
        at = {rowRect.left, rowRect.bottom};
    MapWindowPoints(m_list, Hwnd(), &at, 1);
    auto handler = ContextMenuKey;  // the handler may replace itself
    handler(at.x, at.y);
    return true;
}

}  // namespace vcm
