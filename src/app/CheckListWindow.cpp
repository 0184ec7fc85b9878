#include "app/CheckListWindow.h"

#include <commctrl.h>

#include "localize/modLocalize.h"
#include "platform/Error.h"
#include "platform/ErrorCodes.h"
#include "platform/Twips.h"
#include "platform/WinHelpers.h"

namespace vcm {

namespace {

constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kExStyle = WS_EX_DLGMODALFRAME;
constexpr int kButtonWidth = 2600;
constexpr int kButtonHeight = 375;

}  // namespace

namespace checklist {

RECT Twips(HWND window, int x, int y, int width, int height)
{
    return {TwipsToPixels(window, x), TwipsToPixels(window, y), TwipsToPixels(window, x + width),
            TwipsToPixels(window, y + height)};
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

}  // namespace checklist

using namespace checklist;

CheckListForm::~CheckListForm()
{
    if (Hwnd())
        DestroyWindow(Hwnd());
}

void CheckListForm::CreateFrame(const wchar_t* className, HWND owner)
{
    Create({.className = className, .style = kStyle, .exStyle = kExStyle, .width = 100, .height = 100,
            .parent = owner});
    Register();
    RECT frame = {0, 0, TwipsToPixels(Hwnd(), kClientWidth), TwipsToPixels(Hwnd(), kClientHeight)};
    AdjustWindowRectEx(&frame, kStyle, FALSE, kExStyle);
    SetWindowPos(Hwnd(), nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CheckListForm::CreateListAndButtons(int listId, int listTop, std::span<const int> columnWidths)
{
    LOGFONTW logFont = {};
    if (MessageFont(logFont) || StockGuiFont(logFont))
        m_font.reset(CreateFontIndirectW(&logFont));
    const int listHeight = kClientHeight - listTop - 2 * kMargin - kButtonHeight;
    m_list = CreateChild({.className = WC_LISTVIEWW,
                          .style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_BORDER | LVS_REPORT | LVS_SINGLESEL |
                                   LVS_SHOWSELALWAYS,
                          .bounds = Twips(Hwnd(), kMargin, listTop, kClientWidth - 2 * kMargin, listHeight),
                          .parent = Hwnd(),
                          .id = listId},
                         L"CreateWindowExW(ListView)");
    ListView_SetExtendedListViewStyle(m_list, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
    for (int i = 0; i < static_cast<int>(columnWidths.size()); ++i) {
        LVCOLUMNW lvc = {};
        lvc.mask = LVCF_WIDTH | LVCF_TEXT;
        lvc.cx = TwipsToPixels(Hwnd(), columnWidths[static_cast<size_t>(i)]);
        lvc.pszText = const_cast<wchar_t*>(L"");
        ListView_InsertColumn(m_list, i, &lvc);
    }
    const int buttonTop = kClientHeight - kMargin - kButtonHeight;
    const int cancelLeft = kClientWidth - kMargin - kButtonWidth;
    const auto button = [&](int id, int left) {
        return CreateChild({.className = L"BUTTON",
                            .style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON,
                            .bounds = Twips(Hwnd(), left, buttonTop, kButtonWidth, kButtonHeight),
                            .parent = Hwnd(),
                            .id = id});
    };
    m_cmdAction = button(m_actionId, cancelLeft - kMargin - kButtonWidth);
    m_cmdCancel = button(IDCANCEL, cancelLeft);
    for (HWND control : {m_list, m_cmdAction, m_cmdCancel})
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(m_font.get()), FALSE);
}

void CheckListForm::ShowOverOwner(const std::function<bool(MSG&)>& preTranslate)
{
    CenterWindowOver(Hwnd(), m_owner);
    if (m_owner)
        EnableWindow(m_owner, FALSE);
    ShowWindow(Hwnd(), SW_SHOW);
    SetForegroundWindow(Hwnd());
    SetFocus(m_list);
    if (preTranslate)
        RunModalLoop(Hwnd(), preTranslate);
    else
        RunModalLoop(Hwnd());
    Close();
    if (m_owner && IsWindow(m_owner))
        SetForegroundWindow(m_owner);
}

void CheckListForm::Close()
{
    if (m_owner && IsWindow(m_owner))
        EnableWindow(m_owner, TRUE);
    if (Hwnd()) {
        Unregister();
        DestroyWindow(Hwnd());
    }
}

LRESULT CheckListForm::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam)
{
    try {
        if (msg == WM_CLOSE || (msg == WM_COMMAND && LOWORD(wParam) == IDCANCEL)) {
            cmdCancel_Click();
            return 0;
        }
        if (msg == WM_COMMAND && LOWORD(wParam) == m_actionId) {
            OnAction();
            return 0;
        }
    } catch (...) {
        DebugReport(CurrentError());
    }
    return Form::OnMessage(msg, wParam, lParam);
}

}  // namespace vcm
