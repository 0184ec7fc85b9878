#include "mapping/MappingLoader.h"

#include <algorithm>
#include <vector>

#include "mapping/AccountLookup.h"
#include "mapping/MappingGrid.h"
#include "mapping/Recordset.h"
#include "platform/ErrorCodes.h"
#include "platform/StepRunner.h"
#include "platform/TextConv.h"

namespace vcm {

namespace {

// Where a product version keeps its mappings.
struct MappingSource {
    const wchar_t* query;
    const wchar_t* subscriberColumn;
    const wchar_t* sidColumn;
};

constexpr MappingSource kCredential = {L"Select * from credential", L"SubscriberObjectID", L"Credentials"};
constexpr MappingSource kSidHistory = {L"Select * from SIDHistory", L"ParentObjectID", L"SID"};
constexpr wchar_t kSubscriberQuery[] = L"Select SubscriberObjectID, UID from subscriber";
constexpr wchar_t kNoSubscriber[] = L"ERROR!";

// Primary unless Null or false; a value that is no Boolean in any form fails, which the
// caller takes as "not primary".
bool PrimaryFlag(const FieldValue& value)
{
    if (IsNull(value))
        return false;
    if (const bool* b = std::get_if<bool>(&value))
        return *b;
    if (const long long* n = std::get_if<long long>(&value))
        return *n != 0;
    if (const double* d = std::get_if<double>(&value))
        return *d != 0.0;
    if (const std::wstring* text = std::get_if<std::wstring>(&value)) {
        const std::wstring t = TrimBlanks(*text);
        if (EqualsNoCase(t, L"true"))
            return true;
        if (EqualsNoCase(t, L"false"))
            return false;
        wchar_t* end = nullptr;
        const double number = wcstod(t.c_str(), &end);
        if (!t.empty() && end && *end == L'\0')
            return number != 0.0;
    }
    throw TypeMismatchError(L"IsPrimary");
}

// The text form of a value, into a string the caller keeps.
void AssignText(const FieldValue& value, std::wstring& out)
{
    if (const auto* text = std::get_if<std::wstring>(&value))
        out.assign(*text);
    else
        out = FieldText(value);
}

// Values read from the two sets, kept across rows so that their storage is reused.
struct Scratch {
    FieldValue id;
    FieldValue uid;
    FieldValue primary;
    FieldValue sid;
    FieldValue key;
};

// The subscriber row that a mapping points to, or nothing when none does (or the search
// itself fails, e.g. because the subscriber table could not be read).
bool FindSubscriber(StepRunner& step, Recordset& mappings, Recordset& subscribers, const MappingSource& source,
                    Scratch& scratch)
{
    step([&] { subscribers.MoveFirst(); });
    bool found = false;
    step([&] {
        mappings.Field(source.subscriberColumn, scratch.id);
        if (IsNull(scratch.id))
            return;
        subscribers.Find(L"SubscriberObjectID", scratch.id);
        found = !subscribers.IsEOF();
    });
    return found;
}

// The grid's columns by key, looked up once per load.
struct Columns {
    int domain;
    int alias;
    int velto;
    int primary;
    int sid;
};

Columns ColumnsOf(GridModel& grid)
{
    return {grid.ColIndex(kKeyADDomain), grid.ColIndex(kKeyADAlias), grid.ColIndex(kKeyVeltoAlias),
            grid.ColIndex(kKeyPrimary), grid.ColIndex(kKeySID)};
}

// Appends a data row with everything but its account names; false when the grid could not
// grow. A cell that cannot be written stays empty; the row keeps its other cells.
bool AppendRow(StepRunner& step, GridModel& grid, const Columns& cols, const MappingRow& row)
{
    int r = 0;
    if (!step([&] {
            grid.SetRows(grid.Rows() + 1);
            r = grid.Rows() - 1;
        }))
        return false;
    step([&] { grid.SetCellText(r, cols.velto, row.VeltoAlias); });
    step([&] { grid.SetCell(r, cols.primary, row.Primary); });
    step([&] { grid.SetCellText(r, cols.sid, row.SID); });
    return true;
}

// The second pass: the names, and the custom option, which compares them with the alias.
void WriteAccountNames(StepRunner& step, GridModel& grid, const Columns& cols, const AccountLookup& accounts,
                       const std::vector<AccountLookup::SidId>& rowAccounts, int firstRow, bool showOnlyCustom)
{
    std::vector<int> defaults;
    for (size_t i = 0; i < rowAccounts.size(); ++i) {
        const int r = firstRow + static_cast<int>(i);
        const AccountName& account = accounts.Name(rowAccounts[i]);
        bool isDefault = false;
        if (showOnlyCustom)
            step([&] { isDefault = EqualsNoCase(account.name, grid.CellText(r, cols.velto)); });
        if (isDefault) {
            defaults.push_back(r);
            continue;
        }
        step([&] { grid.SetCellText(r, cols.domain, account.domain); });
        step([&] { grid.SetCellText(r, cols.alias, account.name); });
    }
    step([&] { grid.RemoveRows(defaults); });
}

}  // namespace

LoadReport FillMappingGrid(GridModel& grid, const LoadSettings& settings)
{
    LoadReport report;
    StepRunner step;  // no reporter: the load is silent
    const MappingSource& source = settings.major >= 4 ? kCredential : kSidHistory;

    step([&] { grid.SetRows(1); });
    Recordset mappings;
    Recordset subscribers;
    StepRunner tableStep([&](const Error& e) { report.mappingTable = e; });
    tableStep([&] { mappings.Open(source.query, settings.connection, kCursorDynamic, kLockReadOnly, kOptionsUnspecified); });
    step([&] { subscribers.Open(kSubscriberQuery, settings.connection, kCursorDynamic, kLockReadOnly, kOptionsUnspecified); });
    step([&] { mappings.MoveFirst(); });

    // First pass: every row but its account names, which come from one batch lookup of the
    // distinct identifiers afterwards. Rows hidden by the primary option cost no lookup.
    AccountLookup accounts(settings.translate);
    std::vector<AccountLookup::SidId> rowAccounts;  // per data row
    step([&] {
        const long count = mappings.RecordCount();
        grid.Reserve(static_cast<int>(count) + 1);
        rowAccounts.reserve(static_cast<size_t>(count));
    });
    const Columns cols = ColumnsOf(grid);
    const int firstRow = grid.Rows();
    Scratch scratch;
    MappingRow row;
    for (;;) {
        // A mapping set that cannot say where it stands ends the load.
        bool atEnd = true;
        if (!step([&] { atEnd = mappings.IsEOF(); }) || atEnd)
            break;

        row.VeltoAlias.clear();
        row.Primary = false;
        row.SID.clear();
        const bool found = FindSubscriber(step, mappings, subscribers, source, scratch);
        if (!found)
            row.VeltoAlias = kNoSubscriber;
        else
            step([&] {
                subscribers.Field(L"UID", scratch.uid);
                AssignText(scratch.uid, row.VeltoAlias);
            });

        step([&] {
            mappings.Field(L"IsPrimary", scratch.primary);
            row.Primary = PrimaryFlag(scratch.primary);
        });

        if (settings.showPrimary || !row.Primary) {
            AccountLookup::SidId account = AccountLookup::kNoAccount;
            step([&] {
                mappings.Field(source.sidColumn, scratch.sid);
                if (const auto* bytes = std::get_if<std::vector<unsigned char>>(&scratch.sid))
                    account = accounts.Add(*bytes);
            });
            step([&] {
                mappings.Field(L"msrepl_tran_version", scratch.key);
                AssignText(scratch.key, row.SID);
            });
            if (AppendRow(step, grid, cols, row))
                rowAccounts.push_back(account);
        }

        // A set that cannot move on would hold the load at this row for ever.
        if (!step([&] { mappings.MoveNext(); }))
            break;
    }
    mappings.Close();
    subscribers.Close();

    accounts.Resolve();
    report.accountLookup = accounts.Failure();
    report.lookupCalls = accounts.PlatformCalls();
    WriteAccountNames(step, grid, cols, accounts, rowAccounts, firstRow, settings.showOnlyCustom);
    return report;
}

}  // namespace vcm
