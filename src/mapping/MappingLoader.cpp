#include "mapping/MappingLoader.h"

#include <algorithm>
#include <vector>

#include "mapping/AccountLookup.h"
#include "mapping/MappingGrid.h"
#include "mapping/MappingSource.h"
#include "mapping/Recordset.h"
#include "platform/ErrorCodes.h"
#include "platform/StepRunner.h"
#include "platform/TextConv.h"

namespace vcm {

namespace {

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

// The custom option leaves out mappings whose account name equals the subscriber alias.
void LeaveOutDefaults(StepRunner& step, MappingModel& model)
{
    model.KeepOnly([&](MappingModel::Row r) {
        bool isDefault = false;
        step([&] { isDefault = EqualsNoCase(model.Account(r).name, model.VeltoAlias(r)); });
        return !isDefault;
    });
}

// One mapping row's fields, read from where the two sets stand.
void ReadRow(StepRunner& step, Recordset& mappings, Recordset& subscribers, const MappingSource& source,
             Scratch& scratch, std::wstring& subscriberId, std::wstring& velto, bool& primary)
{
    velto.clear();
    subscriberId.clear();
    primary = false;
    scratch.id = std::monostate();  // a failed read must not leave the previous row's id
    const bool found = FindSubscriber(step, mappings, subscribers, source, scratch);
    step([&] { AssignText(scratch.id, subscriberId); });
    if (!found)
        velto = kNoSubscriber;
    else
        step([&] {
            subscribers.Field(L"UID", scratch.uid);
            AssignText(scratch.uid, velto);
        });
    step([&] {
        mappings.Field(kPrimaryColumn, scratch.primary);
        primary = PrimaryFlag(scratch.primary);
    });
}

}  // namespace

MappingLoad ReadMappings(const LoadSettings& settings)
{
    MappingLoad load{std::make_shared<MappingModel>(std::make_unique<AccountLookup>(settings.translate, AccountLookup::kChunk, settings.platform)), {}};
    LoadReport& report = load.report;
    MappingModel& model = *load.model;
    StepRunner step;  // no reporter: the load is silent
    const MappingSource source = MappingSourceFor(settings.major);

    Recordset mappings;
    Recordset subscribers;
    StepRunner tableStep([&](const Error& e) { report.mappingTable = e; });
    tableStep([&] { mappings.Open(source.loadQuery, settings.connection, kCursorDynamic, kLockReadOnly, kOptionsUnspecified); });
    step([&] { subscribers.Open(kSubscriberLoadQuery, settings.connection, kCursorDynamic, kLockReadOnly, kOptionsUnspecified); });
    step([&] { mappings.MoveFirst(); });

    // First pass: every row but its account names, which come from one batch lookup of the
    // distinct identifiers afterwards. Rows hidden by the primary option cost no lookup.
    step([&] {
        const long count = mappings.RecordCount();
        if (count > 0)
            model.Reserve(static_cast<size_t>(count));
    });
    Scratch scratch;
    std::wstring subscriberId;
    std::wstring velto;
    std::wstring key;
    for (;;) {
        // A mapping set that cannot say where it stands ends the load.
        bool atEnd = true;
        if (!step([&] { atEnd = mappings.IsEOF(); }) || atEnd)
            break;

        MappingModel::Fields fields;
        ReadRow(step, mappings, subscribers, source, scratch, subscriberId, velto, fields.primary);
        if (settings.showPrimary || !fields.primary) {
            step([&] {
                mappings.Field(source.sidColumn, scratch.sid);
                fields.sid = std::get_if<std::vector<unsigned char>>(&scratch.sid);
            });
            key.clear();
            step([&] {
                mappings.Field(kKeyColumn, scratch.key);
                AssignText(scratch.key, key);
            });
            fields.key = key;
            fields.subscriberId = subscriberId;
            fields.veltoAlias = velto;
            step([&] { model.Add(fields); });
        }

        // A set that cannot move on would hold the load at this row for ever.
        if (!step([&] { mappings.MoveNext(); }))
            break;
    }
    mappings.Close();
    subscribers.Close();
    model.Accounts().DropIndex();
    return load;
}

void FinishLoad(MappingLoad& load, const LoadSettings& settings)
{
    AccountLookup& accounts = load.model->Accounts();
    load.report.accountLookup = accounts.Failure();
    load.report.lookupCalls = accounts.PlatformCalls();
    StepRunner step;  // silent, as the rest of the load
    if (settings.showOnlyCustom)
        LeaveOutDefaults(step, *load.model);
}

MappingLoad LoadMappings(const LoadSettings& settings)
{
    MappingLoad load = ReadMappings(settings);
    load.model->Accounts().Resolve();
    FinishLoad(load, settings);
    return load;
}

LoadReport FillMappingGrid(GridModel& grid, const LoadSettings& settings)
{
    MappingLoad load = LoadMappings(settings);
    ShowMappings(grid, std::move(load.model));
    return load.report;
}

}  // namespace vcm
