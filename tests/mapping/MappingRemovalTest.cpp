// Removing the selected mapping from real databases of both product layouts, with a real
// activity log and a scripted administrator.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>

#include "GridFiles.h"
#include "OdbcHandleCount.h"
#include "ScriptedDialogs.h"
#include "TestDb.h"
#include "mapping/MappingLoader.h"
#include "mapping/MappingRemoval.h"
#include "mapping/OdbcConnection.h"
#include "mapping/RestoreArchive.h"
#include "platform/Logging.h"
#include "platform/ProgramInfo.h"
#include "platform/TextConv.h"

namespace vcm {
namespace {

using test::Quote;

// Where a product version keeps its mappings.
struct Layout {
    short major;
    std::wstring table, subscriberColumn, sidColumn;
};
const Layout kLayouts[] = {
    {3, L"SIDHistory", L"ParentObjectID", L"SID"},
    {4, L"Credential", L"SubscriberObjectID", L"Credentials"},
};

// The administrator: answers as scripted, and may let something else happen to the
// database while the confirmation is on screen.
class Administrator final : public IDialogs {
public:
    int Message(const std::wstring& text, const std::wstring& title, UINT type) override
    {
        if ((type & MB_TYPEMASK) == MB_YESNO && whileAsked)
            whileAsked();
        return script.Message(text, title, type);
    }
    std::optional<std::wstring> SaveFile(const SaveFileRequest& request) override { return script.SaveFile(request); }

    test::ScriptedDialogs script;
    std::function<void()> whileAsked;
};

using test::Key;

// Grid rows 1..8 and the database rows behind them. Keys are GUIDs under the SQL Server
// personality; plain SQLite keeps the odd ones.
const std::vector<MappingRow>& Grid()
{
    static const std::vector<MappingRow> rows = {
        {L"SALES", L"jdoe", false, L"jdoe", Key(L"K1")},
        {L"  SALES ", L" asmith  ", true, L"annas", Key(L" K2")},  // blanks around everything; the key's are its own
        {L"HR", L"o'brien", false, L"o.brien", Key(L"K'3")},       // quotes in the key and the subscriber id
        {L"HR", L"ghost", false, L"ERROR!", Key(L"K4")},           // subscriber missing
        {L"HR", L"dup", false, L"first", Key(L"K5")},              // subscriber id held twice
        {L"SALES", L"twice", false, L"jdoe", Key(L"K6")},          // key held twice
        {L"SALES", L"gone", false, L"jdoe", Key(L"K7")},           // removed since the last load
        {L"SALES", L"sly", false, L"jdoe", L"x' OR 'a'='a"},       // a key that would widen a spliced criterion
    };
    return rows;
}

// The subscriber ids the load read for grid rows 1..8.
const std::vector<std::wstring> kLoadedSubscribers = {L"OBJ-1",   L"OBJ-2", L"O'Brien", L"OBJ-NONE",
                                                      L"OBJ-DUP", L"OBJ-1", L"OBJ-1",   L"OBJ-1"};

// The SID of grid row `row` (1..), as GridOf gives the model.
std::wstring SidOfRow(int row) { return test::SidLiteral(L"S-1-5-21-7-7-7-" + std::to_wstring(999 + row)); }

std::wstring CreateDb(const Layout& layout, const std::vector<std::wstring>& more = {})
{
    int row = 0;
    const auto mapping = [&](const std::wstring& subscriber, const std::wstring& key) {
        row += key == Key(L"K6") && row == 6 ? 0 : 1;  // K6 is held twice, both by grid row 6
        return L"INSERT INTO " + layout.table + L" (" + layout.subscriberColumn + L", " + layout.sidColumn +
               L", IsPrimary, msrepl_tran_version) VALUES (" + Quote(subscriber) + L", " + SidOfRow(row) + L", 0, " +
               Quote(key) + L")";
    };
    std::vector<std::wstring> statements = {
        L"INSERT INTO Subscriber VALUES ('OBJ-1', 'jdoe', 'jdoe', 'John Doe')",
        L"INSERT INTO Subscriber VALUES ('OBJ-2', 'asmith', 'annas', 'Anna Smith')",
        L"INSERT INTO Subscriber VALUES ('O''Brien', 'obrien', 'o.brien', 'Olaf')",
        L"INSERT INTO Subscriber VALUES ('OBJ-DUP', 'd1', 'first', 'One')",
        L"INSERT INTO Subscriber VALUES ('OBJ-DUP', 'd2', 'second', 'Two')",
        mapping(L"OBJ-1", Key(L"K1")),
        mapping(L"OBJ-2", Key(L" K2")),
        mapping(L"O'Brien", Key(L"K'3")),
        mapping(L"OBJ-NONE", Key(L"K4")),
        mapping(L"OBJ-DUP", Key(L"K5")),
        mapping(L"OBJ-1", Key(L"K6")),
        mapping(L"OBJ-1", Key(L"K6")),
    };
    statements.insert(statements.end(), more.begin(), more.end());
    return test::CreateVeltoDb(L"removal.db", statements);
}

std::vector<test::TextRow> Mappings(const std::wstring& db, const Layout& layout)
{
    return test::QueryRows(db, L"SELECT * FROM " + layout.table + L" ORDER BY rowid");
}

// A message as the administrator must see it; `trap` stands for any unexpected-error report.
struct Shown {
    std::wstring text;
    UINT type = MB_OK;
    std::wstring title = kAppTitle;
    bool trap = false;
};
const Shown kTrap = {L"", MB_OK, kAppTitle, true};
const std::wstring kChangedSinceLoad =
    L"This mapping changed in the database since the grid was loaded; reload the grid to see it. Nothing was removed.";

Shown Question(const std::wstring& account, const std::wstring& veltoAlias)
{
    return {L"This action will remove the mapping of the AD account: " + account +
                L" to the local Velto account with the alias=" + veltoAlias +
                L".  This means that AD account will not have access to the Velto SA or AA any longer. "
                L"Are you sure you want to do this?",
            MB_YESNO | MB_DEFBUTTON1, L"Confirm deletion of credential mapping"};
}

void ExpectShown(const std::vector<test::ShownMessage>& actual, const std::vector<Shown>& expected,
                 const std::string& what)
{
    ASSERT_EQ(actual.size(), expected.size()) << what;
    for (size_t i = 0; i < expected.size(); ++i) {
        const std::wstring& text = actual[i].text;
        if (expected[i].trap) {
            EXPECT_TRUE(text.starts_with(L"(error):") &&
                        text.ends_with(L") in procedure mnuRemoveMapping_Click of Form frmMain"))
                << what << ": " << ToUtf8(text);
        } else {
            EXPECT_EQ(text, expected[i].text) << what;
        }
        EXPECT_EQ(actual[i].type, expected[i].type) << what;
        EXPECT_EQ(actual[i].title, expected[i].title) << what;
    }
}

// Shortens the statement time-out for one test and gives the usual one back however it ends.
class StatementTimeoutScope {
public:
    explicit StatementTimeoutScope(unsigned seconds) { SetStatementTimeout(seconds); }
    ~StatementTimeoutScope() { SetStatementTimeout(kStatementTimeoutSeconds); }
    StatementTimeoutScope(const StatementTimeoutScope&) = delete;
    StatementTimeoutScope& operator=(const StatementTimeoutScope&) = delete;
};

// Under the SQL Server personality: every connection asked for the 15 s login time-out and
// every statement for the 30 s statement time-out, and there was at least one of each.
void ExpectUsualTimeouts(const std::wstring& file, const std::string& what)
{
    const std::vector<std::string> record = test::TakeTimeoutRecord(file);
    if (!test::SqlServerPersonality())
        return;
    const auto count = [&](const std::string& line) { return std::count(record.begin(), record.end(), line); };
    EXPECT_GT(count("login-timeout 15"), 0) << what;
    EXPECT_GT(count("query-timeout 30"), 0) << what;
    EXPECT_EQ(count("login-timeout 15") + count("query-timeout 30"), static_cast<long>(record.size()))
        << what << ": another time-out was asked for";
}

class Removal : public testing::Test {
protected:
    void SetUp() override { OpenLog(kLog, false); }
    void TearDown() override { CloseLog(); }

    const std::wstring kLog = L"CredentialsLog.txt";
};

TEST_F(Removal, EndsWithItsMessageAndChangesNothing)
{
    const struct {
        const char* what;
        int row;
        std::vector<Shown> shown;
        bool emptyDatabase = false;
        std::wstring changeAfterLoad;  // %T% stands for the mapping table, %S% for its subscriber column, %I% for its SID column
    } cases[] = {
        {"nothing selected", 0, {{L"You must first select a row to remove"}}},
        {"key gone", 7, {{L"Error!  No matches found in credentials table for msrepl_tran_version=" + Key(L"K7")}}},
        {"quoted key matches nothing", 8,
         {{L"Error!  No matches found in credentials table for msrepl_tran_version=x' OR 'a'='a"}}},
        {"key held twice", 6,
         {{L"Error! More than one match found in credentials table for msrepl_tran_version=" + Key(L"K6")}}},
        {"no subscriber", 4, {{L"Error!  No matches found for subscriber with ObjectID='OBJ-NONE"}}},
        {"two subscribers", 5, {{L"Error!  More than one match found for subscriber with ObjectId='OBJ-DUP"}}},
        {"answer No", 2, {Question(L"SALES\\asmith", L"annas")}},
        // Open, filter and count each report their failure; the removal then ends as for no match.
        {"tables missing", 1,
         {kTrap, kTrap, kTrap, {L"Error!  No matches found in credentials table for msrepl_tran_version=" + Key(L"K1")}},
         true},
        // The row under the selected key is no longer the one the grid shows: refused before
        // the question, so that Yes cannot delete another account's mapping.
        {"another SID under the key", 1, {{kChangedSinceLoad}}, false,
         L"UPDATE %T% SET %I% = " + SidOfRow(2) + L" WHERE msrepl_tran_version = " + Quote(Key(L"K1"))},
        {"another subscriber under the key", 1, {{kChangedSinceLoad}}, false,
         L"UPDATE %T% SET %S% = 'OBJ-2' WHERE msrepl_tran_version = " + Quote(Key(L"K1"))},
        {"SID made Null", 2, {{kChangedSinceLoad}}, false,
         L"UPDATE %T% SET %I% = NULL WHERE msrepl_tran_version = " + Quote(Key(L" K2"))},
    };
    for (const Layout& layout : kLayouts) {
        for (const auto& c : cases) {
            const std::string what = std::string(c.what) + ", version " + std::to_string(layout.major);
            const std::wstring db =
                c.emptyDatabase ? test::CreateTestDb(L"removal.db", {}) : CreateDb(layout);
            if (!c.changeAfterLoad.empty()) {
                std::wstring sql = c.changeAfterLoad;
                for (const auto& [mark, name] : {std::pair{L"%T%", layout.table}, {L"%S%", layout.subscriberColumn},
                                                 {L"%I%", layout.sidColumn}})
                    for (size_t at; (at = sql.find(mark)) != std::wstring::npos;)
                        sql.replace(at, 3, name);
                test::Execute(db, {sql});
            }
            const auto rowsBefore = c.emptyDatabase ? std::vector<test::TextRow>{} : Mappings(db, layout);
            GridModel grid = test::GridOf(Grid(), kLoadedSubscribers);
            grid.SetRow(c.row);
            const auto gridBefore = test::Snapshot(grid);
            const std::string logBefore = test::FileBytes(kLog);

            Administrator person;
            RemoveSelectedMapping(grid, {db, layout.major, person});

            ExpectShown(person.script.messages, c.shown, what);
            if (!c.emptyDatabase) {
                EXPECT_EQ(Mappings(db, layout), rowsBefore) << what;
            }
            EXPECT_EQ(test::Snapshot(grid), gridBefore) << what;
            EXPECT_EQ(grid.Row(), c.row) << what;
            EXPECT_EQ(test::FileBytes(kLog), logBefore) << what;
        }
    }
}

TEST_F(Removal, YesDeletesExactlyThatMappingAndRecordsIt)
{
    const struct {
        const char* what;
        int row;
        std::wstring account, veltoAlias;
    } cases[] = {
        {"plain", 1, L"SALES\\jdoe", L"jdoe"},
        {"blanks trimmed for people, not in the key", 2, L"SALES\\asmith", L"annas"},
        {"quotes in key and subscriber id", 3, L"HR\\o'brien", L"o.brien"},
    };
    for (const Layout& layout : kLayouts) {
        for (const auto& c : cases) {
            const std::string what = std::string(c.what) + ", version " + std::to_string(layout.major);
            const std::wstring db = CreateDb(layout);
            auto rowsAfter = Mappings(db, layout);
            rowsAfter.erase(rowsAfter.begin() + (c.row - 1));  // database rows follow grid rows 1..6
            GridModel grid = test::GridOf(Grid(), kLoadedSubscribers);
            grid.SetRow(c.row);
            auto gridAfter = test::Snapshot(grid);
            gridAfter.erase(gridAfter.begin() + c.row);
            const std::string logBefore = test::FileBytes(kLog);

            Administrator person;
            person.script.Answer(IDYES);
            const std::wstring before = GeneralDateNow();
            RemoveSelectedMapping(grid, {db, layout.major, person});
            const std::wstring after = GeneralDateNow();

            ExpectShown(person.script.messages, {Question(c.account, c.veltoAlias), {L"Credential map deleted"}},
                        what);
            EXPECT_EQ(Mappings(db, layout), rowsAfter) << what;
            EXPECT_EQ(test::Snapshot(grid), gridAfter) << what;
            const std::string log = test::FileBytes(kLog);
            ASSERT_TRUE(log.starts_with(logBefore)) << what;
            const std::wstring added = FromAnsi(log.substr(logBefore.size()));
            const std::wstring entry = L": Deleted credential map for " + c.account + L"\r\n";
            EXPECT_TRUE(added == before + entry || added == after + entry) << what << ": " << ToUtf8(added);
        }
    }
}

TEST_F(Removal, DeleteTheDatabaseRefusesChangesNothingElse)
{
    const struct {
        const char* what;
        std::vector<std::wstring> more;  // extra statements, %T% standing for the mapping table
        std::wstring whileAsked;         // run by someone else while the question is on screen
        long long keyRowsAfter;
    } cases[] = {
        {"trigger raises", {L"CREATE TRIGGER Locked BEFORE DELETE ON %T% BEGIN SELECT RAISE(ABORT, 'locked'); END"},
         L"", 1},
        {"deleted meanwhile", {}, L"DELETE FROM %T% WHERE msrepl_tran_version = " + Quote(Key(L"K1")), 0},
        // The delete would now hit two rows, so it must take neither.
        {"duplicated meanwhile", {}, L"INSERT INTO %T% SELECT * FROM %T% WHERE msrepl_tran_version = " + Quote(Key(L"K1")),
         2},
    };
    const auto withTable = [](std::wstring sql, const std::wstring& table) {
        for (size_t at; (at = sql.find(L"%T%")) != std::wstring::npos;)
            sql.replace(at, 3, table);
        return sql;
    };
    for (const Layout& layout : kLayouts) {
        for (const auto& c : cases) {
            const std::string what = std::string(c.what) + ", version " + std::to_string(layout.major);
            std::vector<std::wstring> more;
            for (const std::wstring& sql : c.more)
                more.push_back(withTable(sql, layout.table));
            const std::wstring db = CreateDb(layout, more);
            const std::wstring others = L"SELECT * FROM " + layout.table + L" WHERE msrepl_tran_version <> " + Quote(Key(L"K1"));
            const auto othersBefore = test::QueryRows(db, others);
            GridModel grid = test::GridOf(Grid(), kLoadedSubscribers);
            grid.SetRow(1);
            const auto gridBefore = test::Snapshot(grid);
            const std::string logBefore = test::FileBytes(kLog);

            Administrator person;
            person.script.Answer(IDYES);
            if (!c.whileAsked.empty())
                person.whileAsked = [&] { test::Execute(db, {withTable(c.whileAsked, layout.table)}); };
            RemoveSelectedMapping(grid, {db, layout.major, person});

            ExpectShown(person.script.messages, {Question(L"SALES\\jdoe", L"jdoe"), kTrap}, what);
            EXPECT_EQ(test::QueryRows(db, L"SELECT COUNT(*) FROM " + layout.table +
                                              L" WHERE msrepl_tran_version = " + Quote(Key(L"K1")))[0][0],
                      std::to_wstring(c.keyRowsAfter))
                << what;
            EXPECT_EQ(test::QueryRows(db, others), othersBefore) << what;
            EXPECT_EQ(test::Snapshot(grid), gridBefore) << what;
            EXPECT_EQ(test::FileBytes(kLog), logBefore) << what;
        }
    }
}

// Mappings as a server holds them, the grid filled by the loader as the administrator sees
// it: GUID keys stored in lower case, a subscriber id in another letter case than the
// subscriber's own, the SID of a deleted account, and a table variant with an ntext column.
TEST_F(Removal, RemovesTheRowTheLoaderShowed)
{
    const std::wstring deletedAccount = L"S-1-5-21-1004336348-1177238915-682003330-4242";
    const struct {
        const char* what;
        std::wstring key;      // the mapping to remove
        std::wstring account;  // as the question and the log name it; empty: the grid's domain\alias
        std::wstring veltoAlias;
        bool notes;            // the mapping table has an ntext column
    } cases[] = {
        {"live account, id in other case", L"6f9619ff-8b86-d011-b42d-00c04fc964ff", L"", L"kcase", false},
        {"deleted account named by its SID", L"6f9619ff-8b86-d011-b42d-00c04fc96500", deletedAccount, L"gone", false},
        {"ntext column, live account", L"6f9619ff-8b86-d011-b42d-00c04fc964ff", L"", L"kcase", true},
        {"ntext column, deleted account", L"6f9619ff-8b86-d011-b42d-00c04fc96500", deletedAccount, L"gone", true},
        {"bytes that hold no SID named by their hex", L"6f9619ff-8b86-d011-b42d-00c04fc96502", L"0x0105000000", L"gone",
         false},
    };
    for (const Layout& layout : kLayouts) {
        for (const auto& c : cases) {
            const std::string what = std::string(c.what) + ", version " + std::to_string(layout.major);
            const auto mapping = [&](const std::wstring& subscriber, const std::wstring& sid, const std::wstring& key) {
                return L"INSERT INTO " + layout.table + L" (" + layout.subscriberColumn + L", " + layout.sidColumn +
                       L", IsPrimary, msrepl_tran_version) VALUES (" + Quote(subscriber) + L", " +
                       (sid.starts_with(L"X'") ? sid : test::SidLiteral(sid)) + L", 0, " + Quote(key) + L")";
            };
            std::vector<std::wstring> statements = {
                L"INSERT INTO Subscriber VALUES ('OBJ-7', 'kcase', 'kcase', 'K Case')",
                L"INSERT INTO Subscriber VALUES ('OBJ-8', 'gone', 'gone', 'Gone')",
                mapping(L"obj-7", L"S-1-5-32-544", L"6f9619ff-8b86-d011-b42d-00c04fc964ff"),
                mapping(L"OBJ-8", deletedAccount, L"6f9619ff-8b86-d011-b42d-00c04fc96500"),
                mapping(L"OBJ-8", deletedAccount, L"6f9619ff-8b86-d011-b42d-00c04fc96501"),
                mapping(L"OBJ-8", L"X'0105000000'", L"6f9619ff-8b86-d011-b42d-00c04fc96502"),
            };
            if (c.notes) {
                statements.insert(statements.begin(), L"ALTER TABLE " + layout.table + L" ADD Notes NTEXT");
                statements.push_back(L"UPDATE " + layout.table + L" SET Notes = 'taken over from the old domain'");
            }
            const std::wstring db = test::CreateVeltoDb(L"loaded.db", statements);

            GridModel grid(MappingGridColumns());
            FillMappingGrid(grid, {db, layout.major, false, true});
            int row = 0;
            for (int r = 1; r < grid.Rows(); ++r)
                if (EqualsNoCase(grid.TextMatrix(r, grid.ColIndex(kKeySID)), c.key))
                    row = r;
            ASSERT_GT(row, 0) << what;
            ASSERT_EQ(grid.TextMatrix(row, grid.ColIndex(kKeyVeltoAlias)), c.veltoAlias) << what << ": loader";
            std::wstring account = c.account;
            if (account.empty()) {
                account = grid.TextMatrix(row, grid.ColIndex(kKeyADDomain)) + L"\\" +
                          grid.TextMatrix(row, grid.ColIndex(kKeyADAlias));
                ASSERT_NE(account, L"\\") << what << ": the live account resolves";
            }
            grid.SetRow(row);
            auto rowsAfter = Mappings(db, layout);
            std::erase_if(rowsAfter, [&](const test::TextRow& r) {
                return std::any_of(r.begin(), r.end(), [&](const auto& cell) { return cell && EqualsNoCase(*cell, c.key); });
            });
            const std::string logBefore = test::FileBytes(kLog);

            Administrator person;
            person.script.Answer(IDYES);
            RemoveSelectedMapping(grid, {db, layout.major, person});

            ExpectShown(person.script.messages, {Question(account, c.veltoAlias), {L"Credential map deleted"}}, what);
            EXPECT_EQ(Mappings(db, layout), rowsAfter) << what;
            const std::string log = test::FileBytes(kLog);
            ASSERT_TRUE(log.starts_with(logBefore)) << what;
            EXPECT_TRUE(FromAnsi(log.substr(logBefore.size())).ends_with(L": Deleted credential map for " + account + L"\r\n"))
                << what;
        }
    }
}

// Someone else holds a write lock on the mapping table while the question is on screen: the
// delete gives up at the statement time-out with the usual error report, and nothing changes.
TEST_F(Removal, LockedTableEndsAtTheStatementTimeOut)
{
    if (!test::SqlServerPersonality())
        GTEST_SKIP() << "SQLite's own driver ignores the statement time-out and waits its busy time-out instead";
    constexpr unsigned kSeconds = 2;
    const StatementTimeoutScope shortened(kSeconds);
    for (const Layout& layout : kLayouts) {
        const std::string what = "version " + std::to_string(layout.major);
        const std::wstring db = CreateDb(layout);
        const auto rowsBefore = Mappings(db, layout);
        GridModel grid = test::GridOf(Grid(), kLoadedSubscribers);
        grid.SetRow(1);
        const auto gridBefore = test::Snapshot(grid);
        const std::string logBefore = test::FileBytes(kLog);

        OdbcConnection locker;
        std::chrono::steady_clock::time_point answered;
        Administrator person;
        person.script.Answer(IDYES);
        person.whileAsked = [&] {
            locker = OdbcConnection(db);
            locker.Execute(L"BEGIN EXCLUSIVE");
            answered = std::chrono::steady_clock::now();
        };
        RemoveSelectedMapping(grid, {db, layout.major, person});
        const auto waited = std::chrono::steady_clock::now() - answered;
        locker.Execute(L"ROLLBACK");

        ExpectShown(person.script.messages, {Question(L"SALES\\jdoe", L"jdoe"), kTrap}, what);
        ASSERT_EQ(person.script.messages.size(), 2u) << what;
        EXPECT_NE(person.script.messages[1].text.find(L"HYT00"), std::wstring::npos) << what;
        // At least the time-out; how much longer a loaded machine takes does not matter, HYT00 says who ended it.
        EXPECT_GE(waited, std::chrono::seconds(kSeconds) - std::chrono::milliseconds(100)) << what;
        EXPECT_EQ(Mappings(db, layout), rowsBefore) << what;
        EXPECT_EQ(test::Snapshot(grid), gridBefore) << what;
        EXPECT_EQ(test::FileBytes(kLog), logBefore) << what;
    }
}

// Mapping tables built by hand, the way administrators and other tools build them: a key
// column that the driver reports as long text (SQLite's plain TEXT; SQL Server's ntext and
// text, which it cannot compare with '='), and under the personality an image SID column,
// which is never compared. The one row goes, its neighbour stays.
TEST_F(Removal, FindsItsRowWhateverTheKeyColumnType)
{
    const struct {
        const char* what;
        std::wstring keyType, sidType;
        bool serverOnly;
    } cases[] = {
        {"plain TEXT key, BLOB SID", L"TEXT", L"BLOB", false},
        {"ntext key, image SID", L"NTEXT", L"IMAGE", true},
        {"text key, varbinary SID", L"TEXT", L"VARBINARY(85)", true},
    };
    for (const Layout& layout : kLayouts) {
        for (const auto& c : cases) {
            if (c.serverOnly && !test::SqlServerPersonality())
                continue;
            const std::string what = std::string(c.what) + ", version " + std::to_string(layout.major);
            const auto mapping = [&](const std::wstring& key) {
                return L"INSERT INTO " + layout.table + L" VALUES ('OBJ-1', " +
                       SidOfRow(key == L"K1" ? 1 : 2) + L", 0, " + Quote(key) + L")";
            };
            const std::wstring db = test::CreateTestDb(L"handmade.db", {
                L"CREATE TABLE Subscriber (SubscriberObjectID TEXT, UID TEXT, Alias TEXT, DisplayName TEXT)",
                L"CREATE TABLE " + layout.table + L" (" + layout.subscriberColumn + L" TEXT, " + layout.sidColumn +
                    L" " + c.sidType + L", IsPrimary INTEGER, msrepl_tran_version " + c.keyType + L")",
                L"INSERT INTO Subscriber VALUES ('OBJ-1', 'jdoe', 'jdoe', 'John Doe')",
                mapping(L"K1"),
                mapping(L"K2"),
            });
            GridModel grid = test::GridOf({{L"SALES", L"jdoe", false, L"jdoe", L"K1"},
                                           {L"SALES", L"jdoe2", false, L"jdoe", L"K2"}},
                                          {L"OBJ-1", L"OBJ-1"});
            grid.SetRow(1);

            Administrator person;
            person.script.Answer(IDYES);
            RemoveSelectedMapping(grid, {db, layout.major, person});

            ExpectShown(person.script.messages, {Question(L"SALES\\jdoe", L"jdoe"), {L"Credential map deleted"}}, what);
            EXPECT_EQ(test::QueryRows(db, L"SELECT msrepl_tran_version FROM " + layout.table),
                      std::vector<test::TextRow>{{L"K2"}})
                << what;
            EXPECT_EQ(grid.Rows(), 2) << what;
        }
    }
}

// Every Yes first puts the whole row into the restore file, on disk; a delete that fails
// after that leaves the record marked as not removed, and a record that cannot be written
// deletes nothing.
TEST_F(Removal, RecordsTheRowInTheRestoreFileBeforeItGoes)
{
    const struct {
        const char* what;
        std::vector<std::wstring> more;  // %T% stands for the mapping table
        bool lockFile;
        std::vector<RecordState> states;  // of the records in the file afterwards
    } cases[] = {
        {"removed", {}, false, {RecordState::Removed}},
        {"delete refused after the record",
         {L"CREATE TRIGGER Locked BEFORE DELETE ON %T% BEGIN SELECT RAISE(ABORT, 'locked'); END"}, false,
         {RecordState::NotRemoved}},
        {"restore file cannot be written", {}, true, {}},
    };
    for (const Layout& layout : kLayouts) {
        for (const auto& c : cases) {
            const std::string what = std::string(c.what) + ", version " + std::to_string(layout.major);
            std::vector<std::wstring> more;
            for (std::wstring sql : c.more) {
                sql.replace(sql.find(L"%T%"), 3, layout.table);
                more.push_back(sql);
            }
            const std::wstring db = CreateDb(layout, more);
            const auto rowBefore = test::QueryRows(db, L"SELECT * FROM " + layout.table +
                                                           L" WHERE msrepl_tran_version = " + Quote(Key(L"K1")));
            DeleteFileW(RestoreFilePath().c_str());
            HANDLE lock = c.lockFile ? CreateFileW(RestoreFilePath().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                                   FILE_ATTRIBUTE_NORMAL, nullptr)
                                     : INVALID_HANDLE_VALUE;
            GridModel grid = test::GridOf(Grid(), kLoadedSubscribers);
            grid.SetRow(1);

            Administrator person;
            person.script.Answer(IDYES);
            RemoveSelectedMapping(grid, {db, layout.major, person});
            if (lock != INVALID_HANDLE_VALUE)
                CloseHandle(lock);

            const bool removed = c.states == std::vector<RecordState>{RecordState::Removed};
            ExpectShown(person.script.messages,
                        {Question(L"SALES\\jdoe", L"jdoe"), removed ? Shown{L"Credential map deleted"} : kTrap}, what);
            EXPECT_EQ(test::QueryRows(db, L"SELECT * FROM " + layout.table + L" WHERE msrepl_tran_version = " +
                                              Quote(Key(L"K1"))).size(),
                      removed ? 0u : 1u)
                << what;
            const ArchiveContents archive = ReadRestoreFile(RestoreFilePath());
            EXPECT_TRUE(archive.refused.empty()) << what;
            std::vector<RecordState> states;
            for (const ListedRecord& listed : archive.records) {
                states.push_back(listed.state);
                EXPECT_EQ(listed.record.account, L"SALES\\jdoe") << what;
                EXPECT_EQ(listed.record.table, layout.table) << what;
                ASSERT_EQ(listed.record.columns.size(), rowBefore.at(0).size()) << what;
            }
            EXPECT_EQ(states, c.states) << what;
        }
    }
    DeleteFileW(RestoreFilePath().c_str());
}

// Servers count differently. A trigger's count may come first (its statements touched 0 or 3
// rows, or 1 while the delete took two), and with NOCOUNT no count comes at all. The removal
// proves its one row by counting before and after, so only the rows decide. On plain SQLite
// the settings have no effect and every case meets the usual server.
TEST_F(Removal, ProvesItsOneRowWhateverTheServerCounts)
{
    const std::wstring duplicate = L"INSERT INTO %T% SELECT * FROM %T% WHERE msrepl_tran_version = " + Quote(Key(L"K1"));
    const struct {
        const char* what;
        std::vector<std::string> server;
        std::wstring whileAsked;  // run by someone else while the question is on screen
        long long keyRowsAfter;
    } cases[] = {
        {"usual server", {}, L"", 0},
        {"trigger touched no row", {"trigger-count 0"}, L"", 0},
        {"trigger touched three rows", {"trigger-count 3"}, L"", 0},
        {"no counts", {"nocount"}, L"", 0},
        {"trigger says 1, key duplicated meanwhile", {"trigger-count 1"}, duplicate, 2},
        {"no counts, key duplicated meanwhile", {"nocount"}, duplicate, 2},
    };
    for (const Layout& layout : kLayouts) {
        for (const auto& c : cases) {
            const std::string what = std::string(c.what) + ", version " + std::to_string(layout.major);
            const std::wstring db = CreateDb(layout);
            std::wstring whileAsked = c.whileAsked;
            for (size_t at; (at = whileAsked.find(L"%T%")) != std::wstring::npos;)
                whileAsked.replace(at, 3, layout.table);
            test::SetServerBehaviour(L"removal.db", c.server);
            test::TakeTimeoutRecord(L"removal.db");
            const std::wstring others = L"SELECT * FROM " + layout.table + L" WHERE msrepl_tran_version <> " +
                                        Quote(Key(L"K1"));
            const auto othersBefore = test::QueryRows(db, others);
            GridModel grid = test::GridOf(Grid(), kLoadedSubscribers);
            grid.SetRow(1);
            const auto gridBefore = test::Snapshot(grid);
            const std::string logBefore = test::FileBytes(kLog);

            Administrator person;
            person.script.Answer(IDYES);
            if (!whileAsked.empty())
                person.whileAsked = [&] { test::Execute(db, {whileAsked}); };
            RemoveSelectedMapping(grid, {db, layout.major, person});

            const bool removed = c.keyRowsAfter == 0;
            ExpectShown(person.script.messages,
                        {Question(L"SALES\\jdoe", L"jdoe"), removed ? Shown{L"Credential map deleted"} : kTrap}, what);
            EXPECT_EQ(test::QueryRows(db, L"SELECT COUNT(*) FROM " + layout.table + L" WHERE msrepl_tran_version = " +
                                              Quote(Key(L"K1")))[0][0],
                      std::to_wstring(c.keyRowsAfter))
                << what;
            EXPECT_EQ(test::QueryRows(db, others), othersBefore) << what;
            EXPECT_EQ(grid.Rows(), static_cast<int>(gridBefore.size()) - (removed ? 1 : 0)) << what;
            EXPECT_EQ(test::FileBytes(kLog) == logBefore, !removed) << what;
            ExpectUsualTimeouts(L"removal.db", what);
        }
    }
}

// Every environment and connection a load or a removal opens is freed when it ends, whichever
// way it ends.
TEST_F(Removal, LeavesNoOdbcHandleBehind)
{
    const Layout& layout = kLayouts[1];
    const struct {
        const char* what;
        std::function<void(const std::wstring& db)> run;
    } cases[] = {
        {"load", [&](const std::wstring& db) {
             GridModel grid(MappingGridColumns());
             FillMappingGrid(grid, {db, layout.major, false, true, {}});
         }},
        {"removal answered Yes", [&](const std::wstring& db) {
             GridModel grid = test::GridOf(Grid(), kLoadedSubscribers);
             grid.SetRow(1);
             Administrator person;
             person.script.Answer(IDYES);
             RemoveSelectedMapping(grid, {db, layout.major, person});
         }},
        {"removal that ends without a subscriber", [&](const std::wstring& db) {
             GridModel grid = test::GridOf(Grid(), kLoadedSubscribers);
             grid.SetRow(4);
             Administrator person;
             RemoveSelectedMapping(grid, {db, layout.major, person});
         }},
    };
    for (const auto& c : cases) {
        const std::wstring db = CreateDb(layout);
        test::OdbcHandleCount handles;
        c.run(db);
        EXPECT_EQ(handles.Live(), 0u) << c.what;
    }
}

}  // namespace
}  // namespace vcm
