#include "mapping/MappingLoader.h"

#include <algorithm>
#include <deque>
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

// The columns a load reads, found once (Recordset::kNoColumn where a set lacks one, which
// fails each read of it as an unknown name does), and scratch kept across rows so that
// reading allocates nothing per row.
struct Reader {
    Recordset& mappings;
    Recordset& subscribers;
    size_t subscriber = Recordset::kNoColumn;  // mapping columns
    size_t sid = Recordset::kNoColumn;
    size_t primary = Recordset::kNoColumn;
    size_t key = Recordset::kNoColumn;
    size_t subscriberKey = Recordset::kNoColumn;  // subscriber columns
    size_t uid = Recordset::kNoColumn;
    FieldValue primaryValue;
    FieldValue sidValue;
    std::wstring idScratch;
    std::wstring uidScratch;
    std::wstring keyScratch;
};

void FindColumns(StepRunner& step, Reader& reader, const MappingSource& source)
{
    step([&] {
        reader.subscriber = reader.mappings.ColumnOf(source.subscriberColumn);
        reader.sid = reader.mappings.ColumnOf(source.sidColumn);
        reader.primary = reader.mappings.ColumnOf(kPrimaryColumn);
        reader.key = reader.mappings.ColumnOf(kKeyColumn);
    });
    step([&] {
        reader.subscriberKey = reader.subscribers.ColumnOf(L"SubscriberObjectID");
        reader.uid = reader.subscribers.ColumnOf(L"UID");
    });
}

// The subscriber ids of up to kChunkRows mapping rows from the current one (text forms,
// empty when Null or unreadable) and the position of the subscriber row each points to,
// kNoPosition when none does (or the search itself fails, e.g. because the subscriber table
// could not be read). A chunk's subscribers are sought in one walk of the subscriber index
// (Recordset::FindEach); a chunk is small enough that its mapping rows are still in the
// cache when the load reads them again.
constexpr size_t kChunkRows = 4096;

struct SubscriberRows {
    std::vector<std::wstring_view> ids;  // views into the mapping set, or into forms
    std::vector<size_t> positions;
    std::deque<std::wstring> forms;      // the text forms of ids that are no text
    bool ended = false;                  // the mapping set ended, or could not move on, in this chunk
};

void FindSubscribers(StepRunner& step, Reader& reader, SubscriberRows& rows)
{
    rows.ids.clear();
    rows.forms.clear();
    rows.ended = true;
    std::vector<bool> hasId;
    for (bool atEnd = false; step([&] { atEnd = reader.mappings.IsEOF(); }) && !atEnd;) {
        std::wstring_view id;
        bool has = false;  // Null points to no subscriber
        step([&] {
            if (reader.mappings.FieldIsNull(reader.subscriber))
                return;
            id = reader.mappings.FieldText(reader.subscriber, reader.idScratch);
            if (!id.empty() && id.data() == reader.idScratch.data())
                id = rows.forms.emplace_back(id);
            has = true;
        });
        rows.ids.push_back(id);
        hasId.push_back(has);
        if (!step([&] { reader.mappings.MoveNext(); }))
            break;
        if (rows.ids.size() == kChunkRows) {
            rows.ended = false;
            break;
        }
    }
    rows.positions.assign(rows.ids.size(), Recordset::kNoPosition);
    step([&] {
        reader.subscribers.MoveFirst();  // an empty or closed set has no subscriber to find
        rows.positions = reader.subscribers.FindEach(reader.subscriberKey, rows.ids);
    });
    for (size_t i = 0; i < hasId.size(); ++i)
        if (!hasId[i])
            rows.positions[i] = Recordset::kNoPosition;
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

// One mapping row's fields, the row-th of the set: the texts are views into the sets or the
// reader's scratch, valid until the next row is read.
void ReadRow(StepRunner& step, Reader& reader, const SubscriberRows& subscribers, size_t row,
             MappingModel::Fields& fields)
{
    const size_t position = row < subscribers.positions.size() ? subscribers.positions[row] : Recordset::kNoPosition;
    if (row < subscribers.ids.size())
        fields.subscriberId = subscribers.ids[row];
    if (position == Recordset::kNoPosition)
        fields.veltoAlias = kNoSubscriber;
    else
        step([&] {
            reader.subscribers.MoveTo(position);
            fields.veltoAlias = reader.subscribers.FieldText(reader.uid, reader.uidScratch);
        });
    step([&] {
        reader.mappings.Field(reader.primary, reader.primaryValue);
        fields.primary = PrimaryFlag(reader.primaryValue);
    });
}

// The rest of a row the view options keep: its account bytes and its key.
void ReadKept(StepRunner& step, Reader& reader, MappingModel::Fields& fields)
{
    step([&] {
        reader.mappings.Field(reader.sid, reader.sidValue);
        fields.sid = std::get_if<std::vector<unsigned char>>(&reader.sidValue);
    });
    step([&] { fields.key = reader.mappings.FieldText(reader.key, reader.keyScratch); });
}

// Reads the rows of one chunk into the model, from its first row on; false when the set
// cannot say where it stands or cannot move on, which ends the load.
bool ReadChunk(StepRunner& step, Reader& reader, const SubscriberRows& found, bool showPrimary, MappingModel& model)
{
    for (size_t row = 0; row < found.ids.size(); ++row) {
        bool atEnd = true;
        if (!step([&] { atEnd = reader.mappings.IsEOF(); }) || atEnd)
            return false;

        // The subscriber rows come in no order: their memory is asked for some rows ahead.
        constexpr size_t kAhead = 8;
        if (row + 2 * kAhead < found.positions.size())
            reader.subscribers.PrefetchCell(found.positions[row + 2 * kAhead], reader.uid);
        if (row + kAhead < found.positions.size())
            reader.subscribers.PrefetchText(found.positions[row + kAhead], reader.uid);

        MappingModel::Fields fields;
        ReadRow(step, reader, found, row, fields);
        if (showPrimary || !fields.primary) {
            ReadKept(step, reader, fields);
            step([&] { model.Add(fields); });
        }
        if (!step([&] { reader.mappings.MoveNext(); }))
            return false;
    }
    return true;
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
    Reader reader{mappings, subscribers};
    FindColumns(step, reader, source);
    SubscriberRows found;
    for (size_t first = 0; !found.ended; first += found.ids.size()) {
        FindSubscribers(step, reader, found);
        if (found.ids.empty() || !step([&] { mappings.MoveTo(first); }) ||
            !ReadChunk(step, reader, found, settings.showPrimary, model))
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
