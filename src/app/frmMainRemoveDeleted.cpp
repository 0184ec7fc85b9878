// frmMain's Edit > Remove Deleted Accounts: the preview, the bulk removal on the runner with
// the progress window, the grid without the removed rows, and the summary.
#include <algorithm>

#include "VeltoCredentialsMapResCONST.h"
#include "app/frmMain.h"
#include "app/frmRemoveDeleted.h"
#include "localize/modLocalize.h"
#include "mapping/DeletedAccounts.h"
#include "mapping/MappingGrid.h"
#include "mapping/RestoreArchive.h"
#include "platform/ErrorCodes.h"
#include "platform/StepRunner.h"
#include "platform/VeltoVersion.h"

namespace vcm {

void frmMain::mnuRemoveDeletedAccounts_Click()
{
    StepRunner step([this](const Error& e) { ReportUnexpected(e, L"mnuRemoveDeletedAccounts_Click"); });
    const MappingModel* model = ShownModel(m_grid);
    const std::vector<int> deleted = DeletedAccountRows(m_grid);
    if (!model || deleted.empty()) {
        m_dialogs.Message(myLoadResString(IDS_NO_DELETED_ACCOUNTS), kAppTitle, MB_OK);
        return;
    }
    std::vector<int> chosen;
    step([&] { chosen = frmRemoveDeleted(m_grid, deleted, m_dialogs).ShowModal(Hwnd()); });
    if (chosen.empty())
        return;

    std::vector<RemovalCandidate> candidates;
    candidates.reserve(chosen.size());
    for (int row : chosen)
        candidates.push_back(CandidateOf(*model, m_grid.Record(row)));
    BulkRemovalContext context;
    context.connection = m_connectionString;
    context.major = gProductVersion.Major;
    context.restoreFile = RestoreFilePath();
    BulkRemovalResult result;
    const bool ran = step([&] {
        result = RunLongWork(
            [&](LongWork& work) {
                work.SetTotal(candidates.size());
                BulkRemovalContext own = context;
                own.progress = [&work](size_t, size_t) { work.Advance(); };
                own.stopRequested = [&work] { return work.StopRequested(); };
                return RemoveMappings(candidates, own);
            },
            LongWorkDisplay::ProgressWindow);
    });
    if (!ran)
        return;
    // The grid loses exactly the rows that went, without a reload.
    std::vector<int> gone;
    for (size_t index : result.removed)
        gone.push_back(chosen[index]);
    std::sort(gone.begin(), gone.end());
    step([&] { m_grid.RemoveRows(gone); });
    m_dialogs.Message(BulkRemovalSummary(result, candidates.size(), context.restoreFile), kAppTitle, MB_OK);
}

}  // namespace vcm
