#include "mapping/MappingRemoval.h"

#include "VeltoCredentialsMapResCONST.h"
#include "localize/modLocalize.h"
#include "mapping/MappingGrid.h"
#include "mapping/Recordset.h"
#include "platform/Logging.h"
#include "platform/ProgramInfo.h"
#include "platform/StepRunner.h"
#include "platform/TextConv.h"

namespace vcm {

namespace {

constexpr wchar_t kTrapClosing[] = L") in procedure mnuRemoveMapping_Click of Form frmMain";

// The object id is a bound parameter, so no id can change what the query asks.
constexpr wchar_t kSubscriberQuery[] =
    L"Select Alias, DisplayName, SubscriberObjectID from Subscriber WHERE SubscriberOBjectID=?";

}  // namespace

void RemoveSelectedMapping(GridModel& grid, const RemovalContext& context)
{
    IDialogs& dialogs = context.dialogs;
    StepRunner step([&dialogs](const Error& error) {
        dialogs.Message(myLoadResString(IDS_ERROR_PREFIX) + std::to_wstring(error.Number()) + L" (" +
                            error.Description() + kTrapClosing,
                        kAppTitle, MB_OK);
    });
    // An expected condition: its catalogue text, then whatever the condition names.
    const auto tell = [&](int id, const std::wstring& detail) {
        step([&] { dialogs.Message(myLoadResString(id) + detail, kAppTitle, MB_OK); });
    };

    // The grid's current row is read once: every later step works on the row that was
    // selected when the command started.
    int row = 0;
    if (!step([&] { row = grid.Row(); }) || row < 1) {
        tell(IDS_SELECT_ROW_FIRST, {});
        return;
    }

    // Both sets are released however the removal ends.
    Recordset credentials;
    Recordset subscribers;

    step([&] {
        credentials.Open(context.major < 4 ? L"Select * from SIDHistory" : L"Select * from Credential",
                         context.connection, kCursorDynamic, kLockOptimistic, kOptionsUnspecified);
    });
    std::wstring key;
    step([&] { key = grid.TextMatrix(row, grid.ColIndex(kKeySID)); });
    // The key is compared as a value; a quote in it is just a character.
    step([&] { credentials.Filter(L"msrepl_tran_version", key); });

    // Only an exact 0 and a count above 1 stop here: a count the layer cannot tell
    // (negative) lets the removal go on.
    long count = 0;
    if (!step([&] { count = credentials.RecordCount(); }) || count == 0) {
        tell(IDS_ERR_CREDENTIAL_NONE, key);
        return;
    }
    if (count > 1) {
        tell(IDS_ERR_CREDENTIAL_MANY, key);
        return;
    }

    std::wstring objectId;
    step([&] {
        objectId = FieldText(credentials.Field(context.major == 3 ? L"ParentObjectID" : L"SubscriberObjectID"));
    });
    step([&] {
        subscribers.Open(kSubscriberQuery, context.connection, kCursorDynamic, kLockOptimistic, kOptionsUnspecified,
                         {objectId});
    });
    if (!step([&] { count = subscribers.RecordCount(); }) || count == 0) {
        tell(IDS_ERR_SUBSCRIBER_NONE, objectId);
        return;
    }
    if (count > 1) {
        tell(IDS_ERR_SUBSCRIBER_MANY, objectId);
        return;
    }

    std::wstring domain;
    std::wstring alias;
    step([&] { domain = TrimBlanks(grid.TextMatrix(row, grid.ColIndex(kKeyADDomain))); });
    step([&] { alias = TrimBlanks(grid.TextMatrix(row, grid.ColIndex(kKeyADAlias))); });

    // Built piece by piece, so that if a piece fails the question still shows what could be formed.
    std::wstring question;
    step([&] {
        question += myLoadResString(IDS_REMOVE_WARNING);
        question += domain + L"\\" + alias;
        question += myLoadResString(IDS_TO_LOCAL_ACCOUNT);
        question += myLoadResString(IDS_THE_ALIAS);
        question += FieldText(subscribers.Field(L"Alias"));
        question += myLoadResString(IDS_NO_ACCESS_ANY_LONGER);
        question += myLoadResString(IDS_ARE_YOU_SURE);
    });

    // Nothing is deleted unless the person clearly answered Yes; a box that failed is a No.
    bool confirmed = false;
    step([&] {
        confirmed = dialogs.Message(question, myLoadResString(IDS_CONFIRM_DELETE_TITLE),
                                    MB_YESNO | MB_DEFBUTTON1) == IDYES;
    });
    // A delete that failed (or was rolled back) is followed by no grid change, no log line
    // and no success message.
    if (confirmed && step([&] { credentials.Delete(); })) {
        step([&] { grid.RemoveItem(row); });
        step([&] { WriteLog(GeneralDateNow() + L": Deleted credential map for " + domain + L"\\" + alias); });
        tell(IDS_MAP_DELETED, {});
    }

    step([&] { credentials.Close(); });
    step([&] { subscribers.Close(); });
}

}  // namespace vcm
