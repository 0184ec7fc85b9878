#include "mapping/DeletedAccounts.h"

#include "VeltoCredentialsMapResCONST.h"
#include "localize/modLocalize.h"
#include "mapping/MappingGrid.h"

namespace vcm {

namespace {
constexpr size_t kReasonsShown = 10;
}  // namespace

std::vector<int> DeletedAccountRows(const GridModel& grid)
{
    std::vector<int> rows;
    const MappingModel* model = ShownModel(grid);
    if (!model)
        return rows;
    for (int row = 1; row < grid.Rows(); ++row)
        if (model->Status(grid.Record(row)) == AccountStatus::Deleted)
            rows.push_back(row);
    return rows;
}

RemovalCandidate CandidateOf(const MappingModel& model, MappingModel::Row row)
{
    RemovalCandidate candidate;
    candidate.key = std::wstring(model.Key(row));
    candidate.sid = model.SidBytes(row);
    candidate.subscriberId = std::wstring(model.SubscriberId(row));
    candidate.account = model.AccountText(row);
    candidate.veltoAlias = std::wstring(model.VeltoAlias(row));
    return candidate;
}

std::wstring BulkRemovalSummary(const BulkRemovalResult& result, size_t candidates, const std::wstring& restoreFile)
{
    std::wstring text = myLoadResString(IDS_BULK_REMOVED) + std::to_wstring(result.removed.size()) + L"\r\n" +
                        myLoadResString(IDS_BULK_SKIPPED) + std::to_wstring(result.skipped.size());
    for (size_t i = 0; i < result.skipped.size() && i < kReasonsShown; ++i)
        text += L"\r\n" + result.skipped[i].account + L": " + result.skipped[i].reason;
    const size_t processed = result.removed.size() + result.skipped.size();
    if (processed < candidates)
        text += L"\r\n\r\n" + myLoadResString(IDS_BULK_NOT_PROCESSED) + std::to_wstring(candidates - processed);
    return text + L"\r\n\r\n" + myLoadResString(IDS_RESTORE_FILE) + restoreFile;
}

}  // namespace vcm
