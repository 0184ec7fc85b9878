#include "mapping/MappingRestore.h"

#include <algorithm>

#include "VeltoCredentialsMapResCONST.h"
#include "localize/modLocalize.h"
#include "mapping/MappingSql.h"
#include "platform/ErrorCodes.h"
#include "platform/TextConv.h"

namespace vcm {

namespace {

// Empty when the record fits the table the server has now; else why it does not. Every
// column the server does not fill itself must be in the record, and every recorded column
// in the table, so that nothing is put back half or into the wrong place.
std::wstring Mismatch(const MappingStatements& db, const RestoreRecord& record)
{
    if (!EqualsNoCase(record.table, db.Layout().table))
        return myLoadResString(IDS_RESTORE_OTHER_TABLE) + record.table + L" (" + std::to_wstring(record.major) + L")";
    for (const RestoreColumn& column : record.columns)
        if (db.ColumnIndex(column.name) < 0)
            return myLoadResString(IDS_RESTORE_OTHER_LAYOUT) + column.name;
    for (const TableColumn& column : db.Columns()) {
        if (column.serverFilled)
            continue;
        const bool recorded = std::any_of(record.columns.begin(), record.columns.end(),
                                          [&](const RestoreColumn& c) { return EqualsNoCase(c.name, column.name); });
        if (!recorded)
            return myLoadResString(IDS_RESTORE_OTHER_LAYOUT) + column.name;
    }
    return {};
}

std::wstring KeyOf(const RestoreRecord& record)
{
    for (const RestoreColumn& column : record.columns)
        if (EqualsNoCase(column.name, kKeyColumn))
            return FieldText(column.value);
    return {};
}

// Empty when restored, else the reason.
std::wstring RestoreOne(MappingStatements& db, const RestoreRecord& record)
{
    if (std::wstring mismatch = Mismatch(db, record); !mismatch.empty())
        return mismatch;
    const std::wstring key = KeyOf(record);
    OdbcTransaction transaction(db.Handle());
    if (db.CountByKey(key) != 0)
        return myLoadResString(IDS_RESTORE_KEY_EXISTS);
    db.InsertRow(record.columns);
    // The count after proves the one row, whatever counts triggers sent.
    if (db.CountByKey(key) != 1)
        return myLoadResString(IDS_RESTORE_NOT_ONE_INSERTED);
    transaction.Commit();
    return {};
}

}  // namespace

std::vector<RestoreOutcome> RestoreMappings(const std::vector<RestoreRecord>& records, const RestoreContext& context)
{
    MappingStatements db(context.connection, LayoutFor(context.major));
    std::vector<RestoreOutcome> outcomes;
    for (const RestoreRecord& record : records) {
        RestoreOutcome outcome;
        outcome.account = record.account;
        try {
            outcome.reason = RestoreOne(db, record);
            outcome.restored = outcome.reason.empty();
        } catch (...) {
            outcome.reason =
                TrapMessage(myLoadResString(IDS_ERROR_PREFIX), CurrentError(), context.procedure, context.form);
        }
        if (outcome.restored) {
            try {
                RestoreWriter(context.restoreFile).MarkRestored(record.id);
            } catch (...) {
                // The row is back; a later restore of the same record finds its key and skips it.
                DebugReport(CurrentError());
            }
        }
        outcomes.push_back(std::move(outcome));
    }
    return outcomes;
}

}  // namespace vcm

namespace vcm {

namespace {
constexpr size_t kReasonsShown = 10;
}

std::vector<RestoreRecord> RestorableRecords(const ArchiveContents& contents)
{
    std::vector<RestoreRecord> records;
    // Later lines were written later; the recorded time orders records of different copies.
    for (auto it = contents.records.rbegin(); it != contents.records.rend(); ++it)
        if (it->state == RecordState::Removed)
            records.push_back(it->record);
    std::stable_sort(records.begin(), records.end(),
                     [](const RestoreRecord& a, const RestoreRecord& b) { return a.removedUtc > b.removedUtc; });
    return records;
}

std::wstring RestoreSummary(const std::vector<RestoreOutcome>& outcomes, const std::wstring& restoreFile)
{
    const size_t restored = static_cast<size_t>(
        std::count_if(outcomes.begin(), outcomes.end(), [](const RestoreOutcome& o) { return o.restored; }));
    std::wstring text = myLoadResString(IDS_RESTORE_DONE) + std::to_wstring(restored) + L"\r\n" +
                        myLoadResString(IDS_RESTORE_SKIPPED) + std::to_wstring(outcomes.size() - restored);
    size_t shown = 0;
    for (const RestoreOutcome& outcome : outcomes)
        if (!outcome.restored && shown++ < kReasonsShown)
            text += L"\r\n" + outcome.account + L": " + outcome.reason;
    return text + L"\r\n\r\n" + myLoadResString(IDS_RESTORE_FILE) + restoreFile;
}

std::wstring RefusedLinesMessage(const std::vector<RefusedLine>& refused)
{
    std::wstring text = myLoadResString(IDS_RESTORE_REFUSED_LINES);
    for (size_t i = 0; i < refused.size() && i < kReasonsShown; ++i)
        text += L"\r\n" + myLoadResString(IDS_LINE) + std::to_wstring(refused[i].lineNumber) + L": " + refused[i].reason;
    return text;
}

}  // namespace vcm
