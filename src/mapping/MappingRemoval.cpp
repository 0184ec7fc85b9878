#include "mapping/MappingRemoval.h"

#include <functional>

#include "VeltoCredentialsMapResCONST.h"
#include "localize/modLocalize.h"
#include "mapping/AccountLookup.h"
#include "mapping/BulkRemoval.h"
#include "mapping/DeletedAccounts.h"
#include "mapping/MappingGrid.h"
#include "mapping/MappingSource.h"
#include "mapping/Recordset.h"
#include "mapping/RestoreArchive.h"
#include "platform/ErrorCodes.h"
#include "platform/Logging.h"
#include "platform/ProgramInfo.h"
#include "platform/StepRunner.h"
#include "platform/TextConv.h"

namespace vcm {

namespace {

// The object id is a bound parameter, so no id can change what the query asks. Ids that
// differ only in letter case match, as they do for the loader and under SQL Server's
// default collation, whatever the collation of the database at hand.
constexpr wchar_t kSubscriberQuery[] =
    L"Select Alias, DisplayName, SubscriberObjectID from Subscriber WHERE UPPER(SubscriberOBjectID)=UPPER(?)";

// An expected condition: its catalogue text, then whatever the condition names.
void Tell(StepRunner& step, IDialogs& dialogs, int id, const std::wstring& detail)
{
    step([&] { dialogs.Message(myLoadResString(id) + detail, kAppTitle, MB_OK); });
}

// True when the set holds exactly one row; otherwise tells which way it is off. Only an
// exact 0 and a count above 1 stop the removal: a count the layer cannot tell (negative)
// lets it go on.
bool HoldsOneRow(StepRunner& step, IDialogs& dialogs, const Recordset& set, int noneId, int manyId,
                 const std::wstring& detail)
{
    long count = 0;
    if (!step([&] { count = set.RecordCount(); }) || count == 0) {
        Tell(step, dialogs, noneId, detail);
        return false;
    }
    if (count > 1) {
        Tell(step, dialogs, manyId, detail);
        return false;
    }
    return true;
}

// The account the question and the log name: domain\alias as the load resolved it. An
// account without names is named by the SID in the mapping row being removed: its S-1-...
// text, or its bytes in hex when they hold no SID, so that every log line identifies its row.
std::wstring AccountOf(StepRunner& step, const MappingModel& model, MappingModel::Row record,
                       const Recordset& credentials, const wchar_t* sidColumn)
{
    std::wstring sid;
    const AccountName& names = model.Account(record);
    if (TrimBlanks(names.domain).empty() && TrimBlanks(names.name).empty())
        step([&] {
            const FieldValue value = credentials.Field(sidColumn);
            if (const auto* bytes = std::get_if<std::vector<unsigned char>>(&value))
                sid = SidDisplayText(*bytes);
        });
    return AccountDisplayText(names.domain, names.name, sid);
}

// Built piece by piece, so that if a piece fails the question still shows what could be formed.
std::wstring RemovalQuestion(StepRunner& step, const std::wstring& account, const Recordset& subscribers)
{
    std::wstring question;
    step([&] {
        question += myLoadResString(IDS_REMOVE_WARNING);
        question += account;
        question += myLoadResString(IDS_TO_LOCAL_ACCOUNT);
        question += myLoadResString(IDS_THE_ALIAS);
        question += FieldText(subscribers.Field(L"Alias"));
        question += myLoadResString(IDS_NO_ACCESS_ANY_LONGER);
        question += myLoadResString(IDS_ARE_YOU_SURE);
    });
    return question;
}

// True when the database row under the key holds another SID or subscriber than the load
// saw: the confirmation and the log would name one account while another row went.
bool ChangedSinceLoad(StepRunner& step, const MappingModel& model, MappingModel::Row record,
                      const Recordset& credentials, const MappingSource& source)
{
    bool changed = true;
    step([&] {
        const FieldValue sid = credentials.Field(source.sidColumn);
        const auto* bytes = std::get_if<std::vector<unsigned char>>(&sid);
        const bool sameSid = bytes ? model.HasSid(record) && *bytes == model.SidBytes(record) : !model.HasSid(record);
        const FieldValue subscriber = credentials.Field(source.subscriberColumn);
        changed = !sameSid || IsNull(subscriber) || FieldText(subscriber) != model.SubscriberId(record);
    });
    return changed;
}

}  // namespace

void RemoveSelectedMapping(GridModel& grid, const RemovalContext& context)
{
    IDialogs& dialogs = context.dialogs;
    StepRunner step([&dialogs](const Error& error) {
        dialogs.Message(TrapMessage(myLoadResString(IDS_ERROR_PREFIX), error, L"mnuRemoveMapping_Click", L"frmMain"),
                        kAppTitle, MB_OK);
    });
    const auto tell = [&](int id, const std::wstring& detail) { Tell(step, dialogs, id, detail); };

    // The grid's current row is read once: every later step works on the row that was
    // selected when the command started.
    int row = 0;
    const MappingModel* model = ShownModel(grid);
    if (!step([&] { row = grid.Row(); }) || row < 1 || !model) {
        tell(IDS_SELECT_ROW_FIRST, {});
        return;
    }
    const MappingModel::Row record = grid.Record(row);

    // Both sets are released however the removal ends.
    Recordset credentials;
    Recordset subscribers;

    const MappingSource source = MappingSourceFor(context.major);
    const wchar_t* subscriberColumn = source.subscriberColumn;
    step([&] {
        credentials.Open(source.removalQuery, context.connection, kCursorDynamic, kLockOptimistic,
                         kOptionsUnspecified);
    });
    const std::wstring key(model->Key(record));
    // The key is compared as a value; a quote in it is just a character.
    step([&] { credentials.Filter(L"msrepl_tran_version", key); });

    if (!HoldsOneRow(step, dialogs, credentials, IDS_ERR_CREDENTIAL_NONE, IDS_ERR_CREDENTIAL_MANY, key))
        return;
    if (ChangedSinceLoad(step, *model, record, credentials, source)) {
        tell(IDS_CHANGED_SINCE_LOAD, {});
        return;
    }

    std::wstring objectId;
    step([&] { objectId = FieldText(credentials.Field(subscriberColumn)); });
    step([&] {
        subscribers.Open(kSubscriberQuery, context.connection, kCursorDynamic, kLockOptimistic, kOptionsUnspecified,
                         {objectId});
    });
    if (!HoldsOneRow(step, dialogs, subscribers, IDS_ERR_SUBSCRIBER_NONE, IDS_ERR_SUBSCRIBER_MANY, objectId))
        return;

    const std::wstring account = AccountOf(step, *model, record, credentials, source.sidColumn);
    const std::wstring question = RemovalQuestion(step, account, subscribers);

    // Nothing is deleted unless the person clearly answered Yes; a box that failed is a No.
    bool confirmed = false;
    step([&] {
        confirmed = dialogs.Message(question, myLoadResString(IDS_CONFIRM_DELETE_TITLE),
                                    MB_YESNO | MB_DEFBUTTON1) == IDYES;
    });
    // The whole row goes to the restore file, on disk, before the delete; a record that
    // cannot be written deletes nothing.
    RemovalCandidate candidate = CandidateOf(*model, record);
    candidate.account = account;
    BulkRemovalContext archive;
    archive.connection = context.connection;
    archive.major = context.major;
    archive.restoreFile = RestoreFilePath();
    archive.procedure = L"mnuRemoveMapping_Click";
    // Reading the row for its record and deleting it can wait on a lock another session holds;
    // both run through the caller's runner, so that the window keeps answering meanwhile.
    const auto waiting = [&](const std::function<void()>& work) {
        context.runWaiting ? context.runWaiting(work) : work();
    };
    std::wstring recordId;
    if (confirmed && !step([&] { waiting([&] { recordId = WriteRemovalRecord(candidate, archive); }); }))
        confirmed = false;
    // The row is identified by its key and the values the question was built from, never by
    // long text. A delete that failed (or was rolled back) is followed by no grid change, no
    // log line and no success message, and its record is marked as not removed.
    const auto deleteRow = [&] { credentials.Delete(source.table, {kKeyColumn, subscriberColumn, source.sidColumn}); };
    if (confirmed && step([&] { waiting(deleteRow); })) {
        step([&] { grid.RemoveItem(row); });
        step([&] { WriteLog(GeneralDateNow() + L": Deleted credential map for " + account); });
        ReportRemovalToEventLog(candidate, archive);
        tell(IDS_MAP_DELETED, {});
    } else if (confirmed) {
        step([&] { MarkRemovalNotDone(archive, recordId); });
    }

    step([&] { credentials.Close(); });
    step([&] { subscribers.Close(); });
}

}  // namespace vcm
