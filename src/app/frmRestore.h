// The Restore Removed Mappings window: lists the records of the restore file (date, account
// or SID, Velto alias, who removed it), newest first, each with a check box, and puts the
// ticked ones back into the database.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "app/CheckListWindow.h"
#include "mapping/RestoreArchive.h"
#include "platform/Dialogs.h"

namespace vcm {

struct RestoreWindowContext {
    std::wstring connection;
    int major = 0;
    std::wstring restoreFile;
};

class frmRestore final : public CheckListForm {
public:
    enum : int { IDC_LIST = 100, IDC_RESTORE_CHECKED = 101 };  // Cancel is IDCANCEL, so Esc reaches it

    frmRestore(RestoreWindowContext context, IDialogs& dialogs);

    std::wstring_view Name() const override { return L"frmRestore"; }

    // Reads the restore file and, when it holds records to restore, shows the window modally
    // over `owner` until Restore Checked or Cancel. An unusable line is told in a box first;
    // a file with nothing to restore is told in a box instead of the window. True when a
    // restore ran, so that the owner reloads its grid.
    bool ShowModal(HWND owner);

    // Creates the window hidden, owned by `owner`, with its controls, captions and the records
    // read so far (none before ShowModal reads the file).
    void Load(HWND owner);
    void frmRestore_Auto_Init();
    void cmdRestoreChecked_Click();

    const std::vector<RestoreRecord>& Records() const noexcept { return m_records; }

protected:
    void OnAction() override { cmdRestoreChecked_Click(); }

private:
    void FillList();

    RestoreWindowContext m_context;
    IDialogs& m_dialogs;
    std::vector<RestoreRecord> m_records;  // in list order
    bool m_restoreRan = false;
};

}  // namespace vcm
