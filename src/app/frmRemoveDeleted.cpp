#include "app/frmRemoveDeleted.h"

#include <commctrl.h>

#include "VeltoCredentialsMapResCONST.h"
#include "app/CheckListWindow.h"
#include "app/ProgressText.h"
#include "localize/modLocalize.h"
#include "mapping/MappingGrid.h"
#include "platform/ErrorCodes.h"
#include "platform/WinHelpers.h"

namespace vcm {

namespace {

constexpr wchar_t kClassName[] = L"VeltoCredentialsMap.frmRemoveDeleted";
constexpr int kLabelHeight = 300;  // twips
// Column widths in twips: SID, Primary, Velto alias.
constexpr int kColumnWidths[] = {5000, 1100, 3000};
constexpr int kColumnIds[] = {IDS_COL_SID, IDS_COL_PRIMARY, IDS_COL_VELTO_ALIAS};

}  // namespace

frmRemoveDeleted::frmRemoveDeleted(const GridModel& grid, std::vector<int> rows, IDialogs& dialogs)
    : CheckListForm(IDC_REMOVE_CHECKED), m_grid(grid), m_rows(std::move(rows)), m_dialogs(dialogs)
{
}

std::vector<int> frmRemoveDeleted::ShowModal(HWND owner)
{
    m_owner = owner && IsWindow(owner) ? owner : nullptr;
    Load(m_owner);
    ShowOverOwner([this](MSG& msg) {
        if (msg.message == WM_KEYDOWN && msg.wParam == 'A' && GetKeyState(VK_CONTROL) < 0 &&
            GetKeyState(VK_MENU) >= 0) {
            CheckAll();
            return true;
        }
        return false;
    });
    return m_chosen;
}

void frmRemoveDeleted::Load(HWND owner)
{
    CreateFrame(kClassName, owner);
    AddRoutine(L"frmRemoveDeleted_Auto_Init", [this] { frmRemoveDeleted_Auto_Init(); });
    CreateControls();
    FillList();
    frmRemoveDeleted_Auto_Init();
}

void frmRemoveDeleted::CreateControls()
{
    using namespace checklist;
    m_count = CreateChild({.className = L"STATIC",
                           .style = WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX,
                           .bounds = Twips(Hwnd(), kMargin, kMargin, kClientWidth - 2 * kMargin, kLabelHeight),
                           .parent = Hwnd(),
                           .id = IDC_COUNT});
    CreateListAndButtons(IDC_LIST, 2 * kMargin + kLabelHeight, kColumnWidths);
    SendMessageW(m_count, WM_SETFONT, reinterpret_cast<WPARAM>(m_font.get()), FALSE);
}

void frmRemoveDeleted::frmRemoveDeleted_Auto_Init()
{
    SetWindowTextW(Hwnd(), myLoadResString(IDS_REMOVE_DELETED_TITLE).c_str());
    SetWindowTextW(m_cmdAction, myLoadResString(IDS_REMOVE_CHECKED).c_str());
    SetWindowTextW(m_cmdCancel, myLoadResString(IDS_CANCEL).c_str());
    checklist::SetCaptions(m_list, kColumnIds);
    ShowCount();
}

// The rows as the grid shows them: the SID as text, Primary ticked or not, the Velto alias.
void frmRemoveDeleted::FillList()
{
    const MappingModel* model = ShownModel(m_grid);
    m_filling = true;
    for (size_t i = 0; i < m_rows.size() && model; ++i) {
        const MappingModel::Row record = m_grid.Record(m_rows[i]);
        const std::wstring cells[] = {model->SidText(record), model->Primary(record) ? L"\u2713" : L"",
                                      std::wstring(model->VeltoAlias(record))};
        ListView_SetCheckState(m_list, checklist::AddRow(m_list, cells), TRUE);
    }
    m_filling = false;
    if (!m_rows.empty())
        ListView_SetItemState(m_list, 0, LVIS_FOCUSED | LVIS_SELECTED, LVIS_FOCUSED | LVIS_SELECTED);
}

void frmRemoveDeleted::ShowCount()
{
    const std::wstring text = ProgressText(IDS_DELETED_COUNT, m_rows.size(), CheckedRows().size());
    SetWindowTextW(m_count, text.c_str());
}

std::vector<int> frmRemoveDeleted::CheckedRows() const
{
    std::vector<int> checked;
    for (size_t i = 0; i < m_rows.size() && m_list; ++i)
        if (ListView_GetCheckState(m_list, static_cast<int>(i)))
            checked.push_back(m_rows[i]);
    return checked;
}

void frmRemoveDeleted::CheckAll()
{
    for (size_t i = 0; i < m_rows.size(); ++i)
        ListView_SetCheckState(m_list, static_cast<int>(i), TRUE);
    ShowCount();
}

void frmRemoveDeleted::cmdRemoveChecked_Click()
{
    const std::vector<int> checked = CheckedRows();
    if (checked.empty()) {
        m_dialogs.Message(myLoadResString(IDS_REMOVE_NONE_CHECKED), kAppTitle, MB_OK);
        return;
    }
    // A bulk removal takes No as its default: Enter alone never removes many mappings.
    const std::wstring question = ProgressText(IDS_REMOVE_CHECKED_QUESTION, checked.size(), checked.size());
    if (m_dialogs.Message(question, myLoadResString(IDS_REMOVE_DELETED_TITLE),
                          MB_YESNO | MB_DEFBUTTON2 | MB_ICONQUESTION) != IDYES)
        return;
    m_chosen = checked;
    Close();
}

LRESULT frmRemoveDeleted::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_NOTIFY) {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        try {
            if (header->hwndFrom == m_list && header->code == LVN_ITEMCHANGED && !m_filling)
                ShowCount();
        } catch (...) {
            DebugReport(CurrentError());
        }
    }
    return CheckListForm::OnMessage(msg, wParam, lParam);
}

}  // namespace vcm
