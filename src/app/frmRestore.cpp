#include "app/frmRestore.h"

#include <commctrl.h>

#include "VeltoCredentialsMapResCONST.h"
#include "localize/modLocalize.h"
#include "mapping/MappingRestore.h"
#include "platform/ErrorCodes.h"
#include "platform/ProgramInfo.h"
#include "platform/StepRunner.h"
#include "platform/Twips.h"
#include "platform/WinHelpers.h"

namespace vcm {

namespace {

constexpr wchar_t kClassName[] = L"VeltoCredentialsMap.frmRestore";
// Client area and controls, in twips.
constexpr int kClientWidth = 9600;
constexpr int kClientHeight = 5400;
constexpr int kMargin = 120;
constexpr int kButtonWidth = 2600;
constexpr int kButtonHeight = 375;
// Column widths: removed on, account or SID, Velto alias, removed by.
constexpr int kColumnWidths[] = {2200, 3300, 1700, 2000};
constexpr int kColumnIds[] = {IDS_COL_REMOVED_ON, IDS_COL_ACCOUNT_OR_SID, IDS_COL_VELTO_ALIAS, IDS_COL_REMOVED_BY};

RECT Twips(HWND window, int x, int y, int width, int height)
{
    return {TwipsToPixels(window, x), TwipsToPixels(window, y), TwipsToPixels(window, x + width),
            TwipsToPixels(window, y + height)};
}

void SetColumnText(HWND list, int column, const std::wstring& text)
{
    LVCOLUMNW lvc = {};
    lvc.mask = LVCF_TEXT;
    lvc.pszText = const_cast<wchar_t*>(text.c_str());
    ListView_SetColumn(list, column, &lvc);
}

}  // namespace

frmRestore::frmRestore(RestoreWindowContext context, IDialogs& dialogs)
    : m_context(std::move(context)), m_dialogs(dialogs)
{
}

frmRestore::~frmRestore()
{
    if (Hwnd())
        DestroyWindow(Hwnd());
}

bool frmRestore::ShowModal(HWND owner)
{
    const ArchiveContents contents = ReadRestoreFile(m_context.restoreFile);
    if (!contents.refused.empty())
        m_dialogs.Message(RefusedLinesMessage(contents.refused), kAppTitle, MB_OK);
    m_records = RestorableRecords(contents);
    if (m_records.empty()) {
        m_dialogs.Message(myLoadResString(IDS_RESTORE_EMPTY) + m_context.restoreFile, kAppTitle, MB_OK);
        return false;
    }

    m_owner = owner && IsWindow(owner) ? owner : nullptr;
    Load(m_owner);
    CenterWindowOver(Hwnd(), m_owner);
    if (m_owner)
        EnableWindow(m_owner, FALSE);
    ShowWindow(Hwnd(), SW_SHOW);
    SetForegroundWindow(Hwnd());
    SetFocus(m_list);
    RunModalLoop(Hwnd());
    Close();
    if (m_owner && IsWindow(m_owner))
        SetForegroundWindow(m_owner);
    return m_restoreRan;
}

void frmRestore::Load(HWND owner)
{
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
    const DWORD exStyle = WS_EX_DLGMODALFRAME;
    Create({.className = kClassName, .style = style, .exStyle = exStyle, .width = 100, .height = 100,
            .parent = owner});
    Register();
    AddRoutine(L"frmRestore_Auto_Init", [this] { frmRestore_Auto_Init(); });
    RECT frame = {0, 0, TwipsToPixels(Hwnd(), kClientWidth), TwipsToPixels(Hwnd(), kClientHeight)};
    AdjustWindowRectEx(&frame, style, FALSE, exStyle);
    SetWindowPos(Hwnd(), nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    CreateControls();
    frmRestore_Auto_Init();
    FillList();
}

void frmRestore::CreateControls()
{
    LOGFONTW logFont = {};
    if (MessageFont(logFont) || StockGuiFont(logFont))
        m_font.reset(CreateFontIndirectW(&logFont));
    const int listHeight = kClientHeight - 3 * kMargin - kButtonHeight;
    m_list = CreateChild({.className = WC_LISTVIEWW,
                          .style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_BORDER | LVS_REPORT | LVS_SINGLESEL |
                                   LVS_SHOWSELALWAYS,
                          .bounds = Twips(Hwnd(), kMargin, kMargin, kClientWidth - 2 * kMargin, listHeight),
                          .parent = Hwnd(),
                          .id = IDC_LIST},
                         L"CreateWindowExW(ListView)");
    ListView_SetExtendedListViewStyle(m_list, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
    for (int i = 0; i < static_cast<int>(std::size(kColumnWidths)); ++i) {
        LVCOLUMNW lvc = {};
        lvc.mask = LVCF_WIDTH | LVCF_TEXT;
        lvc.cx = TwipsToPixels(Hwnd(), kColumnWidths[i]);
        lvc.pszText = const_cast<wchar_t*>(L"");
        ListView_InsertColumn(m_list, i, &lvc);
    }
    const int buttonTop = kClientHeight - kMargin - kButtonHeight;
    const int cancelLeft = kClientWidth - kMargin - kButtonWidth;
    m_cmdRestore = CreateChild({.className = L"BUTTON",
                                .style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON,
                                .bounds = Twips(Hwnd(), cancelLeft - kMargin - kButtonWidth, buttonTop, kButtonWidth,
                                                kButtonHeight),
                                .parent = Hwnd(),
                                .id = IDC_RESTORE_CHECKED});
    m_cmdCancel = CreateChild({.className = L"BUTTON",
                               .style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON,
                               .bounds = Twips(Hwnd(), cancelLeft, buttonTop, kButtonWidth, kButtonHeight),
                               .parent = Hwnd(),
                               .id = IDCANCEL});
    for (HWND control : {m_list, m_cmdRestore, m_cmdCancel})
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(m_font.get()), FALSE);
}

void frmRestore::frmRestore_Auto_Init()
{
    SetWindowTextW(Hwnd(), myLoadResString(IDS_RESTORE_TITLE).c_str());
    SetWindowTextW(m_cmdRestore, myLoadResString(IDS_RESTORE_CHECKED).c_str());
    SetWindowTextW(m_cmdCancel, myLoadResString(IDS_CANCEL).c_str());
    for (int i = 0; i < static_cast<int>(std::size(kColumnIds)); ++i)
        SetColumnText(m_list, i, myLoadResString(kColumnIds[i]));
}

void frmRestore::FillList()
{
    for (size_t row = 0; row < m_records.size(); ++row) {
        const RestoreRecord& record = m_records[row];
        const std::wstring cells[] = {LocalGeneralDate(record.removedUtc), record.account, record.veltoAlias,
                                      record.removedBy};
        LVITEMW item = {};
        item.mask = LVIF_TEXT;
        item.iItem = static_cast<int>(row);
        item.pszText = const_cast<wchar_t*>(cells[0].c_str());
        const int index = ListView_InsertItem(m_list, &item);
        for (int col = 1; col < static_cast<int>(std::size(cells)); ++col)
            ListView_SetItemText(m_list, index, col, const_cast<wchar_t*>(cells[col].c_str()));
    }
    if (!m_records.empty())
        ListView_SetItemState(m_list, 0, LVIS_FOCUSED | LVIS_SELECTED, LVIS_FOCUSED | LVIS_SELECTED);
}

void frmRestore::cmdRestoreChecked_Click()
{
    std::vector<RestoreRecord> checked;
    for (size_t row = 0; row < m_records.size(); ++row)
        if (ListView_GetCheckState(m_list, static_cast<int>(row)))
            checked.push_back(m_records[row]);
    if (checked.empty()) {
        m_dialogs.Message(myLoadResString(IDS_RESTORE_NONE_CHECKED), kAppTitle, MB_OK);
        return;
    }
    StepRunner step([this](const Error& error) {
        m_dialogs.Message(TrapMessage(myLoadResString(IDS_ERROR_PREFIX), error, L"cmdRestoreChecked_Click",
                                      L"frmRestore"),
                          kAppTitle, MB_OK);
    });
    const HCURSOR previous = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    std::vector<RestoreOutcome> outcomes;
    const bool ran = step([&] {
        outcomes = RestoreMappings(checked, {m_context.connection, m_context.major, m_context.restoreFile});
    });
    SetCursor(previous);
    m_restoreRan = ran;
    if (ran)
        m_dialogs.Message(RestoreSummary(outcomes, m_context.restoreFile), kAppTitle, MB_OK);
    Close();
}

void frmRestore::cmdCancel_Click() { Close(); }

void frmRestore::Close()
{
    // The owner is enabled before the window goes, so that activation returns to it.
    if (m_owner && IsWindow(m_owner))
        EnableWindow(m_owner, TRUE);
    if (Hwnd()) {
        Unregister();
        DestroyWindow(Hwnd());
    }
}

LRESULT frmRestore::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam)
{
    try {
        switch (msg) {
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
            case IDC_RESTORE_CHECKED: cmdRestoreChecked_Click(); return 0;
            case IDCANCEL: cmdCancel_Click(); return 0;
            default: break;
            }
            break;
        case WM_CLOSE:
            cmdCancel_Click();
            return 0;
        default:
            break;
        }
    } catch (...) {
        DebugReport(CurrentError());
    }
    return Form::OnMessage(msg, wParam, lParam);
}

}  // namespace vcm
