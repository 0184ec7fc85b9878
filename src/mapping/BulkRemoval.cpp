#include "mapping/BulkRemoval.h"

#include "VeltoCredentialsMapResCONST.h"
#include "localize/modLocalize.h"
#include "mapping/MappingSql.h"
#include "mapping/RestoreArchive.h"
#include "platform/ErrorCodes.h"
#include "platform/EventLog.h"
#include "platform/Logging.h"
#include "platform/ProgramInfo.h"

namespace vcm {

namespace {

// Why a candidate cannot go; 0 when the row read for its key is the one the load saw.
int Refusal(MappingStatements& db, const RemovalCandidate& candidate,
            const std::vector<std::vector<FieldValue>>& rows)
{
    if (rows.empty())
        return IDS_SKIP_KEY_NONE;
    if (rows.size() > 1)
        return IDS_SKIP_KEY_MANY;
    const std::vector<FieldValue>& row = rows.front();
    const int sidCol = db.ColumnIndex(db.Layout().sidColumn);
    const int subscriberCol = db.ColumnIndex(db.Layout().subscriberColumn);
    if (sidCol < 0 || subscriberCol < 0)
        return IDS_SKIP_CHANGED;
    const auto* sid = std::get_if<std::vector<unsigned char>>(&row[static_cast<size_t>(sidCol)]);
    const FieldValue& subscriber = row[static_cast<size_t>(subscriberCol)];
    if (!sid || *sid != candidate.sid || IsNull(subscriber) || FieldText(subscriber) != candidate.subscriberId)
        return IDS_SKIP_CHANGED;
    const long long subscribers = db.CountSubscribers(candidate.subscriberId);
    if (subscribers == 0)
        return IDS_SKIP_SUBSCRIBER_NONE;
    if (subscribers > 1)
        return IDS_SKIP_SUBSCRIBER_MANY;
    return 0;
}

RestoreRecord RecordOf(const MappingStatements& db, const RemovalCandidate& candidate,
                       const std::vector<FieldValue>& row, const BulkRemovalContext& context)
{
    RestoreRecord record;
    record.id = NewRecordId();
    record.removedUtc = UtcNowText();
    record.table = db.Layout().table;
    record.major = context.major;
    record.account = candidate.account;
    record.veltoAlias = candidate.veltoAlias;
    record.removedBy = context.removedBy;
    for (size_t i = 0; i < row.size(); ++i)
        record.columns.push_back({db.Columns()[i].name, db.Columns()[i].sqlType, row[i]});
    return record;
}

// One candidate, start to end: 0 when removed, else the catalogue id of the reason. Throws
// on an unexpected failure; the record written before it is then marked as not removed.
int RemoveOne(MappingStatements& db, RestoreWriter& archive, const RemovalCandidate& candidate,
              const BulkRemovalContext& context)
{
    // The row is read, recorded and deleted inside one transaction: the count before is the
    // row read by its key, the count after must be none.
    OdbcTransaction transaction(db.Handle());
    const std::vector<std::vector<FieldValue>> rows = db.RowsByKey(candidate.key);
    if (const int refusal = Refusal(db, candidate, rows))
        return refusal;
    const RestoreRecord record = RecordOf(db, candidate, rows.front(), context);
    archive.Append(record);  // on disk before the delete commits; a failure deletes nothing
    try {
        db.DeleteRow(rows.front());
        if (db.CountByKey(candidate.key) != 0) {
            archive.MarkNotRemoved(record.id);
            return IDS_SKIP_NOT_ONE_DELETED;
        }
        transaction.Commit();
    } catch (...) {
        archive.MarkNotRemoved(record.id);
        throw;
    }
    return 0;
}

void RecordRemoval(const RemovalCandidate& candidate, const BulkRemovalContext& context)
{
    WriteLog(GeneralDateNow() + L": Deleted credential map for " + candidate.account);
    ReportRemovalToEventLog(candidate, context);
}

bool StopAsked(const BulkRemovalContext& context)
{
    return (context.stop && context.stop->load()) || (context.stopRequested && context.stopRequested());
}

}  // namespace

void ReportRemovalToEventLog(const RemovalCandidate& candidate, const BulkRemovalContext& context)
{
    try {
        const std::wstring removedBy = context.removedBy.empty() ? OperatorName() : context.removedBy;
        ReportRemovalEvent(RemovalEventText(candidate.account, candidate.veltoAlias, removedBy));
    } catch (...) {
        // The removal happened and the activity log holds it; a refused event entry stops nothing.
        DebugReport(CurrentError());
    }
}

std::wstring WriteRemovalRecord(const RemovalCandidate& candidate, const BulkRemovalContext& context)
{
    BulkRemovalContext own = context;
    if (own.removedBy.empty())
        own.removedBy = OperatorName();
    MappingStatements db(own.connection, LayoutFor(own.major));
    const std::vector<std::vector<FieldValue>> rows = db.RowsByKey(candidate.key);
    if (const int refusal = Refusal(db, candidate, rows))
        throw Error(err::kProviderFailure, myLoadResString(refusal), L"WriteRemovalRecord");
    const RestoreRecord record = RecordOf(db, candidate, rows.front(), own);
    RestoreWriter(own.restoreFile).Append(record);
    return record.id;
}

void MarkRemovalNotDone(const BulkRemovalContext& context, const std::wstring& recordId)
{
    RestoreWriter(context.restoreFile).MarkNotRemoved(recordId);
}

BulkRemovalResult RemoveMappings(const std::vector<RemovalCandidate>& candidates, const BulkRemovalContext& context)
{
    BulkRemovalResult result;
    BulkRemovalContext own = context;
    if (own.removedBy.empty())
        own.removedBy = OperatorName();
    MappingStatements db(own.connection, LayoutFor(own.major));
    RestoreWriter archive(own.restoreFile);
    for (size_t i = 0; i < candidates.size(); ++i) {
        if (StopAsked(own)) {
            result.stopped = true;
            break;
        }
        const RemovalCandidate& candidate = candidates[i];
        try {
            if (const int reason = RemoveOne(db, archive, candidate, own)) {
                result.skipped.push_back({i, candidate.account, myLoadResString(reason)});
            } else {
                result.removed.push_back(i);
                RecordRemoval(candidate, own);
            }
        } catch (...) {
            const std::wstring text =
                TrapMessage(myLoadResString(IDS_ERROR_PREFIX), CurrentError(), own.procedure, own.form);
            result.skipped.push_back({i, candidate.account, text});
        }
        if (own.progress)
            own.progress(i + 1, candidates.size());
    }
    result.statements = db.StatementsSent();
    return result;
}

}  // namespace vcm
