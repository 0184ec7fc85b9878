// The Remove Deleted Accounts window: previews the grid's rows whose account is Deleted, in
// grid order, each with a ticked check box (SID, Primary, Velto Alias), with their count, and
// asks once before the ticked ones are removed.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "app/CheckListWindow.h"
#include "grid/GridModel.h"
#include "platform/Dialogs.h"

namespace vcm {

class frmRemoveDeleted final : public CheckListForm {
public:
    // Cancel is IDCANCEL, so that Esc reaches it.
    enum : int { IDC_LIST = 100, IDC_COUNT = 101, IDC_REMOVE_CHECKED = 102 };

    // rows: the grid's data rows to list, in grid order.
    frmRemoveDeleted(const GridModel& grid, std::vector<int> rows, IDialogs& dialogs);

    std::wstring_view Name() const override { return L"frmRemoveDeleted"; }

    // Shows the window modally over `owner` until Remove Checked was confirmed or the window
    // was cancelled. Returns the ticked grid rows after a Yes, in grid order; empty otherwise.
    std::vector<int> ShowModal(HWND owner);

    // Creates the window hidden, owned by `owner`, with its controls, captions and rows.
    void Load(HWND owner);
    void frmRemoveDeleted_Auto_Init();
    void cmdRemoveChecked_Click();
    // Ctrl+A: every row ticked.
    void CheckAll();

    std::vector<int> CheckedRows() const;

protected:
    void OnAction() override { cmdRemoveChecked_Click(); }
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    void CreateControls();
    void FillList();
    void ShowCount();

    const GridModel& m_grid;
    std::vector<int> m_rows;
    IDialogs& m_dialogs;
    std::vector<int> m_chosen;
    HWND m_count = nullptr;
    bool m_filling = false;
};

}  // namespace vcm
