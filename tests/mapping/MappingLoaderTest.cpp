// Loading the mapping grid from real databases of both product layouts, and the account
// lookup behind its Domain and AD Alias columns.
#include <gtest/gtest.h>
#include <windows.h>

#include "TestDb.h"
#include "mapping/AccountLookup.h"
#include "mapping/MappingGrid.h"
#include "mapping/MappingLoader.h"
#include "mapping/Recordset.h"

namespace vcm {
namespace {

using test::Quote;
using test::SidBytes;
using test::SidLiteral;
using Bytes = std::vector<unsigned char>;

Bytes Padded(Bytes bytes, size_t size)
{
    bytes.resize(size, 0);
    return bytes;
}

// The current user's SID, and that of the machine's own Administrator beside it.
Bytes CurrentUserSid()
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return {};
    unsigned char buffer[256] = {};
    DWORD size = 0;
    const BOOL ok = GetTokenInformation(token, TokenUser, buffer, sizeof(buffer), &size);
    CloseHandle(token);
    if (!ok)
        return {};
    const PSID sid = reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid;
    const auto* bytes = static_cast<const unsigned char*>(sid);
    return Bytes(bytes, bytes + GetLengthSid(sid));
}

Bytes WithLastRid(Bytes sid, unsigned rid)
{
    for (int i = 0; i < 4; ++i)
        sid[sid.size() - 4 + i] = static_cast<unsigned char>(rid >> (8 * i));
    return sid;
}

Bytes WithoutLastRid(Bytes sid)
{
    sid[1] = static_cast<unsigned char>(sid[1] - 1);
    sid.resize(sid.size() - 4);
    return sid;
}

TEST(AccountLookup, BatchesNameEverySidAsSingleLookupsDo)
{
    Bytes badCount = SidBytes(L"S-1-5-32-544");
    badCount[1] = 16;  // more sub-authorities than a SID may have
    Bytes truncated = SidBytes(L"S-1-5-21-1-2-3-1001");
    truncated.resize(truncated.size() - 1);
    Bytes badRevision = SidBytes(L"S-1-5-32-544");
    badRevision[0] = 2;
    const Bytes user = CurrentUserSid();
    ASSERT_FALSE(user.empty());
    const std::optional<std::wstring> any;  // whatever the single lookup says
    const struct {
        const char* what;
        Bytes sid;
        std::optional<std::wstring> domain, name;  // what a single lookup must give
        bool valid;                                // passed on to the system
    } cases[] = {
        {"no domain part", SidBytes(L"S-1-1-0"), L"", L"Everyone", true},
        {"built-in group", SidBytes(L"S-1-5-32-544"), L"BUILTIN", L"Administrators", true},
        {"another built-in group", SidBytes(L"S-1-5-32-545"), L"BUILTIN", L"Users", true},
        {"well-known account", SidBytes(L"S-1-5-18"), L"NT AUTHORITY", L"SYSTEM", true},
        {"well-known group", SidBytes(L"S-1-5-11"), L"NT AUTHORITY", any, true},
        {"service account", SidBytes(L"S-1-5-19"), L"NT AUTHORITY", any, true},
        {"the same group again", SidBytes(L"S-1-5-32-544"), L"BUILTIN", L"Administrators", true},
        {"padded column", Padded(SidBytes(L"S-1-5-32-544"), 68), L"BUILTIN", L"Administrators", true},
        {"local account: this user", user, any, any, true},
        {"local account: the administrator", WithLastRid(user, 500), any, any, true},
        {"the machine's own domain", WithoutLastRid(user), any, any, true},
        {"no local account of that number", WithLastRid(user, 4242), L"", L"", true},
        {"deleted domain account", SidBytes(L"S-1-5-21-1-2-3-1001"), L"", L"", true},
        {"another deleted domain account", SidBytes(L"S-1-5-21-9-9-9-500"), L"", L"", true},
        {"unknown authority", SidBytes(L"S-1-99-1"), L"", L"", true},
        {"authority without sub-authorities", SidBytes(L"S-1-5"), any, any, true},
        {"empty", Bytes{}, L"", L"", false},
        {"header only", Bytes{1, 1, 0, 0, 0, 0, 0, 5}, L"", L"", false},
        {"count past the bytes", truncated, L"", L"", false},
        {"count past the limit", badCount, L"", L"", false},
        {"unknown revision", badRevision, L"", L"", false},
    };

    // The platform both ways, in chunks of three so that several calls are made.
    AccountLookup batch({}, 3);
    AccountLookup single;
    std::vector<AccountLookup::SidId> ids;
    for (const auto& c : cases)
        ids.push_back(batch.Add(c.sid));
    batch.Resolve();
    size_t distinct = 0;
    for (size_t i = 0; i < std::size(cases); ++i) {
        const auto& c = cases[i];
        const AccountName one = single.Lookup(c.sid);
        const AccountName many = batch.Name(ids[i]);
        if (c.domain) {
            EXPECT_EQ(one.domain, *c.domain) << c.what;
        }
        if (c.name) {
            EXPECT_EQ(one.name, *c.name) << c.what;
        }
        EXPECT_EQ(many.domain, one.domain) << c.what;
        EXPECT_EQ(many.name, one.name) << c.what;
        EXPECT_EQ(ids[i] != AccountLookup::kNoAccount, c.valid) << c.what;
        if (ids[i] > distinct)
            distinct = ids[i];
    }
    EXPECT_FALSE(batch.Name(ids[8]).name.empty()) << "the current user has a name";
    EXPECT_FALSE(batch.Name(ids[8]).domain.empty()) << "and a domain";
    EXPECT_EQ(ids[6], ids[1]) << "one SID, one id";
    EXPECT_EQ(ids[7], ids[1]) << "padding is no part of the SID";
    // Per chunk one lookup, and for its unknown domains a name and a controller search each.
    EXPECT_LE(batch.PlatformCalls(), static_cast<int>((distinct + 2) / 3 * 7 + 1));
    EXPECT_FALSE(batch.Failure()) << "unknown accounts are no failure";
    EXPECT_FALSE(single.Failure()) << "unknown accounts are no failure";

    // What reaches the system: valid SIDs only, each once, in chunks of at most three.
    std::vector<Bytes> passed;
    AccountLookup recorded(
        [&](const std::vector<void*>& sids) {
            EXPECT_LE(sids.size(), 3u);
            for (void* sid : sids) {
                EXPECT_TRUE(IsValidSid(sid));
                const auto* bytes = static_cast<const unsigned char*>(sid);
                passed.emplace_back(bytes, bytes + GetLengthSid(sid));
            }
            return std::vector<AccountName>(sids.size(), AccountName{L"D", L"N"});
        },
        3);
    for (const auto& c : cases)
        recorded.Add(c.sid);
    recorded.Resolve();
    recorded.Resolve();  // nothing new queued: no further call
    EXPECT_EQ(passed.size(), distinct);
    EXPECT_EQ(recorded.PlatformCalls(), static_cast<int>((distinct + 2) / 3));
    for (const auto& c : cases) {
        if (!c.valid) {
            for (const Bytes& p : passed)
                EXPECT_NE(p, c.sid) << c.what;
        }
    }
}

TEST(AccountLookup, AFailedBatchLeavesItsAccountsUnnamedAndIsToldOnce)
{
    int calls = 0;
    AccountLookup lookup(
        [&](const std::vector<void*>& sids) -> std::vector<AccountName> {
            if (++calls == 2)  // the second of three chunks: the domain controller went away
                ThrowWin32(ERROR_TRUSTED_RELATIONSHIP_FAILURE, L"LsaLookupSids");
            if (calls == 3)
                ThrowWin32(ERROR_NO_LOGON_SERVERS, L"LsaLookupSids");
            return std::vector<AccountName>(sids.size(), AccountName{L"D", L"N"});
        },
        2);
    std::vector<AccountLookup::SidId> ids;
    for (unsigned rid = 1000; rid < 1006; ++rid)
        ids.push_back(lookup.Add(WithLastRid(SidBytes(L"S-1-5-21-1-2-3-0"), rid)));
    lookup.Resolve();
    const std::wstring expected[] = {L"N", L"N", L"", L"", L"", L""};
    for (size_t i = 0; i < ids.size(); ++i)
        EXPECT_EQ(lookup.Name(ids[i]).name, expected[i]) << "SID " << i;
    ASSERT_TRUE(lookup.Failure());
    EXPECT_EQ(lookup.Failure()->Number(), ERROR_TRUSTED_RELATIONSHIP_FAILURE) << "the first failure is kept";
    EXPECT_EQ(lookup.Failure()->Description(), SystemMessage(ERROR_TRUSTED_RELATIONSHIP_FAILURE));
}

// Names no test machine can produce, as the batch hands them on: as the ANSI lookup would.
TEST(AccountLookup, BatchNamesFollowTheAnsiLookupsBuffers)
{
    const std::wstring longest(255, L'a');
    const std::wstring tooLong(256, L'a');
    const struct {
        const char* what;
        std::wstring domain, name;
        AccountName expected;
    } cases[] = {
        {"255 characters fit", L"D", longest, {L"D", longest}},
        {"256 characters do not", L"D", tooLong, {L"", L""}},
        {"nor in the domain", tooLong, L"n", {L"", L""}},
        {"255 characters of domain fit", longest, L"n", {longest, L"n"}},
        {"blanks at the ends go", L" D ", L"  n a  ", {L"D", L"n a"}},
        {"a zero ends the name", L"D", std::wstring(L"ab\0cd", 5), {L"D", L"ab"}},
        {"characters outside the code page", L"D", L"\u65e5\u672c", {L"D", L"??"}},
        {"no domain", L"", L"Everyone", {L"", L"Everyone"}},
    };
    for (const auto& c : cases) {
        const AccountName got = AnsiAccountName(c.domain, c.name);
        EXPECT_EQ(got.domain, c.expected.domain) << c.what;
        EXPECT_EQ(got.name, c.expected.name) << c.what;
    }
}

// The SID text that names an account which no longer resolves: only whole identifiers.
TEST(AccountLookup, SidStringOfStoredBytes)
{
    std::vector<unsigned char> padded = SidBytes(L"S-1-5-21-1-2-3-1001");
    padded.insert(padded.end(), 4, 0);
    std::vector<unsigned char> cut = SidBytes(L"S-1-5-21-1-2-3-1001");
    cut.resize(cut.size() - 2);
    const struct {
        const char* what;
        std::vector<unsigned char> bytes;
        std::wstring expected;
    } cases[] = {
        {"a domain account", SidBytes(L"S-1-5-21-1-2-3-1001"), L"S-1-5-21-1-2-3-1001"},
        {"a well-known group", SidBytes(L"S-1-1-0"), L"S-1-1-0"},
        {"padding after the identifier", padded, L"S-1-5-21-1-2-3-1001"},
        {"cut short: its count claims more than is there", cut, L""},
        {"one byte", {1}, L""},
        {"nothing", {}, L""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SidString(c.bytes), c.expected) << c.what;
}

// One mapping as stored, and the grid row it must give.
struct Mapping {
    std::wstring subscriber;  // SQL literal
    std::wstring sid;         // SQL literal
    std::wstring isPrimary;   // SQL literal
    std::wstring key;         // SQL literal
    // Expected row
    std::wstring domain, alias, velto;
    bool primary;
    bool custom;
};

const std::vector<std::wstring> kSubscribers = {
    L"INSERT INTO Subscriber VALUES ('OBJ-1', 'administrators', 'a', 'Admins')",
    L"INSERT INTO Subscriber VALUES ('OBJ-2', 'jdoe', 'jdoe', 'John Doe')",
    L"INSERT INTO Subscriber VALUES ('OBJ-3', NULL, 'n', 'No UID')",
    L"INSERT INTO Subscriber VALUES ('OBJ-4', 'first', 'f', 'First of two')",
    L"INSERT INTO Subscriber VALUES ('OBJ-4', 'second', 's', 'Second of two')",
    L"INSERT INTO Subscriber VALUES ('O''Brien', 'obrien', 'o', 'Quote in the id')",
    L"INSERT INTO Subscriber VALUES ('obj-case', 'caseuser', 'c', 'Id in other case')",
    L"INSERT INTO Subscriber VALUES ('OBJ-5', 'System', 'y', 'Default mapping')",
    L"INSERT INTO Subscriber VALUES (NULL, 'nullid', 'x', 'No id')",
};

std::vector<Mapping> Mappings()
{
    const std::wstring admins = SidLiteral(L"S-1-5-32-544");
    return {
        // Default mapping: account name equals the alias but for case.
        {L"'OBJ-1'", admins, L"1", L"'k09'", L"BUILTIN", L"Administrators", L"administrators", true, false},
        {L"'OBJ-2'", SidLiteral(L"S-1-1-0"), L"NULL", L"'k02'", L"", L"Everyone", L"jdoe", false, true},
        // No such subscriber; Null subscriber column: both "ERROR!".
        {L"'OBJ-404'", SidLiteral(L"S-1-5-18"), L"0", L"'k07'", L"NT AUTHORITY", L"SYSTEM", L"ERROR!", false, true},
        {L"NULL", admins, L"1", L"'k01'", L"BUILTIN", L"Administrators", L"ERROR!", true, true},
        // Null UID, Null SID: everything empty, so not custom.
        {L"'OBJ-3'", L"NULL", L"0", L"'k05'", L"", L"", L"", false, false},
        // Deleted domain account; the first of two subscribers with the id.
        {L"'OBJ-4'", SidLiteral(L"S-1-5-21-1-2-3-1001"), L"1", L"'k03'", L"", L"", L"first", true, true},
        // Second mapping of one subscriber; a short SID; primary written as text.
        {L"'OBJ-2'", L"X'0105'", L"'true'", L"'k08'", L"", L"", L"jdoe", true, true},
        // Quote in the subscriber id; SID in a column padded with zeros.
        {L"'O''Brien'", test::BlobLiteral(Padded(SidBytes(L"S-1-5-32-544"), 68)), L"0", L"'k04'", L"BUILTIN",
         L"Administrators", L"obrien", false, true},
        // Subscriber id in another case; SID claiming more sub-authorities than it has; no key.
        {L"'OBJ-CASE'", L"X'010500000000000520000000'", L"0", L"NULL", L"", L"", L"caseuser", false, true},
        {L"'OBJ-5'", SidLiteral(L"S-1-5-18"), L"0", L"'k06'", L"NT AUTHORITY", L"SYSTEM", L"System", false, false},
        // Primary flag that is no Boolean at all: not primary.
        {L"'OBJ-2'", SidLiteral(L"S-1-5-32-545"), L"X'01'", L"'k10'", L"BUILTIN", L"Users", L"jdoe", false, true},
    };
}

// Both tables hold the same mappings under different keys, so a load shows which it read.
std::wstring VeltoDb(const std::wstring& file)
{
    std::vector<std::wstring> statements = kSubscribers;
    for (const Mapping& m : Mappings()) {
        const std::wstring values = m.sid + L", " + m.isPrimary + L", ";
        const std::wstring label = m.key.substr(1, m.key.size() - 2);  // keys are GUIDs under the personality
        const std::wstring key = m.key == L"NULL" ? m.key : test::Quote(test::Key(L"c-" + label));
        const std::wstring oldKey = m.key == L"NULL" ? m.key : test::Quote(test::Key(L"h-" + label));
        statements.push_back(L"INSERT INTO Credential VALUES (" + m.subscriber + L", " + values + key + L")");
        statements.push_back(L"INSERT INTO SIDHistory VALUES (" + m.subscriber + L", " + values + oldKey + L")");
    }
    return test::CreateVeltoDb(file, statements);
}

std::vector<MappingRow> GridRows(const GridModel& grid)
{
    std::vector<MappingRow> rows;
    for (int r = 1; r < grid.Rows(); ++r) {
        MappingRow row;
        row.ADDomain = grid.TextMatrix(r, grid.ColIndex(kKeyADDomain));
        row.ADAlias = grid.TextMatrix(r, grid.ColIndex(kKeyADAlias));
        const CellValue& primary = grid.Cell(r, grid.ColIndex(kKeyPrimary));
        EXPECT_TRUE(std::holds_alternative<bool>(primary)) << "row " << r;
        row.Primary = std::holds_alternative<bool>(primary) && std::get<bool>(primary);
        row.VeltoAlias = grid.TextMatrix(r, grid.ColIndex(kKeyVeltoAlias));
        row.SID = grid.TextMatrix(r, grid.ColIndex(kKeySID));
        rows.push_back(std::move(row));
    }
    return rows;
}

void ExpectRows(const std::vector<MappingRow>& actual, const std::vector<MappingRow>& expected, const char* what)
{
    ASSERT_EQ(actual.size(), expected.size()) << what;
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(actual[i].ADDomain, expected[i].ADDomain) << what << " row " << i + 1;
        EXPECT_EQ(actual[i].ADAlias, expected[i].ADAlias) << what << " row " << i + 1;
        EXPECT_EQ(actual[i].Primary, expected[i].Primary) << what << " row " << i + 1;
        EXPECT_EQ(actual[i].VeltoAlias, expected[i].VeltoAlias) << what << " row " << i + 1;
        EXPECT_EQ(actual[i].SID, expected[i].SID) << what << " row " << i + 1;
    }
}

TEST(MappingLoader, ViewOptionsOnBothProductLayouts)
{
    const std::wstring db = VeltoDb(L"velto.db");
    const struct {
        short major;
        const wchar_t* keyPrefix;
    } versions[] = {{4, L"c-"}, {5, L"c-"}, {3, L"h-"}};
    const struct {
        bool onlyCustom, showPrimary;
    } options[] = {{true, true}, {true, false}, {false, true}, {false, false}};

    for (const auto& v : versions) {
        for (const auto& o : options) {
            std::vector<MappingRow> expected;
            for (const Mapping& m : Mappings()) {
                if ((o.onlyCustom && !m.custom) || (!o.showPrimary && m.primary))
                    continue;
                const std::wstring key =
                    m.key == L"NULL" ? L"" : test::Key(v.keyPrefix + m.key.substr(1, m.key.size() - 2));
                expected.push_back({m.domain, m.alias, m.primary, m.velto, key});
            }
            GridModel grid(MappingGridColumns());
            grid.SetRows(4);  // rows of an earlier load are cut away
            grid.MoveColumn(5, 1);  // cells are found by key, wherever the user dragged the column
            const LoadReport report = FillMappingGrid(grid, {db, v.major, o.onlyCustom, o.showPrimary, {}});
            EXPECT_FALSE(report.mappingTable);
            EXPECT_FALSE(report.accountLookup);
            const std::string what = "major " + std::to_string(v.major) + " custom " + std::to_string(o.onlyCustom) +
                                     " primary " + std::to_string(o.showPrimary);
            ExpectRows(GridRows(grid), expected, what.c_str());
        }
    }
}

// Subscriber ids held as numbers are sought and kept in their text form, each row its own,
// as text ids are; a Null id points to no subscriber.
TEST(MappingLoader, NumberIdsFindTheirSubscribers)
{
    std::vector<std::wstring> statements = {
        L"CREATE TABLE Subscriber (SubscriberObjectID INTEGER, UID NVARCHAR(64))",
        L"CREATE TABLE Credential (SubscriberObjectID INTEGER, Credentials VARBINARY(68), IsPrimary BIT, "
        L"msrepl_tran_version VARCHAR(36))",
    };
    const std::pair<const wchar_t*, const wchar_t*> rows[] = {
        // subscriber id literal, expected Velto alias
        {L"7", L"u7"}, {L"8", L"u8"}, {L"NULL", L"ERROR!"}, {L"9", L"ERROR!"}, {L"7", L"u7"}, {L"12", L"u12"},
    };
    for (const wchar_t* id : {L"12", L"8", L"7"})
        statements.push_back(L"INSERT INTO Subscriber VALUES (" + std::wstring(id) + L", 'u" + id + L"')");
    for (const auto& [id, velto] : rows)
        statements.push_back(L"INSERT INTO Credential VALUES (" + std::wstring(id) + L", " + SidLiteral(L"S-1-1-0") +
                             L", 0, 'k')");
    const std::wstring db = test::CreateTestDb(L"numbers.db", statements);

    const MappingLoad load = LoadMappings({db, 4, false, true, {}});
    ASSERT_FALSE(load.report.mappingTable);
    ASSERT_EQ(load.model->Size(), std::size(rows));
    for (MappingModel::Row r = 0; r < load.model->Size(); ++r) {
        const std::wstring id = rows[r].first;
        EXPECT_EQ(load.model->SubscriberId(r), id == L"NULL" ? L"" : id) << "row " << r;
        EXPECT_EQ(load.model->VeltoAlias(r), rows[r].second) << "row " << r;
    }
}

// A large load seeks its subscribers a chunk of rows at a time and then reads the chunk's
// rows again: every row, across chunk ends, keeps its own subscriber and order.
TEST(MappingLoader, EveryRowOfALargeLoadKeepsItsSubscriber)
{
    constexpr int kRows = 8193;  // two chunks of 4096 rows and one row more
    std::vector<std::wstring> statements = test::VeltoSchema();
    for (int i = 0; i < 600; ++i) {
        if (i % 100 == 0)
            statements.push_back(L"INSERT INTO Subscriber VALUES ");
        else
            statements.back() += L", ";
        statements.back() += L"('S" + std::to_wstring(i) + L"', 'u" + std::to_wstring(i) + L"', 'a', 'd')";
    }
    // Row i points to subscriber (i * 7) % 640: some are missing; every 13th id is Null.
    auto subscriberOf = [](int i) { return (i * 7) % 640; };
    for (int i = 0; i < kRows; ++i) {
        if (i % 100 == 0)
            statements.push_back(L"INSERT INTO Credential VALUES ");
        else
            statements.back() += L", ";
        const std::wstring id = i % 13 == 0 ? L"NULL" : Quote(L"s" + std::to_wstring(subscriberOf(i)));
        statements.back() += L"(" + id + L", " + SidLiteral(L"S-1-1-0") + L", 0, " +
                             Quote(test::Key(L"k" + std::to_wstring(i))) + L")";
    }
    const std::wstring db = test::CreateTestDb(L"large.db", statements);

    const MappingLoad load = LoadMappings({db, 4, false, true, {}});
    ASSERT_EQ(load.model->Size(), static_cast<size_t>(kRows));
    for (int i = 0; i < kRows; ++i) {
        const MappingModel::Row r = static_cast<MappingModel::Row>(i);
        const int s = subscriberOf(i);
        const std::wstring velto = i % 13 == 0 || s >= 600 ? L"ERROR!" : L"u" + std::to_wstring(s);
        ASSERT_EQ(load.model->VeltoAlias(r), velto) << "row " << i;
        ASSERT_EQ(load.model->SubscriberId(r), i % 13 == 0 ? L"" : L"s" + std::to_wstring(s)) << "row " << i;
        ASSERT_EQ(load.model->Key(r), test::Key(L"k" + std::to_wstring(i))) << "row " << i;
    }
}

TEST(MappingLoader, FailuresLeaveAGridAndNeverThrow)
{
    const std::wstring sid = SidLiteral(L"S-1-5-32-544");
    const struct {
        const char* what;
        std::vector<std::wstring> statements;  // on an empty database
        std::wstring connection;               // empty: that database
        std::vector<MappingRow> rows;
        bool unreadable = false;               // the mapping table could not be read
        long number = 0;                       // and then the driver's number and text
        std::wstring description = {};
    } cases[] = {
        {"unreachable database", {}, L"Driver={No Such Driver 17};server=;database=gone.db", {}, true,
         -2147467259,  // E_FAIL: the driver manager gives no number of its own
         L"[01000] [unixODBC][Driver Manager]Can't open lib 'No Such Driver 17' : file not found"},
        {"no tables", {}, L"", {}, true, 1,
         test::SqlServerPersonality() ? L"[HY000] no such table: credential (1)"
                                      : L"[HY000] [SQLite]no such table: credential (1)"},
        {"empty mapping table", test::VeltoSchema(), L"", {}},
        {"no subscriber table",
         {L"CREATE TABLE Credential (SubscriberObjectID VARCHAR(64), Credentials VARBINARY(68), IsPrimary BIT, "
          L"msrepl_tran_version VARCHAR(36))",
          L"INSERT INTO Credential VALUES ('OBJ-1', " + sid + L", 1, 'k1')"},
         L"",
         {{L"BUILTIN", L"Administrators", true, L"ERROR!", L"k1"}}},
        {"mapping table missing its optional columns",
         {L"CREATE TABLE Credential (SubscriberObjectID VARCHAR(64))",
          L"CREATE TABLE Subscriber (SubscriberObjectID VARCHAR(64), UID NVARCHAR(64))",
          L"INSERT INTO Subscriber VALUES ('OBJ-1', 'one')",
          L"INSERT INTO Credential VALUES ('OBJ-1')"},
         L"",
         {{L"", L"", false, L"one", L""}}},
        {"subscriber table without UID",
         {L"CREATE TABLE Credential (SubscriberObjectID VARCHAR(64), Credentials VARBINARY(68), IsPrimary BIT, "
          L"msrepl_tran_version VARCHAR(36))",
          L"CREATE TABLE Subscriber (SubscriberObjectID VARCHAR(64), Alias NVARCHAR(64))",
          L"INSERT INTO Subscriber VALUES ('OBJ-1', 'one')",
          L"INSERT INTO Credential VALUES ('OBJ-1', " + sid + L", 0, 'k1')"},
         L"",
         {{L"BUILTIN", L"Administrators", false, L"ERROR!", L"k1"}}},
    };
    int n = 0;
    for (const auto& c : cases) {
        const std::wstring file = L"broken" + std::to_wstring(++n) + L".db";
        const std::wstring db = test::CreateTestDb(file, c.statements);
        GridModel grid(MappingGridColumns());
        grid.SetRows(3);
        LoadReport report;
        EXPECT_NO_THROW(report = FillMappingGrid(grid, {c.connection.empty() ? db : c.connection, 4, false, true, {}}))
            << c.what;
        ExpectRows(GridRows(grid), c.rows, c.what);
        EXPECT_EQ(report.mappingTable.has_value(), c.unreadable) << c.what;
        if (report.mappingTable) {
            EXPECT_EQ(report.mappingTable->Number(), c.number) << c.what;
            EXPECT_EQ(report.mappingTable->Description(), c.description) << c.what;
        }
        EXPECT_FALSE(report.accountLookup) << c.what;
        EXPECT_EQ(grid.TextMatrix(0, grid.ColIndex(kKeyVeltoAlias)), L"Velto Alias") << "header row kept";
    }
}

TEST(MappingLoader, ALookupThatFailsKeepsTheRowsAndIsReported)
{
    const std::wstring db = VeltoDb(L"lookup_fails.db");
    std::vector<MappingRow> expected;
    for (const Mapping& m : Mappings())
        expected.push_back({L"", L"", m.primary, m.velto,
                            m.key == L"NULL" ? L"" : test::Key(L"c-" + m.key.substr(1, m.key.size() - 2))});
    int calls = 0;
    LoadSettings settings{db, 4, false, true, [&](const std::vector<void*>&) -> std::vector<AccountName> {
                              ++calls;
                              ThrowWin32(ERROR_TRUSTED_RELATIONSHIP_FAILURE, L"LsaLookupSids");
                          }};
    GridModel grid(MappingGridColumns());
    const LoadReport report = FillMappingGrid(grid, settings);
    ExpectRows(GridRows(grid), expected, "lookup failed");
    ASSERT_TRUE(report.accountLookup);
    EXPECT_EQ(report.accountLookup->Number(), ERROR_TRUSTED_RELATIONSHIP_FAILURE);
    EXPECT_EQ(report.accountLookup->Description(), SystemMessage(ERROR_TRUSTED_RELATIONSHIP_FAILURE));
    EXPECT_FALSE(report.mappingTable);
    EXPECT_EQ(calls, 1) << "one batch for the few distinct SIDs";
    EXPECT_EQ(report.lookupCalls, 1);
}

}  // namespace
}  // namespace vcm
