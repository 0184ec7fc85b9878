#include "mapping/BulkRemoval.h"

#include <algorithm>

#include "VeltoCredentialsMapResCONST.h"
#include "localize/modLocalize.h"
#include "mapping/CaseFold.h"
#include "mapping/MappingSql.h"
#include "mapping/RestoreArchive.h"
#include "platform/ErrorCodes.h"
#include "platform/EventLog.h"
#include "platform/Logging.h"
#include "platform/ProgramInfo.h"

namespace vcm {

namespace {

// Candidates read together: two statements read what the database holds for all of them,
// and their restore records reach the disk with one flush.
constexpr size_t kBatch = MappingStatements::kKeysPerStatement;

// Why a candidate cannot go, as far as the rows holding its key tell; 0 when exactly one
// row holds it and that row still holds the SID and subscriber id the load saw.
int RowRefusal(const MappingStatements& db, const RemovalCandidate& candidate,
               const std::vector<const std::vector<FieldValue>*>& rows)
{
    if (rows.empty())
        return IDS_SKIP_KEY_NONE;
    if (rows.size() > 1)
        return IDS_SKIP_KEY_MANY;
    const std::vector<FieldValue>& row = *rows.front();
    const int sidCol = db.ColumnIndex(db.Layout().sidColumn);
    const int subscriberCol = db.ColumnIndex(db.Layout().subscriberColumn);
    if (sidCol < 0 || subscriberCol < 0)
        return IDS_SKIP_CHANGED;
    const auto* sid = std::get_if<std::vector<unsigned char>>(&row[static_cast<size_t>(sidCol)]);
    const FieldValue& subscriber = row[static_cast<size_t>(subscriberCol)];
    if (!sid || *sid != candidate.sid || IsNull(subscriber) || FieldText(subscriber) != candidate.subscriberId)
        return IDS_SKIP_CHANGED;
    return 0;
}

int SubscriberRefusal(long long subscribers)
{
    if (subscribers == 0)
        return IDS_SKIP_SUBSCRIBER_NONE;
    return subscribers > 1 ? IDS_SKIP_SUBSCRIBER_MANY : 0;
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

// A candidate of a batch after the batch's reads: refused, or ready with its row recorded.
struct Prepared {
    int refusal = 0;
    std::wstring failure;           // the trap-form text when the batch could not be read
    std::vector<FieldValue> row;    // the row to remove
    std::wstring recordId;          // its record in the restore file
};

// Reads the rows and subscribers of candidates[first, end) with two statements, decides
// each candidate, and writes the records of those that may go with one flush.
std::vector<Prepared> PrepareBatch(MappingStatements& db, RestoreWriter& archive,
                                   const std::vector<RemovalCandidate>& candidates, size_t first, size_t end,
                                   const BulkRemovalContext& context)
{
    std::vector<std::wstring> keys;
    std::vector<std::wstring> ids;
    for (size_t i = first; i < end; ++i) {
        keys.push_back(candidates[i].key);
        if (std::find(ids.begin(), ids.end(), candidates[i].subscriberId) == ids.end())
            ids.push_back(candidates[i].subscriberId);
    }
    const std::vector<std::vector<FieldValue>> rows = db.RowsByKeys(keys);
    const std::vector<std::wstring> subscribers = db.SubscribersAmong(ids);

    std::vector<Prepared> batch(end - first);
    std::vector<RestoreRecord> records;
    for (size_t i = first; i < end; ++i) {
        const RemovalCandidate& candidate = candidates[i];
        Prepared& prepared = batch[i - first];
        std::vector<const std::vector<FieldValue>*> held;
        for (const std::vector<FieldValue>& row : rows)
            if (db.IsKey(db.KeyOf(row), candidate.key))
                held.push_back(&row);
        prepared.refusal = RowRefusal(db, candidate, held);
        if (!prepared.refusal) {
            // The loader and the single removal find a subscriber by its id without regard to case.
            const auto count = std::count_if(subscribers.begin(), subscribers.end(), [&](const std::wstring& id) {
                return FoldedEqual(id, candidate.subscriberId);
            });
            prepared.refusal = SubscriberRefusal(count);
        }
        if (!prepared.refusal) {
            prepared.row = *held.front();
            records.push_back(RecordOf(db, candidate, prepared.row, context));
            prepared.recordId = records.back().id;
        }
    }
    archive.AppendAll(records);  // on disk before the first delete commits; a failure deletes nothing
    return batch;
}

// One prepared candidate, in a transaction of its own: 0 when removed, else the catalogue id
// of the reason. The row must still be the one recorded, and the delete must take exactly it.
// Throws on an unexpected failure. The record of a row that stays is marked as not removed.
int RemovePrepared(MappingStatements& db, RestoreWriter& archive, const Prepared& prepared)
{
    OdbcTransaction transaction(db.Handle());
    try {
        const std::vector<std::vector<FieldValue>> rows = db.RowsLike(prepared.row);
        int refusal = 0;
        if (rows.size() > 1)
            refusal = IDS_SKIP_KEY_MANY;
        else if (rows.empty() || rows.front() != prepared.row)
            refusal = IDS_SKIP_CHANGED;
        if (!refusal) {
            db.DeleteRow(prepared.row);
            if (db.CountLike(prepared.row) != 0)
                refusal = IDS_SKIP_NOT_ONE_DELETED;
        }
        if (refusal) {
            archive.MarkNotRemoved(prepared.recordId);
            return refusal;
        }
        transaction.Commit();
    } catch (...) {
        archive.MarkNotRemoved(prepared.recordId);
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
    std::vector<const std::vector<FieldValue>*> held;
    for (const std::vector<FieldValue>& row : rows)
        held.push_back(&row);
    int refusal = RowRefusal(db, candidate, held);
    if (!refusal)
        refusal = SubscriberRefusal(db.CountSubscribers(candidate.subscriberId));
    if (refusal)
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
    const auto skip = [&](size_t i, const std::wstring& reason) {
        result.skipped.push_back({i, candidates[i].account, reason});
    };
    const auto failure = [&] {
        return TrapMessage(myLoadResString(IDS_ERROR_PREFIX), CurrentError(), own.procedure, own.form);
    };
    for (size_t first = 0; first < candidates.size() && !result.stopped; first += kBatch) {
        const size_t end = std::min(candidates.size(), first + kBatch);
        std::vector<Prepared> batch;
        if (StopAsked(own)) {
            result.stopped = true;
            break;
        }
        try {
            batch = PrepareBatch(db, archive, candidates, first, end, own);
        } catch (...) {
            // Nothing of this batch was recorded or deleted; the next batch may still go.
            batch.assign(end - first, Prepared{});
            const std::wstring text = failure();
            for (Prepared& prepared : batch)
                prepared.failure = text;
        }
        for (size_t i = first; i < end; ++i) {
            if (i > first && StopAsked(own)) {
                result.stopped = true;
                std::vector<std::wstring> unused;
                for (size_t j = i; j < end; ++j)
                    if (!batch[j - first].recordId.empty())
                        unused.push_back(batch[j - first].recordId);
                try {
                    archive.MarkNotRemoved(unused);
                } catch (...) {
                    // Their rows are still in the table, so a restore finds the keys and skips them.
                    DebugReport(CurrentError());
                }
                break;
            }
            const Prepared& prepared = batch[i - first];
            if (!prepared.failure.empty()) {
                skip(i, prepared.failure);
            } else if (prepared.refusal) {
                skip(i, myLoadResString(prepared.refusal));
            } else {
                try {
                    if (const int reason = RemovePrepared(db, archive, prepared)) {
                        skip(i, myLoadResString(reason));
                    } else {
                        result.removed.push_back(i);
                        RecordRemoval(candidates[i], own);
                    }
                } catch (...) {
                    skip(i, failure());
                }
            }
            if (own.progress)
                own.progress(i + 1, candidates.size());
        }
    }
    result.statements = db.StatementsSent();
    return result;
}

}  // namespace vcm
