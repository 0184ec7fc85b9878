// Removing many mappings and putting them back, on real databases of both product layouts
// and on a table built the way users build one (plain TEXT and BLOB columns, an identity).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>

#include "TempFolder.h"
#include "TestDb.h"
#include "TestFiles.h"
#include "VeltoCredentialsMapResCONST.h"
#include "localize/modLocalize.h"
#include "mapping/BulkRemoval.h"
#include "mapping/MappingRestore.h"
#include "mapping/MappingSql.h"
#include "mapping/Odbc.h"
#include "mapping/RestoreArchive.h"
#include "platform/Error.h"
#include "platform/Logging.h"
#include "platform/TextConv.h"

namespace vcm {
namespace {

using test::Quote;
using test::SidBytes;

struct Layout {
    int major;
    std::wstring table, subscriberColumn, sidColumn;
};
const Layout kLayouts[] = {
    {3, L"SIDHistory", L"ParentObjectID", L"SID"},
    {4, L"Credential", L"SubscriberObjectID", L"Credentials"},
};

const wchar_t kSidA[] = L"S-1-5-21-0-0-0-4001";
const wchar_t kSidB[] = L"S-1-5-21-0-0-0-4002";

std::wstring Mapping(const Layout& layout, const std::wstring& subscriber, const std::wstring& sid,
                     const std::wstring& primary, const std::wstring& key)
{
    return L"INSERT INTO " + layout.table + L" (" + layout.subscriberColumn + L", " + layout.sidColumn +
           L", IsPrimary, msrepl_tran_version) VALUES (" + Quote(subscriber) + L", " + test::SidLiteral(sid) + L", " +
           primary + L", " + Quote(test::Key(key)) + L")";
}

std::wstring CreateDb(const Layout& layout)
{
    return test::CreateVeltoDb(L"bulk.db", {
        L"INSERT INTO Subscriber VALUES ('OBJ-1', 'jdoe', 'jdoe', 'John Doe')",
        L"INSERT INTO Subscriber VALUES ('OBJ-2', 'asmith', 'annas', 'Anna Smith')",
        L"INSERT INTO Subscriber VALUES ('OBJ-DUP', 'd1', 'first', 'One')",
        L"INSERT INTO Subscriber VALUES ('OBJ-DUP', 'd2', 'second', 'Two')",
        Mapping(layout, L"OBJ-1", kSidA, L"1", L"K1"),
        Mapping(layout, L"OBJ-1", kSidB, L"0", L"K2"),   // another SID since the load
        Mapping(layout, L"OBJ-2", kSidA, L"0", L"K3"),   // another subscriber since the load
        Mapping(layout, L"OBJ-1", kSidA, L"0", L"K5"),
        Mapping(layout, L"OBJ-1", kSidA, L"0", L"K5"),   // key held twice
        Mapping(layout, L"OBJ-NONE", kSidA, L"0", L"K6"),
        Mapping(layout, L"OBJ-DUP", kSidA, L"0", L"K7"),
        Mapping(layout, L"OBJ-2", kSidB, L"NULL", L"K'8"),
    });
}

RemovalCandidate Candidate(const std::wstring& key, const wchar_t* sid, const std::wstring& subscriber)
{
    return {key, SidBytes(sid), subscriber, sid, L"alias of " + key};
}

// A candidate of the product's tables, whose key column holds GUIDs under the SQL Server
// personality (see test::Key); the alias keeps the label.
RemovalCandidate Keyed(const std::wstring& label, const wchar_t* sid, const std::wstring& subscriber)
{
    RemovalCandidate candidate = Candidate(label, sid, subscriber);
    candidate.key = test::Key(label);
    return candidate;
}

// What the load saw: every row as it stood, except where the table changed since.
const std::vector<RemovalCandidate>& Candidates()
{
    static const std::vector<RemovalCandidate> candidates = {
        Keyed(L"K1", kSidA, L"OBJ-1"),
        Keyed(L"K2", kSidA, L"OBJ-1"),
        Keyed(L"K3", kSidA, L"OBJ-1"),
        Keyed(L"K4", kSidA, L"OBJ-1"),  // removed since the load
        Keyed(L"K5", kSidA, L"OBJ-1"),
        Keyed(L"K6", kSidA, L"OBJ-NONE"),
        Keyed(L"K7", kSidA, L"OBJ-DUP"),
        Keyed(L"K'8", kSidB, L"OBJ-2"),
    };
    return candidates;
}

std::vector<test::TextRow> Rows(const std::wstring& db, const std::wstring& table, const std::wstring& columns = L"*")
{
    return test::QueryRows(db, L"SELECT " + columns + L" FROM " + table + L" ORDER BY msrepl_tran_version, rowid");
}

size_t LineCount(const std::string& text) { return static_cast<size_t>(std::count(text.begin(), text.end(), '\n')); }

// Every value with its storage class, so that "the same" means byte for byte.
std::vector<test::TextRow> Exact(const std::wstring& db, const Layout& layout)
{
    return Rows(db, layout.table,
                L"*, typeof(IsPrimary), typeof(msrepl_tran_version), hex(" + layout.sidColumn + L")");
}

class BulkRemoval : public testing::Test {
protected:
    void SetUp() override { OpenLog(kLog, false); }
    void TearDown() override { CloseLog(); }

    BulkRemovalContext Context(const std::wstring& db, int major) const
    {
        BulkRemovalContext context;
        context.connection = db;
        context.major = major;
        context.restoreFile = File();
        context.removedBy = L"VM\\root";
        return context;
    }
    RestoreContext RestoreIn(const std::wstring& db, int major) const
    {
        RestoreContext context;
        context.connection = db;
        context.major = major;
        context.restoreFile = File();
        return context;
    }
    std::wstring File() const { return m_folder.Path() + L"\\" + m_name; }
    std::vector<RestoreRecord> Removed() const
    {
        std::vector<RestoreRecord> records;
        for (const ListedRecord& listed : ReadRestoreFile(File()).records)
            if (listed.state == RecordState::Removed)
                records.push_back(listed.record);
        return records;
    }

    const std::wstring kLog = L"CredentialsLog.txt";
    test::TempFolder m_folder{L"bulk"};
    std::wstring m_name = kRestoreFileName;
};

TEST_F(BulkRemoval, RemovesWhatStillMatchesSkipsTheRestAndRestoresByteForByte)
{
    const std::pair<size_t, int> kSkipped[] = {
        {1, IDS_SKIP_CHANGED},  {2, IDS_SKIP_CHANGED},         {3, IDS_SKIP_KEY_NONE},
        {4, IDS_SKIP_KEY_MANY}, {5, IDS_SKIP_SUBSCRIBER_NONE}, {6, IDS_SKIP_SUBSCRIBER_MANY},
    };
    for (const Layout& layout : kLayouts) {
        const std::string what = "version " + std::to_string(layout.major);
        m_name = L"removed" + std::to_wstring(layout.major) + L".txt";
        const std::wstring db = CreateDb(layout);
        const std::vector<test::TextRow> original = Exact(db, layout);
        std::vector<test::TextRow> expected = Rows(db, layout.table);
        // K1 and K'8 go.
        std::erase_if(expected, [](const test::TextRow& row) { return row[3] == test::Key(L"K1") || row[3] == test::Key(L"K'8"); });
        const size_t logLines = LineCount(test::FileBytes(kLog));
        std::vector<std::pair<size_t, size_t>> progress;
        BulkRemovalContext context = Context(db, layout.major);
        context.progress = [&](size_t done, size_t total) { progress.emplace_back(done, total); };

        const BulkRemovalResult result = RemoveMappings(Candidates(), context);

        EXPECT_EQ(result.removed, (std::vector<size_t>{0, 7})) << what;
        ASSERT_EQ(result.skipped.size(), std::size(kSkipped)) << what;
        for (size_t i = 0; i < std::size(kSkipped); ++i) {
            EXPECT_EQ(result.skipped[i].index, kSkipped[i].first) << what;
            EXPECT_EQ(result.skipped[i].reason, myLoadResString(kSkipped[i].second)) << what << " row " << i;
        }
        EXPECT_FALSE(result.stopped);
        EXPECT_EQ(Rows(db, layout.table), expected) << what;
        EXPECT_EQ(progress.size(), Candidates().size());
        EXPECT_EQ(progress.back(), std::make_pair(Candidates().size(), Candidates().size()));
        // A few statements per row, never one per row of the table.
        EXPECT_LE(result.statements, 1 + 4 * Candidates().size()) << what;

        const std::vector<RestoreRecord> records = Removed();
        ASSERT_EQ(records.size(), 2u) << what;
        EXPECT_EQ(records[0].table, layout.table);
        EXPECT_EQ(records[0].account, kSidA);
        EXPECT_EQ(records[1].veltoAlias, L"alias of K'8");
        EXPECT_EQ(records[1].removedBy, L"VM\\root");
        const std::string log = test::FileBytes(kLog);
        EXPECT_EQ(LineCount(log), logLines + 2) << what;
        EXPECT_NE(log.find(": Deleted credential map for " + ToUtf8(kSidB) + "\r\n"), std::string::npos) << what;

        const std::vector<RestoreOutcome> restored = RestoreMappings(records, RestoreIn(db, layout.major));
        ASSERT_EQ(restored.size(), 2u);
        EXPECT_TRUE(restored[0].restored && restored[1].restored) << ToUtf8(restored[0].reason + restored[1].reason);
        EXPECT_EQ(Exact(db, layout), original) << what;
        EXPECT_TRUE(Removed().empty()) << what;  // both marked as restored
        // A second restore of the same records finds their keys and inserts nothing.
        const std::vector<RestoreOutcome> again = RestoreMappings(records, RestoreIn(db, layout.major));
        for (const RestoreOutcome& outcome : again) {
            EXPECT_FALSE(outcome.restored) << what;
            EXPECT_EQ(outcome.reason, myLoadResString(IDS_RESTORE_KEY_EXISTS)) << what;
        }
        EXPECT_EQ(Exact(db, layout), original) << what;
    }
}

TEST_F(BulkRemoval, StopEndsThePassAfterTheCurrentRow)
{
    const Layout& layout = kLayouts[1];
    const std::wstring db = CreateDb(layout);
    std::atomic<bool> stop{false};
    BulkRemovalContext context = Context(db, layout.major);
    context.stop = &stop;
    size_t calls = 0;
    context.progress = [&](size_t done, size_t) {
        ++calls;
        if (done == 2)
            stop = true;
    };
    const BulkRemovalResult result = RemoveMappings(Candidates(), context);
    EXPECT_TRUE(result.stopped);
    EXPECT_EQ(calls, 2u);
    EXPECT_EQ(result.removed, std::vector<size_t>{0});
    EXPECT_EQ(result.skipped.size(), 1u);
    // Records written ahead for rows the pass did not reach are not offered for restore.
    ASSERT_EQ(Removed().size(), 1u);
    EXPECT_EQ(Removed()[0].account, kSidA);
    EXPECT_EQ(test::CountRows(db, layout.table), 7);
}

// Between the read of a batch and a row's own delete, another process changes rows: each
// row is read again in its transaction, and one that is no longer the recorded row stays,
// its record marked as not removed.
TEST_F(BulkRemoval, RowChangedAfterTheBatchReadStays)
{
    const std::pair<std::wstring, int> kChanges[] = {
        {L"UPDATE {t} SET IsPrimary = 1 WHERE msrepl_tran_version = {k}", IDS_SKIP_CHANGED},
        {L"UPDATE {t} SET {s} = " + test::SidLiteral(kSidB) + L" WHERE msrepl_tran_version = {k}", IDS_SKIP_CHANGED},
        {L"INSERT INTO {t} SELECT * FROM {t} WHERE msrepl_tran_version = {k}", IDS_SKIP_KEY_MANY},
        {L"DELETE FROM {t} WHERE msrepl_tran_version = {k}", IDS_SKIP_CHANGED},
    };
    for (const Layout& layout : kLayouts) {
        const std::string what = "version " + std::to_string(layout.major);
        m_name = L"changed" + std::to_wstring(layout.major) + L".txt";
        std::vector<std::wstring> statements = {L"INSERT INTO Subscriber VALUES ('OBJ-1', 'jdoe', 'jdoe', 'John Doe')"};
        std::vector<RemovalCandidate> candidates;
        for (int i = 0; i < 6; ++i) {
            const std::wstring label = L"C" + std::to_wstring(i);
            statements.push_back(Mapping(layout, L"OBJ-1", kSidA, L"0", label));
            candidates.push_back(Keyed(label, kSidA, L"OBJ-1"));
        }
        const std::wstring db = test::CreateVeltoDb(L"changed.db", statements);
        BulkRemovalContext context = Context(db, layout.major);
        context.progress = [&](size_t done, size_t) {
            if (done != 1)
                return;
            for (size_t i = 0; i < std::size(kChanges); ++i) {
                std::wstring sql = kChanges[i].first;
                for (const auto& [mark, value] : {std::pair<std::wstring, std::wstring>{L"{t}", layout.table},
                                                  {L"{s}", layout.sidColumn},
                                                  {L"{k}", Quote(candidates[i + 1].key)}})
                    for (size_t at; (at = sql.find(mark)) != std::wstring::npos;)
                        sql.replace(at, mark.size(), value);
                test::Execute(db, {sql});
            }
        };

        const BulkRemovalResult result = RemoveMappings(candidates, context);

        EXPECT_EQ(result.removed, (std::vector<size_t>{0, 5})) << what;
        ASSERT_EQ(result.skipped.size(), std::size(kChanges)) << what;
        for (size_t i = 0; i < std::size(kChanges); ++i)
            EXPECT_EQ(result.skipped[i].reason, myLoadResString(kChanges[i].second)) << what << " change " << i;
        // The changed rows and both copies of the doubled one are still there.
        EXPECT_EQ(test::CountRows(db, layout.table), 4) << what;
        size_t notRemoved = 0;
        for (const ListedRecord& listed : ReadRestoreFile(File()).records)
            notRemoved += listed.state == RecordState::NotRemoved;
        EXPECT_EQ(notRemoved, std::size(kChanges)) << what;
        const std::vector<RestoreRecord> records = Removed();
        ASSERT_EQ(records.size(), 2u) << what;
        EXPECT_EQ(records[1].veltoAlias, L"alias of C5") << what;
    }
}

// More candidates than one batch reads: each batch is decided on its own rows.
TEST_F(BulkRemoval, CandidatesBeyondOneBatch)
{
    const Layout& layout = kLayouts[1];
    const size_t count = MappingStatements::kKeysPerStatement + 2;
    std::vector<std::wstring> statements = {L"INSERT INTO Subscriber VALUES ('OBJ-1', 'jdoe', 'jdoe', 'John Doe')"};
    std::vector<RemovalCandidate> candidates;
    for (size_t i = 0; i < count; ++i) {
        const std::wstring label = L"B" + std::to_wstring(i);
        statements.push_back(Mapping(layout, L"OBJ-1", kSidA, L"0", label));
        // The first of the second batch changed before the pass began.
        candidates.push_back(Keyed(label, i == MappingStatements::kKeysPerStatement ? kSidB : kSidA, L"OBJ-1"));
    }
    const std::wstring db = test::CreateVeltoDb(L"batches.db", statements);

    const BulkRemovalResult result = RemoveMappings(candidates, Context(db, layout.major));

    EXPECT_EQ(result.removed.size(), count - 1);
    ASSERT_EQ(result.skipped.size(), 1u);
    EXPECT_EQ(result.skipped[0].index, MappingStatements::kKeysPerStatement);
    EXPECT_EQ(result.skipped[0].reason, myLoadResString(IDS_SKIP_CHANGED));
    const auto left = Rows(db, layout.table, L"msrepl_tran_version");
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0][0], std::optional<std::wstring>(candidates[MappingStatements::kKeysPerStatement].key));
    EXPECT_EQ(Removed().size(), count - 1);
    EXPECT_LE(result.statements, 1 + 2 * 2 + 3 * count);
}

TEST_F(BulkRemoval, NothingIsDeletedWithoutItsRestoreRecord)
{
    const Layout& layout = kLayouts[1];
    const std::wstring db = CreateDb(layout);
    const auto before = Exact(db, layout);
    BulkRemovalContext context = Context(db, layout.major);
    context.restoreFile = m_folder.Path() + L"\\no such folder\\" + kRestoreFileName;
    EXPECT_THROW(RemoveMappings(Candidates(), context), Error);
    EXPECT_EQ(Exact(db, layout), before);
}

// Records that do not fit the table the server has now are refused, and nothing is inserted.
TEST_F(BulkRemoval, RestoreRefusesRecordsOfAnotherTableOrLayout)
{
    const Layout& layout = kLayouts[1];
    const std::wstring db = CreateDb(layout);
    const std::wstring v3db = L"bulk3.db";
    {
        const std::wstring other = test::CreateVeltoDb(v3db, {L"INSERT INTO Subscriber VALUES ('OBJ-1', 'u', 'a', 'd')", Mapping(kLayouts[0], L"OBJ-1", kSidA, L"1", L"N1")});
        RemoveMappings({Keyed(L"N1", kSidA, L"OBJ-1")}, Context(other, 3));
        test::Execute(db, {L"DELETE FROM Credential WHERE msrepl_tran_version = " + Quote(test::Key(L"K1"))});
    }
    ASSERT_EQ(Removed().size(), 1u);
    RestoreRecord v3 = Removed()[0];
    RestoreRecord good = v3;
    good.table = L"Credential";
    good.columns = {{L"SubscriberObjectID", SQL_WVARCHAR, std::wstring(L"OBJ-1")},
                    {L"Credentials", SQL_VARBINARY, SidBytes(kSidA)},
                    {L"IsPrimary", SQL_BIT, true},
                    {L"msrepl_tran_version", SQL_WVARCHAR, test::Key(L"K1")}};
    RestoreRecord extra = good;
    extra.columns.push_back({L"Comment", SQL_WVARCHAR, std::wstring(L"added later")});
    RestoreRecord missing = good;
    missing.columns.erase(missing.columns.begin() + 2);
    const auto before = Exact(db, layout);
    const std::vector<RestoreOutcome> outcomes = RestoreMappings({v3, extra, missing}, RestoreIn(db, 4));
    ASSERT_EQ(outcomes.size(), 3u);
    EXPECT_EQ(outcomes[0].reason, myLoadResString(IDS_RESTORE_OTHER_TABLE) + L"SIDHistory (3)");
    EXPECT_EQ(outcomes[1].reason, myLoadResString(IDS_RESTORE_OTHER_LAYOUT) + L"Comment");
    EXPECT_EQ(outcomes[2].reason, myLoadResString(IDS_RESTORE_OTHER_LAYOUT) + L"IsPrimary");
    EXPECT_EQ(Exact(db, layout), before);
    EXPECT_TRUE(RestoreMappings({good}, RestoreIn(db, 4))[0].restored);
}

// A table built with plain SQLite types: a TEXT key (long text to the SQL Server driver, which
// cannot compare it with '='), BLOB SIDs, and an identity the server numbers itself.
TEST_F(BulkRemoval, UserBuiltTableWithIdentityAndTextKey)
{
    const Layout layout = {4, L"Credential", L"SubscriberObjectID", L"Credentials"};
    const std::wstring db = test::CreateTestDb(L"plain.db", {
        L"CREATE TABLE Subscriber (SubscriberObjectID TEXT, UID TEXT, Alias TEXT, DisplayName TEXT)",
        L"CREATE TABLE Credential (Id INTEGER PRIMARY KEY AUTOINCREMENT, SubscriberObjectID TEXT, "
        L"Credentials BLOB, IsPrimary INTEGER, msrepl_tran_version TEXT)",
        L"INSERT INTO Subscriber VALUES ('OBJ-1', 'jdoe', 'jdoe', 'John Doe')",
        L"INSERT INTO Credential (SubscriberObjectID, Credentials, IsPrimary, msrepl_tran_version) VALUES ('OBJ-1', " +
            test::SidLiteral(kSidA) + L", 1, 'T1')",
        L"INSERT INTO Credential (SubscriberObjectID, Credentials, IsPrimary, msrepl_tran_version) VALUES ('OBJ-1', " +
            test::SidLiteral(kSidB) + L", NULL, 'T2')",
    });
    const std::wstring columns = L"SubscriberObjectID, hex(Credentials), IsPrimary, typeof(IsPrimary), msrepl_tran_version";
    const auto before = Rows(db, L"Credential", columns);
    const BulkRemovalResult result =
        RemoveMappings({Candidate(L"T1", kSidA, L"OBJ-1"), Candidate(L"T2", kSidB, L"OBJ-1")}, Context(db, 4));
    ASSERT_EQ(result.removed.size(), 2u) << (result.skipped.empty() ? "" : ToUtf8(result.skipped[0].reason));
    EXPECT_EQ(test::CountRows(db, L"Credential"), 0);
    const std::vector<RestoreOutcome> outcomes = RestoreMappings(Removed(), RestoreIn(db, 4));
    for (const RestoreOutcome& outcome : outcomes)
        EXPECT_TRUE(outcome.restored) << ToUtf8(outcome.reason);
    EXPECT_EQ(Rows(db, L"Credential", columns), before);
    // The identity was left to the server: the rows are numbered anew.
    const auto ids = Rows(db, L"Credential", L"Id");
    ASSERT_EQ(ids.size(), 2u);
    EXPECT_EQ(ids[0][0], std::optional<std::wstring>(L"3"));
    (void)layout;
}

}  // namespace
}  // namespace vcm
