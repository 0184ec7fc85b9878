#include "app/frmRestore.h"

#include <commctrl.h>

#include "VeltoCredentialsMapResCONST.h"
#include "app/CheckListWindow.h"
#include "localize/modLocalize.h"
#include "mapping/MappingRestore.h"
#include "platform/ErrorCodes.h"
#include "platform/ProgramInfo.h"
#include "platform/StepRunner.h"
#include "platform/WinHelpers.h"

namespace vcm {

namespace {

constexpr wchar_t kClassName[] = L"VeltoCredentialsMap.frmRestore";
// Column widths in twips: removed on, account or SID, Velto alias, removed by.
constexpr int kColumnWidths[] = {2600, 3100, 1600, 1900};
constexpr int kColumnIds[] = {IDS_COL_REMOVED_ON, IDS_COL_ACCOUNT_OR_SID, IDS_COL_VELTO_ALIAS, IDS_COL_REMOVED_BY};

}  // namespace

frmRestore::frmRestore(RestoreWindowContext context, IDialogs& dialogs)
    : CheckListForm(IDC_RESTORE_CHECKED), m_context(std::move(context)), m_dialogs(dialogs)
{
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
    ShowOverOwner();
    return m_restoreRan;
}

void frmRestore::Load(HWND owner)
{
    CreateFrame(kClassName, owner);
    AddRoutine(L"frmRestore_Auto_Init", [this] { frmRestore_Auto_Init(); });
    CreateListAndButtons(IDC_LIST, checklist::kMargin, kColumnWidths);
    frmRestore_Auto_Init();
    FillList();
}

void frmRestore::frmRestore_Auto_Init()
{
    SetWindowTextW(Hwnd(), myLoadResString(IDS_RESTORE_TITLE).c_str());
    SetWindowTextW(m_cmdAction, myLoadResString(IDS_RESTORE_CHECKED).c_str());
    SetWindowTextW(m_cmdCancel, myLoadResString(IDS_CANCEL).c_str());
    checklist::SetCaptions(m_list, kColumnIds);
}

void frmRestore::FillList()
{
    for (size_t row = 0; row < m_records.size(); ++row) {
        const RestoreRecord& record = m_records[row];
        const std::wstring cells[] = {LocalGeneralDate(record.removedUtc), record.account, record.veltoAlias,
                                      record.removedBy};
        checklist::AddRow(m_list, cells);
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

}  // namespace vcm
